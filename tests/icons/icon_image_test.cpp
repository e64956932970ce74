#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>

#include "icons/bmp_file.hpp"
#include "icons/bmp_fixture.hpp"
#include "icons/icon_convert.hpp"
#include "icons/icon_image.hpp"
#include "icons/icon_library.hpp"
#include "icons/image_fixture.hpp"
#include "platform/messages.hpp"
#include "support/test_support.hpp"

namespace velmora {
namespace {

using testing::rgba_picture;

constexpr std::uint32_t red = 0xFF0000FF;
constexpr std::uint32_t green = 0x00FF00FF;
constexpr std::uint32_t faint_blue = 0x0000FF10;

std::span<const unsigned char> bytes_of(const std::string& s) {
    return {reinterpret_cast<const unsigned char*>(s.data()), s.size()};
}

// The colour (0xRRGGBB) of picture pixel (x, y), y counted from the top.
std::uint32_t colour_at(const bmp_image& image, int x, int y) {
    auto row_size = static_cast<std::size_t>(bitmap_row_size(8, image.width));
    std::uint8_t index = image.pixels[row_size * static_cast<std::size_t>(image.height - 1 - y) +
                                      static_cast<std::size_t>(x)];
    return image.palette.at(index) & 0xFFFFFF;
}

bool near(std::uint32_t a, std::uint32_t b, int tolerance) {
    for (int shift : {0, 8, 16}) {
        int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
        if (std::abs(d) > tolerance) return false;
    }
    return true;
}

// A 4x3 picture: red, with a green pixel at (1, 0) and a nearly transparent one at (2, 2).
rgba_picture sample() {
    rgba_picture picture(4, 3, red);
    picture.set(1, 0, green);
    picture.set(2, 2, faint_blue);
    return picture;
}

std::string png_with_size(std::uint32_t width, std::uint32_t height) {
    std::string png = testing::encode_png(rgba_picture(2, 2));
    // IHDR: length at 8, type at 12, width at 16, height at 20, CRC at 29.
    for (int i = 0; i < 4; ++i) {
        png[static_cast<std::size_t>(16 + i)] = static_cast<char>(width >> (24 - 8 * i));
        png[static_cast<std::size_t>(20 + i)] = static_cast<char>(height >> (24 - 8 * i));
    }
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(png.data() + 12), 17);
    for (int i = 0; i < 4; ++i)
        png[static_cast<std::size_t>(29 + i)] = static_cast<char>(crc >> (24 - 8 * i));
    return png;
}

std::string jpeg_with_size(std::uint16_t width, std::uint16_t height) {
    std::string jpeg = testing::encode_jpeg(rgba_picture(8, 8));
    std::size_t sof = jpeg.find("\xFF\xC0");
    jpeg[sof + 5] = static_cast<char>(height >> 8);
    jpeg[sof + 6] = static_cast<char>(height);
    jpeg[sof + 7] = static_cast<char>(width >> 8);
    jpeg[sof + 8] = static_cast<char>(width);
    return jpeg;
}

std::string gif_with_size(std::uint16_t width, std::uint16_t height) {
    std::string gif = testing::encode_gif(rgba_picture(2, 2));
    // Screen size at 6; the frame after the 768-byte colour table and the 8-byte control.
    std::size_t frame = 6 + 7 + 768 + 8;
    for (std::size_t at : {std::size_t{6}, frame + 5}) {
        gif[at] = static_cast<char>(width);
        gif[at + 1] = static_cast<char>(width >> 8);
        gif[at + 2] = static_cast<char>(height);
        gif[at + 3] = static_cast<char>(height >> 8);
    }
    return gif;
}

std::string cut(std::string bytes, std::size_t keep) {
    bytes.resize(keep);
    return bytes;
}

struct decode_case {
    const char* form;
    std::string bytes;
    bool keeps_alpha;  // the faint pixel turns transparent
    int tolerance;     // how far a colour may move
};

TEST(IconImageDecode, TakesEachFormatAsAnEightBitPictureWithMagentaForTransparency) {
    const decode_case cases[] = {
        {"PNG with alpha", testing::encode_png(sample()), true, 0},
        {"PNG with a palette", testing::encode_png(sample(), true), true, 0},
        {"JPEG", testing::encode_jpeg(sample()), false, 48},
        {"GIF with a transparent index", testing::encode_gif(sample()), true, 0},
        {"GIF of two frames", testing::encode_gif(sample(), true), true, 0},
        {"BMP of 16 bits", testing::encode_deep_bmp(sample(), 16), false, 0},
        {"BMP of 24 bits", testing::encode_deep_bmp(sample(), 24), false, 0},
        {"BMP of 24 bits, top row first", testing::encode_deep_bmp(sample(), 24, false, true),
         false, 0},
        {"BMP of 32 bits without alpha", testing::encode_deep_bmp(sample(), 32), false, 0},
        {"BMP of 32 bits with an alpha mask", testing::encode_deep_bmp(sample(), 32, true), true,
         0},
    };
    for (const decode_case& c : cases) {
        std::string why;
        auto image = icon_image_decode(bytes_of(c.bytes), &why);
        ASSERT_NE(image, nullptr) << c.form << ": " << why;
        EXPECT_EQ(image->width, 4) << c.form;
        EXPECT_EQ(image->height, 3) << c.form;
        EXPECT_EQ(image->bits_per_pixel, 8) << c.form;
        EXPECT_EQ(image->colours_used, static_cast<std::int32_t>(image->palette.size())) << c.form;
        EXPECT_EQ(image->pixels.size(), 12u) << c.form;
        EXPECT_TRUE(near(colour_at(*image, 0, 0), 0xFF0000, c.tolerance)) << c.form;
        EXPECT_TRUE(near(colour_at(*image, 1, 0), 0x00FF00, c.tolerance)) << c.form;
        if (c.keeps_alpha) {
            EXPECT_EQ(colour_at(*image, 2, 2), gpi_transparent_magenta) << c.form;
        } else {
            EXPECT_TRUE(near(colour_at(*image, 2, 2), 0x0000FF, c.tolerance)) << c.form;
        }
        EXPECT_EQ(gpi_conversion_problem(*image), nullptr) << c.form;
    }
}

TEST(IconImageDecode, RefusesDamagedAndOversizedImagesWithTheReason) {
    std::string png = testing::encode_png(sample());
    std::string bad_crc = png;
    bad_crc[bad_crc.find("IDAT") + 6] ^= 0x55;
    std::string deep = testing::encode_deep_bmp(sample(), 24);
    std::string too_deep = deep;
    too_deep[28] = 64;
    std::string huge_bmp = deep;
    huge_bmp[18] = 0x30, huge_bmp[19] = 0x75;  // 30000
    huge_bmp[22] = 0x30, huge_bmp[23] = 0x75;
    const std::pair<std::string, const char*> cases[] = {
        {"", "not a PNG, JPEG, GIF or BMP image"},
        {"<svg/>", "not a PNG, JPEG, GIF or BMP image"},
        {cut(png, png.size() / 2), "damaged PNG image"},
        {bad_crc, "damaged PNG image"},
        {cut(testing::encode_jpeg(sample()), 200), "damaged JPEG image"},
        {cut(testing::encode_jpeg(sample()), 3), "damaged JPEG image"},
        {cut(testing::encode_gif(sample()), 800), "damaged GIF image"},
        {cut(deep, deep.size() - 1), "damaged BMP image (pixel data cut short)"},
        {too_deep, "BMP of 64 bits per pixel is not supported"},
        {png_with_size(30000, 30000), "image of 30000x30000 pixels is too large for an icon"},
        {jpeg_with_size(30000, 30000), "image of 30000x30000 pixels is too large for an icon"},
        {gif_with_size(30000, 30000), "image of 30000x30000 pixels is too large for an icon"},
        {huge_bmp, "image of 30000x30000 pixels is too large for an icon"},
    };
    for (const auto& [bytes, reason] : cases) {
        std::string why;
        EXPECT_EQ(icon_image_decode(bytes_of(bytes), &why), nullptr) << reason;
        EXPECT_TRUE(testing::contains(why, reason)) << why;
    }
}

TEST(IconImageDecode, TakesShallowBmpFilesExactlyAsTheBmpLoaderDoes) {
    testing::temp_dir dir;
    std::string bmp = testing::make_bmp({});
    testing::write_file(dir.file("flag.bmp"), bmp);
    std::string why;
    auto decoded = icon_image_load(dir.file("flag.bmp"), &why);
    auto loaded = bmp_load(dir.file("flag.bmp"));
    ASSERT_NE(decoded, nullptr) << why;
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(decoded->name, "flag.bmp");
    EXPECT_EQ(decoded->width, loaded->width);
    EXPECT_EQ(decoded->bits_per_pixel, loaded->bits_per_pixel);
    EXPECT_EQ(decoded->palette, loaded->palette);
    EXPECT_EQ(decoded->pixels, loaded->pixels);

    testing::bmp_layout compressed;
    compressed.compression = 1;
    message_capture capture;
    why = "unchanged";
    EXPECT_EQ(icon_image_decode(bytes_of(testing::make_bmp(compressed)), &why), nullptr);
    EXPECT_EQ(why, "");
    EXPECT_EQ(capture.text(), "\nError: Compressed BMP detected. Ignore it");
}

TEST(IconImageLoad, GivesTheSystemsReasonForAFileThatCantBeRead) {
    testing::temp_dir dir;
    std::string why;
    EXPECT_EQ(icon_image_load(dir.file("missing.png"), &why), nullptr);
    EXPECT_EQ(why, "No such file or directory");
    EXPECT_EQ(icon_image_load(dir.path().string(), &why), nullptr);
    EXPECT_FALSE(why.empty());
}

struct scale_case {
    int width, height;
    int fitted_width, fitted_height;
};

TEST(IconImageScaling, FitsWithin24PixelsKeepingTheAspect) {
    const scale_case cases[] = {
        {64, 64, 24, 24}, {100, 50, 24, 12}, {10, 30, 8, 24}, {2000, 1, 24, 1},
        {24, 24, 24, 24}, {16, 16, 16, 16},  {25, 3, 24, 3},  {1, 1, 1, 1},
    };
    for (const scale_case& c : cases) {
        std::string why;
        auto image =
            icon_image_decode(bytes_of(testing::encode_png(rgba_picture(c.width, c.height))), &why);
        ASSERT_NE(image, nullptr) << why;
        EXPECT_EQ(image->width, c.fitted_width) << c.width << "x" << c.height;
        EXPECT_EQ(image->height, c.fitted_height) << c.width << "x" << c.height;
        EXPECT_EQ(colour_at(*image, c.fitted_width - 1, c.fitted_height - 1), 0xFF0000u);
    }
}

TEST(IconImageScaling, KeepsEdgesAndColoursBesideTransparencyClean) {
    // Left half transparent black, right half red, with a blue column in the middle of
    // the red: the red keeps its full colour beside the transparency (no dark fringe).
    rgba_picture picture(48, 48, red);
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 24; ++x) picture.set(x, y, 0x00000000);
        picture.set(36, y, 0x0000FFFF);
        picture.set(37, y, 0x0000FFFF);
    }
    std::string why;
    auto image = icon_image_decode(bytes_of(testing::encode_png(picture)), &why);
    ASSERT_NE(image, nullptr) << why;
    ASSERT_EQ(image->width, 24);
    for (int y = 0; y < 24; ++y) {
        EXPECT_EQ(colour_at(*image, 11, y), gpi_transparent_magenta);
        EXPECT_EQ(colour_at(*image, 12, y), 0xFF0000u);
        EXPECT_EQ(colour_at(*image, 18, y), 0x0000FFu);
    }
    // A picture already within 24x24 keeps every pixel.
    auto small = icon_image_decode(bytes_of(testing::encode_png(sample())), &why);
    ASSERT_NE(small, nullptr);
    EXPECT_EQ(colour_at(*small, 1, 0), 0x00FF00u);
}

