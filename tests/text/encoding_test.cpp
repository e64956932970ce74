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

TEST(Utf8ToUtf16, DecodesOneTwoAndThreeByteCharacters) {
    std::string bytes = "\x41\xC3\xA9\xE2\x82\xAC";  // A, e acute, euro sign
    EXPECT_EQ(utf8_to_utf16(bytes), (std::u16string{0x41, 0xE9, 0x20AC}));
    EXPECT_EQ(utf8_unit_count(bytes), 3u);
    EXPECT_EQ(utf16_to_utf8(utf8_to_utf16(bytes)), bytes);
    EXPECT_EQ(utf8_to_codepage(bytes, page(1250)), "\x41\xE9\x80");
}

TEST(Utf8ToUtf16, TurnsEveryInvalidByteIntoOneQuestionMark) {
    // A truncated sequence at the end, a stray continuation byte, a lead byte that
    // cannot start anything.
    EXPECT_EQ(utf8_to_utf16("A\xC3"), u"A?");
    EXPECT_EQ(utf8_unit_count("A\xC3"), 2u);
    EXPECT_EQ(utf8_to_utf16("\x80x"), u"?x");
    EXPECT_EQ(utf8_to_utf16("\xFFx"), u"?x");
    // A lead byte whose continuation is wrong: the following byte is read afresh.
    EXPECT_EQ(utf8_to_utf16("\xC3"
                            "A"),
              u"?A");
    EXPECT_EQ(utf8_to_utf16("\xE2\x82"
                            "A"),
              u"??A");
}

TEST(Utf8ToUtf16, RefusesOverlongFormsAndEncodedSurrogates) {
    // An overlong zero must not cut the text short.
    EXPECT_EQ(utf8_to_utf16("a\xC0\x80"
                            "b"),
              u"a??b");
    EXPECT_EQ(utf8_to_utf16("\xE0\x80\xAF"), u"???");
    EXPECT_EQ(utf8_to_utf16("\xED\xA0\x80"), u"???");
    EXPECT_EQ(utf8_to_utf16("\xF0\x80\x80\x80"), u"????");
    EXPECT_EQ(utf8_unit_count("a\xC0\x80"
                              "b"),
              4u);
}

TEST(Utf8ToUtf16, CountsACharacterAboveTheBasicPlaneAsOneUnit) {
    std::string smile = "x\xF0\x9F\x98\x80y";  // U+1F600
    EXPECT_EQ(utf8_unit_count(smile), 3u);
    EXPECT_EQ(utf8_to_utf16(smile), (std::u16string{u'x', 0xFFFD, u'y'}));
    EXPECT_EQ(utf8_to_codepage(smile, page(1250)), "x?y");
    EXPECT_EQ(utf8_to_codepage("\xF4\x8F\xBF\xBF", page(1252)), "?");
}

TEST(Utf8ToUtf16, StopsAtTheTerminatorAndTheLimit) {
    EXPECT_EQ(utf8_to_utf16("ab\0cd"s), u"ab");
    EXPECT_EQ(utf8_unit_count("ab\0cd"s), 2u);
    EXPECT_EQ(utf8_to_utf16("abcdef", 3), u"abc");
    EXPECT_EQ(utf8_to_utf16("\xC3\xA9\xC3\xA9", 1), u"\u00E9");
}

TEST(Utf16ToUtf8, ReplacesControlCharactersButKeepsLineBreaksAndTabs) {
    EXPECT_EQ(utf16_to_utf8(u"a\tb\nc\rd"), "a\tb\nc\rd");
    EXPECT_EQ(utf16_to_utf8(u"a\x01"
                            u"b\x1F"),
              "a?b?");
    EXPECT_EQ(utf16_to_utf8(u"\x7F"), "\x7F");
    EXPECT_EQ(utf16_to_utf8(std::u16string{0x7FF, 0x800, 0xFFFF}),
              "\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF");
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

TEST(CodePageOutput, WritesOneQuestionMarkForEachMissingCharacter) {
    EXPECT_EQ(utf16_to_codepage(u"A\u0416\u00E9", page(1250)), "A?\xE9");  // Cyrillic Zhe
    EXPECT_EQ(utf8_to_codepage("A\xD0\x96\xC3\xA9", page(1250)), "A?\xE9");
    EXPECT_EQ(utf8_to_codepage("\xD0\x96", page(1251)), "\xC6");
    EXPECT_EQ(utf8_to_codepage("\xC5\x91", page(28592)), "\xF5");  // o double acute
}

TEST(CodePageOutput, ConvertsInPlaceToTheBytesOfACopy) {
    const std::string texts[] = {
        "",
        "plain ASCII",
        "\xC5\xBDlu\xC5\xA5ou\xC4\x8Dk\xC3\xBD k\xC5\xAF\xC5\x88",  // all in 1250
        "\xE6\x97\xA5 \xF0\x9F\x98\x80 \xE2\x82\xAC",               // missing, 4-byte, euro
        "bad \xC3 \x80 \xED\xA0\x80 \xF5 end",                      // invalid bytes
        std::string("cut\0after the zero", 19),
    };
    for (const std::string& text : texts) {
        std::string converted = text;
        converted.resize(utf8_to_codepage_in_place(converted.data(), converted.size(), page(1250)));
        EXPECT_EQ(converted, utf8_to_codepage(text, page(1250)).value()) << text;
    }
}

TEST(CodePageInput, DecodesThroughTheCodePageOrByteForByte) {
    EXPECT_EQ(codepage_to_utf16("\x41\xE9\x80", page(1250)), (std::u16string{0x41, 0xE9, 0x20AC}));
    EXPECT_EQ(codepage_to_utf16("\x8A", page(1250)), u"\u0160");
    EXPECT_EQ(codepage_to_utf16("\x80\xE9", std::nullopt), (std::u16string{0x80, 0xE9}));
    // A byte left undefined by the code page.
    EXPECT_EQ(codepage_to_utf16("\x81", page(1252)), u"\uFFFD");
    EXPECT_EQ(codepage_to_utf16("ab\0c"s, std::nullopt), u"ab");
}

TEST(CodePageTextToUtf8, DecodesThroughTheCodePageOrByteForByte) {
    std::optional<code_page> cp1250 = page(1250);
    EXPECT_EQ(codepage_text_to_utf8("caf\xE9 \x8A", cp1250), "caf\xC3\xA9 \xC5\xA0");
    EXPECT_EQ(codepage_text_to_utf8("a\tb\x02", cp1250), "a\tb?");

    // Without a code page each byte is the character of its number.
    EXPECT_EQ(codepage_text_to_utf8("\xE9", std::nullopt), "\xC3\xA9");
    EXPECT_EQ(codepage_text_to_utf8("\x8A", std::nullopt), "\xC2\x8A");
}

TEST(Conversions, KeepAnEmptyTextEmpty) {
    EXPECT_EQ(utf8_unit_count(""), 0u);
    EXPECT_EQ(utf8_to_utf16(""), u"");
    EXPECT_EQ(utf16_to_utf8(u""), "");
    EXPECT_EQ(utf16_to_codepage(u"", page(1250)), "");
    EXPECT_EQ(utf8_to_codepage("", page(1250)), "");
    EXPECT_EQ(codepage_to_utf16("", std::nullopt), u"");
    EXPECT_EQ(codepage_text_to_utf8("", std::nullopt), "");
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
