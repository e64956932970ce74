// The GPI reader: blocks built by hand, damaged files, and files of other producers.
#include "gpi/gpi_reader.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "gpi/allocation_count.hpp"
#include "gpi/gpi_blocks.hpp"
#include "gpi/gpi_test_builder.hpp"
#include "gpi/gpi_units.hpp"
#include "platform/messages.hpp"
#include "support/real_samples.hpp"
#include "support/test_support.hpp"

namespace velmora {
namespace {

using namespace velmora::testing;

struct read_outcome {
    bool ok = false;
    std::string messages;
};

read_outcome read_bytes(const std::string& bytes, poiset_list& list,
                        const gpi_read_options& options = {}) {
    message_capture capture;
    bool ok =
        read_gpi_bytes(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
                       list, options);
    return {ok, capture.text()};
}

read_outcome read_path(const std::string& path, poiset_list& list,
                       const gpi_read_options& options = {}) {
    message_capture capture;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    EXPECT_NE(file, nullptr) << path;
    if (file == nullptr) return {};
    bool ok = read_gpi_file(file, list, options);
    std::fclose(file);
    return {ok, capture.text()};
}

constexpr std::int32_t deg45 = 0x20000000;
constexpr std::int32_t deg90 = 0x40000000;

// A bitmap block of one pixel, for the icon references of a group's POIs.
std::string tiny_icon(std::uint16_t icon_id) {
    return bitmap(icon_id, 1, 1, 8, std::string(4, '\0'), {0});
}

TEST(GpiReader, FileWithOnlyHeadersAndEndAddsNoSetAndGroupsTakeTheHeadersTimeAndCodePage) {
    poiset_list list;
    std::string bytes = gpi_file("", 1250);
    ASSERT_EQ(bytes.size(), 58u);
    auto result = read_bytes(bytes, list);
    EXPECT_TRUE(result.ok) << result.messages;
    EXPECT_EQ(result.messages, "");
    EXPECT_EQ(list.count(), 0);

    poiset_list one;
    ASSERT_TRUE(read_bytes(gpi_file(poi_set("g", area(0, 0, 0, 0, poi(0, 0, "p"))), 1252), one).ok);
    ASSERT_EQ(one.count(), 1);
    EXPECT_EQ(one.poisets[0]->time, 0x12345678);
    EXPECT_EQ(one.poisets[0]->codepage->number(), 1252);

    poiset_list empty;
    EXPECT_TRUE(read_bytes("", empty).ok);
}

TEST(GpiReader, HeaderTextsThatDifferFailWithTheBytesFound) {
    for (const char* magic : {"grmrec00", "GRMREC02", "XRMREC00", "GRMREC0\x7f"}) {
        poiset_list list;
        auto result = read_bytes(file_header(0, "my.gpi", magic) + poi_header(), list);
        EXPECT_FALSE(result.ok);
        std::string shown(magic);
        if (shown.back() == '\x7f') shown.back() = '?';
        EXPECT_EQ(result.messages, "\nError: gpi structure. \"GRMREC00\" expected but \"" + shown +
                                       "\" found! (File pos:0x10)");
        EXPECT_EQ(list.count(), 0) << "reading stops at the first header";
    }
    {
        poiset_list list;
        std::string bad_poi = block(1, std::string("PO\x1b") + std::string(5, '\0') + le32(1252));
        auto result = read_bytes(file_header() + bad_poi, list);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.messages,
                  "\nError: gpi structure. \"POI\" expected but \"PO?\" found! (File pos:0x29)");
    }
}

TEST(GpiReader, BothHeaderVersionsWithAnyFileNameAndNestedHeaderRecordsRead) {
    const struct {
        std::string headers;
        int code_page;
    } cases[] = {
        {file_header(1, "Pinns ") + poi_header(1252), 1252},
        {file_header(1, "") + poi_header(1250), 1250},
        {file_header(1, "GRMREC00") + poi_header(65001), 65001},
        {newer_file_header("rosneft201803") + newer_poi_header(65001), 65001},
        {newer_file_header("umsonstdraussen", 0x03) + newer_poi_header(1252), 1252},
    };
    for (const auto& c : cases) {
        poiset_list list;
        auto result = read_bytes(
            c.headers + poi_set("g", area(0, 0, 0, 0, poi(1, 2, "p"))) + end_block(), list);
        EXPECT_TRUE(result.ok) << result.messages;
        EXPECT_EQ(result.messages, "");
        if (c.code_page != 65001) {
            EXPECT_EQ(list.poisets[0]->codepage->number(), c.code_page);
        }
        ASSERT_EQ(list.count(), 1);
        EXPECT_EQ(list.poisets[0]->is_utf8, c.code_page == 65001);
        EXPECT_EQ(*list.poisets[0]->waypoints.at(0).name, "p");
    }
    // A name longer than its header fails as a header cut short, at the field that
    // runs out.
    poiset_list list;
    std::string cut = block(0, "GRMREC00" + le32(0) + le16(0) + le16(9) + "my.gpi");
    auto result = read_bytes(cut + poi_header(), list);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.messages,
              "\nError: gpi structure. Block type 0x0 ends inside its data! (File pos:0x18)");
}

TEST(GpiReader, AScrambledFileIsRefusedWithOneMessageAndNothingRead) {
    for (const std::string& header :
         {newer_file_header("locked", 0x04), newer_file_header("locked", 0x07),
          block(0, "GRMREC00" + le32(0) + byte(0x04) + byte(1) + le16(6) + "my.gpi")}) {
        poiset_list list;
        auto result = read_bytes(
            header + newer_poi_header(1252) + poi_set("g", area(0, 0, 0, 0, poi(1, 2, "p"))), list);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.messages,
                  "\nError: The gpi file is locked: its publisher has scrambled its contents, and "
                  "Velmora does not read locked files. (File pos:0x8)");
        EXPECT_EQ(list.count(), 0);
    }
}

TEST(GpiReader, CodePageOfTheLastPoiHeaderDecidesTheEncodingOfTheGroupsAfterIt) {
    poiset_list list;
    std::string bytes = file_header(99) + poi_header(65001) + poi_set("u", "") + poi_header(1252) +
                        poi_set("w", "") + poi_header(4711) + poi_set("x", "") + end_block();
    auto result = read_bytes(bytes, list);
    ASSERT_TRUE(result.ok) << result.messages;
    ASSERT_EQ(list.count(), 3);
    EXPECT_TRUE(list.poisets[0]->is_utf8);
    EXPECT_FALSE(list.poisets[0]->codepage.has_value());
    EXPECT_FALSE(list.poisets[1]->is_utf8);
    ASSERT_TRUE(list.poisets[1]->codepage.has_value());
    EXPECT_EQ(list.poisets[1]->codepage->number(), 1252);
    EXPECT_FALSE(list.poisets[2]->is_utf8);
    EXPECT_FALSE(list.poisets[2]->codepage.has_value()) << "unknown code page: no converter";
    for (const auto& set : list.poisets) {
        EXPECT_EQ(set->time, 99);
        ASSERT_NE(set->icons, nullptr);
        EXPECT_EQ(set->icons->count(), 0);
    }
    EXPECT_NE(list.poisets[0]->icons.get(), list.poisets[1]->icons.get());
}

TEST(GpiReader, PoiRecordsBecomeWaypointsOfTheirGroupInFileOrder) {
    std::string group1 =
        poi_set("first", area(deg45, deg90, 0, -deg90,
                              poi(deg45, -deg90, "a") + poi(0, deg90, "b", comment("see")) +
                                  poi(-deg45, static_cast<std::int32_t>(0x80000000), "c")));
    std::string group2 = poi_set("second", area(0, 0, 0, 0, poi(1, 2, "d")));
    poiset_list list;
    auto result = read_bytes(gpi_file(group1 + group2), list);
    ASSERT_TRUE(result.ok) << result.messages;
    ASSERT_EQ(list.count(), 2);
    const poiset& first = *list.poisets[0];
    EXPECT_EQ(first.name, "first");
    ASSERT_EQ(first.count(), 3);
    EXPECT_EQ(*first.waypoints[0].name, "a");
    EXPECT_DOUBLE_EQ(first.waypoints[0].lat, 45.0);
    EXPECT_DOUBLE_EQ(first.waypoints[0].lon, -90.0);
    EXPECT_EQ(first.waypoints[0].flags, has_position);
    EXPECT_FALSE(first.waypoints[0].comment.has_value());
    EXPECT_EQ(*first.waypoints[1].name, "b");
    EXPECT_EQ(*first.waypoints[1].comment, "see");
    EXPECT_DOUBLE_EQ(first.waypoints[2].lon, -180.0);
    ASSERT_EQ(list.poisets[1]->count(), 1);
    EXPECT_EQ(*list.poisets[1]->waypoints[0].name, "d");
    EXPECT_DOUBLE_EQ(list.poisets[1]->waypoints[0].lat, semicircles_to_degrees(1));
}

