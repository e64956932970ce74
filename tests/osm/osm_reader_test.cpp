// OpenStreetMap input: the tag filter, way centres, the fields taken from tags, speed
// cameras, the mapping file and damaged files.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <bzlib.h>
#include <zlib.h>

#include <cmath>
#include <cstring>
#include <map>
#include <string>

#include "osm/osm_import.hpp"
#include "osm/osm_reader.hpp"
#include "platform/messages.hpp"
#include "support/test_support.hpp"
#include "tags/osm_filter.hpp"
#include "tags/osm_mapping.hpp"
#include "tags/osm_poi.hpp"

namespace velmora {
namespace {

// Tags as a plain map, with the lookup the filter and the POI step use.
struct tag_map {
    std::map<std::string, std::string> tags;
    const char* get_value_by_key(const char* key) const {
        auto it = tags.find(key);
        return it == tags.end() ? nullptr : it->second.c_str();
    }
};

osm_tag_filter filter_of(const std::string& text) {
    std::string error;
    auto filter = parse_osm_tag_filter(text, error);
    EXPECT_TRUE(filter) << text << ": " << error;
    return filter.value_or(osm_tag_filter{});
}

TEST(OsmTagFilter, AnyTermMatchesAndEachValueIsACategory) {
    osm_tag_filter filter = filter_of("amenity=fuel|charging_station, tourism=camp_site,shop");
    EXPECT_EQ(filter.categories,
              (std::vector<std::string>{"amenity=fuel", "amenity=charging_station",
                                        "tourism=camp_site", "shop"}));
    struct {
        std::map<std::string, std::string> tags;
        int category;
    } cases[] = {
        {{{"amenity", "fuel"}}, 0},
        {{{"amenity", "charging_station"}, {"name", "x"}}, 1},
        {{{"amenity", "parking"}}, -1},  // value not listed
        {{{"tourism", "camp_site"}}, 2},
        {{{"shop", "bakery"}}, 3},    // a key alone takes any value
        {{{"Amenity", "fuel"}}, -1},  // keys and values are exact
        {{{"amenity", "Fuel"}}, -1},
        {{{"shop", "x"}, {"amenity", "fuel"}}, 0},  // the first term of the filter wins
        {{}, -1},
    };
    for (const auto& c : cases) {
        osm_tag_match match = match_osm_tags(filter, tag_map{c.tags});
        EXPECT_EQ(match.category, c.category) << c.tags.size();
    }
}

TEST(OsmTagFilter, RefusesFiltersWithoutKeysOrWithEmptyValues) {
    for (const char* text : {"", " ", "=fuel", "amenity=", "amenity=fuel|", "amenity=fuel,,shop"}) {
        std::string error;
        EXPECT_FALSE(parse_osm_tag_filter(text, error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

TEST(OsmWayCentre, IsTheCentroidOfTheRingsArea) {
    // A square: its middle.
    osm_point square = ring_centre({{0, 0}, {0, 2}, {2, 2}, {2, 0}});
    EXPECT_DOUBLE_EQ(square.lat, 1.0);
    EXPECT_DOUBLE_EQ(square.lon, 1.0);
    // An L of three unit squares: the area's centroid (5/6, 5/6), not the mean of the
    // six corners (1, 1) that the long sides would pull away.
    osm_point l_shape = ring_centre({{0, 0}, {0, 2}, {1, 2}, {1, 1}, {2, 1}, {2, 0}});
    EXPECT_NEAR(l_shape.lat, 5.0 / 6.0, 1e-12);
    EXPECT_NEAR(l_shape.lon, 5.0 / 6.0, 1e-12);
    // Points in a line enclose nothing: their mean.
    osm_point flat = ring_centre({{47, 19}, {47, 19.5}, {47, 20}});
    EXPECT_DOUBLE_EQ(flat.lat, 47.0);
    EXPECT_DOUBLE_EQ(flat.lon, 19.5);
    // An island across the antimeridian lies on it, not on the far side of the earth.
    osm_point across = ring_centre({{-17, 179}, {-17, -179}, {-15, -179}, {-15, 179}});
    EXPECT_NEAR(across.lat, -16.0, 1e-9);
    EXPECT_NEAR(std::fabs(across.lon), 180.0, 1e-9);
    osm_point east = ring_centre({{-17, 179.5}, {-17, -179.5}, {-15, -179.5}});
    EXPECT_NEAR(east.lon, -179.5 - 1.0 / 3.0, 1e-9);
    osm_point line_across = ring_centre({{0, 179}, {0, -179}});
    EXPECT_NEAR(std::fabs(line_across.lon), 180.0, 1e-9);
}

TEST(OsmPoiFields, ComeFromTheTagsWithLanguageAndFallbacks) {
    osm_mapping mapping;
    mapping.symbols["amenity=fuel"] = "Gas Station";
    tag_map tags{{{"amenity", "fuel"},
                  {"name", "Tankstelle"},
                  {"name:en", "Fuel station"},
                  {"opening_hours", "Mo-Fr 06:00-22:00"},
                  {"brand", "Nordtank"},
                  {"operator", "Nordtank AG"},
                  {"addr:street", "Hauptstraße"},
                  {"addr:housenumber", "5"},
                  {"addr:postcode", "1011"},
                  {"addr:city", "Velmora"},
                  {"addr:country", "HU"},
                  {"contact:phone", "+36 1 555"},
                  {"contact:fax", "+36 1 556"},
                  {"contact:email", "info@example.org"},
                  {"website", "https://example.org"}}};
    osm_tag_filter filter = filter_of("amenity=fuel");
    osm_tag_match match = match_osm_tags(filter, tags);
    osm_poi poi = make_osm_poi(tags, match, 47.5, 19.25, {"", &mapping});
    EXPECT_EQ(poi.name, "Tankstelle");
    EXPECT_EQ(poi.symbol, "Gas Station");
    EXPECT_EQ(poi.comment, "Mo-Fr 06:00-22:00");
    EXPECT_EQ(poi.description, "Nordtank");  // brand before operator
    EXPECT_EQ(poi.street, "Hauptstraße");
    EXPECT_EQ(poi.house_number, "5");
    EXPECT_EQ(poi.postcode, "1011");
    EXPECT_EQ(poi.city, "Velmora");
    EXPECT_EQ(poi.country, "HU");
    EXPECT_EQ(poi.phone, "+36 1 555");
    EXPECT_EQ(poi.website, "https://example.org");
    EXPECT_EQ(poi.fax, "+36 1 556");
    EXPECT_EQ(poi.email, "info@example.org");
    EXPECT_FALSE(poi.speed_kmh);
    EXPECT_EQ(make_osm_poi(tags, match, 0, 0, {"en", nullptr}).name, "Fuel station");
    EXPECT_EQ(make_osm_poi(tags, match, 0, 0, {"fr", nullptr}).name, "Tankstelle");
    EXPECT_EQ(make_osm_poi(tags, match, 0, 0, {"", nullptr}).symbol, "");

    tags.tags["description"] = "Open all night";
    EXPECT_EQ(make_osm_poi(tags, match, 0, 0, {}).description, "Open all night");
    // Without a name an object is named by the value of the tag that matched.
    tag_map unnamed{{{"amenity", "charging_station"}, {"operator", "Stadtwerke"}}};
    osm_tag_filter any = filter_of("amenity");
    osm_poi charging = make_osm_poi(unnamed, match_osm_tags(any, unnamed), 0, 0, {});
    EXPECT_EQ(charging.name, "charging station");
    EXPECT_EQ(charging.description, "Stadtwerke");
}

TEST(OsmSpeedCameras, TakeTheirAlertFromMaxspeedInKmh) {
    struct {
        const char* maxspeed;
        double kmh;  // 0: no alert
    } cases[] = {
        {"50", 50},  {"30 mph", 48.28032}, {"20mph", 32.18688}, {"50;30", 50}, {"70.5", 70.5},
        {"none", 0}, {"signals", 0},       {"RU:urban", 0},     {"0", 0},      {"-30", 0},
        {"nan", 0},  {"5000", 0},          {"50 km/h", 0},      {"", 0}};
    osm_tag_filter filter = filter_of("highway=speed_camera");
    for (const auto& c : cases) {
        tag_map tags{{{"highway", "speed_camera"}, {"maxspeed", c.maxspeed}}};
        osm_poi poi = make_osm_poi(tags, match_osm_tags(filter, tags), 0, 0, {});
        if (c.kmh == 0) {
            EXPECT_FALSE(poi.speed_kmh) << c.maxspeed;
        } else {
            ASSERT_TRUE(poi.speed_kmh) << c.maxspeed;
            EXPECT_NEAR(*poi.speed_kmh, c.kmh, 1e-9) << c.maxspeed;
        }
    }
    // maxspeed of anything else is the road's limit, not an alert.
    tag_map fuel{{{"amenity", "fuel"}, {"maxspeed", "50"}}};
    EXPECT_FALSE(
        make_osm_poi(fuel, match_osm_tags(filter_of("amenity"), fuel), 0, 0, {}).speed_kmh);
}

TEST(OsmSymbolIndex, FindsWhatTheMappingGivesForEveryTag) {
    osm_mapping mapping;
    mapping.symbols = {{"amenity=fuel", "Gas Station"},
                       {"shop", "Shopping Center"},
                       {"shop=convenience", "Convenience Store"},
                       {"a=b=c", "Both"},
                       {"a=b", "Key and value"},
                       {"note=", "Empty value"},
                       {"=x", "Empty key"},
                       {"a_key_longer_than_thirty_two_bytes=v", "Long"}};
    const osm_symbol_index index(mapping);
    // "a=b=c" is the key "a" with the value "b=c" as well as the key "a=b" with "c".
    const std::pair<const char*, const char*> tags[] = {
        {"amenity", "fuel"},
        {"amenity", "bar"},
        {"shop", "convenience"},
        {"shop", "bakery"},
        {"a", "b=c"},
        {"a=b", "c"},
        {"a", "b"},
        {"a=b", "d"},
        {"a", "c"},
        {"note", ""},
        {"", "x"},
        {"amenity=fuel", "y"},
        {"@id", "node/1"},
        {"", ""},
        {"amenitx", "fuel"},
        {"shoq", "x"},
        {"a_key_longer_than_thirty_two_bytes", "v"},
        {"a_key_longer_than_thirty_two_bytes!", "v"},
    };
    for (const auto& [key, value] : tags) {
        const std::string* expected = osm_symbol_for(mapping, key, value);
        const std::string* found = index.find(key, value);
        EXPECT_EQ(found, expected)
            << key << " = " << value << ": " << (found != nullptr ? *found : "(none)");
    }
    EXPECT_EQ(index.find("a", "b=c"), &mapping.symbols.at("a=b=c"));
}

TEST(OsmMappingFile, GivesSymbolsByTagThenKeyAndCategoryNames) {
    testing::temp_dir dir;
    testing::write_file(dir.file("map.ini"),
                        "; comment\n[OsmSymbols]\namenity=fuel=Gas Station ; trailing\n"
                        "shop=Shopping Center\nshop=convenience=Convenience Store\n"
                        "no separator\n[osmcategories]\namenity=fuel=Fuel stations\n"
                        "[Other]\namenity=bar=Bar\n");
    message_capture messages;
    auto mapping = read_osm_mapping(dir.file("map.ini"));
    ASSERT_TRUE(mapping);
    auto symbol = [&](const char* key, const char* value) {
        const std::string* s = osm_symbol_for(*mapping, key, value);
        return s != nullptr ? *s : std::string("(none)");
    };
    EXPECT_EQ(symbol("amenity", "fuel"), "Gas Station");
    EXPECT_EQ(symbol("shop", "convenience"), "Convenience Store");
    EXPECT_EQ(symbol("shop", "bakery"), "Shopping Center");
    EXPECT_EQ(symbol("amenity", "bar"), "(none)");  // its section is not one of the file's
    EXPECT_EQ(osm_category_name(*mapping, "amenity=fuel"), "Fuel stations");
    EXPECT_EQ(osm_category_name(*mapping, "tourism=camp_site"), "tourism=camp_site");
    EXPECT_NE(messages.text().find("Unexpected line no separator"), std::string::npos);
    EXPECT_NE(messages.text().find("line 6"), std::string::npos);
    EXPECT_NE(messages.text().find("Unexpected section name [Other]"), std::string::npos);

    messages.clear();
    EXPECT_FALSE(read_osm_mapping(dir.file("absent.ini")));
    EXPECT_NE(messages.text().find("No such file or directory"), std::string::npos);
}

TEST(OsmImport, GivesOneSetWithACategoryPerMatchingTermAndEveryAddressPartAndContact) {
    osm_tag_filter filter = filter_of("amenity=fuel|charging_station|parking,shop");
    osm_mapping mapping;
    mapping.categories["amenity=parking"] = "Parking";
    osm_poi fuel;
    fuel.category = 0;
    fuel.name = "K\xC3\xBAt";
    fuel.street = "F\xC5\x91 utca";
    fuel.house_number = "5";
    fuel.postcode = "1011";
    fuel.city = "Velmora";
    fuel.state = "Pest";
    fuel.country = "HU";
    fuel.phone = "+36 1";
    fuel.fax = "+36 2";
    fuel.email = "a@b.hu";
    fuel.website = "https://k.hu";
    osm_poi parking;
    parking.category = 2;
    parking.name = "P";
    osm_poi shop;
    shop.category = 3;
    shop.name = "Bolt";
    osm_read_result result;
    result.pois = {parking, fuel, shop, fuel};
    poiset_list list;
    ASSERT_EQ(add_osm_pois(list, result, filter, &mapping, "extract"), 4);
    ASSERT_EQ(list.count(), 1);
    const poiset& set = *list.poisets[0];
    EXPECT_EQ(set.name, "extract");
    EXPECT_TRUE(set.is_utf8);
    // Numbered in the filter's order, the term that matched nothing left out.
    ASSERT_EQ(set.categories.size(), 3u);
    EXPECT_EQ(set.categories[0], "amenity=fuel");
    EXPECT_EQ(set.categories[1], "Parking");
    EXPECT_EQ(set.categories[2], "shop");
    EXPECT_EQ(testing::details_text(set, set.waypoints[0]), "category Parking\n");
    EXPECT_EQ(testing::details_text(set, set.waypoints[1]),
              "City=Velmora\nCountry=HU\nHouseNumber=5\nPostcode=1011\nState=Pest\n"
              "Street=F\xC5\x91 utca\nphone PhoneNo=+36 1\nphone Fax=+36 2\n"
              "phone Email=a@b.hu\nphone Web=https://k.hu\ncategory amenity=fuel\n");
    EXPECT_EQ(testing::details_text(set, set.waypoints[2]), "category shop\n");
    EXPECT_TRUE(result.pois.empty());
}

const char* const extract = R"(<?xml version="1.0" encoding="UTF-8"?>
<osm version="0.6">
  <node id="1" lat="47.5" lon="19.0"><tag k="amenity" v="fuel"/><tag k="name" v="Kút"/></node>
  <node id="2" lat="47.0" lon="19.0"/>
  <node id="3" lat="47.0" lon="19.2"/>
  <node id="4" lat="47.2" lon="19.2"/>
  <node id="5" lat="47.2" lon="19.0"/>
  <node id="6" lat="91.0" lon="19.0"><tag k="amenity" v="fuel"/></node>
  <node id="7" lat="47.1" lon="19.1"><tag k="amenity" v="bench"/></node>
  <way id="10"><nd ref="2"/><nd ref="3"/><nd ref="4"/><nd ref="5"/><nd ref="2"/>
    <tag k="amenity" v="parking"/></way>
  <way id="11"><nd ref="2"/><nd ref="3"/><nd ref="4"/><tag k="amenity" v="fuel"/></way>
  <way id="12"><nd ref="2"/><nd ref="3"/><nd ref="99"/><nd ref="2"/><tag k="amenity" v="fuel"/></way>
  <way id="13"><nd ref="2"/><nd ref="3"/><nd ref="4"/></way>
  <way id="14"><nd ref="4"/><nd ref="5"/><nd ref="2"/></way>
  <relation id="20"><member type="way" ref="10" role="outer"/><member type="way" ref="77" role="outer"/>
    <tag k="type" v="multipolygon"/><tag k="amenity" v="parking"/></relation>
  <relation id="21"><member type="node" ref="1"/><member type="way" ref="13" role="outer"/>
    <member type="way" ref="14" role="outer"/><tag k="type" v="multipolygon"/>
    <tag k="amenity" v="fuel"/><tag k="name" v="Split"/></relation>
  <relation id="22"><member type="way" ref="13" role="outer"/>
    <tag k="type" v="multipolygon"/><tag k="amenity" v="fuel"/></relation>
  <relation id="23"><member type="way" ref="10"/><tag k="type" v="site"/><tag k="amenity" v="fuel"/></relation>
</osm>
)";

TEST(OsmReading, TakesNodesClosedWaysAndMultipolygonsAndCountsWhatItLeavesOut) {
    osm_read_options options{filter_of("amenity=fuel|parking"), {}};
    auto result = read_osm_bytes(extract, "osm", "extract.osm", options);
    ASSERT_TRUE(result);
    ASSERT_EQ(result->pois.size(), 3u);
    EXPECT_EQ(result->pois[0].name, "Kút");
    EXPECT_EQ(result->pois[0].category, 0);
    EXPECT_EQ(result->pois[1].name, "parking");  // the way, at its centre
    EXPECT_EQ(result->pois[1].category, 1);
    EXPECT_NEAR(result->pois[1].lat, 47.1, 1e-7);
    EXPECT_NEAR(result->pois[1].lon, 19.1, 1e-7);
    // Relation 21: a ring of two ways, the node member passed over.
    EXPECT_EQ(result->pois[2].name, "Split");
    EXPECT_NEAR(result->pois[2].lat, 47.1, 1e-7);
    EXPECT_NEAR(result->pois[2].lon, 19.1, 1e-7);
    EXPECT_EQ(result->nodes, 1);
    EXPECT_EQ(result->ways, 1);
    EXPECT_EQ(result->multipolygons, 1);
    EXPECT_EQ(result->out_of_range, 1);     // node 6
    EXPECT_EQ(result->open_ways, 1);        // way 11
    EXPECT_EQ(result->missing_nodes, 1);    // way 12 refers to node 99
    EXPECT_EQ(result->missing_members, 1);  // relation 20 refers to way 77
    EXPECT_EQ(result->unassembled, 1);      // relation 22's ring is open
    EXPECT_EQ(result->relations, 1);        // relation 23 is no multipolygon
}

// An extract of n square parkings, each a multipolygon of one outer way.
std::string square_multipolygons(int n) {
    std::string xml = "<osm version=\"0.6\">\n";
    for (int i = 0; i < n; ++i) {
        std::string lat = std::to_string(i), id = std::to_string(10 * i + 1);
        for (int corner = 0; corner < 4; ++corner) {
            xml += "<node id=\"" + std::to_string(10 * i + 1 + corner) + "\" lat=\"" + lat +
                   (corner >= 2 ? ".01" : "") + "\" lon=\"" +
                   ((corner == 1 || corner == 2) ? "1.01" : "1") + "\"/>\n";
        }
        xml += "<way id=\"" + id + "\">";
        for (int corner : {1, 2, 3, 4, 1})
            xml += "<nd ref=\"" + std::to_string(10 * i + corner) + "\"/>";
        xml += "</way>\n";
    }
    for (int i = 0; i < n; ++i) {
        xml += "<relation id=\"" + std::to_string(i + 1) + "\"><member type=\"way\" ref=\"" +
               std::to_string(10 * i + 1) +
               "\" role=\"outer\"/><tag k=\"type\" v=\"multipolygon\"/>"
               "<tag k=\"amenity\" v=\"parking\"/><tag k=\"name\" v=\"P" +
               std::to_string(i) + "\"/></relation>\n";
    }
    return xml + "</osm>\n";
}

TEST(OsmReading, AssemblesEveryMultipolygonOfAnExtract) {
    osm_read_options options{filter_of("amenity"), {}};
    auto result = read_osm_bytes(square_multipolygons(10), "osm", "squares.osm", options);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->multipolygons, 10);
    EXPECT_EQ(result->unassembled, 0);
    ASSERT_EQ(result->pois.size(), 10u);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(result->pois[static_cast<std::size_t>(i)].name, "P" + std::to_string(i));
        EXPECT_NEAR(result->pois[static_cast<std::size_t>(i)].lat, i + 0.005, 1e-7);
        EXPECT_NEAR(result->pois[static_cast<std::size_t>(i)].lon, 1.005, 1e-7);
    }
}

// Extracts joined by osmium cat from overlapping ones hold some objects twice, in
// places of their own: each becomes one POI, the first copy.
TEST(OsmReading, AnObjectAnExtractHoldsTwiceIsOnePoi) {
    std::string squares = square_multipolygons(1);
    std::string body = squares.substr(squares.find('\n') + 1);
    body.erase(body.rfind("</osm>"));
    const std::string fuel =
        "<node id=\"5\" lat=\"2\" lon=\"2\"><tag k=\"amenity\" v=\"fuel\"/>"
        "<tag k=\"name\" v=\"N\"/></node>\n";
    const std::string way =
        "<way id=\"7\"><nd ref=\"1\"/><nd ref=\"2\"/><nd ref=\"3\"/>"
        "<nd ref=\"4\"/><nd ref=\"1\"/><tag k=\"amenity\" v=\"parking\"/>"
        "<tag k=\"name\" v=\"W\"/></way>\n";
    std::string joined =
        "<osm version=\"0.6\">\n" + fuel + body + way + fuel + body + way + "</osm>";
    osm_read_options options{filter_of("amenity"), {}};
    auto result = read_osm_bytes(joined, "osm", "joined.osm", options);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->nodes, 1);
    EXPECT_EQ(result->ways, 1);
    EXPECT_EQ(result->multipolygons, 1);
    ASSERT_EQ(result->pois.size(), 3u);
    EXPECT_EQ(result->pois[0].name, "N");
    EXPECT_EQ(result->pois[1].name, "W");
    EXPECT_EQ(result->pois[2].name, "P0");
}

// Inputs that once made the multipolygon assembly read freed memory, assembled only an
// extract's first multipolygon, or lost the ways and multipolygons of objects an
// extract holds twice (as osmium cat of overlapping extracts leaves them): each gives
// every object whole.
TEST(OsmReading, KeepsEveryObjectOfTheFilesThatOnceLostThem) {
    struct {
        const char* file;
        std::int64_t ways;
        std::int64_t multipolygons;
    } cases[] = {
        {"osm_mp_uaf.osm", 0, 3},
        {"osm_ten_multipolygons.osm", 0, 10},
        {"osm_two_multipolygons.osm", 0, 2},
        {"osm_dup_node.osm.pbf", 1, 0},  // a node twice, before nodes of the way
        {"osm_dup_way.osm.pbf", 0, 1},   // a member way twice, before the others
    };
    osm_read_options options{filter_of("amenity"), {}};
    for (const auto& c : cases) {
        std::string path = testing::repro_file(c.file);
        if (path.empty()) GTEST_SKIP() << "no " << c.file;
        message_capture messages;
        auto result = read_osm_file(path, options);
        ASSERT_TRUE(result) << c.file << messages.text();
        EXPECT_EQ(result->ways, c.ways) << c.file;
        EXPECT_EQ(result->multipolygons, c.multipolygons) << c.file;
        EXPECT_EQ(result->pois.size(), static_cast<std::size_t>(c.ways + c.multipolygons))
            << c.file;
        EXPECT_EQ(result->missing_nodes + result->missing_members + result->unassembled, 0)
            << c.file;
    }
}

TEST(OsmReading, ReadsO5m) {
    // Two nodes written by hand in o5m: a header, two node datasets (ids, lons and lats
    // as deltas in units of 100 nanodegrees, tags as inline string pairs), the end.
    const unsigned char bytes[] = {
        0xff, 0xe0, 0x04, 'o',  '5',  'm',  '2',  0x10, 0x29, 0x02, 0x00, 0xe0, 0x99, 0xbf, 0xb5,
        0x01, 0xa0, 0xcf, 0x80, 0xc5, 0x03, 0x00, 'a',  'm',  'e',  'n',  'i',  't',  'y',  0x00,
        'f',  'u',  'e',  'l',  0x00, 0x00, 'n',  'a',  'm',  'e',  0x00, 'N',  'o',  'r',  'd',
        't',  'a',  'n',  'k',  0x00, 0x10, 0x16, 0x02, 0x00, 0xd0, 0x8e, 0x2a, 0xc0, 0x9d, 0x0b,
        0x00, 'a',  'm',  'e',  'n',  'i',  't',  'y',  0x00, 'f',  'u',  'e',  'l',  0x00, 0xfe};
    osm_read_options options{filter_of("amenity=fuel"), {}};
    auto result = read_osm_bytes(std::string(reinterpret_cast<const char*>(bytes), sizeof bytes),
                                 "o5m", "two.o5m", options);
    ASSERT_TRUE(result);
    ASSERT_EQ(result->pois.size(), 2u);
    EXPECT_EQ(result->pois[0].name, "Nordtank");
    EXPECT_NEAR(result->pois[0].lat, 47.501, 1e-7);
    EXPECT_NEAR(result->pois[0].lon, 19.031, 1e-7);
    EXPECT_EQ(result->pois[1].name, "fuel");
    EXPECT_NEAR(result->pois[1].lat, 47.5102, 1e-7);
    EXPECT_NEAR(result->pois[1].lon, 19.0655, 1e-7);
}

TEST(OsmReading, RefusesDamagedFilesWithTheReason) {
    std::string text(extract);
    struct {
        std::string bytes;
        std::string format;
        std::string reason;
    } cases[] = {
        {text.substr(0, text.size() / 2), "osm", "XML parsing error"},
        {"<osm version=\"0.6\"><node id=\"1\" lat=\"x\" lon=\"1\"/></osm>", "osm", ""},
        {std::string("\0\0\0\x0dOSMHeader", 13), "pbf", "PBF"},
        {"BZh9garbage", "osm.bz2", "bzip2"},
    };
    osm_read_options options{filter_of("amenity"), {}};
    for (const auto& c : cases) {
        message_capture messages;
        EXPECT_FALSE(read_osm_bytes(c.bytes, c.format, "bad.osm", options)) << c.format;
        EXPECT_NE(messages.text().find("\nError: Reading the OSM file (bad.osm) failed: the file "
                                       "is damaged or cut short (" +
                                       c.reason),
                  std::string::npos)
            << messages.text();
    }
    // A huge exponent overflows inside the library's parser of coordinates: whatever
    // position it makes of that, reading goes on (also in the sanitizers' build).
    message_capture messages;
    (void)read_osm_bytes(
        "<osm version=\"0.6\"><node id=\"1\" lat=\"1\" lon=\"19.0e310\">"
        "<tag k=\"amenity\" v=\"fuel\"/></node></osm>",
        "osm", "huge.osm", options);
}

// A file whose compressed data ends early, or whose PBF blocks make no sense, is
// refused as damaged or cut short, with how far the reading came and libosmium's reason.
TEST(OsmReading, SaysADamagedOrCutShortFileIsSoAndWhere) {
    testing::temp_dir dir;
    gzFile gz = gzopen(dir.file("whole.osm.gz").c_str(), "wb");
    ASSERT_NE(gz, nullptr);
    ASSERT_EQ(gzwrite(gz, extract, static_cast<unsigned>(std::strlen(extract))),
              static_cast<int>(std::strlen(extract)));
    ASSERT_EQ(gzclose(gz), Z_OK);
    std::string gzip = testing::read_file(dir.file("whole.osm.gz"));
    std::string bzip2(std::strlen(extract) + 1000, '\0');
    auto bzip2_size = static_cast<unsigned>(bzip2.size());
    ASSERT_EQ(BZ2_bzBuffToBuffCompress(bzip2.data(), &bzip2_size, const_cast<char*>(extract),
                                       static_cast<unsigned>(std::strlen(extract)), 9, 0, 0),
              BZ_OK);
    struct {
        const char* name;
        std::string bytes;
        const char* reason;  // libosmium's
        bool where;          // libosmium counts the bytes it read
    } cases[] = {
        {"cut.osm.gz", gzip.substr(0, gzip.size() - 12), "(gzip error: read close failed)", true},
        {"cut.osm.bz2", bzip2.substr(0, bzip2_size - 20), "(bzip2 error: read failed: -7)", false},
        {"bad.osm.pbf", std::string("\0\0\0\x05\0\0\0\0\0\0\0", 11), "(invalid tag exception)",
         true},
    };
    osm_read_options options{filter_of("amenity"), {}};
    for (const auto& c : cases) {
        std::string path = dir.file(c.name);
        testing::write_file(path, c.bytes);
        message_capture messages;
        EXPECT_FALSE(read_osm_file(path, options)) << c.name;
        std::string text = messages.text();
        EXPECT_TRUE(testing::contains(text, "\nError: Reading the OSM file (" + path +
                                                ") failed: the file is damaged or cut short"))
            << text;
        EXPECT_TRUE(testing::contains(text, c.reason)) << text;
        EXPECT_EQ(testing::contains(text, "; reading stopped after "), c.where) << text;
        if (c.where) {
            EXPECT_TRUE(
                testing::contains(text, " of its " + std::to_string(c.bytes.size()) + " bytes ("))
                << text;
        }
    }
}

// The passes read the file twice: a named pipe is refused at once, as a device is,
// before anything opens it (which would wait for a writer).
TEST(OsmReading, RefusesANamedPipeOrADeviceAtOnce) {
    testing::temp_dir dir;
    std::string fifo = dir.file("extract.osm");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    osm_read_options options{filter_of("amenity"), {}};
    struct {
        std::string path;
        const char* kind;
    } cases[] = {{fifo, "it is a named pipe, not a file"}, {"/dev/null", "it is a device"}};
    for (const auto& c : cases) {
        message_capture messages;
        EXPECT_FALSE(osm_input_can_be_read_twice(c.path));
        EXPECT_FALSE(read_osm_file(c.path, options));
        EXPECT_TRUE(testing::contains(
            messages.text(), "\nError: Reading the OSM file (" + c.path + ") failed: " + c.kind))
            << messages.text();
        EXPECT_TRUE(testing::contains(messages.text(), "read in two passes")) << messages.text();
    }
    // A file passes; a name of nothing is left to the opening, which says why.
    EXPECT_TRUE(osm_input_can_be_read_twice(testing::source_dir() + "/examples/example.osm"));
    EXPECT_TRUE(osm_input_can_be_read_twice(dir.file("absent.osm")));
}

}  // namespace
}  // namespace velmora
