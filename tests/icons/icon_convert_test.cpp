#include <gtest/gtest.h>

#include "gpi/gpi_blocks.hpp"

#include "icons/bmp_file.hpp"
#include "icons/icon_convert.hpp"
#include "platform/messages.hpp"
#include "support/test_support.hpp"

namespace velmora {
namespace {

// A picture whose every pixel byte is distinct: byte c of stored row r is 16 r + c.
bmp_image make_picture(int width, int height, int bits, int colours) {
    bmp_image image;
    image.name = "Pic.bmp";
    image.width = width;
    image.height = height;
    image.bits_per_pixel = static_cast<std::int16_t>(bits);
    image.x_pixels_per_metre = 2835;
    image.y_pixels_per_metre = 2835;
    image.colours_used = colours;
    for (int i = 0; i < colours; ++i) {
        image.palette.push_back(0x00102030u + static_cast<std::uint32_t>(i));
    }
    auto row = static_cast<std::size_t>(bitmap_row_size(bits, width));
    for (int r = 0; r < height; ++r) {
        for (std::size_t c = 0; c < row; ++c) {
            image.pixels.push_back(static_cast<std::uint8_t>(16 * r + static_cast<int>(c)));
        }
    }
    return image;
}

std::unique_ptr<gpi_bitmap> to_gpi(const bmp_image& image) {
    return gpi_bitmap_from_bmp(&image);
}

std::unique_ptr<icon_entry> bmp_entry(bmp_image image, std::uint16_t id,
                                      const std::string& symbol) {
    auto entry = std::make_unique<icon_entry>();
    entry->format = icon_format_bmp;
    entry->icon_id = id;
    entry->symbol = symbol;
    entry->usage = 3;
    entry->bmp = std::make_unique<bmp_image>(std::move(image));
    return entry;
}

std::unique_ptr<icon_entry> gpi_entry(const gpi_bitmap& bitmap, std::uint16_t id) {
    auto entry = std::make_unique<icon_entry>();
    entry->format = icon_format_gpi;
    entry->icon_id = id;
    entry->symbol = "gpi_icon_" + std::to_string(id);
    entry->bitmap = std::make_unique<gpi_bitmap>(bitmap);
    return entry;
}

TEST(PaletteEntryConversion, SwapsBlueAndRedKeepsGreenAndClearsTheFourthByte) {
    // BMP bytes 10 20 30 00 (blue 10, green 20, red 30) become GPI bytes 30 20 10 00.
    EXPECT_EQ(convert_palette_entry(0x00302010u), 0x00102030u);
    EXPECT_EQ(convert_palette_entry(0x00102030u), 0x00302010u);
    EXPECT_EQ(convert_palette_entry(0xAB302010u), 0x00102030u);
    EXPECT_EQ(convert_palette_entry(0x00FF00FFu), 0x00FF00FFu);
}

TEST(GpiBitmapFromBmp, GivesTheSizesOfTheGpiLayout) {
    auto eight = to_gpi(make_picture(16, 16, 8, 256));
    ASSERT_NE(eight, nullptr);
    EXPECT_EQ(eight->palette_count, 256u);
    EXPECT_EQ(eight->pixels.size(), 256u);
    EXPECT_EQ(gpi_bitmap_block_size(*eight), static_cast<std::uint64_t>(1324));
    EXPECT_EQ(eight->icon_id, 0xFFFF);
    EXPECT_EQ(eight->transparent_colour, 0x00FF00FFu);
    EXPECT_EQ(eight->name, "Pic.bmp");
    EXPECT_EQ(eight->width, 16);
    EXPECT_EQ(eight->height, 16);
    EXPECT_EQ(eight->bits_per_pixel, 8);

    auto four = to_gpi(make_picture(16, 16, 4, 16));
    ASSERT_NE(four, nullptr);
    EXPECT_EQ(four->pixels.size(), 128u);  // rows of 8 bytes
    EXPECT_EQ(four->palette_count, 16u);
    EXPECT_EQ(gpi_bitmap_block_size(*four), static_cast<std::uint64_t>(236));
}

TEST(GpiBitmapFromBmp, FillsTheWholePaletteOfTheDepthWithZerosBeyondTheColoursUsed) {
    bmp_image image = make_picture(4, 2, 8, 200);
    image.palette[7] = 0xEE302010u;
    auto bitmap = gpi_bitmap_from_bmp(&image);
    ASSERT_NE(bitmap, nullptr);
    ASSERT_EQ(bitmap->palette.size(), 256u);
    EXPECT_EQ(bitmap->palette[0], convert_palette_entry(image.palette[0]));
    EXPECT_EQ(bitmap->palette[7], 0x00102030u);
    EXPECT_EQ(bitmap->palette[199], convert_palette_entry(image.palette[199]));
    for (std::size_t i = 200; i < 256; ++i) EXPECT_EQ(bitmap->palette[i], 0u) << i;
}

TEST(GpiBitmapFromBmp, PutsTheBottomRowLast) {
    bmp_image image = make_picture(5, 3, 8, 4);  // rows of 8 bytes
    auto bitmap = gpi_bitmap_from_bmp(&image);
    ASSERT_NE(bitmap, nullptr);
    ASSERT_EQ(bitmap->pixels.size(), 24u);
    // Stored row 0 is the bottom row: it becomes GPI row 2, padding included.
    for (std::size_t i = 0; i < 3; ++i) {
        for (std::size_t c = 0; c < 8; ++c) {
            EXPECT_EQ(bitmap->pixels[i * 8 + c], image.pixels[(2 - i) * 8 + c]);
        }
    }
}

TEST(GpiBitmapFromBmp, RefusesPicturesWhoseCountsWouldDisagreeWithTheirBytes) {
    EXPECT_EQ(gpi_bitmap_from_bmp(nullptr), nullptr);
    bmp_image good = make_picture(4, 4, 8, 4);
    ASSERT_EQ(gpi_conversion_problem(good), nullptr);

    bmp_image b = good;
    b.palette.clear();
    b.colours_used = 0;
    EXPECT_STREQ(gpi_conversion_problem(b), "no palette");
    EXPECT_EQ(gpi_bitmap_from_bmp(&b), nullptr);
    b = good;
    b.pixels.resize(15);
    EXPECT_STREQ(gpi_conversion_problem(b), "pixel bytes missing");
    b = good;
    b.pixels.clear();
    EXPECT_EQ(gpi_bitmap_from_bmp(&b), nullptr);
    b = good;
    b.width = 70000;  // the GPI fields are 16 bits wide
    EXPECT_NE(gpi_conversion_problem(b), nullptr);
    b = good;
    b.height = 0;
    EXPECT_NE(gpi_conversion_problem(b), nullptr);
    b = good;
    b.bits_per_pixel = 0;
    EXPECT_NE(gpi_conversion_problem(b), nullptr);
    b = make_picture(30000, 1, 32, 0);  // a row of 120000 bytes
    EXPECT_STREQ(gpi_conversion_problem(b), "pixel rows too long");

    // Deeper pictures go without palette.
    auto deep = to_gpi(make_picture(3, 2, 24, 0));
    ASSERT_NE(deep, nullptr);
    EXPECT_EQ(deep->palette_count, 0u);
    EXPECT_TRUE(deep->palette.empty());
    EXPECT_EQ(gpi_bitmap_block_size(*deep), static_cast<std::uint64_t>(44 + 24));
}

TEST(GpiBitmapToBmp, GivesBackThePictureItCameFrom) {
    for (int bits : {1, 4, 8}) {
        bmp_image image = make_picture(7, 5, bits, 1 << bits);
        auto bitmap = gpi_bitmap_from_bmp(&image);
        ASSERT_NE(bitmap, nullptr);
        auto back = gpi_bitmap_to_bmp(bitmap.get());
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(back->width, 7);
        EXPECT_EQ(back->height, 5);
        EXPECT_EQ(back->bits_per_pixel, bits);
        EXPECT_EQ(back->colours_used, 1 << bits);
        EXPECT_EQ(back->palette, image.palette);
        EXPECT_EQ(back->pixels, image.pixels);
        EXPECT_EQ(back->name, "Pic.bmp");
        EXPECT_EQ(back->x_pixels_per_metre, 3780);
        EXPECT_EQ(back->y_pixels_per_metre, 3780);
        EXPECT_TRUE(bmp_image_is_savable(*back));
    }
}

TEST(GpiBitmapToBmp, RefusesBitmapsItCannotTurnIntoAWritablePicture) {
    EXPECT_EQ(gpi_bitmap_to_bmp(nullptr), nullptr);
    auto good = to_gpi(make_picture(4, 4, 8, 4));
    ASSERT_NE(good, nullptr);
    gpi_bitmap b = *good;
    b.palette.clear();
    EXPECT_EQ(gpi_bitmap_to_bmp(&b), nullptr);
    b = *good;
    b.palette.resize(10);  // fewer than the 256 announced
    EXPECT_EQ(gpi_bitmap_to_bmp(&b), nullptr);
    b = *good;
    b.pixels.resize(15);
    EXPECT_EQ(gpi_bitmap_to_bmp(&b), nullptr);
    b = *good;
    b.bits_per_pixel = 0;
    EXPECT_EQ(gpi_bitmap_to_bmp(&b), nullptr);

    // A deep bitmap that announces palette entries becomes a picture without palette.
    gpi_bitmap deep;
    deep.width = 2;
    deep.height = 2;
    deep.bits_per_pixel = 32;
    deep.palette_count = 4;
    deep.pixels.assign(16, 7);
    auto image = gpi_bitmap_to_bmp(&deep);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->colours_used, 0);
    EXPECT_TRUE(image->palette.empty());
    EXPECT_TRUE(bmp_image_is_savable(*image));
}

TEST(GpiBitmapToBmp, GivesADepthBmpFilesLackAsTheNextTheyHaveWithEveryPixelsValue) {
    struct case_ {
        std::uint16_t bits;
        std::uint16_t width;
        std::vector<std::uint8_t> row;  // the one pixel row of the bitmap
        int bmp_bits;
        std::vector<std::uint8_t> bmp_row;
    };
    std::vector<std::uint8_t> widest(8192, 0);
    widest[0] = 0x11, widest[1] = 0x22, widest[2] = 0x33, widest[3] = 0x44, widest[4] = 0x55;
    const case_ cases[] = {
        {2, 4, {0xC6, 0, 0, 0}, 4, {0x30, 0x12, 0, 0}},            // 3 0 1 2
        {3, 3, {0xAB, 0x80, 0, 0}, 4, {0x52, 0x70, 0, 0}},         // 5 2 7
        {5, 2, {0x88, 0xC0, 0, 0}, 8, {0x11, 0x03, 0, 0}},         // 17 3
        {7, 1, {0xFE, 0, 0, 0}, 8, {0x7F, 0, 0, 0}},               // 127
        {9, 2, {0xAB, 0x9B, 0x01, 0}, 16, {0xAB, 0x01, 0xCD, 0}},  // 0x1AB 0x0CD
        {31, 1, {0x11, 0x22, 0x33, 0xC4}, 32, {0x11, 0x22, 0x33, 0x44}},
        {33, 1, {0x11, 0x22, 0x33, 0x44, 0x01, 0, 0, 0}, 32, {0x11, 0x22, 0x33, 0x44}},
        {64, 1, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}, 32, {0x11, 0x22, 0x33, 0x44}},
        {65535, 1, widest, 32, {0x11, 0x22, 0x33, 0x44}},
    };
    for (const auto& c : cases) {
        gpi_bitmap bitmap;
        bitmap.width = c.width;
        bitmap.height = 1;
        bitmap.bits_per_pixel = c.bits;
        if (c.bits <= 8) {
            bitmap.palette_count = 1u << c.bits;
            bitmap.palette.assign(bitmap.palette_count, 0x00102030u);
        }
        bitmap.pixels = c.row;
        auto image = gpi_bitmap_to_bmp(&bitmap);
        ASSERT_NE(image, nullptr) << c.bits;
        EXPECT_EQ(image->bits_per_pixel, c.bmp_bits) << c.bits;
        EXPECT_EQ(image->pixels, c.bmp_row) << c.bits;
        EXPECT_EQ(image->colours_used, c.bits <= 8 ? 1 << c.bits : 0) << c.bits;
        EXPECT_TRUE(bmp_image_is_savable(*image)) << c.bits;
    }