TEST(GpiReader, PoisOutsideTheEarthAreLeftOutWithTheWarningOfAnInvalidPosition) {
    // Semicircles reach -180 degrees of latitude, which no other format takes.
    std::string pois = poi(static_cast<std::int32_t>(0x80000000), 0, "south") +
                       poi(deg90 + 1, 0, "north", comment("gone")) + poi(deg90, deg45, "pole") +
                       poi(-deg90, static_cast<std::int32_t>(0x80000000), "other pole");
    poiset_list list;
    auto result =
        read_bytes(gpi_file(poi_set("g", area(deg90, deg90, -deg90, -deg90, pois))), list);
    ASSERT_TRUE(result.ok) << result.messages;
    EXPECT_EQ(result.messages,
              "\nWarning: Waypoint (south) has an invalid position (lat=\"-180.0000000\" "
              "lon=\"0.0000000\"), ignored"
              "\nWarning: Waypoint (north) has an invalid position (lat=\"90.0000001\" "
              "lon=\"0.0000000\"), ignored");
    const poiset& set = *list.poisets.at(0);
    ASSERT_EQ(set.count(), 2);
    EXPECT_EQ(*set.waypoints[0].name, "pole");
    EXPECT_EQ(*set.waypoints[1].name, "other pole");
}

TEST(GpiReader, IconReferencesToIconsTheGroupLacksAreDroppedWithOneWarningPerGroup) {
    std::string first =
        poi_set("first", area(0, 0, 0, 0,
                              poi(0, 0, "a", icon_ref(7)) + poi(0, 0, "b", icon_ref(4)) +
                                  poi(0, 0, "c", icon_ref(5))) +
                             tiny_icon(7));
    std::string second = poi_set("second", area(0, 0, 0, 0, poi(0, 0, "d", icon_ref(7))));
    poiset_list list;
    auto result = read_bytes(gpi_file(first + second), list);
    ASSERT_TRUE(result.ok) << result.messages;
    EXPECT_EQ(result.messages,
              "\nWarning: 2 pois of the group first refer to an icon the group lacks (icon 4 "
              "first); the references were dropped"
              "\nWarning: 1 poi of the group second refers to an icon the group lacks (icon 7 "
              "first); the reference was dropped");
    const poiset& g1 = *list.poisets.at(0);
    EXPECT_EQ(g1.waypoints[0].flags & has_icon, has_icon);
    EXPECT_EQ(g1.waypoints[0].icon_id, 7);
    EXPECT_EQ(g1.waypoints[1].flags & has_icon, 0u);
    EXPECT_EQ(g1.waypoints[2].flags & has_icon, 0u);
    EXPECT_EQ(list.poisets.at(1)->waypoints[0].flags & has_icon, 0u);
}

TEST(GpiReader, SubBlocksFillTheirWaypoint) {
    std::string subs = alert(99, 1388, 0x05) + icon_ref(3) + comment("comment text") +
                       description("description text");
    poiset_list list;
    auto result = read_bytes(
        gpi_file(poi_set("g", area(0, 0, 0, 0, poi(0, 0, "p", subs)) + tiny_icon(3))), list);
    ASSERT_TRUE(result.ok) << result.messages;
    const waypoint& w = list.poisets[0]->waypoints.at(0);
    EXPECT_EQ(w.flags, has_position | has_proximity | has_speed | has_icon);
    EXPECT_EQ(w.proximity, 99.0);
    EXPECT_EQ(w.speed, 50.0);
    EXPECT_EQ(w.icon_id, 3);
    EXPECT_EQ(*w.comment, "comment text");
    EXPECT_EQ(*w.description, "description text");
    EXPECT_TRUE(has_alert(w));
}

TEST(GpiReader, AlertValuesAreKeptWhateverTheBitsAndFlagsOnlyAccumulate) {
    auto read_alerts = [](const std::string& alerts) {
        poiset_list list;
        auto result =
            read_bytes(gpi_file(poi_set("g", area(0, 0, 0, 0, poi(0, 0, "p", alerts)))), list);
        EXPECT_TRUE(result.ok) << result.messages;
        return std::move(list.poisets.at(0)->waypoints.at(0));
    };
    waypoint zero = read_alerts(alert(0, 0, 0x04));
    EXPECT_EQ(zero.speed, 0.0);
    EXPECT_EQ(zero.flags & (has_speed | has_proximity), has_proximity);

    waypoint unflagged = read_alerts(alert(250, 1341, 0x00));
    EXPECT_EQ(unflagged.proximity, 250.0);
    EXPECT_EQ(unflagged.speed, 48.0);
    EXPECT_EQ(unflagged.flags & (has_speed | has_proximity), 0u);
    EXPECT_FALSE(has_alert(unflagged));

    waypoint both = read_alerts(alert(10, 0, 0x01) + alert(20, 0xFFFF, 0x00));
    EXPECT_EQ(both.flags & (has_speed | has_proximity), has_speed);
    EXPECT_EQ(both.proximity, 20.0);
    EXPECT_EQ(both.speed, std::floor(65535 / 100.0 * 3.6 + 0.5));
}

TEST(GpiReader, BitmapsBecomeIconEntriesOfTheirGroup) {
    std::string pixels8(16 * 16, '\x05');
    std::vector<std::uint32_t> palette(256, 0x00112233);
    std::string pixels32(48 * 48 * 4, '\x7f');
    std::string group = poi_set("g", area(0, 0, 0, 0, poi(0, 0, "p", icon_ref(7))) +
                                         bitmap(7, 16, 16, 8, pixels8, palette) +
                                         bitmap(9, 48, 48, 32, pixels32, {}, 0x12345678));
    poiset_list list;
    auto result = read_bytes(gpi_file(group), list);
    ASSERT_TRUE(result.ok) << result.messages;
    const icon_list& icons = *list.poisets.at(0)->icons;
    ASSERT_EQ(icons.count(), 2);

    const icon_entry& first = *icons.entries[0];
    EXPECT_EQ(*first.symbol, "gpi_icon_7");
    EXPECT_EQ(first.format, icon_format_gpi);
    EXPECT_EQ(first.icon_id, 7);
    EXPECT_EQ(first.usage, 0);
    ASSERT_NE(first.bitmap, nullptr);
    EXPECT_EQ(first.bitmap->icon_id, 7);
    EXPECT_EQ(first.bitmap->width, 16);
    EXPECT_EQ(first.bitmap->height, 16);
    EXPECT_EQ(first.bitmap->bits_per_pixel, 8);
    EXPECT_EQ(first.bitmap->palette_count, 256u);
    EXPECT_EQ(first.bitmap->transparent_colour, 0x00FF00FFu);
    EXPECT_EQ(first.bitmap->pixels, std::vector<std::uint8_t>(256, 5));
    EXPECT_EQ(first.bitmap->palette, palette);
    EXPECT_EQ(gpi_bitmap_block_size(*first.bitmap), 1324u);

    const icon_entry& second = *icons.entries[1];
    EXPECT_EQ(*second.symbol, "gpi_icon_9");
    EXPECT_EQ(second.bitmap->palette_count, 0u);
    EXPECT_TRUE(second.bitmap->palette.empty());
    EXPECT_EQ(second.bitmap->pixels.size(), 9216u);
    EXPECT_EQ(second.bitmap->transparent_colour, 0x12345678u);
    EXPECT_EQ(gpi_bitmap_block_size(*second.bitmap), 9216u + 44);
}

TEST(GpiReader, SkippedBlockTypesAreNotLookedAtAndFlaggedOnesEndBehindTheirMainSize) {
    std::string garbage("\xff\xff\xff\xff\x01\x02\x03", 7);
    // Address and phone records as other producers write them: the length leaves out
    // the main_size field, the strings follow the 2-byte field mask.
    std::string address = flagged_block(11, le16(0x10), mstring("Hauptstrasse -1"));
    std::string phone = flagged_block(12, le16(0x01), le16(12) + "03741-999999");
    std::string subs = icon_ref(1) + comment("before") + address + phone + block(6, garbage) +
                       flagged_block(7, garbage, garbage) + block(13, garbage) +
                       description("after");
    std::string bytes = file_header() + block(6, garbage) + poi_header() + block(13, "") +
                        poi_set("g", block(7, garbage) + area(0, 0, 0, 0, poi(0, 0, "p", subs)) +
                                         flagged_block(12, garbage, "") + tiny_icon(1)) +
                        end_block();
    poiset_list list;
    auto result = read_bytes(bytes, list);
    ASSERT_TRUE(result.ok) << result.messages;
    const waypoint& w = list.poisets.at(0)->waypoints.at(0);
    EXPECT_EQ(*w.comment, "before");
    EXPECT_EQ(*w.description, "after");
    EXPECT_EQ(w.icon_id, 1);
}

