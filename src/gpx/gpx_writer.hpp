#pragma once
// Export of every waypoint of the run into one GPX 1.1 document in UTF-8, with
// Garmin's GPX Extensions version 3 for proximity alerts, addresses and phone numbers.
// Speed alerts travel in the waypoint name as "@" and the speed.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "gpx/gpx_media.hpp"
#include "model/poiset.hpp"
#include "platform/split_policy.hpp"

namespace velmora {

// Writes the document to the stream.  The metadata time is the latest time stamp of a
// set read from a GPI file, else run_time (seconds since 1970); the bounds are those of
// the waypoints written.  False when a write failed.  When split shares a list of that
// many waypoints, a second thread formats parts of the document while the first formats
// and writes.  With media (plan_gpx_media), the POIs whose alert plays a clip or that have
// a picture link to its file beside the document; the caller writes the files.
[[nodiscard]] bool gpx_write(std::FILE* stream, const poiset_list& list, std::int64_t run_time,
                             const split_policy& split = {}, const gpx_media* media = nullptr);

// The same document as a string (time 0 unless given).
[[nodiscard]] std::string gpx_document(const poiset_list& list, std::int64_t run_time = 0,
                                       const split_policy& split = {},
                                       const gpx_media* media = nullptr);

}  // namespace velmora
