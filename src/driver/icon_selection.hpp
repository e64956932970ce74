#pragma once
// Preparation of POI sets for GPI output: which library icons go into the file, and the
// default proximity alert.
#include "driver/gpi_settings.hpp"
#include "model/poiset.hpp"

namespace velmora {

// Counts how many waypoints name each icon of the set's library (symbols compared
// without regard to ASCII case), keeps the used icons the settings' limit allows,
// numbers them from 0 in order of use (equal use: by symbol) and gives their waypoints
// has_icon and icon_id.  Every other icon gets 0xFFFF.  Reports each icon and a summary.
// Leaves the list ordered by use, highest first.  False when the set has no icon list.
bool select_icons(poiset& set, const gpi_settings* settings);

// Gives every waypoint without an alert the settings' default proximity, when that is
// above 0; with proximity symbols named, only waypoints of those symbols.  False (and
// nothing done) without settings.
bool apply_default_proximity(const gpi_settings* settings, poiset& set);

}  // namespace velmora
