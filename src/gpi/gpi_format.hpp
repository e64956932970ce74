#pragma once
// The block layout of GPI files: block types, flags, the fields of address and contact
// records and the fixed sizes shared by the reader and the writer.
#include <array>
#include <cstdint>
#include <string_view>

#include "model/waypoint.hpp"

namespace velmora {

// Block types.  The reader knows them all; the writer writes those up to 14 and 18.
enum class gpi_block_type : std::uint16_t {
    file_header = 0,
    poi_header = 1,
    poi_block = 2,
    alert_block = 3,
    icon_ref_block = 4,
    bitmap_block = 5,
    category_ref_block = 6,
    category_block = 7,
    area_block = 8,
    poi_set_header = 9,
    comment_block = 10,
    address_block = 11,
    phone_block = 12,
    picture_block = 13,
    description_block = 14,
    product_block = 15,
    alert_circles_block = 16,
    copyright_block = 17,
    media_block = 18,
    speed_camera_block = 19,
    trigger_options_block = 27,
    end_block = 0xFFFF,
};

// The number of a block type as the file holds it.
[[nodiscard]] constexpr std::uint16_t gpi_type_number(gpi_block_type type) {
    return static_cast<std::uint16_t>(type);
}

// True for the types above; others are unknown to this program.
[[nodiscard]] constexpr bool gpi_is_known_type(std::uint16_t number) {
    return number <= gpi_type_number(gpi_block_type::speed_camera_block) ||
           number == gpi_type_number(gpi_block_type::trigger_options_block) ||
           number == gpi_type_number(gpi_block_type::end_block);
}

// Block flag: a 4-byte main_size field follows the 8-byte block header.
inline constexpr std::uint16_t gpi_has_main_size = 0x0008;

// Sizes in bytes.
inline constexpr std::uint32_t gpi_block_header_size = 8;
inline constexpr std::uint32_t gpi_main_size_field = 4;

// The longest text a multilingual string can hold (its length field has 16 bits).
inline constexpr std::uint32_t gpi_max_text = 0xFFFF;

// Bits of the alert kinds byte of an alert block.
inline constexpr std::uint8_t gpi_alert_kind_proximity = 0x04;
inline constexpr std::uint8_t gpi_alert_kind_speed = 0x01;

// The kind of alert (byte 9 of an alert block): along the road, as this program writes
// every alert but Tour Guide ones, or a Tour Guide alert, which plays within its radius.
inline constexpr std::uint8_t gpi_alert_along_road = 1;
inline constexpr std::uint8_t gpi_alert_tour_guide = 2;
// Byte 11 of an alert block when byte 10 holds the alert kinds (a built-in sound); any
// other value makes bytes 10-11 the 16-bit id of a media record of the group.  So ids
// whose high byte is this one can't be named by an alert.
inline constexpr std::uint8_t gpi_alert_builtin_sound = 0x10;

[[nodiscard]] constexpr bool gpi_alert_can_name(std::uint16_t media_id) {
    return (media_id >> 8) != gpi_alert_builtin_sound;
}

// The largest picture a POI record carries here: a JPEG from an input is at most a
// mebibyte, and a POI record must stay far below 2 GiB.
inline constexpr std::uint32_t gpi_max_picture = 16u << 20;

// One field of an address or contact record: the key of the model's pair that holds it,
// and whether the file holds it as a multilingual string (else as a plain one: a 16-bit
// length and the bytes).
struct gpi_field {
    std::string_view key;
    bool multilingual = false;
};

// The fields of an address record, the first on mask bit 0x01, the next on 0x02 and so
// on; present fields follow the mask in this order.
inline constexpr std::array<gpi_field, 6> gpi_address_fields = {{
    {address_city, true},           // 0x01
    {address_country, true},        // 0x02
    {address_state, true},          // 0x04
    {address_postcode, false},      // 0x08
    {address_street, true},         // 0x10
    {address_house_number, false},  // 0x20
}};

// The fields of a contact record likewise; the web address is that of a waypoint's link.
inline constexpr std::array<gpi_field, 5> gpi_contact_fields = {{
    {contact_phone, false},   // 0x01
    {contact_phone2, false},  // 0x02
    {contact_fax, false},     // 0x04
    {contact_email, false},   // 0x08
    {contact_web, false},     // 0x10
}};

}  // namespace velmora
