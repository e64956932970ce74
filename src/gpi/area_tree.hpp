#pragma once
// The area index of a GPI POI group: a tree of rectangles over a set's waypoints, built
// by cutting the waypoint range twice per level (by longitude or latitude, then by
// latitude), so that every inner node has up to four children and every range of at
// most 128 waypoints becomes a leaf.
//
// The build gives an order of the set's waypoints (their numbers) in which the
// waypoints of every node form one contiguous range; nodes record only the range.  The
// set itself is left as it is.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "model/waypoint.hpp"
#include "model/waypoint_list.hpp"
#include "platform/split_policy.hpp"

namespace velmora {

// The coordinate a range is cut by.
enum class split_key { longitude, latitude };

// Ranges of at most this many waypoints become leaves.
inline constexpr std::int32_t area_leaf_limit = 128;

struct area_node {
    double north = -200.0;    // greatest latitude of the node's waypoints, degrees
    double east = -200.0;     // greatest longitude
    double west = 200.0;      // smallest longitude
    double south = 200.0;     // smallest latitude
    std::int32_t first = -1;  // range first..last of the order, inclusive
    std::int32_t last = -1;
    bool is_leaf = false;
    std::int32_t child_count = 0;
    std::array<std::unique_ptr<area_node>, 4> children;  // the first child_count in use
};

// A node with the initial values above (bounds that any position widens).
[[nodiscard]] std::unique_ptr<area_node> area_node_new();

// Widens the node's bounds to take in the position.
void area_node_extend(area_node& node, double lat, double lon);

// The area index of a set: the top node and the waypoint numbers in the order of the
// leaves, which the nodes' ranges refer to.
struct area_index {
    std::unique_ptr<area_node> top;
    std::vector<std::uint32_t> order;
};

// Order of two waypoints for a cut: by the key coordinate, then by name (unsigned
// bytes, an absent name as empty).  Negative, zero or positive.
[[nodiscard]] int area_compare(const waypoint& a, const waypoint& b, split_key key);

// Chooses a pivot in start..end, moves the waypoints that order before it to its left
// and returns its final index.
[[nodiscard]] std::int32_t area_partition(std::span<waypoint> waypoints, std::int32_t start,
                                          std::int32_t end, split_key key);

// Builds the index over all waypoints (at least one).  Every leaf holds at most 128
// waypoints and the depth of the tree grows with the logarithm of the waypoint count,
// whatever the positions and names.  None when the tree could not be built (more than
// four children asked of a node, reported).  A large set is built by two threads as split
// says, into the same tree.
[[nodiscard]] std::optional<area_index> area_index_build(const waypoint_list& waypoints,
                                                         const split_policy& split = {});

}  // namespace velmora
