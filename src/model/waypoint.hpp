#pragma once
// One point of interest, held by value in its set; its texts lie in the set's store.
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "model/text_store.hpp"

namespace velmora {

// Bits of waypoint::flags.
inline constexpr std::uint32_t has_position = 0x02;
inline constexpr std::uint32_t has_proximity = 0x40;
inline constexpr std::uint32_t has_speed = 0x80;
inline constexpr std::uint32_t has_icon = 0x10000;

// A key and its value, either of which may be absent.
struct text_pair {
    stored_text key;
    stored_text value;
};

// What few waypoints carry, kept apart from them in the set's table of details, so that
// the waypoints of a million-point set stay small.  New kinds of such data (contacts,
// links, categories) become members here.
struct waypoint_details {
    std::vector<text_pair> address;  // address parts: key = part name, value = text
    std::vector<text_pair> phones;   // phone numbers: key = category, value = number
};

// Index of no entry in the set's table of details.
inline constexpr std::uint32_t no_details = 0xFFFFFFFFu;

// Sets hold millions of these by value.  The 8-byte members come first, then the
// 16-byte text views, then the small members; 6 bytes of padding end the record.
struct waypoint {
    double lat = 0.0;        // degrees, north positive
    double lon = 0.0;        // degrees, east positive
    double proximity = 0.0;  // metres, valid with has_proximity
    double speed = 0.0;      // km/h, valid with has_speed
    stored_text name;
    stored_text symbol;
    stored_text comment;
    stored_text description;
    stored_text link;
    std::uint32_t flags = 0;
    std::uint32_t details = no_details;  // index into poiset::details, or no_details
    std::uint16_t icon_id = 0;           // valid with has_icon
};

// True when the waypoint carries a proximity or a speed alert.
[[nodiscard]] inline bool has_alert(const waypoint& w) {
    return (w.flags & (has_proximity | has_speed)) != 0;
}

// The value of the first pair whose key equals the name byte for byte, when that pair
// has a value.
[[nodiscard]] std::optional<std::string_view> find_value(std::span<const text_pair> pairs,
                                                         std::string_view name);

}  // namespace velmora
