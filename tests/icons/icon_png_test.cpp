#include "icons/icon_png.hpp"

#include <gtest/gtest.h>

#include <string>

#include "icons/rgba_image.hpp"

namespace velmora {
namespace {

// A 3x2 bitmap of the depth whose pixels are, row by row: magenta (transparent), red,
// green / blue, white, black.
gpi_bitmap sample_bitmap(std::uint16_t bits) {
    gpi_bitmap b;
    b.width = 3;
    b.height = 2;
    b.bits_per_pixel = bits;
    b.transparent_colour = 0x00FF00FF;
    const std::uint32_t colours[6] = {0xFF00FF, 0x0000FF, 0x00FF00, 0xFF0000, 0xFFFFFF, 0x000000};
    const std::size_t row = gpi_bitmap_row_size(b.width, bits);
    b.pixels.assign(row * b.height, 0);
    for (std::uint32_t i = 0; i < 6; ++i) {
        std::uint8_t* p = b.pixels.data() + (i / 3) * row;
        std::uint32_t x = i % 3;
        std::uint32_t c = colours[i];
        if (bits == 8) {
            p[x] = static_cast<std::uint8_t>(i);
        } else if (bits == 4) {
            p[x / 2] |= static_cast<std::uint8_t>(i << (x % 2 == 0 ? 4 : 0));
        } else {  // 24 and 32: blue, green, red
            std::size_t step = bits / 8;
            p[x * step] = static_cast<std::uint8_t>(c >> 16);
            p[x * step + 1] = static_cast<std::uint8_t>(c >> 8);
            p[x * step + 2] = static_cast<std::uint8_t>(c);
        }
    }
    if (bits <= 8) {
        b.palette.assign(std::size_t{1} << bits, 0);
        for (std::uint32_t i = 0; i < 6; ++i) b.palette[i] = colours[i];
        b.palette_count = static_cast<std::uint32_t>(b.palette.size());
    }
    return b;
}

TEST(IconPng, EveryDepthComesBackWithTheTransparentColourAsAlpha) {
    const std::uint8_t expected[6][4] = {{255, 0, 255, 0}, {255, 0, 0, 255},     {0, 255, 0, 255},
                                         {0, 0, 255, 255}, {255, 255, 255, 255}, {0, 0, 0, 255}};
    for (std::uint16_t bits : {4, 8, 24, 32}) {
        SCOPED_TRACE(bits);
        icon_entry entry;
        entry.format = icon_format_gpi;
        entry.bitmap = std::make_shared<gpi_bitmap>(sample_bitmap(bits));
        auto png = icon_png(entry);
        ASSERT_TRUE(png.has_value());
        std::string why;
        auto back = png_decode_rgba(*png, why);
        ASSERT_TRUE(back.has_value()) << why;
        ASSERT_EQ(back->width, 3);
        ASSERT_EQ(back->height, 2);
        for (int i = 0; i < 6; ++i) {
            for (int k = 0; k < 4; ++k) {
                if (k < 3 && expected[i][3] == 0) continue;  // colour of a clear pixel: any
                EXPECT_EQ(back->pixels[4 * i + k], expected[i][k]) << "pixel " << i;
            }
        }
        EXPECT_EQ(icon_png(entry), png) << "the same icon gives the same bytes";
    }
}

TEST(IconPng, BitmapsShortOfTheirCountsAreRefused) {
    gpi_bitmap b = sample_bitmap(8);
    b.pixels.resize(3);
    EXPECT_FALSE(gpi_bitmap_to_rgba(b).has_value());
    b = sample_bitmap(8);
    b.palette.clear();
    b.palette_count = 0;
    EXPECT_FALSE(gpi_bitmap_to_rgba(b).has_value());
    b = sample_bitmap(8);
    b.bits_per_pixel = 7;
    EXPECT_FALSE(gpi_bitmap_to_rgba(b).has_value());
}

}  // namespace
}  // namespace velmora
