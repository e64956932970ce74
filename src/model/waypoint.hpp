#pragma once
// One point of interest.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "model/field_list.hpp"

namespace velmora {

// Bits of waypoint::flags.
inline constexpr std::uint32_t has_position = 0x02;
inline constexpr std::uint32_t has_proximity = 0x40;
inline constexpr std::uint32_t has_speed = 0x80;
inline constexpr std::uint32_t has_icon = 0x10000;

// Sets hold millions of these, so the small members come first (no padding between
// them) and the address and phone lists, which no reader fills, exist only once a pair
// is appended to them.
struct waypoint {
    std::uint32_t flags = 0;
    std::uint16_t icon_id = 0;  // valid with has_icon
    std::int32_t gpi_size = 0;  // size of the POI record in GPI output; 0 before
    double lat = 0.0;           // degrees, north positive
    double lon = 0.0;           // degrees, east positive
    double proximity = 0.0;     // metres, valid with has_proximity
    double speed = 0.0;         // km/h, valid with has_speed
    std::optional<std::string> name;
    std::optional<std::string> symbol;
    std::optional<std::string> comment;
    std::optional<std::string> description;
    std::optional<std::string> link;
    std::unique_ptr<field_list> address;  // none: no address parts
    std::unique_ptr<field_list> phones;   // none: no phone numbers
};

// True when the waypoint carries a proximity or speed alert.  The writers test the low
// byte of the flags against 0x40, which both alert bits reach.
[[nodiscard]] inline bool has_alert(const waypoint& w) {
    return (w.flags & 0xFFu) >= 0x40u;
}

}  // namespace velmora
