#include <gtest/gtest.h>

#include <filesystem>

#include "icons/bmp_file.hpp"
#include "icons/bmp_fixture.hpp"
#include "platform/messages.hpp"
#include "support/test_support.hpp"

namespace velmora {
namespace {

using testing::bmp_layout;
using testing::make_bmp;

std::unique_ptr<bmp_image> load_bytes(const testing::temp_dir& dir, const std::string& bytes,
                                      const std::string& name = "icon.bmp") {
    testing::write_file(dir.file(name), bytes);
    return bmp_load(dir.file(name));
}

std::vector<std::uint32_t> expected_palette(std::uint32_t count) {
    std::vector<std::uint32_t> p;
    for (std::uint32_t i = 0; i < count; ++i) p.push_back(testing::palette_entry(i));
    return p;
}

std::uint32_t le32(const std::string& bytes, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24;
}

std::vector<std::uint8_t> byte_range(const std::string& bytes, std::size_t from, std::size_t n) {
    return {bytes.begin() + static_cast<std::ptrdiff_t>(from),
            bytes.begin() + static_cast<std::ptrdiff_t>(from + n)};
}

TEST(BitmapRowSize, RoundsEveryRowUpToFourBytes) {
    EXPECT_EQ(bitmap_row_size(8, 15), 16);
    EXPECT_EQ(bitmap_row_size(8, 16), 16);
    EXPECT_EQ(bitmap_row_size(4, 3), 4);
    EXPECT_EQ(bitmap_row_size(1, 33), 8);
    EXPECT_EQ(bitmap_row_size(24, 16), 48);
    EXPECT_EQ(bitmap_row_size(4, 22), 12);
    EXPECT_EQ(bitmap_row_size(0, 5), 0);
}

TEST(BmpLoad, ReadsAPlainEightBitFileAsStored) {
    testing::temp_dir dir;
    bmp_layout layout;
    auto image = load_bytes(dir, make_bmp(layout));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width, 5);
    EXPECT_EQ(image->height, 3);
    EXPECT_EQ(image->bits_per_pixel, 8);
    EXPECT_EQ(image->x_pixels_per_metre, 2835);
    EXPECT_EQ(image->y_pixels_per_metre, 2836);
    EXPECT_EQ(image->colours_used, 4);
    EXPECT_EQ(image->palette, expected_palette(4));
    EXPECT_EQ(image->pixels, testing::bottom_up_rows(layout));
    EXPECT_EQ(image->name, "icon.bmp");
}

TEST(BmpLoad, NamesTheImageAfterTheFileWithCaseAndExtension) {
    testing::temp_dir dir;
    auto image = load_bytes(dir, make_bmp({}), "Flag, Red.bmp");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->name, "Flag, Red.bmp");
}

TEST(BmpLoad, TakesThePaletteAfterLongerInformationHeaders) {
    testing::temp_dir dir;
    for (std::uint32_t info_size : {52u, 56u, 108u, 124u}) {
        bmp_layout layout;
        layout.info_size = info_size;
        auto image = load_bytes(dir, make_bmp(layout));
        ASSERT_NE(image, nullptr) << info_size;
        EXPECT_EQ(image->palette, expected_palette(4)) << info_size;
        EXPECT_EQ(image->pixels, testing::bottom_up_rows(layout)) << info_size;
    }
}

TEST(BmpLoad, TakesThePixelsFromThePixelDataOffset) {
    testing::temp_dir dir;
    bmp_layout layout;
    layout.gap_before_pixels = 6;
    auto image = load_bytes(dir, make_bmp(layout));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->palette, expected_palette(4));
    EXPECT_EQ(image->pixels, testing::bottom_up_rows(layout));

    // An offset of 0 means: directly after the palette.
    layout.gap_before_pixels = 0;
    layout.offset_field = 0;
    image = load_bytes(dir, make_bmp(layout));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->pixels, testing::bottom_up_rows(layout));
}

