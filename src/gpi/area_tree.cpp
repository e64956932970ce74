#include "gpi/area_tree.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/messages.hpp"

namespace velmora {

namespace {

// The coordinate a waypoint is ordered by.  A coordinate that is not a number orders
// like +infinity, so that the order stays a strict weak order for the standard
// algorithms whatever the input holds.
double key_of(const waypoint& w, split_key key) {
    double value = key == split_key::longitude ? w.lon : w.lat;
    return std::isnan(value) ? HUGE_VAL : value;
}

const char* name_of(const waypoint& w) {
    return w.name ? w.name->c_str() : "";
}

bool orders_before(const waypoint& a, const waypoint& b, split_key key) {
    return area_compare(a, b, key) < 0;
}

bool same_name(const waypoint& a, const waypoint& b) {
    return std::strcmp(name_of(a), name_of(b)) == 0;
}

// Pivot choice: the waypoint whose key coordinate lies nearest to the mean of the
// range, or, when all waypoints of the range share one position, the middle of the
// range sorted by latitude and name.  The chosen waypoint is moved to start.
void choose_pivot(waypoint_array& w, std::int32_t start, std::int32_t end, split_key key) {
    const waypoint& head = *w[static_cast<std::size_t>(start)];
    double min_lat = head.lat;
    double max_lat = head.lat;
    double min_lon = head.lon;
    double max_lon = head.lon;
    double sum_lat = 0.0;
    double sum_lon = 0.0;
    for (std::int32_t i = start; i <= end; ++i) {
        const waypoint& p = *w[static_cast<std::size_t>(i)];
        if (p.lat < min_lat) min_lat = p.lat;
        if (p.lat > max_lat) max_lat = p.lat;
        if (p.lon < min_lon) min_lon = p.lon;
        if (p.lon > max_lon) max_lon = p.lon;
        sum_lat += p.lat;
        sum_lon += p.lon;
    }
    std::int32_t chosen = start;
    if (min_lat == max_lat && min_lon == max_lon) {
        auto first = w.begin() + start;
        auto last = w.begin() + end + 1;
        bool one_name = std::all_of(first + 1, last, [&](const std::unique_ptr<waypoint>& p) {
            return same_name(*p, head);
        });
        // Waypoints equal in position and name are interchangeable: sorting them would
        // change nothing that the order depends on.
        if (!one_name) {
            auto by_name = [](const std::unique_ptr<waypoint>& a,
                              const std::unique_ptr<waypoint>& b) {
                return orders_before(*a, *b, split_key::latitude);
            };
            if (!std::is_sorted(first, last, by_name)) std::sort(first, last, by_name);
        }
        chosen = start + (end - start) / 2;
    } else {
        double count = static_cast<double>(end - start + 1);
        double mean = (key == split_key::longitude ? sum_lon : sum_lat) / count;
        double best = std::fabs(key_of(head, key) - mean);
        for (std::int32_t i = start + 1; i <= end; ++i) {
            double distance = std::fabs(key_of(*w[static_cast<std::size_t>(i)], key) - mean);
            if (distance < best) {
                best = distance;
                chosen = i;
            }
        }
    }
    std::swap(w[static_cast<std::size_t>(start)], w[static_cast<std::size_t>(chosen)]);
}

// A cut that leaves less than this share of a range on one side is replaced by a cut at
// the middle of the range in the same order.  The ordinary cut can leave one side
// empty (waypoints that share a key coordinate and a name) or nearly empty (skewed
// coordinates), which would nest the tree as deep as the range is long.
constexpr std::int32_t balance_divisor = 8;

std::int32_t median_cut(waypoint_array& w, std::int32_t start, std::int32_t end, split_key key) {
    std::int32_t middle = start + (end - start + 1) / 2;
    std::nth_element(w.begin() + start, w.begin() + middle, w.begin() + end + 1,
                     [key](const std::unique_ptr<waypoint>& a, const std::unique_ptr<waypoint>& b) {
                         return orders_before(*a, *b, key);
                     });
    return middle;
}

// Reports every waypoint on the wrong side of the pivot at p.  With a strict cut the
// left side orders before the pivot; with a middle cut it only does not order after it.
void check_cut(const waypoint_array& w, std::int32_t start, std::int32_t end, std::int32_t p,
               split_key key, bool strict) {
    const waypoint& pivot = *w[static_cast<std::size_t>(p)];
    auto report_misplaced = [&](std::int32_t i) {
        report("\n       %3i.: ## - %10.7f", static_cast<int>(i),
               key == split_key::longitude ? w[static_cast<std::size_t>(i)]->lon
                                           : w[static_cast<std::size_t>(i)]->lat);
    };
    for (std::int32_t i = start; i < p; ++i) {
        const waypoint& p_i = *w[static_cast<std::size_t>(i)];
        bool misplaced = strict ? !orders_before(p_i, pivot, key) : orders_before(pivot, p_i, key);
        if (misplaced) report_misplaced(i);
    }
    for (std::int32_t i = p + 1; i <= end; ++i) {
        if (orders_before(*w[static_cast<std::size_t>(i)], pivot, key)) report_misplaced(i);
    }
}

class area_builder {
  public:
    explicit area_builder(waypoint_array& waypoints) : w_(waypoints) {}