// The pairs of a list as "key=value" lines.
std::string pairs_text(const std::vector<text_pair>& pairs) {
    std::string text;
    for (const text_pair& pair : pairs) {
        text += std::string(pair.key.value_or("?")) + "=" + std::string(pair.value.value_or("?")) +
                "\n";
    }
    return text;
}

TEST(GpiReader, AddressAndContactFieldsReadInEitherFramingWhateverStringKindEachUses) {
    const struct {
        const char* what;
        std::uint16_t type;
        std::uint16_t mask;
        std::string fields;
        std::string expected;
    } cases[] = {
        {"address as Garmin writes it", 11, 0x39,
         mstring("Freising") + plain("85356") + mstring("Luitpoldstrasse") + plain("1"),
         "City=Freising\nPostcode=85356\nStreet=Luitpoldstrasse\nHouseNumber=1\n"},
        {"every address field, postcode as a multilingual string", 11, 0x3F,
         mstring("C") + mstring("CZ") + mstring("S") + mstring("602 00") + mstring("St") +
             mstring("7"),
         "City=C\nCountry=CZ\nState=S\nPostcode=602 00\nStreet=St\nHouseNumber=7\n"},
        {"empty fields are left out", 11, 0x03, plain("") + mstring(""), ""},
        {"every contact field", 12, 0x1F,
         plain("+49 1") + plain("+49 2") + plain("3") + plain("a@b.de") + plain("www.b.de"),
         "PhoneNo=+49 1\nPhone2=+49 2\nFax=3\nEmail=a@b.de\nlink=www.b.de\n"},
        {"a contact field of an unknown bit ends the fields", 12, 0x21,
         plain("1") + mstring("unknown"), "PhoneNo=1\n"},
    };
    for (const auto& c : cases) {
        for (bool mask_alone : {false, true}) {
            std::string record = field_record(c.type, mask_alone, c.mask, c.fields);
            std::string point = poi(0, 0, "p", record + comment("after"));
            poiset_list list;
            auto result = read_bytes(gpi_file(poi_set("g", area(0, 0, 0, 0, point))), list);
            ASSERT_TRUE(result.ok) << c.what << result.messages;
            EXPECT_EQ(result.messages, "") << c.what;
            const poiset& set = *list.poisets.at(0);
            const waypoint& w = set.waypoints.at(0);
            EXPECT_EQ(*w.comment, "after") << c.what;
            const waypoint_details* details = set.details_of(w);
            std::string got;
            if (details != nullptr)
                got = pairs_text(c.type == 11 ? details->address : details->phones);
            if (w.link) got += "link=" + std::string(*w.link) + "\n";
            EXPECT_EQ(got, c.expected) << c.what << (mask_alone ? ", mask alone" : ", flags 0");
        }
    }
}

TEST(GpiReader, CategoriesAreResolvedAfterTheirGroupAndNumberedPerGroup) {
    std::string first =
        poi_set("g1", area(0, 0, 0, 0,
                           poi(0, 0, "two", category_ref(3) + category_ref(0) + category_ref(3)) +
                               poi(0, 0, "undefined", category_ref(9)) + poi(0, 0, "none")) +
                          category(3, "Fuel") + category(0, "Food") + category(3, "Not this one"));
    std::string second =
        poi_set("g2", area(0, 0, 0, 0, poi(0, 0, "p", category_ref(0))) + category(0, "Drinks"));
    poiset_list list;
    auto result = read_bytes(gpi_file(first + second), list);
    ASSERT_TRUE(result.ok) << result.messages;
    EXPECT_EQ(result.messages, "");
    auto names = [](const poiset& set, const waypoint& w) {
        std::string text;
        if (const waypoint_details* d = set.details_of(w)) {
            for (std::uint16_t i : d->categories) text += std::string(*set.categories.at(i)) + ";";
        }
        return text;
    };
    const poiset& g1 = *list.poisets.at(0);
    ASSERT_EQ(g1.categories.size(), 2u);
    EXPECT_EQ(names(g1, g1.waypoints[0]), "Fuel;Food;");
    EXPECT_EQ(names(g1, g1.waypoints[1]), "") << "a number the group does not define";
    EXPECT_EQ(names(g1, g1.waypoints[2]), "");
    const poiset& g2 = *list.poisets.at(1);
    ASSERT_EQ(g2.categories.size(), 1u);
    EXPECT_EQ(names(g2, g2.waypoints[0]), "Drinks;");
}

TEST(GpiReader, DamagedOrMisplacedCategoryAddressAndContactRecordsDoNotStopTheFile) {
    std::string damaged_subs =
        field_record(11, true, 0x03, mstring("Kept")) +       // country missing
        field_record(12, false, 0x01, le16(200) + "short") +  // runs past the record
        block(6, "");                                         // no number
    std::string point = poi(0, 0, "p", damaged_subs + comment("read on"));
    std::string group =
        poi_set("g", area(0, 0, 0, 0, point + block(11, le16(1) + mstring("in an area"))) +
                         block(7, le16(1) + le32(100)) + category_ref(1));
    poiset_list list;
    auto result = read_bytes(gpi_file(group), list);
    ASSERT_TRUE(result.ok) << result.messages;
    EXPECT_EQ(result.messages,
              "\n    skipped 4 records Velmora does not carry over: 4 damaged category, address "
              "or contact records");
    const poiset& set = *list.poisets.at(0);
    const waypoint& w = set.waypoints.at(0);
    EXPECT_EQ(*w.comment, "read on");
    EXPECT_EQ(pairs_text(set.details_of(w)->address), "City=Kept\n");
    EXPECT_TRUE(set.details_of(w)->phones.empty());
    EXPECT_TRUE(set.categories.empty());
}

TEST(GpiReader, RecordsWithoutAPlaceInTheModelAreSkippedByLengthAndSummarised) {
    std::string flagged_alert =
        flagged_block(3, le16(100) + le16(0) + le32(0) + byte(1) + byte(1) + byte(4) + byte(0x10),
                      block(16, le16(0)) + block(27, le16(0)));
    // Media belong to the group: the one inside the POI is skipped, the group's is kept.
    std::string media = flagged_block(18, le16(1) + byte(0), le32(10) + "EN" + le32(4) + "RIFF");
    std::string point = poi(1, 1, "p", flagged_alert + block(0x40, "?") + media);
    std::string bytes =
        newer_file_header("f") + newer_poi_header(1252) +
        poi_set("g", area(0, 0, 0, 0, point) + block(0x1234, "") + media + block(6, "")) +
        flagged_block(0xFFFE, "", "") + end_block();
    poiset_list list;
    auto result = read_bytes(bytes, list);
    ASSERT_TRUE(result.ok) << result.messages;
    EXPECT_EQ(result.messages,
              "\n    skipped 6 records Velmora does not carry over: 1 media, 1 alert circles, 1 "
              "trigger options, 3 of unknown types");
    EXPECT_EQ(list.poisets.at(0)->media.size(), 1u);
    const waypoint& w = list.poisets.at(0)->waypoints.at(0);
    EXPECT_EQ(w.proximity, 100.0);
    EXPECT_EQ(w.flags & has_proximity, has_proximity);

    poiset_list one;
    auto single = read_bytes(gpi_file(poi_set("g", block(13, ""))), one);
    EXPECT_EQ(single.messages, "\n    skipped 1 record Velmora does not carry over: 1 picture");
}

// A group's media records, each given as its main part and what follows it.
std::string media_record(const std::string& main, const std::string& clips) {
    return flagged_block(18, main, clips);
}

