#include <gtest/gtest.h>

#include "cli/gpi_output.hpp"
#include "gpi/gpi_bitmap.hpp"
#include "icons/image_fixture.hpp"
#include "support/test_support.hpp"

namespace velmora {
namespace {

TEST(IconPicturesCli, APngBesideAListBecomesA24PixelIconOfTheGpiAndABrokenGifIsReported) {
    testing::temp_dir dir;
    // A 64x64 icon as Google My Maps gives them: a red disc on a transparent ground.
    testing::rgba_picture disc(64, 64, 0x00000000);
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
            if ((x - 32) * (x - 32) + (y - 32) * (y - 32) < 24 * 24) disc.set(x, y, 0xD03030FF);
        }
    }
    testing::write_file(dir.file("camp.csv"), "19.04,47.49,Lakeside\n19.07,47.51,Forest\n");
    testing::write_file(dir.file("Camp.PNG"), testing::encode_png(disc));
    testing::write_file(dir.file("fuel.csv"), "19.1,47.6,Corner\n");
    testing::write_file(dir.file("fuel.gif"), "GIF89a\x10\x00");
    auto r = testing::run_velmora({"camp.csv", "fuel.csv", "-o", "out.gpi"}, dir.path().string());
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(testing::contains(r.err, "\n  1. Loaded icon  (used:    2x): 'camp'")) << r.err;
    EXPECT_TRUE(testing::contains(r.err,
                                  "\nWarning: Can't load image file(fuel.gif): damaged GIF "
                                  "image ("))
        << r.err;
    EXPECT_TRUE(testing::contains(r.err, "\nTeszt: Not loaded! (fuel.gif)")) << r.err;

    poiset_list list = testing::read_gpi(testing::read_file(dir.file("out.gpi")));
    ASSERT_EQ(list.count(), 2);
    const poiset& camp = *list.poisets[0];
    ASSERT_TRUE(camp.icons);
    ASSERT_EQ(camp.icons->count(), 1);
    const gpi_bitmap& icon = *camp.icons->entries[0]->bitmap;
    EXPECT_EQ(icon.width, 24);
    EXPECT_EQ(icon.height, 24);
    EXPECT_EQ(icon.bits_per_pixel, 8);
    EXPECT_EQ(icon.transparent_colour, 0x00FF00FFu);
    // The corners are transparent, the middle keeps the disc's colour (GPI palette order
    // red, green, blue).
    EXPECT_EQ(icon.palette.at(icon.pixels.at(0)), 0x00FF00FFu);
    EXPECT_EQ(icon.palette.at(icon.pixels.at(12 * 24 + 12)), 0x003030D0u);
    for (const auto& w : camp.waypoints) EXPECT_TRUE(w.flags & has_icon);
    EXPECT_TRUE(!list.poisets[1]->icons || list.poisets[1]->icons->count() == 0);
}

}  // namespace
}  // namespace velmora
