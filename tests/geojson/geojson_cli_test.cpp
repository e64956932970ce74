// End-to-end runs of the program with GeoJSON inputs (the bundled examples).
#include <gtest/gtest.h>

#include <string>

#include "support/test_support.hpp"

namespace velmora {
namespace {

using testing::contains;
using testing::read_file;
using testing::run_velmora;

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

}  // namespace
}  // namespace velmora