TEST(GpiReader, MediaRecordsAreKeptWithTheirGroupAndLyingOnesAreLeftOutWithAMessage) {
    const std::string wav_main = le16(7) + byte(0);
    const std::string two_clips = "RU" + le32(4) + "RIFF" + "en" + le32(3) + "ID3";
    struct media_case {
        const char* name;
        std::string records;
        const char* message;  // a part of the warning; none when the records are kept
        std::size_t kept;
    };
    const media_case cases[] = {
        {"two clips", media_record(wav_main, le32(19) + two_clips), nullptr, 1},
        {"mp3", media_record(le16(8) + byte(1), le32(9) + "EN" + le32(3) + "ID3"), nullptr, 1},
        {"a clip of 0 bytes", media_record(wav_main, le32(6) + "EN" + le32(0)), nullptr, 1},
        {"clip size beyond the record", media_record(wav_main, le32(20) + two_clips),
         "media record 7 says its clips take 20 bytes where it has 19", 0},
        {"clip size short of the record", media_record(wav_main, le32(18) + two_clips),
         "media record 7 says its clips take 18 bytes where it has 19", 0},
        {"no clip size", media_record(wav_main, ""), "media record 7 lacks the size of its clips",
         0},
        {"0 clips", media_record(wav_main, le32(0)), "media record 7 holds no clip", 0},
        {"a clip longer than its record",
         media_record(wav_main, le32(10) + "EN" + le32(1000) + "RIFF"),
         "media record 7 has a clip of 1000 bytes where 4 are left", 0},
        {"a clip header cut short", media_record(wav_main, le32(4) + "EN" + le16(1)),
         "media record 7 has a clip header cut short, 4 of 6 bytes left", 0},
        {"a main part too short", media_record(le16(7), le32(10) + "EN" + le32(4) + "RIFF"),
         "media record 0 has a main part of 2 bytes, 3 needed", 0},
        {"no main part size", block(18, wav_main + le32(10) + "EN" + le32(4) + "RIFF"),
         "media record 0 has no main part size", 0},
        {"an unknown format", media_record(le16(0x7777) + byte(0x77), le32(0)),
         "media record 30583 is of format 119, neither WAV (0) nor MP3 (1)", 0},
        {"a repeated id",
         media_record(wav_main, le32(19) + two_clips) +
             media_record(wav_main, le32(19) + two_clips),
         "media record 7 repeats the id of an earlier record of its group", 1},
    };
    for (const media_case& c : cases) {
        // A second group behind the records shows that the file reads on.
        std::string bytes = gpi_file(poi_set("g", area(0, 0, 0, 0, poi(0, 0, "p")) + c.records) +
                                     poi_set("h", area(0, 0, 0, 0, poi(0, 0, "q"))));
        poiset_list list;
        auto result = read_bytes(bytes, list);
        ASSERT_TRUE(result.ok) << c.name << result.messages;
        ASSERT_EQ(list.count(), 2) << c.name;
        EXPECT_EQ(list.poisets[1]->count(), 1) << c.name;
        const std::vector<poi_media>& media = list.poisets[0]->media;
        EXPECT_EQ(media.size(), c.kept) << c.name;
        if (c.message == nullptr) {
            EXPECT_EQ(result.messages, "") << c.name;
        } else {
            EXPECT_NE(result.messages.find(std::string("\nWarning: gpi ") + c.message),
                      std::string::npos)
                << c.name << result.messages;
            EXPECT_NE(result.messages.find("left out (File pos:0x"), std::string::npos) << c.name;
            EXPECT_NE(result.messages.find(" media"), std::string::npos) << c.name;
        }
    }
    // The kept records as the file holds them.
    poiset_list list;
    ASSERT_TRUE(read_bytes(gpi_file(poi_set("g", area(0, 0, 0, 0, poi(0, 0, "p")) +
                                                     media_record(wav_main, le32(19) + two_clips))),
                           list)
                    .ok);
    const poi_media& kept = list.poisets.at(0)->media.at(0);
    EXPECT_EQ(kept.id, 7);
    EXPECT_EQ(kept.format, media_format::wav);
    ASSERT_EQ(kept.clips.size(), 2u);
    EXPECT_EQ(std::string(kept.clips[0].language.data(), 2), "RU");
    EXPECT_EQ(std::string(kept.clips[0].bytes.begin(), kept.clips[0].bytes.end()), "RIFF");
    EXPECT_EQ(std::string(kept.clips[1].language.data(), 2), "en") << "kept as written";
    EXPECT_EQ(std::string(kept.clips[1].bytes.begin(), kept.clips[1].bytes.end()), "ID3");
}

// An alert of bytes 8 to 11 as given, behind a distance of 150 m and the speed.
std::string alert_bytes(std::uint16_t speed, std::uint8_t kind, std::uint16_t last_two) {
    return block(
        3, le16(150) + le16(speed) + le32(0x01000100) + byte(1) + byte(kind) + le16(last_two));
}

TEST(GpiReader, AlertsNamingAMediaRecordOfTheirGroupPlayItAndTourGuideAlertsAreKept) {
    const std::string clip = media_record(le16(7) + byte(1), le32(9) + "EN" + le32(3) + "ID3");
    struct alert_case {
        const char* name;
        std::string alert;
        bool has_media;
        std::optional<std::uint16_t> sound;
        std::uint32_t flags;  // of has_proximity, has_speed, tour_guide_alert
        const char* warning;  // a part of it; none when there is none
    };
    const alert_case cases[] = {
        {"built-in sound", alert_bytes(0, 1, 0x1004), true, std::nullopt, has_proximity, nullptr},
        {"no byte 11", block(3, le16(150) + le16(0) + le32(0) + byte(1) + byte(1) + byte(4)), true,
         std::nullopt, has_proximity, nullptr},
        {"media id", alert_bytes(0, 1, 7), true, 7, has_proximity, nullptr},
        {"media id and a speed", alert_bytes(1388, 1, 7), true, 7, has_proximity | has_speed,
         nullptr},
        {"tour guide", alert_bytes(0, 2, 7), true, 7, has_proximity | tour_guide_alert, nullptr},
        {"tour guide, built-in", alert_bytes(0, 2, 0x1004), false, std::nullopt,
         has_proximity | tour_guide_alert, nullptr},
        // The id's low byte (5) reads as the kinds, as the alert has always been read.
        {"absent id", alert_bytes(0, 1, 0x0105), true, std::nullopt, has_proximity | has_speed,
         "1 alert of the group g names a sound clip the group lacks (media id 261 first); it "
         "stays a plain alert"},
        {"no media at all", alert_bytes(0, 1, 7), false, std::nullopt, has_proximity | has_speed,
         "(media id 7 first)"},
    };
    for (const alert_case& c : cases) {
        std::string group = area(0, 0, 0, 0, poi(0, 0, "p", c.alert)) + (c.has_media ? clip : "");
        poiset_list list;
        auto result = read_bytes(gpi_file(poi_set("g", group)), list);
        ASSERT_TRUE(result.ok) << c.name << result.messages;
        const poiset& set = *list.poisets.at(0);
        const waypoint& w = set.waypoints.at(0);
        const waypoint_details* details = set.details_of(w);
        EXPECT_EQ(details != nullptr ? details->sound : std::nullopt, c.sound) << c.name;
        EXPECT_EQ(w.flags & (has_proximity | has_speed | tour_guide_alert), c.flags) << c.name;
        EXPECT_EQ(w.proximity, 150.0) << c.name;
        if (c.warning == nullptr) {
            EXPECT_EQ(result.messages, "") << c.name;
        } else {
            EXPECT_NE(result.messages.find(c.warning), std::string::npos)
                << c.name << result.messages;
        }
    }
    // One warning for a group, however many alerts name absent records.
    std::string points;
    for (int i = 0; i < 50; ++i) points += poi(i, i, "p", alert_bytes(0, 1, 9));
    poiset_list list;
    auto result = read_bytes(gpi_file(poi_set("g", area(60, 60, 0, 0, points) + clip)), list);
    EXPECT_EQ(result.messages,
              "\nWarning: 50 alerts of the group g name a sound clip the group lacks (media id 9 "
              "first); they stay plain alerts");
}

TEST(GpiReader, PicturesAreKeptWithTheirPoiAndLyingOnesAreLeftOutWithAMessage) {
    const std::string jpeg = "\xFF\xD8\xFF\xE0jfif";
    struct picture_case {
        const char* name;
        std::string records;
        const char* message;  // a part of the warning; none when a picture is kept
    };
    const picture_case cases[] = {
        {"a JPEG", block(13, byte(0) + le32(8) + jpeg), nullptr},
        {"0 bytes", block(13, byte(0) + le32(0)), "holds a picture of 0 bytes"},
        {"length beyond the record", block(13, byte(0) + le32(9) + jpeg),
         "says the picture has 9 bytes where it has 8"},
        {"length short of the record", block(13, byte(0) + le32(5) + jpeg),
         "says the picture has 5 bytes where it has 8"},
        {"a length of 4 GiB", block(13, byte(0) + le32(0xFFFFFFFF) + jpeg),
         "says the picture has 4294967295 bytes where it has 8"},
        {"cut short", block(13, byte(0) + le16(8)), "is cut short"},
        {"not a JPEG", block(13, byte(0) + le32(4) + "\x89PNG"), "holds no JPEG picture"},
        {"a second one", block(13, byte(0) + le32(8) + jpeg) + block(13, byte(0) + le32(8) + jpeg),
         "is the POI's second one"},
    };
    for (const picture_case& c : cases) {
        // A second POI behind the picture shows that the group reads on.
        std::string points = poi(0, 0, "p", c.records) + poi(1, 1, "q");
        poiset_list list;
        auto result = read_bytes(gpi_file(poi_set("g", area(1, 1, 0, 0, points))), list);
        ASSERT_TRUE(result.ok) << c.name << result.messages;
        const poiset& set = *list.poisets.at(0);
        ASSERT_EQ(set.count(), 2) << c.name;
        const waypoint_details* details = set.details_of(set.waypoints[0]);
        bool kept = details != nullptr && details->picture.has_value();
        EXPECT_EQ(kept, c.message == nullptr || std::string(c.name) == "a second one") << c.name;
        if (kept) {
            ASSERT_EQ(set.pictures.size(), 1u) << c.name;
            EXPECT_EQ(std::string(set.pictures[0].jpeg.begin(), set.pictures[0].jpeg.end()), jpeg);
        }
        if (c.message == nullptr) {
            EXPECT_EQ(result.messages, "") << c.name;
        } else {
            EXPECT_NE(result.messages.find(
                          std::string("\nWarning: gpi picture record of the poi p ") + c.message),
                      std::string::npos)
                << c.name << result.messages;
            EXPECT_NE(
                result.messages.find("skipped 1 record Velmora does not carry over: 1 picture"),
                std::string::npos)
                << c.name << result.messages;
        }
    }
}

