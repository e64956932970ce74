#include "text/output_code_page.hpp"

#include <gtest/gtest.h>

#include <string>

#include "platform/messages.hpp"

namespace velmora {
namespace {

// Bytes of a text in a single-byte code page, written as hex escapes.
const std::string cafe_1252 =
    "Caf\xE8 Espa\xF1"
    "a";
const std::string moscow_1251 = "\xCC\xEE\xF1\xEA\xE2\xE0";

TEST(OutputCodePage, ConvertsEveryEncodingThroughUnicodeAndCountsLostCharacters) {
    const auto cp1251 = *code_page::create(1251);
    const auto cp1252 = *code_page::create(1252);
    const text_encoding utf8{true, nullptr};
    const text_encoding latin1{false, nullptr};
    const text_encoding from1251{false, &cp1251};
    const text_encoding from1252{false, &cp1252};
    struct conversion {
        text_encoding from;
        int to;
        std::string in;
        std::string out;
        std::uint64_t lost;
    };
    const conversion cases[] = {
        {utf8, 1250, "Caf\u00E8 Espa\u00F1a", "Caf? Espa?a", 2},
        {utf8, 1252, "Caf\u00E8 Espa\u00F1a", cafe_1252, 0},
        {utf8, 1250, "P\u00E9cs \u20AC",
         "P\xE9"
         "cs \x80",
         0},
        {utf8, 1251, "\u041C\u043E\u0441\u043A\u0432\u0430", moscow_1251, 0},
        {utf8, 65001, "\u041C\u043E\u0441\u043A\u0432\u0430 \U0001F600",
         "\u041C\u043E\u0441\u043A\u0432\u0430 \U0001F600", 0},
        {utf8, 1252, "A\U0001F600", "A?", 1},
        // Bytes that are no UTF-8: U+FFFD, or "?" in a code page, never counted.
        {utf8, 65001, "A\xC3", "A\uFFFD", 0},
        {utf8, 1250,
         "A\xC3 \xFF"
         "B",
         "A? ?B", 0},
        {from1251, 1250, moscow_1251, "??????", 6},
        {from1251, 65001, moscow_1251, "\u041C\u043E\u0441\u043A\u0432\u0430", 0},
        {from1251, 1251, moscow_1251, moscow_1251, 0},
        {from1252, 1250, cafe_1252, "Caf? Espa?a", 2},
        {from1252, 65001, "\x80 \x81", "\u20AC \uFFFD", 0},
        {latin1, 1252, cafe_1252, cafe_1252, 0},
        {latin1, 65001, "K\xE1v\xE9z\xF3", "K\u00E1v\u00E9z\u00F3", 0},
        {utf8, 1250, "plain ASCII text, longer than a word", "plain ASCII text, longer than a word",
         0},
        // Runs of ASCII longer than a word behind characters that shrink.
        {utf8, 1250, "\u0150r \u00E9s a long ASCII run \u00E9 then more ASCII \U0001F600!",
         "\xD5r \xE9s a long ASCII run \xE9 then more ASCII ?!", 1},
        {from1252, 1250,
         "Espa\xF1"
         "a, Caf\xE8 and a long ASCII tail",
         "Espa?a, Caf? and a long ASCII tail", 2},
    };
    for (const conversion& c : cases) {
        SCOPED_TRACE(c.in + " -> " + std::to_string(c.to));
        auto to = output_code_page::create(c.to);
        ASSERT_TRUE(to);
        text_converter appending(c.from, *to);
        std::string out = "<";
        appending.append(c.in, out);
        EXPECT_EQ(out, "<" + c.out);
        EXPECT_EQ(appending.lost(), c.lost);
        text_converter in_place(c.from, *to);
        std::string text = c.in;
        in_place.convert(text);
        EXPECT_EQ(text, c.out);
        EXPECT_EQ(in_place.lost(), c.lost);
    }
}

TEST(OutputCodePage, AutomaticChoiceTakesTheFirstCodePageThatHoldsEveryText) {
    const auto cp1251 = *code_page::create(1251);
    struct choice_case {
        std::vector<std::string> utf8_texts;
        int expected;
    };
    const choice_case cases[] = {
        {{"plain", ""}, 1250},
        {{"K\u00E1v\u00E9z\u00F3 \u0150r"}, 1250},
        {{"Caf\u00E8", "Espa\u00F1a"}, 1252},
        {{"\u041C\u043E\u0441\u043A\u0432\u0430"}, 1251},
        {{"\u0391\u03B8\u03AE\u03BD\u03B1"}, 1253},
        {{"\u0122irts"}, 1257},
        {{"\u0130stanbul"}, 1254},
        {{"\u05E9\u05DC\u05D5\u05DD"}, 1255},
        {{"\u0645\u0635\u0631"}, 1256},
        {{"S\u01A1n"}, 1258},
        {{"Caf\u00E8", "\u041C\u043E\u0441\u043A\u0432\u0430"}, 65001},
        {{"A\U0001F600"}, 65001},
        {{"bad \xC3 byte \xEF\xBF\xBD"}, 1250},
    };
    for (const choice_case& c : cases) {
        code_page_chooser chooser;
        for (const std::string& text : c.utf8_texts) chooser.add(text, {true, nullptr});
        EXPECT_EQ(chooser.choice(), c.expected) << c.utf8_texts.front();
    }
    code_page_chooser from_code_page;
    from_code_page.add(moscow_1251, {false, &cp1251});
    EXPECT_EQ(from_code_page.choice(), 1251);
    code_page_chooser from_bytes;
    from_bytes.add(cafe_1252, {false, nullptr});
    EXPECT_EQ(from_bytes.choice(), 1252);
}

TEST(OutputCodePage, ChoiceIsANumberOfTheListUtf8OrAuto) {
    struct parse_case {
        const char* text;
        bool valid;
        bool automatic;
        int number;
    };
    const parse_case cases[] = {
        {"1250", true, false, 1250},  {"1258", true, false, 1258},   {"65001", true, false, 65001},
        {"utf8", true, false, 65001}, {"UTF-8", true, false, 65001}, {"Auto", true, true, 0},
        {"1249", false, false, 0},    {"1259", false, false, 0},     {"874", false, false, 0},
        {"28591", false, false, 0},   {"", false, false, 0},         {"1250x", false, false, 0},
        {" 1250", false, false, 0},   {"utf16", false, false, 0},
    };
    for (const parse_case& c : cases) {
        auto choice = parse_code_page_choice(c.text);
        ASSERT_EQ(choice.has_value(), c.valid) << c.text;
        if (!choice) continue;
        EXPECT_EQ(choice->automatic, c.automatic) << c.text;
        if (!c.automatic) {
            EXPECT_EQ(choice->number, c.number) << c.text;
        }
    }
}

TEST(OutputCodePage, MessagesNeverCarryControlCharacters) {
    EXPECT_EQ(escape_controls("a\x1B[31mb\tc\x7F"
                              "d\r\n",
                              false),
              "a\\x1B[31mb\tc\\x7Fd\\x0D\\x0A");
    EXPECT_EQ(escape_controls("\xC2\x9B"
                              "2J \xC3\xA9",
                              true),
              "\\x9B2J \xC3\xA9");
    // An 8-bit terminal takes 0x9B as a control, whatever code page the text is in.
    EXPECT_EQ(escape_controls("\xC2\x9B\xE9", false), "\xC2\\x9B\xE9");
    // Whatever the terminal takes, a text never reaches it with its escape sequence.
    std::string shown = display_text(
        "Egy\xE9"
        "b \x1B]0;x\x07",
        {false, nullptr});
    EXPECT_EQ(shown.find('\x1B'), std::string::npos);
    EXPECT_EQ(shown.find('\x07'), std::string::npos);
    if (terminal_is_utf8()) {
        EXPECT_EQ(shown, "Egy\u00E9b \\x1B]0;x\\x07");
    }
    // A cut never splits a character.
    EXPECT_EQ(display_text("\u00E9\u00E9\u00E9", {true, nullptr}, 3), "\u00E9");
}

}  // namespace
}  // namespace velmora
