#pragma once
// The area index of a GPI POI group: a tree of rectangles over a set's waypoints, built
// by cutting the waypoint range twice per level (by longitude or latitude, then by
// latitude), so that every inner node has up to four children and every range of at
// most 128 waypoints becomes a leaf.
//
// The build permutes the set's array of waypoint pointers in place so that the
// waypoints of every node form one contiguous index range; nodes record only the range.
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "model/waypoint.hpp"

namespace velmora {

using waypoint_array = std::vector<std::unique_ptr<waypoint>>;

// The coordinate a range is cut by.
enum class split_key { longitude, latitude };

// Ranges of at most this many waypoints become leaves.
inline constexpr std::int32_t area_leaf_limit = 128;

struct area_node {
    double north = -200.0;                // greatest latitude of the node's waypoints, degrees
    double east = -200.0;                 // greatest longitude
    double west = 200.0;                  // smallest longitude
    double south = 200.0;                 // smallest latitude
    waypoint_array* waypoints = nullptr;  // the set's array, not owned
    std::int32_t first = -1;              // index range first..last, inclusive
    std::int32_t last = -1;
    std::int64_t record_size = 0;  // bytes of the whole area block; filled by the writer
    std::uint32_t flags = 0;       // OR of the flags of all waypoints below; by the writer
    bool is_leaf = false;
    std::int32_t child_count = 0;
    std::array<std::unique_ptr<area_node>, 4> children;  // the first child_count in use
};

// A node with the initial values above (bounds that any position widens).
[[nodiscard]] std::unique_ptr<area_node> area_node_new();

// Widens the node's bounds to take in the position.
void area_node_extend(area_node& node, double lat, double lon);

// Order of two waypoints for a cut: by the key coordinate, then by name (unsigned
// bytes, an absent name as empty).  Negative, zero or positive.
[[nodiscard]] int area_compare(const waypoint& a, const waypoint& b, split_key key);

// Chooses a pivot in start..end, moves the waypoints that order before it to its left
// and returns its final index.
[[nodiscard]] std::int32_t area_partition(waypoint_array& waypoints, std::int32_t start,
                                          std::int32_t end, split_key key);

// Builds the subtree over start..end (inclusive) and hangs its nodes below the parent.
// The writer calls it with the whole array, depth 0 and a holder node whose single
// child becomes the top node of the set.  Every leaf holds at most 128 waypoints and
// the depth of the tree grows with the logarithm of the waypoint count, whatever the
// positions and names.
void area_tree_build(waypoint_array& waypoints, std::int32_t start, std::int32_t end,
                     std::int32_t depth, area_node& parent);

}  // namespace velmora