// Media ids have 16 bits: a group holds at most 65,536 records, and one more repeats an id.
TEST(GpiReader, AGroupOfEveryMediaIdReadsInLinearTimeAndRefusesOneMore) {
    std::string records;
    for (std::uint32_t id = 0; id <= 0xFFFF; ++id) {
        records += media_record(le16(static_cast<std::uint16_t>(id)) + byte(0),
                                le32(7) + "EN" + le32(1) + "R");
    }
    records += media_record(le16(0xFFFF) + byte(0), le32(7) + "EN" + le32(1) + "R");
    std::string points = poi(0, 0, "p", alert_bytes(0, 1, 0xFFFF));
    poiset_list list;
    auto result = read_bytes(gpi_file(poi_set("g", area(0, 0, 0, 0, points) + records)), list);
    ASSERT_TRUE(result.ok) << result.messages;
    const poiset& set = *list.poisets.at(0);
    EXPECT_EQ(set.media.size(), 65536u);
    EXPECT_EQ(set.details_of(set.waypoints.at(0))->sound, 0xFFFF);
    EXPECT_NE(result.messages.find("media record 65535 repeats the id"), std::string::npos);
}

TEST(GpiReader, BlockOfAnUnlistedTypeBeforeTheFileHeaderFails) {
    for (std::uint16_t type : {20, 0x1234, 0xFFFE}) {
        poiset_list list;
        std::string bytes = le16(type) + le16(3) + le32(0) + file_header() + poi_header();
        auto result = read_bytes(bytes, list);
        EXPECT_FALSE(result.ok);
        char expected[80];
        std::snprintf(expected, sizeof expected,
                      "\nError: illegal block type: 0x%X,0x3! (File pos:0x8)", type);
        EXPECT_EQ(result.messages, expected);
    }
}

TEST(GpiReader, EndBlockHasNoContentAndBlocksAfterItAreStillRead) {
    std::string bytes = file_header() + poi_header() + end_block() + poi_set("late", "") +
                        block(0xFFFF, "ignored") + end_block();
    poiset_list list;
    auto result = read_bytes(bytes, list);
    ASSERT_TRUE(result.ok) << result.messages;
    ASSERT_EQ(list.count(), 1);
    EXPECT_EQ(list.poisets[0]->name, "late");
}

TEST(GpiReader, StringsReadTheFirstEntryOfAnyLanguageAndSkipTheOthers) {
    std::string two_entries =
        le32(4 + 3 + 4 + 5) + "DE" + le16(3) + "Ort" + "EN" + le16(5) + "Place";
    std::string name_then_comment = le32(0) + le32(0) + le16(1) + byte(0) + two_entries;
    std::string p = flagged_block(2, name_then_comment, comment("after the name"));
    poiset_list list;
    auto result =
        read_bytes(gpi_file(poi_set("g", area(0, 0, 0, 0, p + poi(0, 0, "x", comment(""))))), list);
    ASSERT_TRUE(result.ok) << result.messages;
    const poiset& set = *list.poisets.at(0);
    ASSERT_EQ(set.count(), 2);
    EXPECT_EQ(*set.waypoints[0].name, "Ort");
    EXPECT_EQ(*set.waypoints[0].comment, "after the name");
    EXPECT_EQ(*set.waypoints[1].comment, "") << "an empty text is still a text";

    poiset_list zero;
    auto cut = read_bytes(gpi_file(poi_set(std::string("ab\0cd", 5), "")), zero);
    ASSERT_TRUE(cut.ok) << cut.messages;
    EXPECT_EQ(zero.poisets.at(0)->name, "ab") << "a text ends at its first zero byte";
}

TEST(GpiReader, TheChosenLanguageIsReadWhereATextHasItAndTheFileSaysWhichItHolds) {
    std::string both = mstrings({{"RU", "Metro"}, {"EN", "Subway"}});
    std::string point = flagged_block(2, le32(0) + le32(0) + le16(1) + byte(0) + both,
                                      comment("only one") + description("x"));
    std::string bytes = gpi_file(
        flagged_block(9, mstrings({{"RU", "Gruppa"}, {"en", "Group"}}), area(0, 0, 0, 0, point)));
    const struct {
        const char* language;
        const char* name;
        const char* group;
        const char* message;
    } cases[] = {
        {"", "Metro", "Gruppa",
         "\n    languages: RU, EN; read the first of each text (-lang: picks another)"},
        {"en", "Subway", "Group",
         "\n    languages: RU, EN; read EN where a text has it, else its first"},
        {"RU", "Metro", "Gruppa",
         "\n    languages: RU, EN; read RU where a text has it, else its first"},
        {"DE", "Metro", "Gruppa",
         "\n    languages: RU, EN; DE not among them, read the first of each text"},
        {"rus", "Metro", "Gruppa",
         "\n    languages: RU, EN; RUS not among them, read the first of each text"},
    };
    for (const auto& c : cases) {
        poiset_list list;
        auto result = read_bytes(bytes, list, gpi_read_options{c.language});
        ASSERT_TRUE(result.ok) << result.messages;
        EXPECT_EQ(result.messages, c.message) << c.language;
        const poiset& set = *list.poisets.at(0);
        EXPECT_EQ(set.name, c.group) << c.language;
        EXPECT_EQ(*set.waypoints.at(0).name, c.name) << c.language;
        EXPECT_EQ(*set.waypoints[0].comment, "only one") << "a text without it keeps its first";
        EXPECT_EQ(*set.waypoints[0].description, "x") << "read after the name's entries";
    }
    poiset_list single;
    auto result = read_bytes(gpi_file(poi_set("g", "")), single, gpi_read_options{"DE"});
    EXPECT_EQ(result.messages, "") << "a file of one language says nothing";
}

TEST(GpiReader, SpeedCamerasOfTheKnownLayoutBecomePoisWithTheirSpeed) {
    const struct {
        std::uint16_t flags;
        const char* name;
        double speed;  // km/h; 0: no speed alert
    } cases[] = {
        {0x01B8, "Speed camera", 70.0},     // km/h bit, 7 tens
        {0x01D4, "Speed camera", 105.0},    // 10 tens and five
        {0x00B0, "Speed camera", 97.0},     // 60 mph
        {0x0303, "Red-light camera", 0.0},  // no speed
    };
    for (const auto& c : cases) {
        std::string bytes = gpi_file(poi_set(
            "cams", area(0, 0, 0, 0, speed_camera(48.5, 11.5, 48.0, 11.0, c.flags, 48.25, 11.25))));
        poiset_list list;
        auto result = read_bytes(bytes, list);
        ASSERT_TRUE(result.ok) << result.messages;
        EXPECT_EQ(result.messages, "");
        const waypoint& w = list.poisets.at(0)->waypoints.at(0);
        EXPECT_EQ(*w.name, c.name);
        EXPECT_NEAR(w.lat, 48.25, 1e-4);
        EXPECT_NEAR(w.lon, 11.25, 1e-4);
        EXPECT_EQ((w.flags & has_speed) != 0, c.speed > 0.0) << c.flags;
        EXPECT_EQ(w.speed, c.speed) << c.flags;
    }
    // Outside its trigger zone, or with a variable block that runs past the record, the
    // record does not fit the layout: skipped and counted.
    std::string outside = speed_camera(48.5, 11.5, 48.0, 11.0, 0x01B8, 49.0, 11.25);
    std::string short_block =
        block(19, std::string(12, '\0') + le16(0x01B8) + byte(200) + std::string(10, '\0'));
    poiset_list list;
    auto result =
        read_bytes(gpi_file(poi_set("cams", area(0, 0, 0, 0, outside + short_block))), list);
    ASSERT_TRUE(result.ok) << result.messages;
    EXPECT_EQ(result.messages,
              "\n    skipped 2 records Velmora does not carry over: 2 speed cameras of an "
              "unknown layout");
    EXPECT_EQ(list.poisets.at(0)->count(), 0);
}

