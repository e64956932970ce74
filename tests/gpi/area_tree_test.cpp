#include "gpi/area_tree.hpp"

#include <gtest/gtest.h>
#include <pthread.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "model/poiset.hpp"
#include "platform/messages.hpp"

namespace velmora {
namespace {

// Waypoints with their names in a set's store.
struct waypoint_array {
    poiset set;

    [[nodiscard]] std::size_t size() const { return set.waypoints.size(); }
    [[nodiscard]] bool empty() const { return set.waypoints.empty(); }
    // A copy of the waypoints, for the partition, which works on contiguous ones.
    [[nodiscard]] std::vector<waypoint> points() const {
        return {set.waypoints.begin(), set.waypoints.end()};
    }
    [[nodiscard]] const waypoint& operator[](std::size_t i) const { return set.waypoints[i]; }
};

void add(waypoint_array& array, double lat, double lon, std::optional<std::string> name) {
    waypoint& w = *poiset_add_waypoint(array.set);
    w.lat = lat;
    w.lon = lon;
    w.name = array.set.store_optional(name);
}

// A reproducible spread of numbers in [0, 1), the same on every platform.
struct spread {
    std::uint64_t state;
    double next() {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(state >> 11) / 9007199254740992.0;
    }
};

struct tree_shape {
    int height = 0;  // nodes on the longest path from the top node down
    int leaves = 0;
    int max_leaf = 0;
    std::int32_t next_index = 0;  // where the next leaf must begin
};

// Checks the invariants of a node and everything below it.
// The waypoints in the order of the index.
using ordered_waypoints = std::vector<const waypoint*>;

void check_node(const area_node& node, const ordered_waypoints& array, tree_shape& shape,
                int level) {
    shape.height = std::max(shape.height, level);
    ASSERT_LE(node.first, node.last);
    double north = -1e9, south = 1e9, east = -1e9, west = 1e9;
    for (std::int32_t i = node.first; i <= node.last; ++i) {
        const waypoint& w = *array[static_cast<std::size_t>(i)];
        north = std::max(north, w.lat);
        south = std::min(south, w.lat);
        east = std::max(east, w.lon);
        west = std::min(west, w.lon);
    }
    ASSERT_EQ(node.north, north);
    ASSERT_EQ(node.south, south);
    ASSERT_EQ(node.east, east);
    ASSERT_EQ(node.west, west);
    std::int32_t count = node.last - node.first + 1;
    if (node.is_leaf) {
        ASSERT_LE(count, area_leaf_limit);
        ASSERT_EQ(node.child_count, 0);
        ASSERT_EQ(node.first, shape.next_index) << "leaves must follow each other";
        shape.next_index = node.last + 1;
        ++shape.leaves;
        shape.max_leaf = std::max(shape.max_leaf, static_cast<int>(count));
        return;
    }
    ASSERT_GT(count, area_leaf_limit);
    ASSERT_GE(node.child_count, 1);
    ASSERT_LE(node.child_count, 4);
    std::int32_t expected_first = node.first;
    for (std::int32_t c = 0; c < node.child_count; ++c) {
        const area_node& child = *node.children[static_cast<std::size_t>(c)];
        ASSERT_EQ(child.first, expected_first) << "children in index order, no gap";
        expected_first = child.last + 1;
        check_node(child, array, shape, level + 1);
    }
    ASSERT_EQ(expected_first, node.last + 1) << "children cover the node's range";
}

// Builds the index over the whole array as the preparation for GPI output does and
// checks it.
struct built_tree {
    std::optional<area_index> index;
    ordered_waypoints ordered;
    tree_shape shape;
    std::string messages;

