#pragma once
// Reading of OpenStreetMap files (PBF, XML plain or compressed, O5M) through libosmium:
// every node, closed way and multipolygon relation that the tag filter matches becomes a
// POI, a way or multipolygon at the centroid of its area.  Two passes: the first takes
// the matching nodes and the node ids of the matching ways, the second only the
// locations of those nodes; when multipolygons match, a pass over the ways between
// them takes their member ways.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/geometry.hpp"
#include "tags/osm_filter.hpp"
#include "tags/osm_poi.hpp"

namespace velmora {

struct osm_read_options {
    osm_tag_filter filter;
    osm_poi_options poi;
};

struct osm_read_result {
    std::vector<osm_poi> pois;       // nodes, then ways, then relations, each in file order
    std::int64_t nodes = 0;          // POIs from nodes
    std::int64_t ways = 0;           // POIs from closed ways
    std::int64_t multipolygons = 0;  // POIs from multipolygon relations
    // Matching objects left out, by reason.
    std::int64_t out_of_range = 0;     // a node without a valid position
    std::int64_t open_ways = 0;        // a way that is not a closed ring
    std::int64_t missing_nodes = 0;    // a way with a node the file lacks or places nowhere
    std::int64_t relations = 0;        // a relation that is not a multipolygon
    std::int64_t missing_members = 0;  // a multipolygon with a member way the file lacks
    std::int64_t unassembled = 0;      // a multipolygon whose rings don't close
};

// Reads a file whose format libosmium tells from its name.  None after an error message
// naming the file and the reason (a corrupt, truncated or unreadable file, or a pipe or
// device, which can't be read twice); nothing of such a file is kept.
[[nodiscard]] std::optional<osm_read_result> read_osm_file(const std::string& path,
                                                           const osm_read_options& options);

// False after a message when the path names a named pipe, a device or a socket: the
// passes read a file twice, and a pipe would leave the second waiting for ever.  A path
// that names nothing or a directory passes (opening it tells why).
[[nodiscard]] bool osm_input_can_be_read_twice(const std::string& path);

// The same for a file's bytes in memory, of the libosmium format name given ("osm",
// "pbf", "o5m", "osm.bz2", ...); `display` names it in messages.
[[nodiscard]] std::optional<osm_read_result> read_osm_bytes(std::string_view bytes,
                                                            const std::string& format,
                                                            const std::string& display,
                                                            const osm_read_options& options);

// A position of a way's node; the centre of a ring is ring_centre() of the model.
using osm_point = geo_point;

}  // namespace velmora
