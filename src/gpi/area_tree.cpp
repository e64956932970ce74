#include "gpi/area_tree.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <span>
#include <string_view>

#include "platform/messages.hpp"
#include "platform/split_policy.hpp"

namespace velmora {

namespace {

// What the build looks at of a waypoint, kept small and together so that the passes over
// a range run through contiguous memory instead of chasing one pointer per waypoint.
// Names are looked at only between waypoints of one key coordinate: the first bytes
// decide most of those, and the rest is read from the waypoint.
struct tree_item {
    double lat;
    double lon;
    std::uint32_t head;  // the first four bytes of the name, the first one highest,
                         // zero where the name is shorter
    std::uint32_t slot;  // number of the waypoint in the set
};

// Names compare as unsigned bytes up to their first zero byte, as C strings do.
std::string_view name_of(const waypoint& w) {
    std::string_view name = w.name.value_or_empty();
    return name.substr(0, name.find('\0'));
}

int compare_names(std::string_view a, std::string_view b) {
    std::size_t n = a.size() < b.size() ? a.size() : b.size();
    if (n > 0) {
        if (int c = std::memcmp(a.data(), b.data(), n); c != 0) return c;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

// The first four bytes of a name (as name_of gives it: up to its first zero byte) as
// one number that orders as the bytes do.  No name holds a zero byte, so a shorter
// name's padding orders before any byte of a longer one.  Only the first four bytes
// are looked at, not the whole text for a zero byte.
std::uint32_t head_of(std::string_view text) {
    std::uint32_t head = 0;
    bool ended = false;
    for (std::size_t i = 0; i < 4; ++i) {
        ended = ended || i >= text.size() || text[i] == '\0';
        head <<= 8;
        if (!ended) head |= static_cast<unsigned char>(text[i]);
    }
    return head;
}

double lat_of(const tree_item& item) {
    return item.lat;
}
double lon_of(const tree_item& item) {
    return item.lon;
}
double lat_of(const waypoint& w) {
    return w.lat;
}
double lon_of(const waypoint& w) {
    return w.lon;
}

// The coordinate a range is ordered by.  A coordinate that is not a number orders like
// +infinity, so that the order stays a strict weak order for the standard algorithms
// whatever the input holds.
double ordered(double value) {
    return std::isnan(value) ? HUGE_VAL : value;
}

template <split_key Key, class Item>
double key_of(const Item& item) {
    return ordered(Key == split_key::longitude ? lon_of(item) : lat_of(item));
}

template <class Item>
double key_of(const Item& item, split_key key) {
    return key == split_key::longitude ? key_of<split_key::longitude>(item)
                                       : key_of<split_key::latitude>(item);
}

// The order of a cut over waypoints: by the key coordinate, then by name.
struct waypoint_order {
    [[nodiscard]] int names(const waypoint& a, const waypoint& b) const {
        return compare_names(name_of(a), name_of(b));
    }
};

// The same order over items, which read the rest of a name from its waypoint.
class item_order {
  public:
    explicit item_order(const waypoint_list& waypoints) : waypoints_(waypoints) {}

    [[nodiscard]] int names(const tree_item& a, const tree_item& b) const {
        if (a.head != b.head) return a.head < b.head ? -1 : 1;
        // Equal heads with padding are equal names shorter than four bytes.
        if ((a.head & 0xFFu) == 0) return 0;
        return whole_names(a, b);
    }

  private:
    [[gnu::noinline]] int whole_names(const tree_item& a, const tree_item& b) const {
        return compare_names(name_of(waypoints_[a.slot]), name_of(waypoints_[b.slot]));
    }

    const waypoint_list& waypoints_;
};

template <split_key Key, class Item, class Order>
int compare(const Item& a, const Item& b, const Order& order) {
    double ka = key_of<Key>(a);
    double kb = key_of<Key>(b);
    if (ka < kb) return -1;
    if (ka > kb) return 1;
    return order.names(a, b);
}

template <class Item, class Order>
int compare(const Item& a, const Item& b, split_key key, const Order& order) {
    return key == split_key::longitude ? compare<split_key::longitude>(a, b, order)
                                       : compare<split_key::latitude>(a, b, order);
}

// Whether a orders before b; the names are looked at only for one key coordinate.
// Always inlined, so that the partition's loop runs without a call or a branch per item.
template <split_key Key, class Item, class Order>
[[gnu::always_inline]] inline bool orders_before(const Item& a, const Item& b, const Order& order) {
    double ka = key_of<Key>(a);
    double kb = key_of<Key>(b);
    if (ka == kb) [[unlikely]] {
        return order.names(a, b) < 0;
    }
    return ka < kb;
}

template <split_key Key, class Item, class Order>
auto before_by(const Order& order) {
    return [&order](const Item& a, const Item& b) { return orders_before<Key>(a, b, order); };
}

// The bounds of a range start..end and the sums of its coordinates, taken front to back
// from the first item: the bounds of a node and the pivot choice both come from them,
// and the sums must be added in exactly this order for the mean to round alike.
struct range_stats {
    double min_lat;
    double max_lat;
    double min_lon;
    double max_lon;
    double sum_lat = 0.0;
    double sum_lon = 0.0;
};

template <class Item>
range_stats stats_of(std::span<const Item> items, std::int32_t start, std::int32_t end) {
    const Item& head = items[static_cast<std::size_t>(start)];
    range_stats stats{lat_of(head), lat_of(head), lon_of(head), lon_of(head)};
    for (std::int32_t i = start; i <= end; ++i) {
        const Item& p = items[static_cast<std::size_t>(i)];
        double lat = lat_of(p);
        double lon = lon_of(p);
        if (lat < stats.min_lat) stats.min_lat = lat;
        if (lat > stats.max_lat) stats.max_lat = lat;
        if (lon < stats.min_lon) stats.min_lon = lon;
        if (lon > stats.max_lon) stats.max_lon = lon;
        stats.sum_lat += lat;
        stats.sum_lon += lon;
    }
    return stats;
}

// Pivot choice: the item whose key coordinate lies nearest to the mean of the range,
// or, when all items of the range share one position, the middle of the range sorted by
// latitude and name.  The chosen item is moved to start.
template <split_key Key, class Item, class Order>
void choose_pivot(std::span<Item> items, std::int32_t start, std::int32_t end,
                  const range_stats& stats, const Order& order) {
    const Item& head = items[static_cast<std::size_t>(start)];
    const double min_lat = stats.min_lat;
    const double max_lat = stats.max_lat;
    const double min_lon = stats.min_lon;
    const double max_lon = stats.max_lon;
    const double sum_lat = stats.sum_lat;
    const double sum_lon = stats.sum_lon;
    std::int32_t chosen = start;
    if (min_lat == max_lat && min_lon == max_lon) {
        auto first = items.begin() + start;
        auto last = items.begin() + end + 1;
        bool one_name =
            std::all_of(first + 1, last, [&](const Item& p) { return order.names(p, head) == 0; });
        // Items equal in position and name are interchangeable: sorting them would
        // change nothing that the order depends on.
        if (!one_name) {
            auto by_name = before_by<split_key::latitude, Item>(order);
            if (!std::is_sorted(first, last, by_name)) std::sort(first, last, by_name);
        }
        chosen = start + (end - start) / 2;
    } else {
        double count = static_cast<double>(end - start + 1);
        double mean = (Key == split_key::longitude ? sum_lon : sum_lat) / count;
        double best = std::fabs(key_of<Key>(head) - mean);
        for (std::int32_t i = start + 1; i <= end; ++i) {
            double distance = std::fabs(key_of<Key>(items[static_cast<std::size_t>(i)]) - mean);
            if (distance < best) {
                best = distance;
                chosen = i;
            }
        }
    }
    std::swap(items[static_cast<std::size_t>(start)], items[static_cast<std::size_t>(chosen)]);
}

// Moves the items that order before the pivot to its left; returns the pivot's index.
// The items move exactly as by a swap for each item before the pivot, without a branch
// that the processor would mispredict for every other item.
template <split_key Key, class Item, class Order>
std::int32_t partition(std::span<Item> items, std::int32_t start, std::int32_t end,
                       const range_stats& stats, const Order& order) {
    if (start >= end) return start;
    choose_pivot<Key>(items, start, end, stats, order);
    auto at = [&items](std::int32_t i) -> Item& { return items[static_cast<std::size_t>(i)]; };
    std::swap(at(start), at(end));
    const Item pivot = at(end);
    std::int32_t store = start;
    for (std::int32_t i = start; i < end; ++i) {
        // The two items are picked by index, not by a condition that the compiler
        // would turn into a branch again.
        const Item both[2] = {at(i), at(store)};
        auto before = static_cast<std::size_t>(orders_before<Key>(both[0], pivot, order));
        at(i) = both[before];
        at(store) = both[1 - before];
        store += static_cast<std::int32_t>(before);
    }
    std::swap(at(end), at(store));
    return store;
}

template <class Item, class Order>
std::int32_t partition(std::span<Item> items, std::int32_t start, std::int32_t end, split_key key,
                       const range_stats& stats, const Order& order) {
    return key == split_key::longitude
               ? partition<split_key::longitude>(items, start, end, stats, order)
               : partition<split_key::latitude>(items, start, end, stats, order);
}

// A cut that leaves less than this share of a range on one side is replaced by a cut at
// the middle of the range in the same order.  The ordinary cut can leave one side
// empty (waypoints that share a key coordinate and a name) or nearly empty (skewed
// coordinates), which would nest the tree as deep as the range is long.
constexpr std::int32_t balance_divisor = 8;

std::int32_t median_cut(std::span<tree_item> items, std::int32_t start, std::int32_t end,
                        split_key key, const item_order& order) {
    std::int32_t middle = start + (end - start + 1) / 2;
    auto first = items.begin() + start;
    auto nth = items.begin() + middle;
    auto last = items.begin() + end + 1;
    if (key == split_key::longitude) {
        std::nth_element(first, nth, last, before_by<split_key::longitude, tree_item>(order));
    } else {
        std::nth_element(first, nth, last, before_by<split_key::latitude, tree_item>(order));
    }
    return middle;
}

class area_builder {
  public:
    area_builder(std::span<tree_item> items, const item_order& order)
        : items_(items), order_(order) {}

    // Whether a node was refused (more than four children asked of its parent).
    [[nodiscard]] bool failed() const { return failed_; }

    void build(std::int32_t start, std::int32_t end, std::int32_t depth, area_node& parent);

    // The same tree as build() gives; a large range is built by two threads below its
    // first cut, each over its own part of the items.
    void build_top(std::int32_t start, std::int32_t end, std::int32_t depth, area_node& parent,
                   const split_policy& split);

  private:
    // A node over start..end, whose stats are given.
    area_node* add_node(area_node& parent, std::int32_t start, std::int32_t end, bool leaf,
                        const range_stats& stats);

    [[nodiscard]] range_stats stats(std::int32_t start, std::int32_t end) const {
        return stats_of(std::span<const tree_item>(items_), start, end);
    }

    // The node's cut key and the index of its cut, as build() makes them.
    split_key key_of_node(const area_node& node) const;
    std::int32_t cut(std::int32_t start, std::int32_t end, split_key key, const range_stats& stats);

    std::span<tree_item> items_;
    const item_order& order_;
    int node_count_ = 0;
    bool failed_ = false;
};

area_node* area_builder::add_node(area_node& parent, std::int32_t start, std::int32_t end,
                                  bool leaf, const range_stats& stats) {
    ++node_count_;
    if (parent.child_count >= 4) {
        report("FATAL: Unexpected error! More than 4 childs required! (gpi=%i,child=%i)",
               node_count_, static_cast<int>(parent.child_count));
        failed_ = true;
        return nullptr;
    }
    std::unique_ptr<area_node> node = area_node_new();
    node->north = stats.max_lat;
    node->south = stats.min_lat;
    node->east = stats.max_lon;
    node->west = stats.min_lon;
    node->is_leaf = leaf;
    node->first = start;
    node->last = end;
    std::unique_ptr<area_node>& slot =
        parent.children[static_cast<std::size_t>(parent.child_count)];
    slot = std::move(node);
    ++parent.child_count;
    return slot.get();
}

// A node's stats serve its cut as well, so that its range is gone through once for both.
void area_builder::build(std::int32_t start, std::int32_t end, std::int32_t depth,
                         area_node& parent) {
    area_node* current = &parent;
    for (;;) {
        if (start > end) return;
        bool small = end - start < area_leaf_limit;
        split_key key = split_key::latitude;
        range_stats range = stats(start, end);
        if (depth % 2 == 0 || small) {
            area_node* node = add_node(*current, start, end, small, range);
            if (node == nullptr || small) return;
            key = key_of_node(*node);
            current = node;
        }
        std::int32_t p = cut(start, end, key, range);
        build(start, p - 1, depth + 1, *current);
        start = p;
        depth += 1;
    }
}

split_key area_builder::key_of_node(const area_node& node) const {
    // Cut a box more than three times as tall as wide by latitude; a box without height,
    // or without any extent, by longitude.
    double ratio = (node.east - node.west) / (node.north - node.south);
    return ratio <= 0.3 ? split_key::latitude : split_key::longitude;
}

std::int32_t area_builder::cut(std::int32_t start, std::int32_t end, split_key key,
                               const range_stats& stats) {
    std::int32_t p = partition(items_, start, end, key, stats, order_);
    std::int32_t least = (end - start + 1) / balance_divisor;
    bool strict = p > start && p - start >= least && end - p + 1 >= least;
    if (!strict) p = median_cut(items_, start, end, key, order_);
    return p;
}

void area_builder::build_top(std::int32_t start, std::int32_t end, std::int32_t depth,
                             area_node& parent, const split_policy& split) {
    // A range that build() makes a leaf of has no cut to share.
    if (end - start < area_leaf_limit || depth % 2 != 0 ||
        !split.splits(static_cast<std::size_t>(end - start + 1))) {
        build(start, end, depth, parent);
        return;
    }
    // The first step of build(): the node of the whole range and its cut.  Both sides
    // are then built one level deeper into that node, the left side first.
    range_stats range = stats(start, end);
    area_node* node = add_node(parent, start, end, false, range);
    if (node == nullptr) return;
    std::int32_t p = cut(start, end, key_of_node(*node), range);

    // The right side is built by another thread into a node of its own, whose children
    // then follow those of the left side.
    area_node right_holder;
    area_builder right(items_, order_);
    if (!split.side_by_side(
            static_cast<std::size_t>(end - start + 1),
            [&] { build(start, p - 1, depth + 1, *node); },
            [&] { right.build(p, end, depth + 1, right_holder); })) {
        build(start, p - 1, depth + 1, *node);
        build(p, end, depth + 1, *node);
        return;
    }
    for (std::int32_t i = 0; i < right_holder.child_count; ++i) {
        if (node->child_count >= 4) {
            report("FATAL: Unexpected error! More than 4 childs required! (gpi=%i,child=%i)",
                   node_count_ + right.node_count_, static_cast<int>(node->child_count));
            failed_ = true;
            break;
        }
        node->children[static_cast<std::size_t>(node->child_count++)] =
            std::move(right_holder.children[static_cast<std::size_t>(i)]);
    }
    if (right.failed_) failed_ = true;
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
    return compare(a, b, key, waypoint_order{});
}

std::int32_t area_partition(std::span<waypoint> waypoints, std::int32_t start, std::int32_t end,
                            split_key key) {
    if (start < 0 || end >= static_cast<std::int32_t>(waypoints.size())) return start;
    if (start >= end) return start;
    range_stats stats = stats_of(std::span<const waypoint>(waypoints), start, end);
    return partition(waypoints, start, end, key, stats, waypoint_order{});
}

std::optional<area_index> area_index_build(const waypoint_list& waypoints,
                                           const split_policy& split) {
    if (waypoints.empty() || waypoints.size() > 0x7FFFFFFFu) return std::nullopt;
    // The build runs over compact items, so that the passes over a range read contiguous
    // memory; the items' final order is the order of the index.
    std::vector<tree_item> items(waypoints.size());
    auto fill = [&](std::size_t first, std::size_t end) {
        for (std::size_t i = first; i < end; ++i) {
            const waypoint& w = waypoints[i];
            items[i] = {w.lat, w.lon, head_of(w.name.value_or_empty()),
                        static_cast<std::uint32_t>(i)};
        }
    };
    // A large set's items are taken by two threads, a half each.
    split.in_halves(items.size(), items.size() / 2, fill);
    item_order order(waypoints);
    area_node holder;
    area_builder builder(items, order);
    builder.build_top(0, static_cast<std::int32_t>(items.size()) - 1, 0, holder, split);
    if (builder.failed() || holder.child_count != 1 || !holder.children[0]) return std::nullopt;
    area_index index;
    index.top = std::move(holder.children[0]);
    index.order.reserve(items.size());
    for (const tree_item& item : items) index.order.push_back(item.slot);
    return index;
}

}  // namespace velmora