    [[nodiscard]] const area_node& top() const { return *index->top; }
};

built_tree build_and_check(const waypoint_array& array, const split_policy& split = {}) {
    built_tree tree;
    {
        message_capture capture;
        tree.index = area_index_build(array.set.waypoints, split);
        tree.messages = capture.text();
    }
    if (array.empty()) {
        EXPECT_FALSE(tree.index.has_value());
        return tree;
    }
    EXPECT_TRUE(tree.index.has_value());
    if (!tree.index) return tree;
    std::vector<std::uint32_t> numbers = tree.index->order;
    std::sort(numbers.begin(), numbers.end());
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        if (numbers[i] != i) {
            ADD_FAILURE() << "the order is a permutation of the waypoint numbers";
            return tree;
        }
    }
    for (std::uint32_t number : tree.index->order) tree.ordered.push_back(&array[number]);
    EXPECT_EQ(tree.top().first, 0);
    EXPECT_EQ(tree.top().last, static_cast<std::int32_t>(array.size()) - 1);
    check_node(tree.top(), tree.ordered, tree.shape, 1);
    EXPECT_EQ(tree.shape.next_index, static_cast<std::int32_t>(array.size()));
    EXPECT_EQ(tree.messages, "") << "no refused child";
    return tree;
}

// The number of nodes on the longest path that a balanced tree over n waypoints needs
// at most: one level per halving twice over, with room to spare.
int height_limit(std::size_t n) {
    return 2 * static_cast<int>(std::ceil(std::log2(static_cast<double>(n) + 1)));
}

TEST(AreaTree, EmptySetHasNoIndex) {
    waypoint_array array;
    built_tree tree = build_and_check(array);
    EXPECT_FALSE(tree.index.has_value());
}

TEST(AreaTree, UpToOneHundredTwentyEightWaypointsMakeOneLeafInUnchangedOrder) {
    for (int n : {1, 2, 77, 128}) {
        waypoint_array array;
        spread s{static_cast<std::uint64_t>(n)};
        for (int i = 0; i < n; ++i)
            add(array, s.next() * 10, s.next() * 10, "w" + std::to_string(i));
        built_tree tree = build_and_check(array);
        EXPECT_TRUE(tree.top().is_leaf) << n;
        EXPECT_EQ(tree.top().last, n - 1);
        for (int i = 0; i < n; ++i)
            EXPECT_EQ(tree.index->order[static_cast<std::size_t>(i)],
                      static_cast<std::uint32_t>(i));
    }
}

TEST(AreaTree, OneHundredTwentyNineWaypointsSplitIntoTwoLeaves) {
    waypoint_array array;
    spread s{129};
    for (int i = 0; i < 129; ++i) add(array, s.next(), s.next() * 4, "w" + std::to_string(i));
    built_tree tree = build_and_check(array);
    EXPECT_FALSE(tree.top().is_leaf);
    ASSERT_EQ(tree.top().child_count, 2);
    EXPECT_TRUE(tree.top().children[0]->is_leaf);
    EXPECT_TRUE(tree.top().children[1]->is_leaf);
    // A wide box is cut by longitude: the first child lies west of the second.
    EXPECT_LE(tree.top().children[0]->east, tree.top().children[1]->west);
}

TEST(AreaTree, ThreeHundredWaypointsOnASquareGiveFourQuartersInOrder) {
    waypoint_array array;
    spread s{300};
    for (int i = 0; i < 300; ++i) add(array, 45 + s.next(), 10 + s.next(), "w" + std::to_string(i));
    built_tree tree = build_and_check(array);
    const area_node& top = tree.top();
    ASSERT_EQ(top.child_count, 4);
    const area_node& west_south = *top.children[0];
    const area_node& west_north = *top.children[1];
    const area_node& east_south = *top.children[2];
    const area_node& east_north = *top.children[3];
    for (const area_node* quarter : {&west_south, &west_north, &east_south, &east_north}) {
        EXPECT_TRUE(quarter->is_leaf);
        int count = quarter->last - quarter->first + 1;
        EXPECT_GT(count, 50);
        EXPECT_LT(count, 100);
    }
    EXPECT_LE(std::max(west_south.east, west_north.east),
              std::min(east_south.west, east_north.west));
    EXPECT_LE(west_south.north, west_north.south);
    EXPECT_LE(east_south.north, east_north.south);
}

TEST(AreaTree, BoxShapeChoosesTheFirstCut) {
    // All on one meridian: no width, cut by latitude.
    waypoint_array meridian;
    for (int i = 0; i < 200; ++i) add(meridian, i * 0.01, 7.0, "m" + std::to_string(i));
    built_tree by_latitude = build_and_check(meridian);
    ASSERT_EQ(by_latitude.top().child_count, 2);
    EXPECT_LT(by_latitude.top().children[0]->north, by_latitude.top().children[1]->south);

    // All on one parallel: no height, cut by longitude.
    waypoint_array parallel;
    for (int i = 0; i < 200; ++i) add(parallel, 50.0, i * 0.01, "p" + std::to_string(i));
    built_tree by_longitude = build_and_check(parallel);
    ASSERT_GE(by_longitude.top().child_count, 2);
    EXPECT_LT(by_longitude.top().children[0]->east, by_longitude.top().children[1]->west);
}

TEST(AreaTree, OnePositionWithDistinctNamesSplitsAtTheMiddleOfTheNameOrder) {
    waypoint_array array;
    for (int i = 999; i >= 0; --i) {
        char name[16];
        std::snprintf(name, sizeof name, "p%04d", i);
        add(array, 48.2, 16.4, std::string(name));
    }
    built_tree tree = build_and_check(array);
    const area_node& top = tree.top();
    ASSERT_EQ(top.child_count, 4);
    for (int c = 0; c < 4; ++c) {
        int count = top.children[static_cast<std::size_t>(c)]->last -
                    top.children[static_cast<std::size_t>(c)]->first + 1;
        EXPECT_GE(count, 249);
        EXPECT_LE(count, 251);
    }
    // The quarters hold consecutive runs of the name order.
    for (int c = 0; c + 1 < 4; ++c) {
        const area_node& left = *top.children[static_cast<std::size_t>(c)];
        const area_node& right = *top.children[static_cast<std::size_t>(c + 1)];
        std::string left_max, right_min = "~";
        for (std::int32_t i = left.first; i <= left.last; ++i)
            left_max =
                std::max(left_max, std::string(*tree.ordered[static_cast<std::size_t>(i)]->name));
        for (std::int32_t i = right.first; i <= right.last; ++i)
            right_min =
                std::min(right_min, std::string(*tree.ordered[static_cast<std::size_t>(i)]->name));
        EXPECT_LT(left_max, right_min);
    }
}

TEST(AreaTree, NamesEndAtTheirFirstZeroByteInALargeSet) {
    // Few positions, so that names decide many cuts; a zero byte within the first four
    // bytes or later, with other bytes behind it.  The same names cut at the zero byte
    // must give the same order, built by two threads as by one.
    waypoint_array with_tails;
    waypoint_array cut;
    spread s{42};
    const std::vector<std::string> tails = {std::string("\0zz", 3), std::string("\0\x01", 2),
                                            std::string("\0", 1), ""};
    for (int i = 0; i < 3000; ++i) {
        double lat = 48.0 + static_cast<int>(s.next() * 5) * 0.01;
        double lon = 16.0 + static_cast<int>(s.next() * 5) * 0.01;
        std::string name(static_cast<std::size_t>(s.next() * 5), 'a');
        name += static_cast<char>('a' + static_cast<int>(s.next() * 3));
        add(cut, lat, lon, name);
        add(with_tails, lat, lon, name + tails[static_cast<std::size_t>(i) % tails.size()]);
    }
    constexpr split_policy two_threads{256};
    built_tree a = build_and_check(with_tails, two_threads);
    built_tree b = build_and_check(cut, two_threads);
    built_tree one_thread = build_and_check(cut);
    ASSERT_TRUE(a.index && b.index && one_thread.index);
    EXPECT_EQ(a.index->order, b.index->order);
    EXPECT_EQ(b.index->order, one_thread.index->order);
}

TEST(AreaCompare, OrdersByKeyCoordinateThenByNameAsUnsignedBytes) {
    text_store texts;
    waypoint a, b;
    a.lon = 1.0;
    b.lon = 2.0;
    a.lat = 5.0;
    b.lat = 3.0;
    EXPECT_LT(area_compare(a, b, split_key::longitude), 0);
    EXPECT_GT(area_compare(a, b, split_key::latitude), 0);
    b.lon = 1.0;
    a.name = texts.add("b");
    b.name = texts.add("a");
    EXPECT_GT(area_compare(a, b, split_key::longitude), 0);
    b.name = texts.add("b");
    EXPECT_EQ(area_compare(a, b, split_key::longitude), 0);
    b.name = texts.add("\xC3\xA9");  // a byte above 0x7F orders after ASCII
    EXPECT_LT(area_compare(a, b, split_key::longitude), 0);
    b.name = texts.add("bb");  // the shorter prefix first
    EXPECT_LT(area_compare(a, b, split_key::longitude), 0);
    b.name = texts.add(std::string_view("b\0z", 3));  // a name ends at its first zero byte
    EXPECT_EQ(area_compare(a, b, split_key::longitude), 0);
    a.name = stored_text();  // absent counts as empty
    b.name = texts.add("");
    EXPECT_EQ(area_compare(a, b, split_key::longitude), 0);
}

TEST(AreaPartition, PivotNearestTheMeanWithEqualOnesToItsRight) {
    waypoint_array array;
    add(array, 0, 0.0, "a");
    add(array, 0, 1.0, "b");  // first one nearest the mean 1.0
    add(array, 0, 1.0, "a");
    add(array, 0, 2.0, "z");
    add(array, 0, 1.0, "b");  // its twin
    std::vector<waypoint> points = array.points();
    std::int32_t p = area_partition(points, 0, 4, split_key::longitude);
    ASSERT_EQ(p, 2);
    EXPECT_EQ(points[2].lon, 1.0);
    EXPECT_EQ(points[2].name, "b");
    for (int i = 0; i < 2; ++i)
        EXPECT_LT(
            area_compare(points[static_cast<std::size_t>(i)], points[2], split_key::longitude), 0);
    auto is_twin = [](const waypoint& w) { return w.lon == 1.0 && w.name == "b"; };
    EXPECT_TRUE(is_twin(points[3]) || is_twin(points[4]));
}

TEST(AreaPartition, OnePositionTakesTheMiddleOfTheNameOrder) {
    waypoint_array array;
    for (const char* name : {"e", "a", "d", "b", "c"}) add(array, 1.0, 1.0, std::string(name));
    std::vector<waypoint> points = array.points();
    std::int32_t p = area_partition(points, 0, 4, split_key::longitude);
    EXPECT_EQ(p, 2);
    EXPECT_EQ(points[2].name, "c");
}

// Runs the build on a thread with a small stack: deep recursion would overflow it.
void build_on_small_stack(waypoint_array& array, built_tree& tree) {
    struct job {
        waypoint_array* array;
        built_tree* tree;
    } work{&array, &tree};
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, 1 << 20);
    pthread_t thread;
    auto body = [](void* arg) -> void* {
        auto* j = static_cast<job*>(arg);
        *j->tree = build_and_check(*j->array);
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attr, body, &work), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
}

