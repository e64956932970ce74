// GeoJSON writing: texts as JSON strings in UTF-8 from any encoding, numbers, the
// structure RFC 7946 asks for, and a document that reads back with its fields.
#include <gtest/gtest.h>

#include <string>

#include "geojson/geojson_reader.hpp"
#include "geojson/geojson_writer.hpp"
#include "platform/messages.hpp"
#include "support/test_support.hpp"

namespace velmora {
namespace {

using testing::contains;

poiset& add_set(poiset_list& list, const char* name, bool utf8 = true) {
    poiset& set = *poiset_list_add(list);
    set.name = name;
    set.name_is_utf8 = utf8;
    set.is_utf8 = utf8;
    if (!utf8) set.codepage = code_page::create(1250);
    return set;
}

waypoint& add_point(poiset& set, double lat, double lon, std::string_view name) {
    waypoint& w = *poiset_add_waypoint(set);
    w.flags = has_position;
    w.lat = lat;
    w.lon = lon;
    w.name = set.store(name);
    return w;
}

TEST(GeojsonWriter, TextsBecomeEscapedUtf8Strings) {
    struct text_case {
        bool utf8;
        std::string_view text;
        const char* json;
    };
    const text_case cases[] = {
        {true, "say \"hi\" \\ back", R"("name":"say \"hi\" \\ back")"},
        {true, "tab\there\nline\x01\x1f", R"("name":"tab\there\nline\u0001\u001f")"},
        {true, "caf\xC3\xA9 \xF0\x9F\x98\x80", "\"name\":\"caf\xC3\xA9 \xF0\x9F\x98\x80\""},
        {true, "bad \xFF\xC3 end", "\"name\":\"bad \xEF\xBF\xBD\xEF\xBF\xBD end\""},
        {true, std::string_view("cut\0off", 7), R"("name":"cut")"},
        {false,
         "\x8A"
         "ibenik caf\xE9 \"q\"",
         "\"name\":\"\xC5\xA0ibenik caf\xC3\xA9 \\\"q\\\"\""},
    };
    for (const text_case& c : cases) {
        poiset_list list;
        add_point(add_set(list, "s", c.utf8), 1, 2, c.text);
        std::string document = geojson_document(list);
        EXPECT_TRUE(contains(document, c.json)) << c.json << "\n" << document;
    }
}

TEST(GeojsonWriter, NumbersAreFixedLonFirstAndAlertsPlain) {
    poiset_list list;
    poiset& set = add_set(list, "s");
    waypoint& w = add_point(set, -47.5, 13.4, "a");
    w.flags |= has_proximity;
    w.proximity = 100000;
    waypoint& cam = add_point(set, 0.00000004, -179.99999996, "b");
    cam.flags |= has_speed | has_proximity | proximity_from_speed;
    cam.speed = 50.004;
    cam.proximity = 500.04;
    std::string document = geojson_document(list);
    EXPECT_TRUE(contains(document, R"("coordinates":[13.4000000,-47.5000000]})")) << document;
    EXPECT_TRUE(contains(document, R"("proximity":100000,)")) << document;
    EXPECT_TRUE(contains(document, R"("coordinates":[-180.0000000,0.0000000]})")) << document;
    // The proximity the speed gives is not written: the speed gives it again.
    EXPECT_TRUE(contains(document, R"("name":"b","speed":50.004,"set":"s")")) << document;
    EXPECT_TRUE(contains(document, R"("bbox":[-180.0000000,-47.5000000,13.4000000,0.0000000])"));
}

// The document is the same with a second thread and reads back with the fields written.
TEST(GeojsonWriter, ReadsBackWithItsFields) {
    poiset_list list;
    poiset& set = add_set(list, "Trip \xE9", false);
    for (int i = 0; i < 9000; ++i) add_point(set, 47 + i / 1000.0, 19, "p" + std::to_string(i));
    waypoint& w = add_point(set, 47.25, 19.5, "Fuel \xE9");
    w.comment = set.store("open 0-24");
    w.description = set.store("line 1\nline 2");
    w.symbol = set.store("gas station");  // as GPX input lowers it
    w.flags |= has_speed | has_proximity;
    w.speed = 50;
    w.proximity = 300;
    testing::add_address(set, w, address_street, "F\xF5 utca 1");
    testing::add_address(set, w, address_city, "Budapest");
    testing::add_phone(set, w, contact_phone, "+36 1");
    testing::add_phone(set, w, contact_web, "https://x.example");
    (void)set.add_to_category(w, "Fuel");
    (void)set.add_to_category(w, "Caf\xE9");
    osm_mapping mapping;
    mapping.maki = {{"fuel", "Gas Station"}, {"cafe", "Restaurant"}};

    std::string document = geojson_document(list, {&mapping, {}});
    EXPECT_EQ(geojson_document(list, {&mapping, split_policy{1}}), document);
    EXPECT_TRUE(contains(document, R"("symbol":"gas station","marker-symbol":"fuel")"));

    poiset_list back;
    message_capture capture;
    ASSERT_TRUE(geojson_read(document, "t.geojson", "t", {}, back)) << capture.text();
    ASSERT_EQ(back.count(), 1);
    const poiset& read = *back.poisets[0];
    EXPECT_EQ(read.name, "Trip \xC3\xA9");
    ASSERT_EQ(read.count(), 9001);
    const waypoint& r = read.waypoints[9000];
    EXPECT_EQ(*r.name, "Fuel \xC3\xA9");
    EXPECT_EQ(*r.comment, "open 0-24");
    EXPECT_EQ(*r.description, "line 1\nline 2");
    EXPECT_EQ(*r.symbol, "gas station");
    EXPECT_EQ(r.lat, 47.25);
    EXPECT_EQ(r.flags & (has_speed | has_proximity | proximity_from_speed),
              has_speed | has_proximity);
    EXPECT_EQ(r.speed, 50);
    EXPECT_EQ(r.proximity, 300);
    EXPECT_EQ(testing::details_text(read, r),
              "City=Budapest\nStreet=F\xC5\x91 utca 1\nphone PhoneNo=+36 1\n"
              "phone Web=https://x.example\ncategory Fuel\ncategory Caf\xC3\xA9\n");
}

}  // namespace
}  // namespace velmora
