// End-to-end runs of the program with GeoJSON inputs (the bundled examples).
#include <gtest/gtest.h>
#include <simdjson.h>

#include <set>
#include <string>

#include "support/test_support.hpp"

namespace velmora {
namespace {

using testing::contains;
using testing::read_file;
using testing::run_velmora;
using testing::write_file;

std::string example(const char* name) {
    return testing::source_dir() + "/examples/" + name;
}

TEST(GeojsonCli, ConvertsTheOverpassExampleWithTheOpenStreetMapMapping) {
    testing::temp_dir dir;
    auto gpx = run_velmora({example("overpass.geojson"), "-lang:en", "-o", "out.gpx"},
                           dir.path().string());
    ASSERT_EQ(gpx.exit_code, 0) << gpx.err;
    EXPECT_TRUE(
        contains(gpx.err, "1 features with lines (LineString, MultiLineString) were left out"))
        << gpx.err;
    EXPECT_TRUE(contains(gpx.err, "imported 4 pois")) << gpx.err;
    std::string out = read_file(dir.file("out.gpx"));
    for (const char* part :
         {"<name>Nordtank Seeweg</name>", "<sym>Gas Station</sym>",
          "<name>Market Square Charger</name>", "<name>Pond Side Camping</name>",
          "<name>speed camera@50</name>", "<wpt lat=\"52.5020000\" lon=\"13.3930000\">"}) {
        EXPECT_TRUE(contains(out, part)) << part;
    }
    // The -tags: filter, optional here, selects and gives categories.
    auto filtered = run_velmora({example("overpass.geojson"), "-tags:amenity=fuel", "-o", "f.gpx"},
                                dir.path().string());
    ASSERT_EQ(filtered.exit_code, 0) << filtered.err;
    out = read_file(dir.file("f.gpx"));
    EXPECT_TRUE(contains(out, "<gpxx:Category>Fuel stations</gpxx:Category>"));
    EXPECT_FALSE(contains(out, "Pond Side"));
}

TEST(GeojsonCli, TakesUmapLayersAsCategoriesOrAsGroupsToGpi) {
    testing::temp_dir dir;
    auto one = run_velmora({example("trip.umap"), "-o", "one.gpx"}, dir.path().string());
    ASSERT_EQ(one.exit_code, 0) << one.err;
    std::string out = read_file(dir.file("one.gpx"));
    EXPECT_TRUE(contains(out, "<gpxx:Category>Sleep</gpxx:Category>"));
    EXPECT_TRUE(contains(out, "<sym>Campground</sym>"));  // marker-symbol campsite
    EXPECT_TRUE(contains(out, "seats: 40\nterrace: true"));

    auto groups = run_velmora({example("trip.umap"), "-groups:folders", "-o", "groups.gpi"},
                              dir.path().string());
    ASSERT_EQ(groups.exit_code, 0) << groups.err;
    std::string bytes = read_file(dir.file("groups.gpi"));
    for (const char* group : {"Food", "Sleep", "Sights"}) EXPECT_TRUE(contains(bytes, group));

    auto wrong =
        run_velmora({example("trip.umap"), "-groups:layers", "-o", "x.gpi"}, dir.path().string());
    EXPECT_EQ(wrong.exit_code, 1);
    EXPECT_TRUE(contains(wrong.err, "-groups: takes folders or file")) << wrong.err;
}

TEST(GeojsonCli, ABrokenFileIsAnInputLeftOutAndTheOutputStays) {
    testing::temp_dir dir;
    testing::write_file(dir.file("cut.json"), "{\"type\":\"FeatureCollection\",\n\"features\":[{");
    testing::write_file(dir.file("out.gpx"), "before");
    auto alone = run_velmora({"cut.json", "-o", "out.gpx"}, dir.path().string());
    EXPECT_EQ(alone.exit_code, 1);
    EXPECT_TRUE(contains(alone.err, "Error: Reading the GeoJSON file")) << alone.err;
    EXPECT_EQ(read_file(dir.file("out.gpx")), "before");
    auto beside =
        run_velmora({"cut.json", example("trip.umap"), "-o", "out.gpx"}, dir.path().string());
    EXPECT_EQ(beside.exit_code, 2) << beside.err;
    EXPECT_TRUE(contains(beside.err, "1 of 2 inputs left out: 1. cut.json")) << beside.err;
}

// The features of a GeoJSON output, one a line, without the collection around them.
std::string features_of(const std::string& document) {
    std::size_t start = document.find("\n");
    std::size_t end = document.rfind("\n]}");
    if (start == std::string::npos || end == std::string::npos || end < start) return document;
    return document.substr(start, end - start);
}

TEST(GeojsonOutput, GpxToGeojsonAndBackKeepsTheFields) {
    testing::temp_dir dir;
    write_file(
        dir.file("in.gpx"),
        R"(<?xml version="1.0" encoding="UTF-8"?>)"
        R"(<gpx version="1.1" xmlns:gpxx="http://www.garmin.com/xmlschemas/GpxExtensions/v3">)"
        "<wpt lat=\"47.5\" lon=\"19.04\"><name>K\xC3\xA1v\xC3\xA9 &amp; \"T\" "
        "&lt;script&gt;@50</name><cmt>8-20</cmt><desc>two\nlines</desc><sym>Restaurant</sym>"
        "<extensions><gpxx:WaypointExtension><gpxx:Categories><gpxx:Category>Food"
        "</gpxx:Category><gpxx:Category>Bar</gpxx:Category></gpxx:Categories><gpxx:Address>"
        "<gpxx:StreetAddress>F\xC5\x91 utca 1</gpxx:StreetAddress><gpxx:City>Budapest"
        "</gpxx:City><gpxx:PostalCode>1011</gpxx:PostalCode></gpxx:Address><gpxx:PhoneNumber>"
        "+36 1</gpxx:PhoneNumber><gpxx:PhoneNumber Category=\"Fax\">+36 2</gpxx:PhoneNumber>"
        "</gpxx:WaypointExtension></extensions></wpt><wpt lat=\"-33.9\" lon=\"-70.1\">"
        "<name>Plain</name></wpt></gpx>");
    for (auto args : {std::vector<std::string>{"in.gpx", "-o", "a.gpx"},
                      {"in.gpx", "-o", "x.geojson"},
                      {"x.geojson", "-o", "b.gpx"}}) {
        auto run = run_velmora(args, dir.path().string());
        ASSERT_EQ(run.exit_code, 0) << run.err;
    }
    EXPECT_EQ(read_file(dir.file("b.gpx")), read_file(dir.file("a.gpx")));
    std::string json = read_file(dir.file("x.geojson"));
    EXPECT_TRUE(contains(json, "\"name\":\"K\xC3\xA1v\xC3\xA9 & \\\"T\\\" <script>\""));
    EXPECT_TRUE(contains(json, R"("category":["Food","Bar"])")) << json;
}

// What GPI files hold comes back: texts (through the GPI code page), address, contacts,
// categories and alerts.  (The positions are whole semicircles.)
TEST(GeojsonOutput, GeojsonThroughGpiKeepsTheFields) {
    testing::temp_dir dir;
    write_file(
        dir.file("in.geojson"),
        R"({"type":"FeatureCollection","features":[{"type":"Feature","geometry":)"
        R"({"type":"Point","coordinates":[11.25,45]},"properties":{"name":"Caf\u00e9",)"
        R"("comment":"8-20","description":"a\nb","category":["Food","Bar"],)"
        R"("street":"F\u0151 utca 1","city":"Budapest","phone":"+36 1","phone:Fax":"+36 2",)"
        R"("website":"https://x.example","email":"a@x.example","proximity":500,"speed":36}},)"
        R"({"type":"Feature","geometry":{"type":"Point","coordinates":[-67.5,-22.5]},)"
        R"("properties":{"name":"Radar","speed":72,"set":"Radars"}}]})");
    for (auto args : {std::vector<std::string>{"in.geojson", "-o", "a.geojson"},
                      {"in.geojson", "-o", "t.gpi"},
                      {"t.gpi", "-o", "b.geojson"}}) {
        auto run = run_velmora(args, dir.path().string());
        ASSERT_EQ(run.exit_code, 0) << run.err;
    }
    std::string direct = read_file(dir.file("a.geojson"));
    EXPECT_TRUE(contains(direct, R"("phone:Fax":"+36 2")")) << direct;
    // The second feature's set is a group of its own in the GPI file.
    EXPECT_TRUE(contains(direct, R"("set":"in"}})")) << direct;
    EXPECT_EQ(features_of(read_file(dir.file("b.geojson"))), features_of(direct));
}

// The "set" properties of a document, in order.
std::vector<std::string> sets_of(const std::string& document) {
    std::vector<std::string> sets;
    constexpr std::string_view key = R"("set":")";
    for (std::size_t at = document.find(key); at != std::string::npos;
         at = document.find(key, at + 1)) {
        const std::size_t start = at + key.size();
        sets.push_back(document.substr(start, document.find('"', start) - start));
    }
    return sets;
}

TEST(GeojsonOutput, GpiGroupsComeBackThroughGeojson) {
    VELMORA_REQUIRE_REAL(path, "gpi/umsonstdraussen.gpi");
    testing::temp_dir dir;
    for (auto args : {std::vector<std::string>{path, "-o", "a.geojson"},
                      {"a.geojson", "-codepage:auto", "-o", "b.gpi"},
                      {"b.gpi", "-o", "c.geojson"}}) {
        auto run = run_velmora(args, dir.path().string());
        ASSERT_EQ(run.exit_code, 0) << run.err;
    }
    const std::vector<std::string> sets = sets_of(read_file(dir.file("a.geojson")));
    ASSERT_EQ(sets.size(), 78u);
    EXPECT_EQ(std::set<std::string>(sets.begin(), sets.end()).size(), 5u);
    EXPECT_EQ(sets_of(read_file(dir.file("c.geojson"))), sets);
}

// Valid JSON of the shape RFC 7946 gives a collection of points.
void expect_points(const std::string& document, std::size_t count) {
    simdjson::dom::parser parser;
    simdjson::dom::element root = parser.parse(document);
    EXPECT_EQ(std::string_view(root["type"]), "FeatureCollection");
    simdjson::dom::array features = root["features"];
    EXPECT_EQ(features.size(), count);
    for (simdjson::dom::element f : features) {
        EXPECT_EQ(std::string_view(f["geometry"]["type"]), "Point");
        EXPECT_EQ(simdjson::dom::array(f["geometry"]["coordinates"]).size(), 2u);
    }
}

TEST(GeojsonOutput, StandardOutputAndRealFilesGiveJson) {
    testing::temp_dir dir;
    auto out =
        run_velmora({example("trip.umap"), "-o", "-", "-format:geojson"}, dir.path().string());
    ASSERT_EQ(out.exit_code, 0) << out.err;
    EXPECT_TRUE(out.out.starts_with(R"({"type":"FeatureCollection","name":"Velmora summer trip")"));
    expect_points(out.out, 5);
    for (auto [sample, count] :
         {std::pair{"geojson/fuel.geojson", 14}, {"geojson/data.umap", 33}}) {
        std::string path = testing::real_file(sample);
        if (path.empty()) continue;
        auto run = run_velmora({path, "-o", "real.geojson"}, dir.path().string());
        ASSERT_EQ(run.exit_code, 0) << run.err;
        expect_points(read_file(dir.file("real.geojson")), static_cast<std::size_t>(count));
    }
}

}  // namespace
}  // namespace velmora