// A picture of width x height, every pixel of its own colour.
rgba_picture many_colours(int width, int height) {
    rgba_picture picture(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            auto i = static_cast<std::uint32_t>(y * width + x);
            picture.set(
                x, y, ((i * 37 % 256) << 24) | ((i * 11 % 256) << 16) | ((i % 7) * 40 << 8) | 0xFF);
        }
    }
    return picture;
}

TEST(IconImageQuantization, KeepsUpTo256ColoursExactlyAndCutsMoreDeterministically) {
    std::string why;
    // 16x16 of 256 colours and no transparency: the palette holds them all.
    rgba_picture exact = many_colours(16, 16);
    auto image = icon_image_decode(bytes_of(testing::encode_png(exact)), &why);
    ASSERT_NE(image, nullptr) << why;
    EXPECT_EQ(image->colours_used, 256);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) EXPECT_EQ(colour_at(*image, x, y), exact.at(x, y) >> 8);

    // A 24x24 gradient of 575 colours and one transparent pixel: 255 colours and magenta.
    rgba_picture crowded(24, 24);
    for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < 24; ++x) {
            auto r = static_cast<std::uint32_t>(x * 11), g = static_cast<std::uint32_t>(y * 11);
            crowded.set(x, y, (r << 24) | (g << 16) | ((r + g) / 2 << 8) | 0xFF);
        }
    }
    crowded.set(0, 0, 0);
    std::string png = testing::encode_png(crowded);
    auto first = icon_image_decode(bytes_of(png), &why);
    auto second = icon_image_decode(bytes_of(png), &why);
    ASSERT_NE(first, nullptr) << why;
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(first->colours_used, 256);
    EXPECT_EQ(first->palette, second->palette);
    EXPECT_EQ(first->pixels, second->pixels);
    EXPECT_EQ(std::count(first->palette.begin(), first->palette.end(), gpi_transparent_magenta), 1);
    EXPECT_EQ(colour_at(*first, 0, 0), gpi_transparent_magenta);
    // Each pixel keeps a colour close to its own.
    int worst = 0;
    int total = 0;
    for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < 24; ++x) {
            if (x + y == 0) continue;
            int tolerance = 0;
            while (!near(colour_at(*first, x, y), crowded.at(x, y) >> 8, tolerance)) ++tolerance;
            worst = std::max(worst, tolerance);
            total += tolerance;
        }
    }
    EXPECT_LE(worst, 11);
    EXPECT_LE(total, 575 * 7);
}