TEST(GpiReader, TextLongerThanItsStringIsReportedAndCutToWhatFits) {
    // Total size 6 leaves room for 2 text bytes, the entry claims 5.
    std::string lying = le32(6) + "EN" + le16(5) + "abcde";
    std::string p = flagged_block(2, le32(0) + le32(0) + le16(1) + byte(0) + lying, icon_ref(4));
    poiset_list list;
    auto result = read_bytes(gpi_file(poi_set("g", area(0, 0, 0, 0, p) + tiny_icon(4))), list);
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.messages, "\nError: string to read is longer than buffer size! (File pos:89)");
    const waypoint& w = list.poisets.at(0)->waypoints.at(0);
    EXPECT_EQ(*w.name, "ab");
    EXPECT_EQ(w.icon_id, 4) << "reading goes on behind the text";
}

TEST(GpiReader, StringTotalSizeBelowFourOrBeyondItsBlockFails) {
    for (std::uint32_t total : {0u, 3u}) {
        poiset_list list;
        std::string bad = flagged_block(9, le32(total) + "EN" + le16(0), "");
        auto result = read_bytes(file_header() + poi_header() + bad + end_block(), list);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.messages, "\nError: gpi structure. String size " + std::to_string(total) +
                                       " is below 4! (File pos:0x42)");
        EXPECT_EQ(list.count(), 0);
    }
    poiset_list list;
    std::string past = block(10, le32(100) + "EN" + le16(2) + "ab");
    auto result = read_bytes(gpi_file(poi_set("g", area(0, 0, 0, 0, poi(0, 0, "p", past)))), list);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.messages.find("String of 100 bytes runs past its block!"), std::string::npos)
        << result.messages;
    ASSERT_EQ(list.poisets.at(0)->count(), 1) << "the waypoint read before the error stays";
    EXPECT_FALSE(list.poisets[0]->waypoints[0].comment.has_value());
}

TEST(GpiReader, PoiRecordOutsideAGroupFails) {
    poiset_list list;
    auto result = read_bytes(gpi_file(poi(0, 0, "lost")), list);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.messages, "\nError: poi_plock before poi_set_header!!! filepos: 0x3A");

    poiset_list nested;
    auto inner = read_bytes(
        gpi_file(poi_set("g", area(0, 0, 0, 0, poi(0, 0, "outer", poi(0, 0, "inner"))))), nested);
    EXPECT_FALSE(inner.ok);
    EXPECT_NE(inner.messages.find("\nError: poi_plock before poi_set_header!!! filepos: 0x"),
              std::string::npos);
    ASSERT_EQ(nested.poisets.at(0)->count(), 1);
    EXPECT_EQ(*nested.poisets[0]->waypoints[0].name, "outer");
}

TEST(GpiReader, BlockWhereItsRecordDoesNotFitIsRejectedWithoutTouchingAnotherRecord) {
    struct misplaced {
        std::string bytes;
        const char* expected;
    };
    std::string in_poi_area = poi(0, 0, "p", area(1, 1, 1, 1, ""));
    std::vector<misplaced> cases = {
        {gpi_file(alert(5, 5, 5)), "Block type 0x3 not expected in the file!"},
        {gpi_file(comment("x")), "Block type 0xA not expected in the file!"},
        {gpi_file(area(1, 1, 1, 1, "")), "Block type 0x8 not expected in the file!"},
        {gpi_file(bitmap(1, 1, 1, 8, "....", {})), "Block type 0x5 not expected in the file!"},
        {gpi_file(poi_set("g", icon_ref(2))), "Block type 0x4 not expected in a poi group!"},
        {gpi_file(poi_set("g", description("d"))), "Block type 0xE not expected in a poi group!"},
        {gpi_file(poi_set("g", poi_set("inner", ""))),
         "Block type 0x9 not expected in a poi group!"},
        {gpi_file(poi_set("g", area(0, 0, 0, 0, poi_header(65001)))),
         "Block type 0x1 not expected in a poi group!"},
        {gpi_file(poi_set("g", file_header())), "Block type 0x0 not expected in a poi group!"},
        {gpi_file(poi_set("g", area(0, 0, 0, 0, in_poi_area))),
         "Block type 0x8 not expected in a poi!"},
        {gpi_file(poi_set("g", area(0, 0, 0, 0, poi(0, 0, "p", bitmap(1, 1, 1, 8, "....", {}))))),
         "Block type 0x5 not expected in a poi!"},
    };
    for (const auto& c : cases) {
        poiset_list list;
        auto result = read_bytes(c.bytes, list);
        EXPECT_FALSE(result.ok) << c.expected;
        EXPECT_NE(result.messages.find(c.expected), std::string::npos) << result.messages;
        for (const auto& set : list.poisets) {
            EXPECT_EQ(set->icons->count(), 0);
            for (const auto& w : set->waypoints) EXPECT_EQ(w.flags, has_position);
        }
    }
}

TEST(GpiReader, BlockRunningPastItsParentOrTheFileFailsWithItsTypeAndPosition) {
    {
        poiset_list list;
        std::string bytes = file_header() + poi_header() + le16(9) + le16(8) + le32(1000) + le32(8);
        auto result = read_bytes(bytes, list);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.messages,
                  "\nError: gpi structure. Block type 0x9 of 1004 bytes runs past its parent or "
                  "the file, 4 bytes left! (File pos:0x3A)");
    }
    {
        // An alert block claiming more than its POI record holds.
        std::string alert_too_long = le16(3) + le16(0) + le32(40) + std::string(12, '\0');
        poiset_list list;
        auto result =
            read_bytes(gpi_file(poi_set(
                           "g", area(0, 0, 0, 0, poi(0, 0, "p", alert_too_long) + poi(0, 0, "q")))),
                       list);
        EXPECT_FALSE(result.ok);
        EXPECT_NE(
            result.messages.find(
                "Block type 0x3 of 40 bytes runs past its parent or the file, 12 bytes left!"),
            std::string::npos)
            << result.messages;
        EXPECT_EQ(list.poisets.at(0)->count(), 1) << "nothing after the failure is read";
    }
    {
        poiset_list list;
        auto result = read_bytes(file_header() + std::string("\x01\x00\x00", 3), list);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.messages,
                  "\nError: gpi structure. Block header cut short, 3 of 8 bytes left! (File "
                  "pos:0x1E)");
    }
    {
        // An alert block whose length is too short for its fields.
        poiset_list list;
        std::string short_alert = block(3, le16(1) + le16(2));
        auto result =
            read_bytes(gpi_file(poi_set("g", area(0, 0, 0, 0, poi(0, 0, "p", short_alert)))), list);
        EXPECT_FALSE(result.ok);
        EXPECT_NE(result.messages.find("Block type 0x3 ends inside its data!"), std::string::npos)
            << result.messages;
        EXPECT_EQ(list.poisets.at(0)->waypoints.at(0).flags, has_position);
    }
}

TEST(GpiReader, BitmapClaimingMoreThanItsBlockFailsAtOnce) {
    std::string body = le16(1) + le16(0xFFFF) + le16(0xFFFF) + le16(0) + le16(32) + le16(0) +
                       le32(0xFFFFFFF0) + le32(44) + le32(0x3FFFFFFF) + le32(0) + le32(1) +
                       le32(0) + std::string(900, 'x');
    std::string bytes = gpi_file(poi_set("g", block(5, body)));
    ASSERT_LT(bytes.size(), 1024u);
    poiset_list list;
    std::size_t allocated_before = bytes_allocated();
    auto result = read_bytes(bytes, list);
    std::size_t allocated = bytes_allocated() - allocated_before;
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.messages.find("Bitmap 1 needs 8589934572 bytes but its block has 900 left!"),
              std::string::npos)
        << result.messages;
    EXPECT_EQ(list.poisets.at(0)->icons->count(), 0);
    // The sizes are checked before anything is allocated for them: the read takes what
    // its set and texts need, nothing near the 8 GB claimed.
    EXPECT_LT(allocated, std::size_t{16} << 20);

    // Palette alone too big for what is left behind the pixels.
    std::string palette_body = le16(2) + le16(1) + le16(1) + le16(4) + le16(8) + le16(0) + le32(4) +
                               le32(44) + le32(2) + le32(0) + le32(1) + le32(48) + "pppp" + "rgb0";
    poiset_list palette_list;
    auto palette = read_bytes(gpi_file(poi_set("g", block(5, palette_body))), palette_list);
    EXPECT_FALSE(palette.ok);
    EXPECT_NE(palette.messages.find("Bitmap 2 needs 12 bytes but its block has 8 left!"),
              std::string::npos)
        << palette.messages;
}

