#include "text/strict_numbers.hpp"

#include <gtest/gtest.h>

#include <charconv>
#include <string>

namespace velmora {
namespace {

TEST(WholeDecimal, ReadsOnlyTextsThatAreOneDecimalNumber) {
    const std::pair<const char*, double> numbers[] = {
        {"47.5", 47.5}, {"-19,25", -19.25}, {" 3 ", 3.0},    {"+2", 2.0},
        {".5", 0.5},    {"5.", 5.0},        {"\t-0\n", 0.0}, {"123456789.125", 123456789.125}};
    for (auto [text, value] : numbers) EXPECT_EQ(whole_decimal(text), value) << text;
    for (const char* text : {"", " ", "abc", "47.5abc", "0x1p4", "1e5", "inf", "nan", "1.2.3",
                             "1,2.3", "--1", "+-1", "- 1", ".", "4 7", "\"47\""}) {
        EXPECT_FALSE(whole_decimal(text).has_value()) << text;
    }
}

// Short numbers take a quick way, long ones the library's conversion; both must give
// the double nearest to the decimal value, as the library does for any length.
TEST(WholeDecimal, GivesTheNearestDoubleForShortAndLongNumbers) {
    for (const char* text :
         {"47.497913", "19.040236", "0.1", "0.3", "33.25", "9007199254740992", "9007199254740993",
          "900719925474099.3", "1.0000000000000000000001", "0.0000000000000000000001",
          "0.00000000000000000000001", "18446744073709551615", "18446744073709551616.5",
          "123456789012345678901234567890", "4,94065645841246544", "179.99999999999999"}) {
        std::string point(text);
        decimal_commas_to_points(point);
        double expected = 0.0;
        auto [end, ec] = std::from_chars(point.data(), point.data() + point.size(), expected,
                                         std::chars_format::fixed);
        ASSERT_TRUE(ec == std::errc() && end == point.data() + point.size()) << text;
        EXPECT_EQ(whole_decimal(text), expected) << text;
        EXPECT_EQ(whole_decimal("-" + std::string(text)), -expected) << text;
    }
}

TEST(WholeInteger, ReadsOnlyTextsThatAreOneWholeNumber) {
    EXPECT_EQ(whole_integer("20"), 20);
    EXPECT_EQ(whole_integer(" -5 "), -5);
    EXPECT_EQ(whole_integer("+7"), 7);
    for (const char* text : {"", "20%", "1.5", "++1", "+-1", "7 icons", "99999999999999999999"}) {
        EXPECT_FALSE(whole_integer(text).has_value()) << text;
    }
}

TEST(SpeedInName, TakesAPlainPositiveNumberAfterTheLastAt) {
    struct {
        const char* name;
        std::size_t length;
        double speed;
    } speeds[] = {{"Radar@50", 5, 50.0},
                  {"Cafe @ Mall@50", 11, 50.0},
                  {"Zone@30,5", 4, 30.5},
                  {"@0.5", 0, 0.5},
                  {"Max@1000", 3, 1000.0}};
    for (const auto& c : speeds) {
        auto got = speed_in_name(c.name);
        ASSERT_TRUE(got.has_value()) << c.name;
        EXPECT_EQ(got->name_length, c.length) << c.name;
        EXPECT_EQ(got->speed, c.speed) << c.name;
    }
    for (const char* name :
         {"Plain", "LAN@Work", "Radar@1e308", "Radar@-5", "Radar@+5", "@", "Radar@0", "Radar@ 50",
          "Radar@50 ", "Radar@1000.5", "Radar@50@x", "Radar@inf"}) {
        EXPECT_FALSE(speed_in_name(name).has_value()) << name;
    }
}

}  // namespace
}  // namespace velmora