TEST(IconImageQuantization, NoOpaquePixelTurnsTransparent) {
    rgba_picture picture(3, 1, 0xFF00FFFF);  // opaque magenta
    picture.set(2, 0, 0x00000000);
    std::string why;
    auto image = icon_image_decode(bytes_of(testing::encode_png(picture)), &why);
    ASSERT_NE(image, nullptr) << why;
    EXPECT_EQ(colour_at(*image, 0, 0), 0xFE00FEu);
    EXPECT_EQ(colour_at(*image, 2, 0), gpi_transparent_magenta);
}

TEST(IconImageTint, MultipliesTheColoursAndKeepsTransparency) {
    bmp_image image;
    image.bits_per_pixel = 8;
    image.palette = {0x00FF00FF, 0x00FFFFFF, 0x00808080, 0x00204060};
    image.colours_used = 4;
    icon_image_tint(image, 0xFF0000FF);  // aabbggrr: opaque red
    EXPECT_EQ(image.palette,
              (std::vector<std::uint32_t>{0x00FF00FF, 0x00FF0000, 0x00800000, 0x00200000}));
    image.palette = {0x00FFFFFF, 0x00808080};
    icon_image_tint(image, 0x80FF00FF);  // magenta, half transparent: alpha not applied
    EXPECT_EQ(image.palette, (std::vector<std::uint32_t>{0x00FE00FE, 0x00800080}));
    image.palette = {0x00123456};
    icon_image_tint(image, 0xFFFFFFFF);  // white leaves the colours as they are
    EXPECT_EQ(image.palette, (std::vector<std::uint32_t>{0x00123456}));
}