    // A palette longer than the depth can use is cut to what it can.
    auto one_bit = to_gpi(make_picture(3, 2, 1, 2));
    ASSERT_NE(one_bit, nullptr);
    one_bit->palette_count = 256;
    one_bit->palette.resize(256, 0);
    auto image = gpi_bitmap_to_bmp(one_bit.get());
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->colours_used, 2);
    EXPECT_EQ(image->palette.size(), 2u);
}

TEST(GpiBitmapCopy, CopiesEveryFieldAndRefusesUnusableBitmaps) {
    auto source = to_gpi(make_picture(4, 3, 4, 16));
    ASSERT_NE(source, nullptr);
    source->icon_id = 9;
    auto copy = gpi_bitmap_copy(source.get());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->icon_id, 9);
    EXPECT_EQ(copy->name, source->name);
    EXPECT_EQ(copy->width, 4);
    EXPECT_EQ(copy->height, 3);
    EXPECT_EQ(copy->bits_per_pixel, 4);
    EXPECT_EQ(copy->palette_count, 16u);
    EXPECT_EQ(copy->transparent_colour, source->transparent_colour);
    EXPECT_EQ(copy->pixels, source->pixels);
    EXPECT_EQ(copy->palette, source->palette);

    EXPECT_EQ(gpi_bitmap_copy(nullptr), nullptr);
    gpi_bitmap b = *source;
    b.bits_per_pixel = 0;
    EXPECT_EQ(gpi_bitmap_copy(&b), nullptr);
    b = *source;
    b.palette_count = 0;
    EXPECT_EQ(gpi_bitmap_copy(&b), nullptr);
    b = *source;
    b.width = 0;
    EXPECT_EQ(gpi_bitmap_copy(&b), nullptr);
    b = *source;
    b.pixels.pop_back();
    EXPECT_STREQ(gpi_bitmap_problem(b), "pixel bytes missing");
    EXPECT_EQ(gpi_bitmap_copy(&b), nullptr);
    b = *source;
    b.palette.pop_back();
    EXPECT_STREQ(gpi_bitmap_problem(b), "palette entries missing");
    EXPECT_EQ(gpi_bitmap_copy(&b), nullptr);
}