TEST(BmpLoad, ReadsColoursUsedZeroAsTheFullPaletteOfTheDepth) {
    testing::temp_dir dir;
    for (std::uint16_t bits : {1, 2, 4, 8}) {
        bmp_layout layout;
        layout.bits = bits;
        layout.palette_entries = 1u << bits;
        layout.colours_field = 0;
        auto image = load_bytes(dir, make_bmp(layout));
        ASSERT_NE(image, nullptr) << bits;
        EXPECT_EQ(image->colours_used, 1 << bits);
        EXPECT_EQ(image->palette, expected_palette(1u << bits));
        EXPECT_EQ(image->pixels, testing::bottom_up_rows(layout));
    }
    // When the pixels begin earlier, the palette is what lies before them.
    bmp_layout short_palette;
    short_palette.palette_entries = 16;
    short_palette.colours_field = 0;
    auto image = load_bytes(dir, make_bmp(short_palette));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->colours_used, 16);
    EXPECT_EQ(image->pixels, testing::bottom_up_rows(short_palette));
}

TEST(BmpLoad, ComputesThePixelBytesWhateverTheImageSizeFieldSays) {
    testing::temp_dir dir;
    for (std::int64_t field : {0, 1, 14, 100}) {
        bmp_layout layout;
        layout.image_size_field = field;
        layout.trailing_bytes = 100;
        auto image = load_bytes(dir, make_bmp(layout));
        ASSERT_NE(image, nullptr) << field;
        EXPECT_EQ(image->pixels, testing::bottom_up_rows(layout)) << field;
        EXPECT_EQ(image->pixels.size(), 24u);
    }
}

TEST(BmpLoad, TurnsTopDownRowsIntoBottomUpRows) {
    testing::temp_dir dir;
    bmp_layout bottom_up;
    bmp_layout top_down;
    top_down.height = -3;
    auto a = load_bytes(dir, make_bmp(bottom_up), "a.bmp");
    auto b = load_bytes(dir, make_bmp(top_down), "b.bmp");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->height, 3);
    EXPECT_EQ(b->pixels, a->pixels);

    top_down.height = -1;
    auto one = load_bytes(dir, make_bmp(top_down), "c.bmp");
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(one->height, 1);
}

TEST(BmpLoad, RefusesDeepAndCompressedFilesWithTheirMessages) {
    testing::temp_dir dir;
    message_capture capture;
    bmp_layout deep;
    deep.bits = 24;
    deep.palette_entries = 0;
    EXPECT_EQ(load_bytes(dir, make_bmp(deep)), nullptr);
    EXPECT_EQ(capture.text(), "\nError: BMP color bits must be 8 or less");

    capture.clear();
    bmp_layout compressed;
    compressed.compression = 1;
    EXPECT_EQ(load_bytes(dir, make_bmp(compressed)), nullptr);
    EXPECT_EQ(capture.text(), "\nError: Compressed BMP detected. Ignore it");

    capture.clear();
    bmp_layout core;
    core.info_size = 12;
    EXPECT_EQ(load_bytes(dir, make_bmp(core)), nullptr);
    EXPECT_EQ(capture.text(), "\nError: BMP header of 12 bytes is not supported. Ignore it");
}

TEST(BmpLoad, RefusesOtherUnusableFilesSilently) {
    testing::temp_dir dir;
    message_capture capture;
    EXPECT_EQ(bmp_load(dir.file("missing.bmp")), nullptr);
    EXPECT_EQ(load_bytes(dir, "GIF89a" + std::string(100, '\0')), nullptr);
    EXPECT_EQ(load_bytes(dir, ""), nullptr);
    EXPECT_EQ(load_bytes(dir, "B"), nullptr);
    // A directory opens for reading here and claims a size near 2^63.
    std::filesystem::create_directory(dir.file("folder.bmp"));
    EXPECT_EQ(bmp_load(dir.file("folder.bmp")), nullptr);

    auto with = [](auto change) {
        bmp_layout s;
        change(s);
        return s;
    };
    const bmp_layout refused[] = {
        with([](bmp_layout& s) { s.width = 0; }),
        with([](bmp_layout& s) { s.width = -4; }),
        with([](bmp_layout& s) { s.height = 0; }),
        with([](bmp_layout& s) { s.bits = 0; }),
        with([](bmp_layout& s) { s.bits = 3; }),
        with([](bmp_layout& s) { s.bits = 0x8000; }),               // negative depth
        with([](bmp_layout& s) { s.colours_field = 0x80000000; }),  // negative count
        with([](bmp_layout& s) { s.colours_field = 1000000; }),     // beyond the file
        with([](bmp_layout& s) { s.offset_field = 100000; }),       // pixels beyond the end
        with([](bmp_layout& s) { s.offset_field = 60; }),           // inside the palette
        with([](bmp_layout& s) { s.colours_field = 0, s.offset_field = 40; }),  // in the headers
        with([](bmp_layout& s) { s.width_field = 0x7FFFFFFF; }),  // rows beyond the file
        with([](bmp_layout& s) { s.height_field = 0x80000000; }),
    };
    for (std::size_t i = 0; i < std::size(refused); ++i) {
        EXPECT_EQ(load_bytes(dir, make_bmp(refused[i])), nullptr) << "case " << i;
    }
    EXPECT_EQ(capture.text(), "");
}

