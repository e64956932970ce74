#include "text/encoding.hpp"

#include <gtest/gtest.h>

#include <string>

#include "platform/messages.hpp"

namespace velmora {
namespace {

using namespace std::string_literals;

code_page page(int number) {
    return code_page::create(number).value();
}

TEST(DecodeUtf8Char, TakesWellFormedCharactersAndOneByteOfAnythingElse) {
    struct decode_case {
        std::string bytes;
        char32_t code_point;  // U+FFFD for bytes that form no character
        std::size_t length;
    };
    const decode_case cases[] = {
        {"A", 0x41, 1},
        {"\xC3\xA9", 0xE9, 2},             // e acute
        {"\xE2\x82\xAC", 0x20AC, 3},       // euro sign
        {"\xF0\x9F\x98\x80", 0x1F600, 4},  // above the Basic Multilingual Plane
        {"\xC3", 0xFFFD, 1},               // truncated at the end
        {"\x80x", 0xFFFD, 1},              // a stray continuation byte
        {"\xFFx", 0xFFFD, 1},              // a byte that starts nothing
        {"\xC3"
         "A",
         0xFFFD, 1},  // a wrong continuation: the next byte is read afresh
        {"\xE2\x82"
         "A",
         0xFFFD, 1},
        {"\xC0\x80", 0xFFFD, 1},          // an overlong zero
        {"\xE0\x80\xAF", 0xFFFD, 1},      // overlong
        {"\xED\xA0\x80", 0xFFFD, 1},      // an encoded surrogate
        {"\xF0\x80\x80\x80", 0xFFFD, 1},  // overlong
        {"\xF4\x90\x80\x80", 0xFFFD, 1},  // beyond U+10FFFF
    };
    for (const auto& c : cases) {
        const auto* p = reinterpret_cast<const unsigned char*>(c.bytes.data());
        utf8_char got = decode_utf8_char(p, p + c.bytes.size());
        EXPECT_EQ(got.code_point, c.code_point) << c.bytes;
        EXPECT_EQ(got.length, c.length) << c.bytes;
        EXPECT_EQ(got.valid, c.code_point != 0xFFFD) << c.bytes;
        EXPECT_EQ(is_valid_utf8(c.bytes), c.code_point != 0xFFFD && c.length == c.bytes.size())
            << c.bytes;
    }
}

TEST(AsciiPrefix, EndsAtTheFirstByteAboveAsciiWhereverItLies) {
    // Every place within and after the words of eight bytes read at once, and any byte
    // with its top bit set.
    for (std::size_t size : {0, 1, 7, 8, 9, 16, 23}) {
        std::string text(size, 'a');
        EXPECT_EQ(ascii_prefix(text), size);
        for (std::size_t at = 0; at < size; ++at) {
            for (char high : {'\x80', '\xC3', '\xFF'}) {
                std::string mixed = text;
                mixed[at] = high;
                if (at + 1 < size) mixed[size - 1] = '\xC5';  // a later one does not count
                EXPECT_EQ(ascii_prefix(mixed), at) << size << " " << at;
            }
        }
    }
}

TEST(Utf8CutPoint, MovesBackToTheStartOfASplitCharacterOnly) {
    struct cut_case {
        std::string text;
        std::size_t limit;
        std::size_t expected;
    };
    const cut_case cases[] = {
        {"abc", 5, 3},                    // short enough: whole
        {"abcdef", 4, 4},                 // ASCII: at the limit
        {"ab\xC3\xA9z", 3, 2},            // inside a two-byte character
        {"ab\xC3\xA9z", 4, 4},            // right behind it
        {"a\xE2\x82\xAC", 3, 1},          // inside a three-byte character
        {"a\xF0\x9F\x98\x80", 4, 1},      // inside a four-byte character
        {"a\x80\x80\x80\x80\x80", 4, 4},  // continuation bytes without a lead
        {"\xC3\xA9", 1, 0},               // the first character split
    };
    for (const auto& c : cases) {
        EXPECT_EQ(utf8_cut_point(c.text, c.limit), c.expected) << c.text << " at " << c.limit;
    }
}

TEST(CodePageTextToUtf8, DecodesThroughTheCodePageOrByteForByte) {
    std::optional<code_page> cp1250 = page(1250);
    EXPECT_EQ(codepage_text_to_utf8("caf\xE9 \x8A", cp1250), "caf\xC3\xA9 \xC5\xA0");
    EXPECT_EQ(codepage_text_to_utf8("a\tb\x02", cp1250), "a\tb?");

    // Without a code page each byte is the character of its number.
    EXPECT_EQ(codepage_text_to_utf8("\xE9", std::nullopt), "\xC3\xA9");
    EXPECT_EQ(codepage_text_to_utf8("\x8A", std::nullopt), "\xC2\x8A");

    // A byte the code page leaves undefined stands for U+FFFD; the text ends at a zero.
    EXPECT_EQ(codepage_text_to_utf8("\x81", page(1252)), "\xEF\xBF\xBD");
    EXPECT_EQ(codepage_text_to_utf8("ab\0c"s, std::nullopt), "ab");
}

TEST(Conversions, KeepAnEmptyTextEmpty) {
    EXPECT_EQ(codepage_text_to_utf8("", std::nullopt), "");
    EXPECT_EQ(utf16_to_utf8_text("", false), "");
}

TEST(SqueezeEncodingName, DropsSeparatorCharacters) {
    EXPECT_EQ(squeeze_encoding_name("ISO-8859-2"), "ISO88592");
    EXPECT_EQ(squeeze_encoding_name("windows-1250"), "windows1250");
    EXPECT_EQ(squeeze_encoding_name(" a_b.c,d'e\"f "), "abcdef");
}

TEST(CodePageLocaleName, FindsTheTableRowOfAnEncodingName) {
    EXPECT_EQ(code_page_locale_name("ISO-8859-2"), ".28592");
    EXPECT_EQ(code_page_locale_name("Windows-1251"), ".1251");
    EXPECT_EQ(code_page_locale_name("iso-8859-15"), ".28605");
    EXPECT_EQ(code_page_locale_name("OEM852"), ".852");
    EXPECT_EQ(code_page_locale_name("windows 874"), ".874");
    EXPECT_FALSE(code_page_locale_name("ISO-8859-7").has_value());
    EXPECT_FALSE(code_page_locale_name("utf8").has_value());
    EXPECT_FALSE(code_page_locale_name("").has_value());
}

TEST(CodePageLocaleName, NamesOnlyCodePagesTheConverterHas) {
    for (const code_page_row& row : code_page_table) {
        auto name = code_page_locale_name(row.name);
        ASSERT_TRUE(name.has_value()) << row.name;
        EXPECT_TRUE(code_page::from_locale_name(*name).has_value()) << row.name;
    }
}

}  // namespace
}  // namespace velmora