TEST(BuildBitmapSet, ConvertsEveryIconAndCarriesItsNumber) {
    EXPECT_EQ(build_bitmap_set(nullptr), nullptr);
    icon_list icons;
    icons.entries.push_back(bmp_entry(make_picture(16, 16, 8, 256), 0, "car"));
    icons.entries.push_back(bmp_entry(make_picture(8, 8, 4, 16), 0xFFFF, "unused"));
    auto read = to_gpi(make_picture(4, 4, 8, 4));
    read->icon_id = 5;
    read->name.reset();
    icons.entries.push_back(gpi_entry(*read, 1));
    icons.entries.push_back(gpi_entry(*read, 0xFFFF));

    message_capture capture;
    auto set = build_bitmap_set(&icons);
    ASSERT_NE(set, nullptr);
    ASSERT_EQ(set->count(), 4);
    EXPECT_EQ(capture.text(), "");
    for (const auto& e : set->entries) {
        EXPECT_EQ(e->format, icon_format_gpi);
        ASSERT_NE(e->bitmap, nullptr);
        EXPECT_EQ(e->usage, 3 * (e->symbol == "car" || e->symbol == "unused"));
    }
    EXPECT_EQ(set->entries[0]->icon_id, 0);
    EXPECT_EQ(set->entries[0]->bitmap->icon_id, 0);
    EXPECT_EQ(set->entries[0]->symbol, "car");
    EXPECT_EQ(gpi_bitmap_block_size(*set->entries[0]->bitmap), static_cast<std::uint64_t>(1324));
    // Without a number the entry stays unnumbered; a BMP bitmap has none, a GPI copy its own.
    EXPECT_EQ(set->entries[1]->icon_id, 0xFFFF);
    EXPECT_EQ(set->entries[1]->bitmap->icon_id, 0xFFFF);
    EXPECT_EQ(set->entries[2]->icon_id, 1);
    EXPECT_EQ(set->entries[2]->bitmap->icon_id, 1);
    EXPECT_EQ(set->entries[3]->icon_id, 0xFFFF);
    EXPECT_EQ(set->entries[3]->bitmap->icon_id, 5);
}

