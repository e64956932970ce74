#include <gtest/gtest.h>

#include <png.h>

#include "icons/icon_convert.hpp"
#include "icons/icon_image.hpp"
#include "icons/image_fixture.hpp"
#include "platform/messages.hpp"

namespace velmora {
namespace {

using testing::rgba_picture;

std::span<const unsigned char> bytes_of(const std::string& s) {
    return {reinterpret_cast<const unsigned char*>(s.data()), s.size()};
}

// The colour (0x00RRGGBB) of picture pixel (x, y), y counted from the top.
std::uint32_t colour_at(const bmp_image& image, int x, int y) {
    auto row_size = static_cast<std::size_t>(bitmap_row_size(8, image.width));
    std::uint8_t index =
        image.pixels[row_size * static_cast<std::size_t>(image.height - 1 - y) + static_cast<std::size_t>(x)];
    return image.palette.at(index) & 0xFFFFFF;
}

TEST(IconImageDecode, TakesAPngWithAlphaAsAnEightBitPictureWithMagentaForTransparency) {
    rgba_picture picture(4, 3);
    picture.set(1, 0, 0x00FF00FF);  // opaque green
    picture.set(2, 2, 0x0000FF10);  // nearly transparent blue
    std::string why;
    auto image = icon_image_decode(bytes_of(testing::encode_png(picture)), &why);
    ASSERT_NE(image, nullptr) << why;
    EXPECT_EQ(image->width, 4);
    EXPECT_EQ(image->height, 3);
    EXPECT_EQ(image->bits_per_pixel, 8);
    EXPECT_EQ(image->colours_used, 3);
    EXPECT_EQ(image->pixels.size(), 12u);
    EXPECT_EQ(colour_at(*image, 0, 0), 0xFF0000u);
    EXPECT_EQ(colour_at(*image, 1, 0), 0x00FF00u);
    EXPECT_EQ(colour_at(*image, 2, 2), gpi_transparent_magenta);
    EXPECT_EQ(gpi_conversion_problem(*image), nullptr);
}

}  // namespace
}  // namespace velmora