TEST(BmpLoad, RefusesEveryFileCutShortOfWhatItsHeadersAnnounce) {
    testing::temp_dir dir;
    message_capture capture;
    for (std::uint32_t info_size : {40u, 124u}) {
        bmp_layout layout;
        layout.info_size = info_size;
        std::string whole = make_bmp(layout);
        ASSERT_NE(load_bytes(dir, whole), nullptr);
        for (std::size_t length = 0; length < whole.size(); ++length) {
            EXPECT_EQ(load_bytes(dir, whole.substr(0, length)), nullptr) << length;
        }
    }
    EXPECT_EQ(capture.text(), "");
}

TEST(BmpSave, WritesTheHeaderFieldsOfASixteenPixelIcon) {
    testing::temp_dir dir;
    bmp_image image;
    image.width = 16;
    image.height = 16;
    image.bits_per_pixel = 8;
    image.x_pixels_per_metre = 3780;
    image.y_pixels_per_metre = 3781;
    image.colours_used = 256;
    image.palette = expected_palette(256);
    for (int i = 0; i < 256; ++i) image.pixels.push_back(static_cast<std::uint8_t>(i));
    ASSERT_TRUE(bmp_save(image, dir.file("out.bmp")));
    std::string bytes = testing::read_file(dir.file("out.bmp"));
    ASSERT_EQ(bytes.size(), 1334u);
    EXPECT_EQ(bytes.substr(0, 2), "BM");
    // Offset and value of each 32-bit field (planes and depth read as one).
    const std::pair<std::size_t, std::uint32_t> fields[] = {
        {2, 1334}, {6, 0},    {10, 1078}, {14, 40},   {18, 16},  {22, 16}, {26, 1 | 8 << 16},
        {30, 0},   {34, 256}, {38, 3780}, {42, 3781}, {46, 256}, {50, 256}};
    for (auto [offset, value] : fields) EXPECT_EQ(le32(bytes, offset), value) << offset;
    for (std::uint32_t i = 0; i < 256; ++i)
        EXPECT_EQ(le32(bytes, 54 + 4 * i), testing::palette_entry(i));
    EXPECT_EQ(byte_range(bytes, 1078, 256), image.pixels);
}

TEST(BmpSave, WritesWhatLoadsBackUnchanged) {
    testing::temp_dir dir;
    for (std::uint16_t bits : {1, 4, 8}) {
        bmp_layout layout;
        layout.bits = bits;
        layout.width = 7;
        layout.height = 5;
        layout.palette_entries = bits == 1 ? 2 : 9;
        auto original = load_bytes(dir, make_bmp(layout));
        ASSERT_NE(original, nullptr);
        ASSERT_TRUE(bmp_save(*original, dir.file("copy.bmp")));
        auto copy = bmp_load(dir.file("copy.bmp"));
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(copy->width, original->width);
        EXPECT_EQ(copy->height, original->height);
        EXPECT_EQ(copy->bits_per_pixel, original->bits_per_pixel);
        EXPECT_EQ(copy->x_pixels_per_metre, original->x_pixels_per_metre);
        EXPECT_EQ(copy->y_pixels_per_metre, original->y_pixels_per_metre);
        EXPECT_EQ(copy->colours_used, original->colours_used);
        EXPECT_EQ(copy->palette, original->palette);
        EXPECT_EQ(copy->pixels, original->pixels);
        EXPECT_EQ(copy->name, "copy.bmp");
    }
}

