#pragma once
// Reading profiles: which elements of a "wpt" feed which waypoint fields, and how the
// symbol is set, for the kinds of GPX file the reader recognises beside plain GPX.
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

enum class reading_profile {
    plain,
    typed_geocaches,  // a geocaching tool's files, creator beginning with "Skr"
    monuments,        // pages of the monument register
    crosses,          // crosses pages of the monument register
    easygps_caches,   // EasyGPS files linking to the geocaching site's cache pages
    dated_monuments,  // monument register files whose waypoints carry the symbol "Building"
    dated_crosses,    // crosses files whose waypoints carry the symbol "Cemetery"
};

// Addresses by which the special files are recognised.
inline constexpr std::string_view monument_register_address = "muemlekem.hu/muemlek";
inline constexpr std::string_view cross_register_address = "muemlekem.hu/kereszt";
inline constexpr std::string_view cache_page_address = "geocaching.hu/caches.geo?id=";

// Symbols of the monument register's waypoints.
inline constexpr std::string_view monument_symbol = "monument";
inline constexpr std::string_view cross_symbol = "cross";

// What of a file's own header decides its profile.
struct gpx_header {
    std::string_view creator;     // the gpx element's creator attribute
    std::string_view prologue;    // the text in front of the first waypoint (metadata included)
    std::string_view first_link;  // the first waypoint's link and url elements, markup included
    std::optional<std::string_view> first_symbol;  // the first waypoint's sym text
};

// The profile of a file: a creator beginning with "Skr" (any case) reads typed
// geocaches; a register address in the prologue or the first waypoint's link reads the
// register's files (dated ones when that waypoint's symbol is "Building" or "Cemetery");
// an "EasyGPS" creator with the cache-page address there reads EasyGPS caches.  What a
// description or comment says never changes the profile.
[[nodiscard]] reading_profile choose_reading_profile(const gpx_header& header);

// The elements of a wpt that the profiles read.
enum gpx_element : std::size_t {
    e_name,
    e_cmt,
    e_desc,
    e_sym,
    e_type,
    e_link,
    e_time,
    e_url,
    e_urlname,
    e_extensions,
    gpx_element_count
};

// Which element gives the name, the comment and the description.
struct field_sources {
    gpx_element name;
    gpx_element comment;
    gpx_element description;
};

[[nodiscard]] field_sources sources_of(reading_profile profile);

// The symbol for a waypoint of a geocaching tool's file from its type: the symbol the
// type stands for ("Final Location" is a "Waypoint", ...), the type text itself for
// another type, the current symbol when there is no type.  A "geocache" (any case) is
// refined by the comment's first character: "L" gives "Multi-Cache", "M" "Letterbox
// Cache", "T" keeps it, anything else "Puzzle Cache".
[[nodiscard]] std::optional<std::string> geocache_symbol(std::optional<std::string> current,
                                                         std::optional<std::string_view> type,
                                                         std::optional<std::string_view> comment);

// The symbol a waypoint gets under the profile, from its sym text, its type and its
// comment.
[[nodiscard]] std::optional<std::string> profile_symbol(reading_profile profile,
                                                        std::optional<std::string> sym,
                                                        std::optional<std::string_view> type,
                                                        std::optional<std::string_view> comment);

// The comment of a dated monument: the date of the time text, then the description.
[[nodiscard]] std::string dated_comment(const std::string& time, const std::string& description);

}  // namespace velmora