TEST(AreaTreeAdversarial, AMillionWaypointsAtOnePositionWithOneNameStillSplit) {
    waypoint_array array;
    for (int i = 0; i < 1000000; ++i) add(array, 52.37, 4.89, "-");
    built_tree tree;
    build_on_small_stack(array, tree);
    EXPECT_LE(tree.shape.max_leaf, area_leaf_limit);
    EXPECT_LE(tree.shape.height, height_limit(array.size())) << tree.shape.height;
}

TEST(AreaTreeAdversarial, WaypointsSharingAKeyCoordinateAndANameStillSplit) {
    // All named alike, almost all on one longitude and one latitude: the ordinary cut
    // puts nothing before its pivot.
    waypoint_array array;
    for (int i = 0; i < 200000; ++i) add(array, 50.0, 6.0, "-");
    add(array, 50.0, 20.0, "-");
    add(array, 30.0, 6.0, "-");
    // Many on one meridian with one name, spread in latitude.
    for (int i = 0; i < 100000; ++i) add(array, 40.0 + (i % 1000) * 0.001, 8.0, "cam");
    built_tree tree;
    build_on_small_stack(array, tree);
    EXPECT_LE(tree.shape.max_leaf, area_leaf_limit);
    EXPECT_LE(tree.shape.height, height_limit(array.size())) << tree.shape.height;
}