TEST(GpiReader, DeeplyNestedAreasFailCleanlyWhileReasonableDepthsRead) {
    // Built outside in, each area header sized for everything inside it.
    auto nested = [](int depth) {
        std::string inner = poi(0, 0, "deep");
        std::string areas;
        areas.reserve(static_cast<std::size_t>(depth) * 35 + inner.size());
        for (int i = 0; i < depth; ++i) {
            std::size_t below = static_cast<std::size_t>(depth - i - 1) * 35 + inner.size();
            std::string header = area(i, i, i, i, "");
            areas += header.substr(0, 4) + le32(static_cast<std::uint32_t>(23 + below)) +
                     header.substr(8);
        }
        return gpi_file(poi_set("g", areas + inner));
    };
    {
        poiset_list list;
        auto result = read_bytes(nested(gpi_max_area_depth), list);
        ASSERT_TRUE(result.ok) << result.messages;
        EXPECT_EQ(list.poisets.at(0)->count(), 1);
    }
    {
        poiset_list list;
        auto result = read_bytes(nested(100000), list);
        EXPECT_FALSE(result.ok);
        EXPECT_NE(result.messages.find("\nError: gpi structure. Areas nested deeper than 256 "
                                       "levels! (File pos:0x"),
                  std::string::npos)
            << result.messages.substr(0, 200);
        EXPECT_EQ(list.poisets.at(0)->count(), 0);
    }
}

// A small file with every kind of block the reader fills, used by the damage tests.
std::string sample_file() {
    std::vector<std::uint32_t> palette = {0x000000FF, 0x0000FF00};
    std::string subs = alert(100, 1388, 0x05) + icon_ref(1) + comment("cmt") + description("dsc") +
                       flagged_block(11, le16(1), mstring("City")) +
                       flagged_block(12, le16(1), mstring("123"));
    std::string group =
        poi_set("grp", area(10, 10, 0, 0, poi(5, 5, "one", subs) + poi(6, 6, "two")) +
                           bitmap(1, 2, 2, 8, std::string(8, '\x01'), palette));
    return gpi_file(group + poi_set("next", area(0, 0, 0, 0, poi(1, 1, "three", comment("c")))));
}

// The same in the newer layout: nested header records, texts in two languages, a speed
// camera and records that are skipped and counted.
std::string newer_sample_file() {
    std::string name = mstrings({{"RU", "odin"}, {"EN", "one"}});
    std::string subs = alert(100, 1388, 0x05) + block(13, byte(0) + le32(1) + "J") +
                       block(14, byte(5) + mstrings({{"RU", "d"}, {"EN", "dsc"}}));
    std::string point = flagged_block(2, le32(5) + le32(5) + le16(1) + byte(2) + name, subs);
    std::string camera = speed_camera(1.0, 1.0, 0.0, 0.0, 0x01B8, 0.5, 0.5);
    std::string media = flagged_block(18, le16(1) + byte(0), le32(10) + "EN" + le32(4) + "RIFF");
    std::string group = flagged_block(9, mstrings({{"RU", "gruppa"}, {"EN", "grp"}}),
                                      area(10, 10, 0, 0, point + camera) + media);
    return newer_file_header("sample") + newer_poi_header(65001) + group + end_block();
}

TEST(GpiReader, EveryTruncationEndsInAnErrorOrACleanReadOfWholeBlocks) {
    for (const std::string& full : {sample_file(), newer_sample_file()}) {
        std::vector<std::size_t> top_level_ends;
        {
            std::size_t pos = 0;
            while (pos < full.size()) {
                std::uint32_t length =
                    static_cast<std::uint8_t>(full[pos + 4]) |
                    (static_cast<std::uint8_t>(full[pos + 5]) << 8) |
                    (static_cast<std::uint8_t>(full[pos + 6]) << 16) |
                    (static_cast<std::uint32_t>(static_cast<std::uint8_t>(full[pos + 7])) << 24);
                bool flagged = full[pos + 2] != 0 || full[pos + 3] != 0;
                pos += 8 + length + (flagged ? 4 : 0);
                top_level_ends.push_back(pos);
            }
            ASSERT_EQ(pos, full.size());
        }
        poiset_list whole;
        ASSERT_TRUE(read_bytes(full, whole).ok);
        ASSERT_GE(whole.count(), 1);

        for (std::size_t cut = 0; cut < full.size(); ++cut) {
            poiset_list list;
            auto result = read_bytes(full.substr(0, cut), list);
            bool at_block_end = cut == 0 || std::find(top_level_ends.begin(), top_level_ends.end(),
                                                      cut) != top_level_ends.end();
            EXPECT_EQ(result.ok, at_block_end) << "cut at " << cut << result.messages;
            if (!result.ok) {
                EXPECT_NE(result.messages.find("\nError: "), std::string::npos) << "cut at " << cut;
            }
        }
    }
}

TEST(GpiReader, EveryCorruptedByteOrLengthFieldEndsInAnErrorOrARead) {
    for (const std::string& full : {sample_file(), newer_sample_file()}) {
        int failures = 0;
        auto check = [&failures](const std::string& damaged, std::size_t at) {
            poiset_list list;
            auto result = read_bytes(damaged, list);
            if (!result.ok) {
                ++failures;
                EXPECT_NE(result.messages.find("\nError"), std::string::npos) << "damage at " << at;
            }
        };
        for (std::size_t i = 0; i < full.size(); ++i) {
            for (std::uint8_t value : {0x00, 0x01, 0x7F, 0x80, 0xFE, 0xFF}) {
                std::string damaged = full;
                damaged[i] = static_cast<char>(value);
                check(damaged, i);
            }
            if (i + 4 <= full.size()) {
                for (std::uint32_t value : {0u, 3u, 0x7FFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFCu}) {
                    std::string damaged = full;
                    damaged.replace(i, 4, le32(value));
                    check(damaged, i);
                }
            }
        }
        EXPECT_GT(failures, 0);
    }
}

TEST(GpiReader, ReadsAnOpenFileToItsEnd) {
    temp_dir dir;
    std::string path = dir.file("sample.gpi");
    write_file(path, sample_file());
    poiset_list list;
    auto result = read_path(path, list);
    ASSERT_TRUE(result.ok) << result.messages;
    ASSERT_EQ(list.count(), 2);
    EXPECT_EQ(list.poisets[0]->count(), 2);
    EXPECT_EQ(list.poisets[1]->count(), 1);

    // A second file adds its groups to the same list.
    auto again = read_path(path, list);
    ASSERT_TRUE(again.ok);
    EXPECT_EQ(list.count(), 4);
}

TEST(GpiReader, ADirectoryOpenedAsAFileIsAReadErrorWithoutABufferOfItsClaimedSize) {
    temp_dir dir;
    std::filesystem::create_directory(dir.file("folder.gpi"));
    std::FILE* file = std::fopen(dir.file("folder.gpi").c_str(), "rb");
    if (file == nullptr) GTEST_SKIP() << "directories don't open as files here";
    poiset_list list;
    message_capture capture;
    EXPECT_FALSE(read_gpi_file(file, list));
    std::fclose(file);
    EXPECT_EQ(capture.text(),
              "\nError: Reading the gpi file failed after 0 bytes; nothing imported. (Is a "
              "directory)");
    EXPECT_EQ(list.count(), 0);
}

// Every GPI file of the samples' table: the groups and POIs GPSBabel reads, one POI by
// name and position, and the summary line the file earns.
TEST(GpiReaderRealFiles, EveryFileOfOtherProducersReadsWithThePoisGpsBabelReads) {
    for (const auto& c : testing::real_gpi_samples) {
        VELMORA_REQUIRE_REAL(path, c.file);
        poiset_list list;
        auto result = read_path(path, list, gpi_read_options{"EN"});
        EXPECT_TRUE(result.ok) << c.file << result.messages;
        EXPECT_EQ(result.messages, c.messages) << c.file;
        ASSERT_EQ(list.count(), c.sets) << c.file;
        std::vector<const waypoint*> points;
        for (const auto& set : list.poisets) {
            for (const auto& w : set->waypoints) {
                EXPECT_TRUE(w.name.has_value()) << c.file;
                EXPECT_EQ(w.flags & has_position, has_position) << c.file;
                points.push_back(&w);
            }
        }
        ASSERT_EQ(static_cast<int>(points.size()), c.pois) << c.file;
        const waypoint& w = *points[static_cast<std::size_t>(c.sample)];
        std::string name(*w.name);
        name.erase(name.find_last_not_of(' ') + 1);
        EXPECT_EQ(name, c.name) << c.file;
        EXPECT_NEAR(w.lat, c.lat, 1e-4) << c.file;
        EXPECT_NEAR(w.lon, c.lon, 1e-4) << c.file;
    }
}