TEST(BmpSave, RefusesImagesItCannotWriteAndLeavesTheTargetAlone) {
    testing::temp_dir dir;
    bmp_image good;
    good.width = 2;
    good.height = 2;
    good.bits_per_pixel = 8;
    good.colours_used = 2;
    good.palette = {1, 2};
    good.pixels.assign(8, 0);
    ASSERT_TRUE(bmp_image_is_savable(good));

    std::string target = dir.file("kept.bmp");
    testing::write_file(target, "old");
    auto refused = [&](const bmp_image& image) {
        return !bmp_image_is_savable(image) && !bmp_save(image, target);
    };
    bmp_image b = good;
    b.pixels.clear();
    EXPECT_TRUE(refused(b));
    b = good;
    b.pixels.resize(7);  // a row short
    EXPECT_TRUE(refused(b));
    b = good;
    b.width = 0;
    EXPECT_TRUE(refused(b));
    b = good;
    b.height = -2;
    EXPECT_TRUE(refused(b));
    b = good;
    b.bits_per_pixel = 0;
    EXPECT_TRUE(refused(b));
    b = good;
    b.palette.clear();
    EXPECT_TRUE(refused(b));
    b = good;
    b.colours_used = 0;
    EXPECT_TRUE(refused(b));
    b = good;
    b.colours_used = 3;  // more than the palette holds
    EXPECT_TRUE(refused(b));
    EXPECT_EQ(testing::read_file(target), "old");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);

    // Deeper pictures need no palette.
    b = good;
    b.bits_per_pixel = 24;
    b.colours_used = 0;
    b.palette.clear();
    b.pixels.assign(16, 0);
    EXPECT_TRUE(bmp_save(b, target));
    EXPECT_EQ(testing::read_file(target).size(), 54u + 16u);

    EXPECT_FALSE(bmp_save(good, dir.file("no-such-dir/x.bmp")));
}

TEST(BmpSave, WritesADepthBmpFilesLackAsTheNextTheyHave) {
    testing::temp_dir dir;
    bmp_image image;
    image.width = 5;
    image.height = 2;
    image.bits_per_pixel = 2;
    image.colours_used = 4;
    image.palette = {1, 2, 3, 4};
    image.pixels = {0x1B, 0xC0, 0, 0, 0xE4, 0x40, 0, 0};  // 0 1 2 3 3, 3 2 1 0 1
    ASSERT_TRUE(bmp_save(image, dir.file("two.bmp")));
    auto back = bmp_load(dir.file("two.bmp"));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->bits_per_pixel, 4);
    EXPECT_EQ(back->palette, image.palette);
    EXPECT_EQ(back->pixels, (std::vector<std::uint8_t>{0x01, 0x23, 0x30, 0, 0x32, 0x10, 0x10, 0}));
}

