#include "text/fixed_decimal.hpp"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <limits>
#include <random>
#include <string>

namespace velmora {
namespace {

std::string by_to_chars(double value, int decimals) {
    char buffer[400];
    auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    return std::string(buffer, result.ptr);
}

std::string by_append(double value, int decimals) {
    std::string out = "x";
    append_fixed(out, value, decimals);
    return out.substr(1);
}

TEST(AppendFixed, WritesTheBytesOfToCharsInFixedForm) {
    const double cases[] = {
        0.0,
        -0.0,
        1.0,
        -1.0,
        45.0789310,
        -122.7654321,
        180.0,
        -180.0,
        90.0,
        9.99999995,  // a carry through every digit
        -9.99999995,
        99.999999951,
        0.00000005,   // about half a unit of the last digit
        -0.00000004,  // negative, rounds to zero: keeps its sign
        1e-300,
        -1e-300,
        std::numeric_limits<double>::denorm_min(),
        0.00390625,  // 2^-8: exactly half a unit of the 7th digit, rounded to even
        0.01171875,  // 3 * 2^-8: half a unit, rounded up to even
        0.5,         // ties of whole numbers, with no decimals: to even
        1.5,
        2.5,
        -2.5,
        250.0,
        1e15,
        4503599627370495.5,  // just below 2^52
        4503599627370496.0,  // 2^52 and above: left to std::to_chars
        1.8446744073709552e19,
        1e300,
        -1e300,
        std::numeric_limits<double>::max(),
        std::numeric_limits<double>::infinity(),
        -std::numeric_limits<double>::infinity(),
        std::numeric_limits<double>::quiet_NaN(),
    };
    for (double value : cases) {
        for (int decimals : {0, 1, 7, 9}) {
            EXPECT_EQ(by_append(value, decimals), by_to_chars(value, decimals))
                << value << " with " << decimals << " decimals";
        }
    }
}

// Coordinates as GPI files hold them (semicircles) and as GPX files give them (decimal
// texts), and distances, all as std::to_chars writes them.
TEST(AppendFixed, WritesCoordinatesAndDistancesAsToCharsDoes) {
    std::mt19937_64 random(17);
    std::uniform_int_distribution<std::int32_t> semicircles;
    std::uniform_real_distribution<double> degrees(-180.0, 180.0);
    std::uniform_real_distribution<double> metres(0.0, 1e7);
    for (int i = 0; i < 50000; ++i) {
        double from_gpi = semicircles(random) * (180.0 / 2147483648.0);
        ASSERT_EQ(by_append(from_gpi, 7), by_to_chars(from_gpi, 7)) << from_gpi;
        double from_text = std::stod(by_to_chars(degrees(random), 8));
        ASSERT_EQ(by_append(from_text, 7), by_to_chars(from_text, 7)) << from_text;
        double distance = std::round(metres(random) * 2.0) / 2.0;  // ties included
        ASSERT_EQ(by_append(distance, 0), by_to_chars(distance, 0)) << distance;
    }
}

}  // namespace
}  // namespace velmora
