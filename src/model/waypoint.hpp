#pragma once
// One point of interest.
#include <cstdint>
#include <optional>
#include <string>

#include "model/field_list.hpp"

namespace velmora {

// Bits of waypoint::flags.
inline constexpr std::uint32_t has_position = 0x02;
inline constexpr std::uint32_t has_proximity = 0x40;
inline constexpr std::uint32_t has_speed = 0x80;
inline constexpr std::uint32_t has_icon = 0x10000;

struct waypoint {
    std::uint32_t flags = 0;
    std::optional<std::string> name;
    double lat = 0.0;  // degrees, north positive
    double lon = 0.0;  // degrees, east positive
    std::optional<std::string> symbol;
    double proximity = 0.0;  // metres, valid with has_proximity
    double speed = 0.0;      // km/h, valid with has_speed
    std::optional<std::string> comment;
    std::optional<std::string> description;
    std::optional<std::string> link;
    field_list address;
    field_list phones;
    std::uint16_t icon_id = 0;  // valid with has_icon
    std::int32_t gpi_size = 0;  // size of the POI record in GPI output; 0 before
};

// True when the waypoint carries a proximity or speed alert.  The writers test the low
// byte of the flags against 0x40, which both alert bits reach.
[[nodiscard]] inline bool has_alert(const waypoint& w) {
    return (w.flags & 0xFFu) >= 0x40u;
}

}  // namespace velmora