TEST(BmpLoadRealFiles, ReadsTheIndexedSamples) {
    VELMORA_REQUIRE_REAL(eight, "bmp/format/Info_8_Bit.bmp");
    VELMORA_REQUIRE_REAL(top_down, "bmp/format/Info_8_Bit_Top_Down.bmp");
    VELMORA_REQUIRE_REAL(one, "bmp/format/Info_1_Bit.bmp");
    VELMORA_REQUIRE_REAL(four, "bmp/format/Info_4_Bit.bmp");

    std::string raw = testing::read_file(eight);
    auto a = bmp_load(eight);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->width, 6);
    EXPECT_EQ(a->height, 6);
    EXPECT_EQ(a->colours_used, 6);
    EXPECT_EQ(a->pixels, byte_range(raw, 78, 48));  // 50 announced, 48 needed
    EXPECT_EQ(a->palette[5], le32(raw, 54 + 20));

    // The same picture stored top row first; the padding bytes of the rows differ.
    auto b = bmp_load(top_down);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->height, 6);
    EXPECT_EQ(b->palette, a->palette);
    ASSERT_EQ(b->pixels.size(), a->pixels.size());
    for (std::size_t row = 0; row < 6; ++row) {
        for (std::size_t col = 0; col < 6; ++col) {
            EXPECT_EQ(b->pixels[row * 8 + col], a->pixels[row * 8 + col]) << row << "," << col;
        }
    }

    raw = testing::read_file(one);
    auto c = bmp_load(one);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->bits_per_pixel, 1);
    EXPECT_EQ(c->colours_used, 2);  // field 0
    EXPECT_EQ(c->palette[1], le32(raw, 58));
    EXPECT_EQ(c->pixels, byte_range(raw, 62, 24));

    raw = testing::read_file(four);
    auto d = bmp_load(four);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->bits_per_pixel, 4);
    EXPECT_EQ(d->colours_used, 6);
    EXPECT_EQ(d->pixels, byte_range(raw, 78, 24));
}

TEST(BmpLoadRealFiles, ReadsTheVersionFourHeaderSample) {
    VELMORA_REQUIRE_REAL(path, "bmp/format/pal8v4.bmp");
    std::string raw = testing::read_file(path);
    auto image = bmp_load(path);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width, 127);
    EXPECT_EQ(image->height, 64);
    EXPECT_EQ(image->colours_used, 252);
    EXPECT_EQ(image->palette.front(), le32(raw, 122));
    EXPECT_EQ(image->palette.back(), le32(raw, 122 + 4 * 251));
    EXPECT_EQ(image->pixels, byte_range(raw, 1130, 128 * 64));
}

TEST(BmpLoadRealFiles, ReadsTheFourBitSpeedCameraIcons) {
    VELMORA_REQUIRE_REAL(fijos, "bmp/poi/R_BBS_fijos_50.bmp");
    VELMORA_REQUIRE_REAL(tramo, "bmp/poi/R_BBS_tramo_inicio.bmp");
    std::string raw = testing::read_file(fijos);
    auto a = bmp_load(fijos);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->width, 24);
    EXPECT_EQ(a->bits_per_pixel, 4);
    EXPECT_EQ(a->colours_used, 16);  // field 0, image size 0
    EXPECT_EQ(a->palette[15], le32(raw, 54 + 60));
    EXPECT_EQ(a->pixels, byte_range(raw, 118, 12 * 24));

    raw = testing::read_file(tramo);
    auto b = bmp_load(tramo);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->width, 22);
    EXPECT_EQ(b->height, 22);
    EXPECT_EQ(b->pixels, byte_range(raw, 118, 12 * 22));  // 11-byte rows padded to 12
}

TEST(BmpLoadRealFiles, RefusesTheDeepCompressedAndCoreHeaderSamples) {
    VELMORA_REQUIRE_REAL(rgb, "bmp/format/Info_R8_G8_B8.bmp");
    VELMORA_REQUIRE_REAL(rle, "bmp/format/pal8rle.bmp");
    VELMORA_REQUIRE_REAL(os2, "bmp/format/pal8os2sp.bmp");
    VELMORA_REQUIRE_REAL(puntos, "bmp/poi/ES_R_Puntos_Negros.bmp");
    VELMORA_REQUIRE_REAL(gatso, "bmp/poi/GATSO_50.bmp");
    message_capture capture;
    for (const std::string& deep : {rgb, puntos, gatso}) {
        capture.clear();
        EXPECT_EQ(bmp_load(deep), nullptr) << deep;
        EXPECT_EQ(capture.text(), "\nError: BMP color bits must be 8 or less") << deep;
    }
    capture.clear();
    EXPECT_EQ(bmp_load(rle), nullptr);
    EXPECT_EQ(capture.text(), "\nError: Compressed BMP detected. Ignore it");
    capture.clear();
    EXPECT_EQ(bmp_load(os2), nullptr);
    EXPECT_EQ(capture.text(), "\nError: BMP header of 12 bytes is not supported. Ignore it");
}

}  // namespace
}  // namespace velmora