TEST(IconLibraryPictures, TakesPngJpegAndGifIconsAndReportsUndecodableOnesByNameAndReason) {
    testing::temp_dir dir;
    testing::write_file(dir.file("Camp.PNG"), testing::encode_png(rgba_picture(64, 64)));
    testing::write_file(dir.file("fuel.jpg"), testing::encode_jpeg(sample()));
    testing::write_file(dir.file("park.gif"), testing::encode_gif(sample()));
    testing::write_file(dir.file("broken.png"), "\x89PNG\r\n\x1a\n");
    testing::write_file(dir.file("huge.png"), png_with_size(30000, 30000));
    message_capture capture;
    auto list = icon_library_load(dir.file("*.*"));
    ASSERT_NE(list, nullptr);
    std::vector<std::string> symbols;
    for (const auto& e : list->entries) symbols.push_back(e->symbol.value_or(""));
    EXPECT_EQ(symbols, (std::vector<std::string>{"camp", "fuel", "park"}));
    EXPECT_EQ(list->entries[0]->bmp->width, 24);
    EXPECT_EQ(list->entries[0]->bmp->name, "Camp.PNG");
    EXPECT_EQ(capture.text(),
              "\nWarning: Can't load image file(broken.png): damaged PNG image (read beyond "
              "end of data)\nTeszt: Not loaded! (broken.png)"
              "\nWarning: Can't load image file(huge.png): image of 30000x30000 pixels is too "
              "large for an icon (at most 16777216 pixels, 16384 a side)"
              "\nTeszt: Not loaded! (huge.png)");

    // The icon beside a list may be a PNG too.
    testing::write_file(dir.file("sites.csv"), "1,2,Site\n");
    testing::write_file(dir.file("Sites.png"), testing::encode_png(sample()));
    auto beside = icon_load_beside(dir.file("sites.csv"));
    ASSERT_EQ(beside->count(), 1);
    EXPECT_EQ(beside->entries[0]->symbol, "sites");
    EXPECT_EQ(beside->entries[0]->bmp->width, 4);
}

}  // namespace
}  // namespace velmora
