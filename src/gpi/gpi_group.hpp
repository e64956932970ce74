#pragma once
// What the GPI writer writes for one POI set: the set with its texts in the output code
// page and within the format's limits, the order and area tree of its waypoints, and
// its icons as GPI bitmaps.  The run's preparation for GPI output makes these; the
// writer only reads them.
#include <memory>

#include "gpi/area_tree.hpp"
#include "model/icon_list.hpp"
#include "model/poiset.hpp"

namespace velmora {

struct gpi_group {
    const poiset* set = nullptr;         // not owned; the group's name is the set's
    area_index areas;                    // over the set's waypoints
    std::unique_ptr<icon_list> bitmaps;  // entries of icon_format_gpi; may be empty
};

}  // namespace velmora
