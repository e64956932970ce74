#pragma once
// Export of every waypoint of the run into one GPX 1.1 document in UTF-8, with
// Garmin's GPX Extensions version 3 for proximity alerts, addresses and phone numbers.
// Speed alerts travel in the waypoint name as "@" and the speed.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "model/poiset.hpp"

namespace velmora {

// Writes the document to the stream.  The metadata time is the latest time stamp of a
// set read from a GPI file, else run_time (seconds since 1970); the bounds are those of
// the waypoints written.  False when a write failed.
[[nodiscard]] bool gpx_write(std::FILE* stream, const poiset_list& list, std::int64_t run_time);

// From this many waypoints on, a second thread formats parts of the document while the
// first formats and writes.
inline constexpr std::size_t gpx_parallel_write_from = 65536;

// The same document as a string (time 0 unless given); two threads format it from
// parallel_from waypoints on.
[[nodiscard]] std::string gpx_document(const poiset_list& list, std::int64_t run_time = 0,
                                       std::size_t parallel_from = gpx_parallel_write_from);

}  // namespace velmora
