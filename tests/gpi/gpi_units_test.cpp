#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "gpi/gpi_bitmap.hpp"
#include "gpi/gpi_format.hpp"
#include "gpi/gpi_units.hpp"

namespace velmora {
namespace {

TEST(Semicircles, DegreesBecomeTwoToTheThirtyOneParts) {
    EXPECT_EQ(semicircles(0.0), 0);
    EXPECT_EQ(static_cast<std::uint32_t>(semicircles(90.0)), 0x40000000u);
    EXPECT_EQ(static_cast<std::uint32_t>(semicircles(-90.0)), 0xC0000000u);
    EXPECT_EQ(static_cast<std::uint32_t>(semicircles(-180.0)), 0x80000000u);
    // +180 wraps to the same bits as -180.
    EXPECT_EQ(static_cast<std::uint32_t>(semicircles(180.0)), 0x80000000u);
    // Truncated toward zero, on both sides.
    double one_part = 180.0 / 2147483648.0;
    EXPECT_EQ(semicircles(one_part * 1.9), 1);
    EXPECT_EQ(semicircles(-one_part * 1.9), -1);
    EXPECT_EQ(semicircles(std::numeric_limits<double>::quiet_NaN()), 0);
}

TEST(Semicircles, ReadBackAsDegrees) {
    EXPECT_EQ(semicircles_to_degrees(0), 0.0);
    EXPECT_EQ(semicircles_to_degrees(0x40000000), 90.0);
    EXPECT_EQ(semicircles_to_degrees(std::numeric_limits<std::int32_t>::min()), -180.0);
    EXPECT_NEAR(semicircles_to_degrees(semicircles(47.123456)), 47.123456, 1e-7);
}

TEST(GpiSpeed, StoredSpeedsReadBackAsWholeKilometresPerHour) {
    EXPECT_EQ(gpi_speed_to_kmh(1388), 50.0);  // 49.97 rounded
    EXPECT_EQ(gpi_speed_to_kmh(0), 0.0);
    EXPECT_EQ(gpi_speed_to_kmh(1341), 48.0);
}

TEST(GpiClamping, ValuesBeyondSixteenBitsAreClampedNotWrapped) {
    EXPECT_EQ(gpi_distance_clamped(99.9).value, 99);
    EXPECT_FALSE(gpi_distance_clamped(99.9).clamped);
    EXPECT_FALSE(gpi_distance_clamped(65535.99).clamped);
    EXPECT_EQ(gpi_distance_clamped(65536.0).value, 65535);
    EXPECT_TRUE(gpi_distance_clamped(65536.0).clamped);
    EXPECT_EQ(gpi_distance_clamped(1e12).value, 65535);
    EXPECT_EQ(gpi_distance_clamped(-5.0).value, 0);
    EXPECT_TRUE(gpi_distance_clamped(-5.0).clamped);
    EXPECT_EQ(gpi_distance_clamped(-0.5).value, 0);
    EXPECT_FALSE(gpi_distance_clamped(-0.5).clamped);
    EXPECT_TRUE(gpi_distance_clamped(std::numeric_limits<double>::quiet_NaN()).clamped);
    EXPECT_EQ(gpi_distance_clamped(std::numeric_limits<double>::infinity()).value, 65535);

    EXPECT_EQ(gpi_speed_clamped(50.0).value, 1388);
    EXPECT_FALSE(gpi_speed_clamped(50.0).clamped);
    // 2360 km/h is 65555 hundredths of a metre per second.
    EXPECT_EQ(gpi_speed_clamped(2360.0).value, 65535);
    EXPECT_TRUE(gpi_speed_clamped(2360.0).clamped);
    EXPECT_EQ(gpi_speed_clamped(-30.0).value, 0);
    EXPECT_TRUE(gpi_speed_clamped(-30.0).clamped);
}

TEST(GpiBitmapRowSize, IsAMultipleOfFourBytes) {
    EXPECT_EQ(gpi_bitmap_row_size(16, 8), 16);
    EXPECT_EQ(gpi_bitmap_row_size(16, 24), 48);
    EXPECT_EQ(gpi_bitmap_row_size(15, 8), 16);
    EXPECT_EQ(gpi_bitmap_row_size(23, 8), 24);
    EXPECT_EQ(gpi_bitmap_row_size(48, 32), 192);
    EXPECT_EQ(gpi_bitmap_row_size(1, 1), 4);
    EXPECT_EQ(gpi_bitmap_row_size(0, 8), 0);  // 0x10000 held in 16 bits
}

}  // namespace
}  // namespace velmora
