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
// With has_speed: the proximity is the one the speed gives (ten metres per km/h), no
// distance of its own, so that a run may derive it otherwise.
inline constexpr std::uint32_t proximity_from_speed = 0x100;
// With an alert: a Tour Guide alert, which plays its sound once within the proximity
// (the radius) instead of warning of the point ahead.
inline constexpr std::uint32_t tour_guide_alert = 0x200;
inline constexpr std::uint32_t has_icon = 0x10000;

// A key and its value, either of which may be absent.
struct text_pair {
    stored_text key;
    stored_text value;
};

// The names of the address parts (keys of waypoint_details::address).
inline constexpr std::string_view address_street = "Street";
inline constexpr std::string_view address_house_number = "HouseNumber";
inline constexpr std::string_view address_city = "City";
inline constexpr std::string_view address_state = "State";
inline constexpr std::string_view address_postcode = "Postcode";
inline constexpr std::string_view address_country = "Country";

// The kinds of contact (keys of waypoint_details::phones).  A phone number read with
// another category (a GPX file's "Home", "Work", "Mobile") keeps that category as its key.
inline constexpr std::string_view contact_phone = "PhoneNo";
inline constexpr std::string_view contact_phone2 = "Phone2";
inline constexpr std::string_view contact_fax = "Fax";
inline constexpr std::string_view contact_email = "Email";
inline constexpr std::string_view contact_web = "Web";

// What few waypoints carry, kept apart from them in the set's table of details, so that
// the waypoints of a million-point set stay small.
struct waypoint_details {
    std::vector<text_pair> address;         // address parts: key = part name, value = text
    std::vector<text_pair> phones;          // contacts: key = kind or category, value = text
    std::vector<std::uint16_t> categories;  // indexes into poiset::categories, no repeats
    stored_text link_text;  // the text a file shows for the waypoint's link, if it names one
    std::optional<std::uint16_t> sound;    // id of the set's poi_media record the alert plays
    std::optional<std::uint32_t> picture;  // index into poiset::pictures
};

// Index of no entry in the set's table of details.
inline constexpr std::uint32_t no_details = 0xFFFFFFFFu;

// Sets hold millions of these by value.  The 8-byte members (numbers and texts) come
// first, then the small members; 6 bytes of padding end the record.
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