    void build(std::int32_t start, std::int32_t end, std::int32_t depth, area_node& parent);

  private:
    area_node* add_node(area_node& parent, std::int32_t start, std::int32_t end, bool leaf);

    waypoint_array& w_;
    int node_count_ = 0;
};

area_node* area_builder::add_node(area_node& parent, std::int32_t start, std::int32_t end,
                                  bool leaf) {
    ++node_count_;
    if (parent.child_count >= 4) {
        report("FATAL: Unexpected error! More than 4 childs required! (gpi=%i,child=%i)",
               node_count_, static_cast<int>(parent.child_count));
        return nullptr;
    }
    std::unique_ptr<area_node> node = area_node_new();
    const waypoint& head = *w_[static_cast<std::size_t>(start)];
    node->north = node->south = head.lat;
    node->east = node->west = head.lon;
    for (std::int32_t i = start + 1; i <= end; ++i) {
        const waypoint& p = *w_[static_cast<std::size_t>(i)];
        area_node_extend(*node, p.lat, p.lon);
    }
    node->is_leaf = leaf;
    node->first = start;
    node->last = end;
    node->waypoints = &w_;
    area_node* raw = node.get();
    parent.children[static_cast<std::size_t>(parent.child_count++)] = std::move(node);
    return raw;
}

void area_builder::build(std::int32_t start, std::int32_t end, std::int32_t depth,
                         area_node& parent) {
    area_node* current = &parent;
    for (;;) {
        if (start > end) return;
        bool small = end - start < area_leaf_limit;
        split_key key = split_key::latitude;
        if (depth % 2 == 0 || small) {
            area_node* node = add_node(*current, start, end, small);
            if (node == nullptr || small) return;
            // Cut a box more than three times as tall as wide by latitude; a box
            // without height, or without any extent, by longitude.
            double ratio = (node->east - node->west) / (node->north - node->south);
            key = ratio <= 0.3 ? split_key::latitude : split_key::longitude;
            current = node;
        }
        std::int32_t p = area_partition(w_, start, end, key);
        std::int32_t least = (end - start + 1) / balance_divisor;
        bool strict = p - start >= least && end - p + 1 >= least && p > start;
        if (!strict) p = median_cut(w_, start, end, key);
        check_cut(w_, start, end, p, key, strict);
        build(start, p - 1, depth + 1, *current);
        start = p;
        depth += 1;
    }
}

}  // namespace

std::unique_ptr<area_node> area_node_new() {
    return std::make_unique<area_node>();
}

void area_node_extend(area_node& node, double lat, double lon) {
    if (lat > node.north) node.north = lat;
    if (lon > node.east) node.east = lon;
    if (lat < node.south) node.south = lat;
    if (lon < node.west) node.west = lon;
}

int area_compare(const waypoint& a, const waypoint& b, split_key key) {
    double ka = key_of(a, key);
    double kb = key_of(b, key);
    if (ka < kb) return -1;
    if (ka > kb) return 1;
    return std::strcmp(name_of(a), name_of(b));
}

std::int32_t area_partition(waypoint_array& w, std::int32_t start, std::int32_t end,
                            split_key key) {
    if (start >= end) return start;
    choose_pivot(w, start, end, key);
    auto at = [&w](std::int32_t i) -> std::unique_ptr<waypoint>& {
        return w[static_cast<std::size_t>(i)];
    };
    std::swap(at(start), at(end));
    const waypoint& pivot = *at(end);
    std::int32_t store = start;
    for (std::int32_t i = start; i < end; ++i) {
        if (orders_before(*at(i), pivot, key)) {
            std::swap(at(store), at(i));
            ++store;
        }
    }
    std::swap(at(end), at(store));
    return store;
}

void area_tree_build(waypoint_array& waypoints, std::int32_t start, std::int32_t end,
                     std::int32_t depth, area_node& parent) {
    if (start < 0 || end >= static_cast<std::int32_t>(waypoints.size())) return;
    area_builder builder(waypoints);
    builder.build(start, end, depth, parent);
}

}  // namespace velmora