TEST(GpiReaderRealFiles, SampleValuesOfOtherProducersFiles) {
    {
        VELMORA_REQUIRE_REAL(path, "gpi/gpispeed.gpi");
        poiset_list list;
        ASSERT_TRUE(read_path(path, list).ok);
        const waypoint& w = list.poisets.at(0)->waypoints.at(0);
        EXPECT_EQ(*w.name, "point0");
        EXPECT_EQ(w.proximity, 804.0);
        EXPECT_EQ(w.speed, 48.0);
        EXPECT_EQ(w.flags & (has_proximity | has_speed), has_proximity | has_speed);
        EXPECT_NEAR(w.lat, 49.794688, 1e-6);
        EXPECT_NEAR(w.lon, 9.834015, 1e-6);
    }
    {
        VELMORA_REQUIRE_REAL(path, "gpi/GATSO_30.gpi");
        poiset_list list;
        ASSERT_TRUE(read_path(path, list).ok);
        const poiset& set = *list.poisets.at(0);
        EXPECT_EQ(*set.waypoints.at(0).name, "max@30");
        EXPECT_EQ(*set.waypoints.at(1).name, "max@30.1");
        EXPECT_EQ(set.waypoints[0].speed, 30.0);
        EXPECT_TRUE(set.waypoints[0].comment.has_value());
        ASSERT_EQ(set.icons->count(), 1);
        EXPECT_EQ(set.icons->entries[0]->bitmap->bits_per_pixel, 32);
        EXPECT_EQ(set.icons->entries[0]->bitmap->pixels.size(), 24u * 24u * 4u);
    }
    {
        VELMORA_REQUIRE_REAL(path, "gpi/garmin_gpi_encoding.gpi");
        poiset_list list;
        ASSERT_TRUE(read_path(path, list).ok);
        const poiset& set = *list.poisets.at(0);
        EXPECT_EQ(*set.waypoints.at(0).name, "\x80");
        EXPECT_EQ(*set.waypoints.at(0).comment, "\x99");
        EXPECT_EQ(set.codepage->number(), 1252);
        EXPECT_FALSE(set.is_utf8);
    }
    {
        // The copyright record of the POI header names the data source; every group of
        // the file carries it, in the file's code page.
        VELMORA_REQUIRE_REAL(path, "gpi/umsonstdraussen.gpi");
        poiset_list list;
        ASSERT_TRUE(read_path(path, list).ok);
        for (const auto& set : list.poisets) {
            EXPECT_EQ(set->producer,
                      "Umsonst + Drau\xDF"
                      "en Festivals");
            EXPECT_NE(set->copyright.find("Garmin Deutschland GmbH 2009"), std::string::npos);
        }
    }
    {
        VELMORA_REQUIRE_REAL(path, "gpi/Hollandspeedcam.gpi");
        poiset_list list;
        ASSERT_TRUE(read_path(path, list).ok);
        const poiset& set = *list.poisets.at(0);
        EXPECT_EQ(*set.waypoints.at(0).name, "-");
        for (const auto& w : set.waypoints) {
            EXPECT_EQ(w.proximity, 300.0);
            EXPECT_EQ(w.flags & (has_proximity | has_speed), has_proximity);
        }
        ASSERT_EQ(set.icons->count(), 1);
        const gpi_bitmap& icon = *set.icons->entries[0]->bitmap;
        EXPECT_EQ(icon.width, 48);
        EXPECT_EQ(icon.bits_per_pixel, 32);
        EXPECT_EQ(icon.palette_count, 0u);
        EXPECT_EQ(gpi_bitmap_block_size(icon), 48u * 48 * 4 + 44);
    }
    {
        VELMORA_REQUIRE_REAL(path, "gpi/garmin_gpi.gpi");
        poiset_list list;
        ASSERT_TRUE(read_path(path, list).ok);
        const poiset& set = *list.poisets.at(0);
        EXPECT_EQ(set.name, "My points");
        EXPECT_EQ(*set.waypoints.at(0).name, "5058ROAD");
        EXPECT_EQ(*set.waypoints.at(0).comment, "ROAD CROSSING");
        const gpi_bitmap& icon = *set.icons->entries.at(0)->bitmap;
        EXPECT_EQ(icon.bits_per_pixel, 8);
        EXPECT_EQ(icon.palette_count, 256u);
        EXPECT_EQ(gpi_bitmap_block_size(icon), 576u + 1024 + 44);
    }
    {
        VELMORA_REQUIRE_REAL(path, "gpi/gpi_ext-sample.gpi");
        poiset_list list;
        ASSERT_TRUE(read_path(path, list).ok);
        const poiset& set = *list.poisets.at(0);
        EXPECT_EQ(*set.waypoints.at(1).name, "Altenburg-Umgehung");
        EXPECT_EQ(*set.waypoints.at(8).comment, "Start");
    }
    {
        VELMORA_REQUIRE_REAL(path, "gpi/BORDATLAS.gpi");
        poiset_list list;
        ASSERT_TRUE(read_path(path, list).ok);
        const poiset& set = *list.poisets.at(0);
        EXPECT_TRUE(set.is_utf8);
        EXPECT_EQ(set.name, "garmin");
        EXPECT_EQ(*set.waypoints.at(0).name, "Camperplaats Den Bosch");
        EXPECT_NE(set.waypoints[0].comment->find("<br>"), std::string::npos);
    }
    {
        VELMORA_REQUIRE_REAL(path, "gpi/garmin_gpi_category~gpx.gpi");
        poiset_list list;
        ASSERT_TRUE(read_path(path, list).ok);
        EXPECT_EQ(list.poisets.at(0)->name,
                  "Vin\xED"
                  "colas");
        EXPECT_EQ(list.poisets[0]->icons->count(), 0);
    }
}

TEST(GpiReaderRealFiles, AddressesContactsAndCategoriesOfOtherProducersFiles) {
    const struct {
        const char* file;
        int with_address;
        int with_contacts;
        int with_categories;
        const char* categories;  // of every group, in order
        const char* sample;      // the first POI of that name
        const char* address;
        const char* contacts;
    } cases[] = {
        {"gpi/umsonstdraussen.gpi", 78, 78, 78, "Mai;Juni;Juli;August;September;",
         "Uferlos Festival",
         "City=Freising\nPostcode=85356\nStreet=Luitpoldstrasse\nHouseNumber=1\n",
         "PhoneNo=+49 8161 88 49 "
         "305\nEmail=michi@uferlos-festival.de\nlink=www.uferlos-festival.de\n"},
        {"gpi/gpi_ext-sample.gpi", 9, 9, 0, "", "3", "Street=Hauptstrasse -1\n",
         "PhoneNo=03741-999999\n"},
        {"gpi/garmin_gpi_position~gpx.gpi", 86, 0, 0, "", "5058ROAD",
         "Street=N42 26'24.0\" W71 07'15.3\"\n", ""},
        {"gpi/rosneftHi_res.gpi", 0, 0, 2300, "Fuel;Fuel (TD);", nullptr, "", ""},
        {"gpi/spb_metro_norm.gpi", 0, 0, 82, "Metro;", nullptr, "", ""},
    };
    for (const auto& c : cases) {
        VELMORA_REQUIRE_REAL(path, c.file);
        poiset_list list;
        ASSERT_TRUE(read_path(path, list, gpi_read_options{"EN"}).ok) << c.file;
        int address = 0;
        int contacts = 0;
        int categories = 0;
        std::string names;
        bool sample_seen = c.sample == nullptr;
        for (const auto& set : list.poisets) {
            for (const stored_text& name : set->categories) names += std::string(*name) + ";";
            for (const waypoint& w : set->waypoints) {
                const waypoint_details* d = set->details_of(w);
                if (d == nullptr) continue;
                address += d->address.empty() ? 0 : 1;
                contacts += d->phones.empty() && !w.link ? 0 : 1;  // the web address is the link
                categories += d->categories.empty() ? 0 : 1;
                if (!sample_seen && *w.name == c.sample) {
                    sample_seen = true;
                    EXPECT_EQ(pairs_text(d->address), c.address) << c.file;
                    std::string link = w.link ? "link=" + std::string(*w.link) + "\n" : "";
                    EXPECT_EQ(pairs_text(d->phones) + link, c.contacts) << c.file;
                }
            }
        }
        EXPECT_TRUE(sample_seen) << c.file;
        EXPECT_EQ(address, c.with_address) << c.file;
        EXPECT_EQ(contacts, c.with_contacts) << c.file;
        EXPECT_EQ(categories, c.with_categories) << c.file;
        EXPECT_EQ(names, c.categories) << c.file;
    }
}

}  // namespace
}  // namespace velmora
