#pragma once
// Import of a GPX file into one POI set: every "wpt" element with a position becomes a
// waypoint.  Routes, tracks, metadata and extensions are not read.
#include <cstddef>
#include <cstdio>
#include <string_view>

#include "model/poiset.hpp"

namespace velmora {

// Which elements feed which waypoint fields; chosen once per file from its content.
enum class reading_profile {
    plain,
    typed_geocaches,  // a geocaching tool's files, creator beginning with "Skr"
    monuments,        // pages of the monument register
    crosses,          // crosses pages of the monument register
    easygps_caches,   // EasyGPS files linking to the geocaching site's cache pages
    dated_monuments,  // monument register files with "<sym>Building</sym>"
    dated_crosses,    // crosses files with "<sym>Cemetery</sym>"
};

// Addresses by which the special files are recognised, matched anywhere in the text.
inline constexpr std::string_view monument_register_address = "muemlekem.hu/muemlek";
inline constexpr std::string_view cross_register_address = "muemlekem.hu/kereszt";
inline constexpr std::string_view cache_page_address = "geocaching.hu/caches.geo?id=";

// Symbols of the monument register's waypoints.
inline constexpr std::string_view monument_symbol = "monument";
inline constexpr std::string_view cross_symbol = "cross";

// The profile for a whole file text.
[[nodiscard]] reading_profile choose_reading_profile(std::string_view text);

// Reads the whole file and appends its waypoints to the set, after setting the set's
// encoding from the XML declaration.  False only when the file's buffer can't be
// allocated (after "\nError: Can't allocate %u while importing xml file").
[[nodiscard]] bool gpx_read(std::FILE* file, poiset& set);

// Texts of at least this many bytes are read by two threads.
inline constexpr std::size_t gpx_parallel_from = std::size_t{4} << 20;

// The same over a text already in memory; the text ends at its first zero byte.  A text
// of at least parallel_from bytes is read by two threads (tests choose small texts); the
// result is the same for every choice.
void gpx_read_text(std::string_view text, poiset& set,
                   std::size_t parallel_from = gpx_parallel_from);

}  // namespace velmora