TEST(BuildBitmapSet, LeavesOutIconsThatCannotBeWrittenAsTheyAre) {
    icon_list icons;
    bmp_image no_palette = make_picture(4, 4, 8, 0);
    icons.entries.push_back(bmp_entry(no_palette, 0, "numbered"));
    icons.entries.push_back(bmp_entry(no_palette, 0xFFFF, "unnumbered"));
    auto odd = std::make_unique<icon_entry>();
    odd->format = 7;
    icons.entries.push_back(std::move(odd));
    gpi_bitmap depth_zero;
    depth_zero.pixels.assign(4, 0);
    icons.entries.push_back(gpi_entry(depth_zero, 3));
    auto short_pixels = to_gpi(make_picture(4, 4, 8, 4));
    short_pixels->pixels.resize(3);
    icons.entries.push_back(gpi_entry(*short_pixels, 4));

    message_capture capture;
    auto set = build_bitmap_set(&icons);
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->count(), 0);
    EXPECT_EQ(capture.text(),
              "\nWarning: Icon 'numbered' left out of the gpi file: no palette!"
              "\nWarning: Unexpected bitmap type (7) while converting to gpi! (ignored)"
              "\nWarning: Icon 'gpi_icon_4' left out of the gpi file: pixel bytes missing!");
}

