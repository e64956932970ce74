#include "gpx/gpx_encoding.hpp"

#include <gtest/gtest.h>

#include <string>

#include "platform/messages.hpp"

namespace velmora {
namespace {

// The text in UTF-16 of the given byte order, without a byte-order mark.
std::string utf16(std::u16string_view text, bool big_endian) {
    std::string out;
    for (char16_t u : text) {
        char high = static_cast<char>(u >> 8);
        char low = static_cast<char>(u & 0xFF);
        out.push_back(big_endian ? high : low);
        out.push_back(big_endian ? low : high);
    }
    return out;
}

TEST(GpxEncoding, FollowsTheRulesOfXml) {
    struct encoding_case {
        std::string text;
        bool is_utf8;
        int code_page;  // 0: none
    };
    const std::string utf8_name = "<gpx><wpt><name>K\xC3\xA1v\xC3\xA9z\xC3\xB3</name></wpt></gpx>";
    const std::string latin1_name = "<gpx><wpt><name>K\xE1v\xE9z\xF3</name></wpt></gpx>";
    const encoding_case cases[] = {
        {utf8_name, true, 0},
        {latin1_name, false, 0},
        {"<?xml version=\"1.0\"?>" + utf8_name, true, 0},
        {"<?xml version=\"1.0\"?>" + latin1_name, false, 1250},
        {"<?xml version=\"1.0\" encoding=\"utf8\"?>" + latin1_name, true, 0},
        {"<?xml version=\"1.0\" encoding=\"65001\"?><gpx/>", true, 0},
        {"<?xml version=\"1.0\" encoding=\"CP65001\"?><gpx/>", true, 0},
        {"<?xml version=\"1.0\" encoding=\"Utf-8\"?><gpx/>", true, 0},
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" + latin1_name, false, 28591},
        {"<?xml version=\"1.0\" encoding=\"windows-1251\"?><gpx/>", false, 1251},
        {"\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"windows-1250\"?>" + utf8_name, true, 0},
        // Declared UTF-16 but stored in 8 bits, as tools leave files they converted.
        {"<?xml version=\"1.0\" encoding=\"UTF-16\"?>" + utf8_name, true, 0},
        {"<?xml version=\"1.0\" encoding=\"utf-16le\"?>" + latin1_name, false, 1250},
    };
    for (const encoding_case& c : cases) {
        gpx_encoding found = detect_gpx_encoding(c.text);
        EXPECT_EQ(found.is_utf8, c.is_utf8) << c.text;
        EXPECT_EQ(found.page ? found.page->number() : 0, c.code_page) << c.text;
        EXPECT_FALSE(found.decoded) << c.text;
    }
}

TEST(GpxEncoding, Utf16IsDecodedToUtf8First) {
    const std::u16string text =
        u"<?xml version=\"1.0\" encoding=\"UTF-16\"?><gpx><name>\u041C\u0438\u0440 \U0001F600"
        u"</name></gpx>";
    const std::string expected =
        "<?xml version=\"1.0\" encoding=\"UTF-16\"?><gpx><name>\u041C\u0438\u0440 \U0001F600"
        "</name></gpx>";
    struct utf16_case {
        std::string bytes;
        const char* what;
    };
    const utf16_case cases[] = {
        {"\xFF\xFE" + utf16(text, false), "little-endian with a byte-order mark"},
        {"\xFE\xFF" + utf16(text, true), "big-endian with a byte-order mark"},
        {utf16(text, false), "little-endian without a mark"},
        {utf16(text, true), "big-endian without a mark"},
    };
    for (const utf16_case& c : cases) {
        gpx_encoding found = detect_gpx_encoding(c.bytes);
        EXPECT_TRUE(found.is_utf8) << c.what;
        ASSERT_TRUE(found.decoded) << c.what;
        EXPECT_EQ(*found.decoded, expected) << c.what;
    }
    // A lone surrogate and a last odd byte stand for U+FFFD.
    gpx_encoding broken = detect_gpx_encoding("\xFF\xFE" + utf16(u"<a>\xD800", false) + "x");
    ASSERT_TRUE(broken.decoded);
    EXPECT_EQ(*broken.decoded, "<a>\uFFFD\uFFFD");
}

}  // namespace
}  // namespace velmora
