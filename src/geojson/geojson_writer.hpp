#pragma once
// Export of every waypoint of the run into one GeoJSON (RFC 7946) FeatureCollection of
// Point features in UTF-8, whose properties carry the names the GeoJSON reader takes
// ("name", "comment", "description", "symbol", "category", "street", "phone", ...), so
// that the file reads back with the same fields.  Web maps (uMap, geojson.io) show
// the "marker-symbol", the Maki icon name of the waypoint's symbol.
#include <cstdio>
#include <string>

#include "model/poiset.hpp"
#include "platform/split_policy.hpp"
#include "tags/osm_mapping.hpp"

namespace velmora {

struct geojson_write_options {
    // [MakiSymbols] read backwards: the Maki name of a Garmin symbol; none: no
    // "marker-symbol" is written.
    const osm_mapping* mapping = nullptr;
    // When a second thread formats parts of the document while the first writes.
    split_policy split;
};

// Writes the document to the stream; false when a write failed.
[[nodiscard]] bool geojson_write(std::FILE* stream, const poiset_list& list,
                                 const geojson_write_options& options = {});

// The same document as a string.
[[nodiscard]] std::string geojson_document(const poiset_list& list,
                                           const geojson_write_options& options = {});

}  // namespace velmora
