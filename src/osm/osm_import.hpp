#pragma once
// OpenStreetMap POIs into the run's model: one POI set per input, in which every term
// of the filter that some POI matched is a category, named by the mapping file's name
// for it or by the tag.
#include <string>

#include "model/poiset.hpp"
#include "osm/osm_reader.hpp"

namespace velmora {

// Appends the set, named set_name (UTF-8, as every text of it), and empties the result.
// Gives the number of POIs appended, or -1 when the set could not be added (after the
// model's message).
[[nodiscard]] long long add_osm_pois(poiset_list& list, osm_read_result& result,
                                     const osm_tag_filter& filter, const osm_mapping* mapping,
                                     const std::string& set_name);

}  // namespace velmora