TEST(AreaTreeAdversarial, SortedAndSkewedInputsKeepTheTreeShallow) {
    // Sorted along a diagonal.
    waypoint_array sorted;
    for (int i = 0; i < 300000; ++i)
        add(sorted, -80 + i * 0.0005, -170 + i * 0.001, "s" + std::to_string(i));
    built_tree diagonal;
    build_on_small_stack(sorted, diagonal);
    EXPECT_LE(diagonal.shape.height, height_limit(sorted.size())) << diagonal.shape.height;

    // Coordinates halving from point to point: the mean lies near one end of every range,
    // so the pivot nearest to it cuts off only a few waypoints.
    waypoint_array skewed;
    for (int copy = 0; copy < 50; ++copy) {
        for (int i = 0; i < 1000; ++i) {
            add(skewed, 80.0 * std::ldexp(1.0, -((i * 7) % 1000)), 170.0 * std::ldexp(1.0, -i),
                "k" + std::to_string(copy));
        }
    }
    built_tree halving;
    build_on_small_stack(skewed, halving);
    EXPECT_LE(halving.shape.max_leaf, area_leaf_limit);
    EXPECT_LE(halving.shape.height, height_limit(skewed.size())) << halving.shape.height;
}

TEST(AreaTreeAdversarial, CoordinatesThatAreNotNumbersDoNotBreakTheBuild) {
    waypoint_array array;
    spread s{7};
    double nan = std::numeric_limits<double>::quiet_NaN();
    for (int i = 0; i < 5000; ++i) {
        double lat = i % 3 == 0 ? nan : s.next();
        double lon = i % 5 == 0 ? nan : s.next();
        add(array, lat, lon, "n" + std::to_string(i % 10));
    }
    auto index = area_index_build(array.set.waypoints);
    ASSERT_TRUE(index.has_value());
    EXPECT_EQ(index->top->first, 0);
    EXPECT_EQ(index->top->last, 4999);
}

}  // namespace
}  // namespace velmora
