#pragma once
// Which library icons of a POI set go into a GPI file, and the icon number of each
// waypoint.
#include "model/poiset.hpp"
#include "platform/split_policy.hpp"

namespace velmora {

// How many icons a set may carry.
struct icon_limit {
    int count = 0;         // 0 or less: no limit
    bool percent = false;  // count is a share of the waypoints, in percent
};

// Counts how many waypoints name each icon of the set's library (symbols compared
// without regard to ASCII case), keeps the used icons the limit allows, numbers them
// from 0 in order of use (equal use: by symbol) and gives their waypoints has_icon and
// icon_id.  Every other icon gets 0xFFFF.  Reports each icon and a summary.  Leaves the
// list ordered by use, highest first.  False when the set has no icon list.  A large set's
// symbols are looked up by two threads as split says.
bool select_icons(poiset& set, icon_limit limit, const split_policy& split = {});

}  // namespace velmora
