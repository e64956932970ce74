#pragma once
// The block layout of GPI files: block types, flags and the fixed sizes shared by the
// reader and the writer.
#include <cstdint>

namespace velmora {

// Block types.
inline constexpr std::uint16_t gpi_file_header = 0;
inline constexpr std::uint16_t gpi_poi_header = 1;
inline constexpr std::uint16_t gpi_poi_block = 2;
inline constexpr std::uint16_t gpi_alert_block = 3;
inline constexpr std::uint16_t gpi_icon_ref_block = 4;
inline constexpr std::uint16_t gpi_bitmap_block = 5;
inline constexpr std::uint16_t gpi_area_block = 8;
inline constexpr std::uint16_t gpi_poi_set_header = 9;
inline constexpr std::uint16_t gpi_comment_block = 10;
inline constexpr std::uint16_t gpi_address_block = 11;
inline constexpr std::uint16_t gpi_phone_block = 12;
inline constexpr std::uint16_t gpi_description_block = 14;
inline constexpr std::uint16_t gpi_end_block = 0xFFFF;

// Block flag: a 4-byte main_size field follows the 8-byte block header.
inline constexpr std::uint16_t gpi_has_main_size = 0x0008;

// Sizes in bytes.
inline constexpr std::uint32_t gpi_block_header_size = 8;
inline constexpr std::uint32_t gpi_file_header_size = 30;
inline constexpr std::uint32_t gpi_poi_header_size = 20;
inline constexpr std::uint32_t gpi_area_own_size = 35;  // header, main_size and bounds
inline constexpr std::uint32_t gpi_area_main_size = 23;
inline constexpr std::uint32_t gpi_alert_block_size = 20;
inline constexpr std::uint32_t gpi_icon_ref_block_size = 10;
inline constexpr std::uint32_t gpi_bitmap_header_size = 44;
inline constexpr std::uint32_t gpi_end_block_size = 8;

// The longest text a multilingual string can hold (its length field has 16 bits).
inline constexpr std::uint32_t gpi_max_text = 0xFFFF;

// Bits of the alert kinds byte of an alert block.
inline constexpr std::uint8_t gpi_alert_kind_proximity = 0x04;
inline constexpr std::uint8_t gpi_alert_kind_speed = 0x01;

// Bits of the field mask of an address block.
inline constexpr std::uint16_t gpi_address_city = 0x01;
inline constexpr std::uint16_t gpi_address_country = 0x02;
inline constexpr std::uint16_t gpi_address_state = 0x04;
inline constexpr std::uint16_t gpi_address_postcode = 0x08;
inline constexpr std::uint16_t gpi_address_street = 0x10;

// Bytes per pixel row of a bitmap block: a multiple of 4, held in 16 bits.
[[nodiscard]] inline std::uint16_t gpi_bitmap_row_size(std::uint16_t width,
                                                       std::uint16_t bits_per_pixel) {
    std::int64_t bits = static_cast<std::int64_t>(width) * bits_per_pixel;
    return static_cast<std::uint16_t>((((bits - 1) >> 3) & 0xFFFC) + 4);
}

}  // namespace velmora
