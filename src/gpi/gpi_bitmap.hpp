#pragma once
// The picture of a GPI bitmap block: an icon laid out as GPI files store it, and the
// fixed facts of that layout.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/icon_list.hpp"

namespace velmora {

// An icon in the layout of a GPI bitmap block: rows top first, palette red, green, blue, 0.
struct gpi_bitmap {
    std::optional<std::string> name;
    std::uint16_t icon_id = no_icon_id;
    std::uint16_t height = 0;
    std::uint16_t width = 0;
    std::uint16_t bits_per_pixel = 0;
    std::uint32_t palette_count = 0;
    std::uint32_t transparent_colour = 0;
    std::vector<std::uint8_t> pixels;
    std::vector<std::uint32_t> palette;  // bytes red, green, blue, 0 (little-endian)
};

// Bytes of a GPI bitmap block before its pixels and palette.
inline constexpr std::uint32_t gpi_bitmap_header_size = 44;

// Bytes per pixel row of a bitmap block, held in 16 bits.
[[nodiscard]] inline std::uint16_t gpi_bitmap_row_size(std::uint16_t width,
                                                       std::uint16_t bits_per_pixel) {
    return static_cast<std::uint16_t>(bitmap_row_size(bits_per_pixel, width));
}

// Bytes of the pixel rows of a bitmap: row_size * height.
[[nodiscard]] inline std::uint64_t gpi_bitmap_image_size(const gpi_bitmap& bitmap) {
    return static_cast<std::uint64_t>(gpi_bitmap_row_size(bitmap.width, bitmap.bits_per_pixel)) *
           bitmap.height;
}

}  // namespace velmora
