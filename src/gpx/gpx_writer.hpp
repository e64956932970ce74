#pragma once
// Export of every waypoint of the run into one GPX 1.1 document in UTF-8, with
// Garmin's GPX Extensions version 3 for proximity alerts, addresses and phone numbers.
// Speed alerts travel in the waypoint name as "@" and the speed.
#include <cstdio>
#include <string>

#include "model/poiset.hpp"

namespace velmora {

// Writes the document to the stream; an empty list writes nothing.  False when a write
// failed.
[[nodiscard]] bool gpx_write(std::FILE* stream, const poiset_list& list);

// The same document as a string.
[[nodiscard]] std::string gpx_document(const poiset_list& list);

}  // namespace velmora