TEST(ExportIcons, NamesEachFileAfterTheOutputTheSetAndTheEntry) {
    testing::temp_dir dir;
    poiset_list list;
    poiset* first = poiset_list_add(list);
    poiset* plain = poiset_list_add(list);  // imported without icons
    poiset* second = poiset_list_add(list);
    ASSERT_TRUE(first && plain && second);
    first->icons = std::make_unique<icon_list>();
    first->icons->entries.push_back(bmp_entry(make_picture(5, 3, 8, 4), 0, "a"));
    auto read = to_gpi(make_picture(6, 2, 4, 16));
    first->icons->entries.push_back(gpi_entry(*read, 0xFFFF));
    second->icons = std::make_unique<icon_list>();
    second->icons->entries.push_back(gpi_entry(*read, 2));

    message_capture capture;
    ASSERT_TRUE(export_icons(dir.file("out.bmp"), list));
    EXPECT_EQ(capture.text(), "");
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
        names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"out_0_0.bmp", "out_0_1.bmp", "out_2_0.bmp"}));

    auto a = bmp_load(dir.file("out_0_0.bmp"));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->pixels, first->icons->entries[0]->bmp->pixels);
    auto b = bmp_load(dir.file("out_2_0.bmp"));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->pixels, make_picture(6, 2, 4, 16).pixels);
    EXPECT_EQ(b->palette, make_picture(6, 2, 4, 16).palette);
}

TEST(ExportIcons, ReportsIconsItCannotWriteAndFailsOnlyWhenAFileCouldNotBeWritten) {
    testing::temp_dir dir;
    poiset_list list;
    poiset* set = poiset_list_add(list);
    set->icons = std::make_unique<icon_list>();
    gpi_bitmap no_palette;
    no_palette.width = 2;
    no_palette.height = 2;
    no_palette.bits_per_pixel = 8;
    no_palette.pixels.assign(8, 0);
    set->icons->entries.push_back(gpi_entry(no_palette, 0));
    auto odd = std::make_unique<icon_entry>();
    odd->format = 0;
    set->icons->entries.push_back(std::move(odd));

    message_capture capture;
    EXPECT_TRUE(export_icons(dir.file("icons.bmp"), list));
    EXPECT_EQ(capture.text(),
              "\nWarning: Problem converting to bmp file (icons_0_0)! (ignored)"
              "\nWarning: Unexpected bitmap type (0) while converting to bmp! (ignored)");

    capture.clear();
    set->icons->entries.clear();
    set->icons->entries.push_back(bmp_entry(make_picture(2, 2, 8, 2), 0, "x"));
    std::string missing_dir = dir.file("gone") + "/icons.bmp";
    EXPECT_FALSE(export_icons(missing_dir, list));
    EXPECT_EQ(capture.text(), "\nError opening output file (" + dir.file("gone") +
                                  "/icons_0_0.bmp). Aborting! (No such file or directory)");
}

}  // namespace
}  // namespace velmora
