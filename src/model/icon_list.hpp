#pragma once
// Icons held by a POI set: the icon records and the BMP pictures they carry (the GPI
// bitmaps are laid out in gpi/gpi_bitmap.hpp).  The operations on them live with the
// icons code.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

// A BMP picture of up to 8 bits per pixel, rows as the file stores them (bottom first,
// each padded to a multiple of 4 bytes).
struct bmp_image {
    std::string name;  // file name without directory
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int16_t bits_per_pixel = 0;
    std::int32_t x_pixels_per_metre = 0;
    std::int32_t y_pixels_per_metre = 0;
    std::int32_t colours_used = 0;
    std::vector<std::uint32_t> palette;  // bytes blue, green, red, reserved (little-endian)
    std::vector<std::uint8_t> pixels;
};

// An icon in the layout of a GPI bitmap block; gpi/gpi_bitmap.hpp describes it.
struct gpi_bitmap;

// Bytes per pixel row of a picture, as BMP files and GPI bitmap blocks both store rows:
// whole 32-bit words.  The right shift is arithmetic, so a zero product gives a zero row.
[[nodiscard]] constexpr std::int64_t bitmap_row_size(std::int64_t bits_per_pixel,
                                                     std::int64_t width) {
    return ((((bits_per_pixel * width) - 1) >> 3) & ~std::int64_t{3}) + 4;
}

inline constexpr std::int32_t icon_format_bmp = 1;
inline constexpr std::int32_t icon_format_gpi = 2;
inline constexpr std::uint16_t no_icon_id = 0xFFFF;

struct icon_entry {
    std::optional<std::string> symbol;
    std::uint16_t icon_id = no_icon_id;
    std::int32_t usage = 0;
    std::int32_t format = 0;         // icon_format_bmp or icon_format_gpi
    std::unique_ptr<bmp_image> bmp;  // with icon_format_bmp
    // With icon_format_gpi.  Shared only so that its deleter comes from the code that made
    // it: holding the entry needs no knowledge of the GPI layout.
    std::shared_ptr<gpi_bitmap> bitmap;
};

struct icon_list {
    icon_list() { entries.reserve(32); }
    std::vector<std::unique_ptr<icon_entry>> entries;

    [[nodiscard]] int count() const { return static_cast<int>(entries.size()); }
};

}  // namespace velmora
