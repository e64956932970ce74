#pragma once
// Import of a GPX file into one POI set: every "wpt" element with a position becomes a
// waypoint, with what Garmin's waypoint extension holds (gpx_extensions.hpp).  Routes,
// tracks and metadata are not read.
#include <cstddef>
#include <cstdio>
#include <string_view>

#include "gpx/reading_profile.hpp"
#include "model/poiset.hpp"
#include "platform/page_buffer.hpp"
#include "platform/split_policy.hpp"

namespace velmora {

// Reads the whole file and appends its waypoints to the set, after setting the set's
// encoding from the XML declaration.  False only when the file's buffer can't be
// allocated (after "\nError: Can't allocate %u while importing xml file").  A text that
// split shares (a waypoint taken as gpx_bytes_per_waypoint bytes) is read by two threads.
[[nodiscard]] bool gpx_read(std::FILE* file, poiset& set, const split_policy& split = {});

// About what a waypoint takes of a GPX text, for sharing a text by its length.
inline constexpr std::size_t gpx_bytes_per_waypoint = 64;

// Texts of at least this many bytes are read by two threads by default.
inline constexpr std::size_t gpx_parallel_from = split_policy{}.bytes_from(gpx_bytes_per_waypoint);

// The same over a text already in memory.  A text of at least parallel_from bytes is
// read by two threads (tests choose small texts); the result is the same for every
// choice.  Bytes that XML forbids (a zero byte among them) are reported once and left
// out; malformed markup is reported once, with the offset of the first fault, and
// reading goes on at the next waypoint.
void gpx_read_text(std::string_view text, poiset& set,
                   std::size_t parallel_from = gpx_parallel_from);

// The same over the first size bytes of a buffer, whose pages are given back as the
// reading passes them: nothing read from the text may view them afterwards.
void gpx_read_buffer(const page_buffer& buffer, std::size_t size, poiset& set,
                     std::size_t parallel_from = gpx_parallel_from);

}  // namespace velmora
