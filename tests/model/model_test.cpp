#include <gtest/gtest.h>

#include "model/poiset.hpp"

namespace velmora {
namespace {

TEST(PoisetList, AddsSetsInOrderBeyondTheInitialCapacity) {
    poiset_list list;
    for (int i = 0; i < 40; ++i) {
        poiset* set = poiset_list_add(list);
        ASSERT_NE(set, nullptr);
        set->name = "group" + std::to_string(i);
    }
    ASSERT_EQ(list.count(), 40);
    EXPECT_EQ(list.poisets[0]->name, "group0");
    EXPECT_EQ(list.poisets[39]->name, "group39");
    EXPECT_EQ(list.gpi_codepage, 0);
    EXPECT_EQ(list.gpi_time, 0);
}

TEST(Poiset, NewSetIsEmptyWithZeroBoundsAndTime) {
    poiset set;
    EXPECT_EQ(set.count(), 0);
    EXPECT_EQ(set.north, 0.0);
    EXPECT_EQ(set.east, 0.0);
    EXPECT_EQ(set.west, 0.0);
    EXPECT_EQ(set.south, 0.0);
    EXPECT_EQ(set.time, 0);
    EXPECT_FALSE(set.is_utf8);
    EXPECT_FALSE(set.locale.has_value());
    EXPECT_EQ(set.icons, nullptr);
    EXPECT_FALSE(set.icon_spec.has_value());
}

TEST(Poiset, KeepsWaypointsInReadingOrderPastFourThousandNinetySix) {
    poiset set;
    for (int i = 0; i < 5000; ++i) {
        waypoint* w = poiset_add_waypoint(set);
        ASSERT_NE(w, nullptr);
        w->lat = i;
    }
    ASSERT_EQ(set.count(), 5000);
    EXPECT_EQ(set.waypoints[4095]->lat, 4095.0);
    EXPECT_EQ(set.waypoints[4999]->lat, 4999.0);
}

TEST(Waypoint, NewWaypointHasNoFlagsAndZeroValues) {
    waypoint w;
    EXPECT_EQ(w.flags, 0u);
    EXPECT_EQ(w.lat, 0.0);
    EXPECT_EQ(w.lon, 0.0);
    EXPECT_EQ(w.proximity, 0.0);
    EXPECT_EQ(w.speed, 0.0);
    EXPECT_FALSE(w.name.has_value());
    EXPECT_FALSE(w.symbol.has_value());
    EXPECT_EQ(w.address, nullptr);
    EXPECT_EQ(w.phones, nullptr);
    EXPECT_EQ(w.gpi_size, 0);
    EXPECT_FALSE(has_alert(w));
}

TEST(Waypoint, EitherAlertBitCountsAsAnAlert) {
    waypoint w;
    w.flags = has_position | has_icon;
    EXPECT_FALSE(has_alert(w));
    w.flags |= has_proximity;
    EXPECT_TRUE(has_alert(w));
    w.flags = has_speed;
    EXPECT_TRUE(has_alert(w));
}

TEST(FieldList, FindComparesKeysExactlyAndFindsIndexZero) {
    field_list list;
    EXPECT_EQ(field_list_find(list, "City"), -1);
    field_list_append(list, "City", "Brno");
    field_list_append(list, "Street", std::nullopt);
    EXPECT_EQ(field_list_find(list, "City"), 0);
    EXPECT_EQ(field_list_find(list, "city"), -1);
    EXPECT_EQ(field_list_find(list, "Street"), 1);
    EXPECT_FALSE(list.values[1].has_value());
}

TEST(FieldList, AWaypointListComesIntoBeingWithItsFirstPair) {
    waypoint w;
    EXPECT_EQ(field_list_count(w.address), 0);
    field_list_append(w.address, "City", "Brno");
    ASSERT_NE(w.address, nullptr);
    field_list_append(w.address, "Street", std::nullopt);
    EXPECT_EQ(field_list_count(w.address), 2);
    EXPECT_EQ(field_list_find(*w.address, "Street"), 1);
    EXPECT_EQ(*w.address->values[0], "Brno");
    EXPECT_EQ(w.phones, nullptr);
    EXPECT_EQ(field_list_count(w.phones), 0);
}

TEST(FieldList, KeepsManyPairsInOrderAndClears) {
    field_list list;
    for (int i = 0; i < 25; ++i) {
        field_list_append(list, "k" + std::to_string(i), "v" + std::to_string(i));
    }
    ASSERT_EQ(list.count(), 25);
    for (int i = 0; i < 25; ++i) {
        EXPECT_EQ(*list.keys[static_cast<std::size_t>(i)], "k" + std::to_string(i));
        EXPECT_EQ(*list.values[static_cast<std::size_t>(i)], "v" + std::to_string(i));
    }
    field_list_append(list, std::nullopt, "orphan");
    EXPECT_FALSE(list.keys[25].has_value());
    field_list_clear(list);
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(field_list_find(list, "k0"), -1);
}

}  // namespace
}  // namespace velmora
