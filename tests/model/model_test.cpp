#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "model/poiset.hpp"
#include "platform/messages.hpp"

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
}

TEST(Poiset, NewSetIsEmptyWithZeroTime) {
    poiset set;
    EXPECT_EQ(set.count(), 0);
    EXPECT_EQ(set.time, 0);
    EXPECT_FALSE(set.is_utf8);
    EXPECT_FALSE(set.codepage.has_value());
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
    EXPECT_EQ(set.waypoints[4095].lat, 4095.0);
    EXPECT_EQ(set.waypoints[4999].lat, 4999.0);
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
    EXPECT_EQ(w.details, no_details);
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

TEST(WaypointDetails, ValuesAreFoundByTheFirstExactKey) {
    poiset set;
    waypoint& w = *poiset_add_waypoint(set);
    EXPECT_EQ(set.details_of(w), nullptr);
    waypoint_details& details = set.details_for(w);
    details.address.push_back({set.store("City"), set.store("Brno")});
    details.address.push_back({set.store("Street"), stored_text()});
    details.address.push_back({set.store("City"), set.store("second")});
    ASSERT_EQ(set.details_of(w), &details);
    EXPECT_EQ(&set.details_for(w), &details) << "asked again, the same details";
    EXPECT_EQ(find_value(details.address, "City"), "Brno");
    EXPECT_EQ(find_value(details.address, "city"), std::nullopt);
    EXPECT_EQ(find_value(details.address, "Street"), std::nullopt) << "key without value";
    EXPECT_EQ(find_value(details.phones, "City"), std::nullopt);
}

TEST(Poiset, CategoriesAreSharedByNameAndReferredToOncePerWaypoint) {
    poiset set;
    waypoint* a = poiset_add_waypoint(set);
    ASSERT_NE(a, nullptr);
    EXPECT_TRUE(set.add_to_category(*a, "Fuel"));
    EXPECT_TRUE(set.add_to_category(*a, "Caf\xC3\xA9"));
    EXPECT_TRUE(set.add_to_category(*a, "Fuel"));
    waypoint* b = poiset_add_waypoint(set);
    ASSERT_NE(b, nullptr);
    EXPECT_TRUE(set.add_to_category(*b, "Caf\xC3\xA9"));
    EXPECT_TRUE(set.add_to_category(*b, "fuel"));  // names differ by case: two categories

    ASSERT_EQ(set.categories.size(), 3u);
    EXPECT_EQ(set.categories[1], "Caf\xC3\xA9");
    EXPECT_EQ(set.details_of(set.waypoints[0])->categories, (std::vector<std::uint16_t>{0, 1}));
    EXPECT_EQ(set.details_of(set.waypoints[1])->categories, (std::vector<std::uint16_t>{1, 2}));
}

// A set holds as many categories as a GPI file can number; the ones beyond are left
// out with one warning, and every name found keeps its number.
TEST(Poiset, ASharedRecordOfDetailsIsCopiedForTheWaypointThatChangesIt) {
    poiset set;
    std::uint16_t food = *set.category_index("Food");
    waypoint_details shared;
    shared.categories = {food};
    std::uint32_t index = set.add_shared_details(std::move(shared));
    for (int i = 0; i < 3; ++i) set.share_details(*poiset_add_waypoint(set), index);
    EXPECT_TRUE(set.details_are_shared(index));
    ASSERT_EQ(set.details.size(), 1u);

    ASSERT_TRUE(set.add_to_category(set.waypoints[1], "Sleep"));
    set.details_for(set.waypoints[2]).phones.push_back({set.store("PhoneNo"), set.store("1")});
    ASSERT_EQ(set.details.size(), 3u);
    EXPECT_EQ(set.details_of(set.waypoints[0])->categories, std::vector<std::uint16_t>{food});
    EXPECT_EQ(set.details_of(set.waypoints[1])->categories,
              (std::vector<std::uint16_t>{food, *set.category_index("Sleep")}));
    EXPECT_EQ(set.details_of(set.waypoints[2])->categories, std::vector<std::uint16_t>{food});
    EXPECT_EQ(set.details_of(set.waypoints[2])->phones.size(), 1u);
    EXPECT_TRUE(set.details_of(set.waypoints[0])->phones.empty());
    EXPECT_FALSE(set.details_are_shared(set.waypoints[1].details));
    EXPECT_FALSE(set.details_are_shared(set.waypoints[2].details));
}

TEST(Poiset, CategoriesBeyondWhatAGpiFileNumbersAreRefusedWithOneWarning) {
    poiset set;
    set.name = "big";
    message_capture messages;
    for (std::size_t i = 0; i < max_categories; ++i) {
        ASSERT_EQ(set.category_index("c" + std::to_string(i)), i);
    }
    EXPECT_EQ(messages.text(), "");
    EXPECT_EQ(set.category_index("one more"), std::nullopt);
    EXPECT_EQ(set.category_index("and another"), std::nullopt);
    EXPECT_EQ(messages.text(),
              "\nWarning: More than 65536 categories in big; the POIs keep only the first "
              "65536, the most a GPI file holds");
    EXPECT_EQ(set.category_index("c65535"), 65535);
    EXPECT_EQ(set.category_index("c0"), 0);
    EXPECT_EQ(set.categories.size(), max_categories);
    EXPECT_EQ(set.categories.back(), "c65535");
}

TEST(TextStore, StoredTextsKeepTheirBytesWhileTheStoreGrowsAndMoves) {
    text_store store;
    std::vector<stored_text> texts;
    std::vector<std::string> expected;
    for (int i = 0; i < 20000; ++i) {
        // Small texts fill shared blocks; every 1000th is larger than a quarter block.
        std::string text = i % 1000 == 0 ? std::string(300000, static_cast<char>('a' + i % 26))
                                         : "text " + std::to_string(i);
        texts.push_back(store.add(text));
        expected.push_back(std::move(text));
    }
    text_store moved = std::move(store);
    text_store other;
    stored_text empty = other.add("");
    stored_text absent = other.add_optional(std::nullopt);
    other.take_over(std::move(moved));
    for (std::size_t i = 0; i < texts.size(); ++i) ASSERT_EQ(*texts[i], expected[i]) << i;
    EXPECT_TRUE(empty.has_value());
    EXPECT_EQ(*empty, "");
    EXPECT_FALSE(absent.has_value());
    EXPECT_LT(other.capacity(), std::size_t{40} << 20);
}

TEST(TextStore, EditsInPlaceNeverGrowAText) {
    text_store store;
    stored_text text = store.add("abcdef");
    const char* bytes = text->data();
    store.edit_in_place(text, [](char* at, std::size_t size) {
        at[0] = 'X';
        return size - 2;
    });
    EXPECT_EQ(*text, "Xbcd");
    EXPECT_EQ(text->data(), bytes);
    store.edit_in_place(text, [](char*, std::size_t size) { return size + 10; });
    EXPECT_EQ(*text, "Xbcd");
    stored_text absent;
    store.edit_in_place(absent, [](char*, std::size_t) -> std::size_t {
        ADD_FAILURE();
        return 0;
    });
    EXPECT_FALSE(absent.has_value());
}

TEST(TextStore, TextsWrittenInPlaceKeepOnlyTheBytesTheyUse) {
    // Room for most bytes, of which written are used: the length's form may shrink, and
    // the bytes not used are taken by the next text.
    const std::pair<std::size_t, std::size_t> cases[] = {{10, 10},   {10, 3},    {10, 0},
                                                         {300, 300}, {300, 254}, {300, 255},
                                                         {300, 20},  {300, 0},   {0, 0}};
    text_store store;
    for (auto [most, written] : cases) {
        std::string bytes(written, 'w');
        if (written > 0) bytes.back() = 'z';
        stored_text text = store.add_written(most, [&](char* at) {
            std::copy(bytes.begin(), bytes.end(), at);
            return written;
        });
        EXPECT_EQ(*text, bytes) << most << " " << written;
        stored_text next = store.add("n");
        if (written > 0) {
            std::size_t head = written < 255 ? 1 : 5;
            EXPECT_EQ(next->data() - 1, text->data() + written) << most << " " << written;
            EXPECT_EQ(text->data() - head, static_cast<const char*>(text.address()));
        }
        EXPECT_EQ(*text, bytes) << "the next text left it as it was";
    }
}

TEST(TextStore, LengthsAroundTheOneByteLimitSurviveAddingAndCutting) {
    text_store store;
    for (std::size_t size : {std::size_t{1}, std::size_t{254}, std::size_t{255}, std::size_t{256},
                             std::size_t{70000}}) {
        std::string bytes(size, 'x');
        bytes.back() = 'y';
        stored_text text = store.add(bytes);
        stored_text copy = text;
        EXPECT_EQ(*text, bytes) << size;
        for (std::size_t cut : {size, size - 1, std::size_t{0}}) {
            text.cut_to(cut);
            EXPECT_EQ(*text, bytes.substr(0, cut)) << size << " cut to " << cut;
            EXPECT_EQ(*copy, *text) << "a copy shows the same bytes";
        }
    }
}

// Appends to the list waypoints whose latitude numbers them from first on.
void fill(waypoint_list& list, std::size_t count, std::size_t first) {
    for (std::size_t i = 0; i < count; ++i)
        list.emplace_back().lat = static_cast<double>(first + i);
}

TEST(WaypointList, KeepsReadingOrderThroughGrowthAndAppending) {
    constexpr std::size_t chunk = waypoint_list::chunk_size;
    const std::pair<std::size_t, std::size_t> cases[] = {
        {0, 0},
        {0, 5},
        {5, 0},
        {3, 7},
        {chunk - 1, 2},
        {chunk, chunk},
        {chunk + 1, 2 * chunk + 3},
        // Lists of full chunks are joined within the other's chunks: the last chunk
        // full or not, the other's waypoints fitting its room or not, chunks left over.
        {2 * chunk, chunk + 1},
        {chunk + 1, chunk - 1},
        {chunk + 5, chunk - 4},
        {2 * chunk - 1, 3 * chunk},
        {chunk + 100, chunk + 50},
        {chunk + 3, chunk / 2 + 1},
    };
    for (auto [front, rest] : cases) {
        waypoint_list list;
        waypoint_list other;
        fill(list, front, 0);
        fill(other, rest, front);
        list.append(std::move(other));
        EXPECT_TRUE(other.empty());
        ASSERT_EQ(list.size(), front + rest) << front << "+" << rest;
        std::size_t wrong = 0;
        for (std::size_t i = 0; i < list.size(); ++i)
            wrong += list[i].lat != static_cast<double>(i);
        EXPECT_EQ(wrong, 0u) << front << "+" << rest;
        std::size_t counted = 0;
        for (const waypoint& w : list) counted += w.lat == static_cast<double>(counted);
        EXPECT_EQ(counted, list.size());
        fill(list, chunk + 1, front + rest);  // the joined list grows on
        for (std::size_t i = front + rest == 0 ? 0 : front + rest - 1; i < list.size(); ++i) {
            wrong += list[i].lat != static_cast<double>(i);
        }
        EXPECT_EQ(wrong, 0u) << front << "+" << rest << " grown";
    }
}

}  // namespace
}  // namespace velmora
