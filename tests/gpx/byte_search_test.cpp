#include "gpx/byte_search.hpp"

#include <gtest/gtest.h>

#include <string>

#include "text/xml_chars.hpp"

namespace velmora {
namespace {

using sv = std::string_view;

TEST(ByteSearch, FindsTheFirstHitAtEveryPlaceAndAlignment) {
    // The searches work in blocks: every place of the hit, every starting point, and
    // texts that end inside a block must give what a plain loop gives.
    for (std::size_t size = 0; size < 100; size += 7) {
        for (std::size_t at = 0; at <= size; ++at) {
            std::string text(size, 'x');
            if (at < size) text[at] = '<';
            if (at > 2) text[at / 2] = '&';
            for (std::size_t from = 0; from < size; from += 5) {
                SCOPED_TRACE(std::to_string(size) + " " + std::to_string(at) + " " +
                             std::to_string(from));
                std::size_t lt = text.find('<', from);
                EXPECT_EQ(find_byte(text, '<', from), lt);
                std::size_t either = text.find_first_of("<&", from);
                bool first_is_amp = false;
                EXPECT_EQ(find_either_byte(text, '&', '<', from, first_is_amp), either);
                if (either != sv::npos) {
                    EXPECT_EQ(first_is_amp, text[either] == '&');
                }
                bool amp = false;
                EXPECT_EQ(find_markup_noting_references(text, from, amp), lt);
                std::size_t amp_at = text.find('&', from);
                EXPECT_EQ(amp, amp_at != sv::npos && amp_at < lt);
            }
        }
    }
}

TEST(FindForbiddenBytes, GivesTheFirstOffsetAndTheCount) {
    EXPECT_FALSE(find_forbidden_bytes("tab\there\r\n").has_value());
    std::string text(200, 'x');
    text[130] = '\0';
    text[150] = '\x1F';
    text[199] = '\x0B';
    auto found = find_forbidden_bytes(text);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->first, 130u);
    EXPECT_EQ(found->count, 3u);
    EXPECT_EQ(found->byte, 0);
}

TEST(SurveyXmlText, FindsForbiddenBytesAndTheLastSpecialMarkupAtEveryPlace) {
    // Each byte of interest at every place of a text longer than a few blocks: the
    // survey must tell what a byte-by-byte look tells.
    const std::string placed[] = {"\x01", "\x7F", "\x1F", "\t",        "\r\n",  "<!",
                                  "<?",   "!",    "<x?",  "\xC3\xA9!", "<\x01!"};
    for (const std::string& part : placed) {
        for (std::size_t at = 0; at + part.size() <= 150; ++at) {
            std::string text(150, 'x');
            text.replace(at, part.size(), part);
            if (at % 7 == 0) text[149 - at / 7] = '<';
            xml_text_survey survey = survey_xml_text(text);
            std::optional<std::size_t> first;
            std::size_t count = 0;
            std::size_t last_special = sv::npos;
            for (std::size_t i = 0; i < text.size(); ++i) {
                if (is_forbidden_byte(static_cast<unsigned char>(text[i]))) {
                    if (!first) first = i;
                    ++count;
                }
                if (i > 0 && text[i - 1] == '<' && (text[i] == '!' || text[i] == '?'))
                    last_special = i - 1;
            }
            SCOPED_TRACE(std::to_string(at));
            ASSERT_EQ(survey.forbidden.has_value(), first.has_value());
            if (first) {
                EXPECT_EQ(survey.forbidden->first, *first);
                EXPECT_EQ(survey.forbidden->count, count);
            }
            EXPECT_EQ(survey.last_special, last_special);
        }
    }
}

}  // namespace
}  // namespace velmora
