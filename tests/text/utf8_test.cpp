#include "text/utf8.hpp"

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "text/xml_chars.hpp"

namespace velmora {
namespace {

using sv = std::string_view;

// A sink of chars over fixed memory, as the XML text decoder writes in place.
struct fixed_sink {
    std::array<char, 8> bytes{};
    std::size_t size = 0;
    void push_back(char c) { bytes[size++] = c; }
    [[nodiscard]] sv view() const { return {bytes.data(), size}; }
};

TEST(PutUtf8, WritesTheShortestFormAtEveryLengthsEdge) {
    struct encode_case {
        char32_t code_point;
        sv bytes;
    };
    const encode_case cases[] = {
        {0x00, sv("\0", 1)},
        {0x7F, "\x7F"},
        {0x80, "\xC2\x80"},
        {0x7FF, "\xDF\xBF"},
        {0x800, "\xE0\xA0\x80"},
        {0xFFFD, "\xEF\xBF\xBD"},
        {0xFFFF, "\xEF\xBF\xBF"},
        {0x10000, "\xF0\x90\x80\x80"},
        {0x10FFFF, "\xF4\x8F\xBF\xBF"},
    };
    for (const encode_case& c : cases) {
        std::string out;
        append_utf8_code_point(out, c.code_point);
        EXPECT_EQ(out, c.bytes) << static_cast<unsigned>(c.code_point);
        fixed_sink sink;
        put_utf8(sink, c.code_point);
        EXPECT_EQ(sink.view(), c.bytes) << static_cast<unsigned>(c.code_point);
        // What is written reads back as the same one character.
        const auto* p = reinterpret_cast<const unsigned char*>(out.data());
        utf8_char back = decode_utf8_char(p, p + out.size());
        EXPECT_TRUE(back.valid);
        EXPECT_EQ(back.code_point, c.code_point);
        EXPECT_EQ(back.length, out.size());
    }
}

TEST(WithoutPartialUtf8, DropsOnlyACharacterCutShort) {
    struct cut_case {
        sv text;
        sv kept;
    };
    const cut_case cases[] = {
        {"", ""},
        {"abc", "abc"},
        {"a\xC3\xA9", "a\xC3\xA9"},
        {"a\xC3", "a"},
        {"a\xE2\x82", "a"},
        {"a\xE2\x82\xAC", "a\xE2\x82\xAC"},
        {"a\xF0\x9F\x98", "a"},
        {"a\xF0\x9F\x98\x80", "a\xF0\x9F\x98\x80"},
        {"a\x80\x80\x80\x80", "a\x80\x80\x80\x80"},  // no lead within reach: kept
    };
    for (const cut_case& c : cases) EXPECT_EQ(without_partial_utf8(c.text), c.kept) << c.text;
}

TEST(XmlChars, AllowsTheCharactersOfXmlAndNoOthers) {
    struct char_case {
        char32_t code_point;
        bool allowed;
    };
    const char_case cases[] = {
        {0x00, false},     {0x08, false},   {0x09, true},    {0x0A, true},    {0x0B, false},
        {0x0C, false},     {0x0D, true},    {0x1F, false},   {0x20, true},    {0x7F, true},
        {0x85, true},      {0xD7FF, true},  {0xD800, false}, {0xDFFF, false}, {0xE000, true},
        {0xFFFD, true},    {0xFFFE, false}, {0xFFFF, false}, {0x10000, true}, {0x10FFFF, true},
        {0x110000, false},
    };
    for (const char_case& c : cases) {
        EXPECT_EQ(is_xml_char(c.code_point), c.allowed) << static_cast<unsigned>(c.code_point);
    }
    // A byte is forbidden exactly when it is a control character XML does not allow.
    int forbidden = 0;
    for (unsigned b = 0; b < 256; ++b) {
        if (is_forbidden_byte(static_cast<unsigned char>(b))) {
            ++forbidden;
            EXPECT_LT(b, 0x20u);
        }
    }
    EXPECT_EQ(forbidden, 29);
}

TEST(XmlUtf8CharLength, TakesWellFormedCharactersThatXmlAllows) {
    struct length_case {
        sv bytes;
        std::size_t length;  // 0: not a character XML allows
    };
    const length_case cases[] = {
        {"a", 1},
        {"\t", 1},
        {"\x01", 0},
        {"\xC3\xA9", 2},
        {"\xC3", 0},
        {"\xEF\xBF\xBD", 3},      // U+FFFD
        {"\xEF\xBF\xBE", 0},      // U+FFFE
        {"\xEF\xBF\xBF", 0},      // U+FFFF
        {"\xED\xA0\x80", 0},      // a surrogate
        {"\xF0\x9F\x98\x80", 4},  // above U+FFFF
        {"\xF4\x90\x80\x80", 0},  // beyond U+10FFFF
        {"\xC0\x80", 0},          // overlong
    };
    for (const length_case& c : cases) {
        const auto* p = reinterpret_cast<const unsigned char*>(c.bytes.data());
        EXPECT_EQ(xml_utf8_char_length(p, p + c.bytes.size()), c.length) << c.bytes;
    }
}

}  // namespace
}  // namespace velmora
