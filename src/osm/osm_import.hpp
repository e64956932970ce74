#pragma once
// OpenStreetMap POIs into the run's model: one POI set per category of the filter that
// holds any POI, named by the category (the mapping file's name for it, or the tag).
#include <string>

#include "model/poiset.hpp"
#include "osm/osm_reader.hpp"

namespace velmora {

// Appends the sets; their texts are UTF-8.  Gives the number of POIs appended, or -1
// when a set could not be added (after the model's message).
[[nodiscard]] long long add_osm_pois(poiset_list& list, osm_read_result& result,
                                     const osm_tag_filter& filter, const osm_mapping* mapping);

}  // namespace velmora
