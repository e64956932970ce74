// End-to-end runs of the program with OpenStreetMap inputs (the bundled example extract).
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "support/test_support.hpp"

namespace velmora {
namespace {

using testing::read_file;
using testing::run_velmora;

using testing::contains;

std::string example_osm() {
    return testing::source_dir() + "/examples/example.osm";
}

const char* const all_tags =
    "-tags:amenity=fuel|charging_station|parking,tourism=camp_site,highway=speed_camera";

TEST(OsmCli, ConvertsTheExampleExtractToGpxAndGpi) {
    testing::temp_dir dir;
    auto gpx = run_velmora({example_osm(), all_tags, "-o", "out.gpx"}, dir.path().string());
    ASSERT_EQ(gpx.exit_code, 0) << gpx.err;
    EXPECT_TRUE(contains(
        gpx.err, "\n    matched 5 nodes, 2 closed ways and 1 multipolygons\n    imported 8 pois"))
        << gpx.err;
    std::string out = read_file(dir.file("out.gpx"));
    for (const char* part :
         {"<name>Nordtank Bergstraße</name>", "<cmt><![CDATA[24/7]]></cmt>",
          "<gpxx:StreetAddress>Bergstraße</gpxx:StreetAddress>", ">12</velmora:HouseNumber>",
          "<gpxx:PhoneNumber>+36 1 555 0101</gpxx:PhoneNumber>\n"
          "\t\t\t\t<gpxx:PhoneNumber Category=\"Web\">https://example.org/nordtank<",
          "<gpxx:Category>Fuel stations</gpxx:Category>",
          "<gpxx:Category>Speed cameras</gpxx:Category>", "<name>fuel</name>",
          "<name>speed camera@50</name>", "<gpxx:Proximity>500</gpxx:Proximity>",
          "<name>speed camera@48</name>",  // 30 mph
          "<wpt lat=\"47.5135000\" lon=\"19.0270000\">",
          // the multipolygon: its outer ring less its hole
          "<wpt lat=\"47.5045000\" lon=\"19.0720455\">"}) {
        EXPECT_TRUE(contains(out, part)) << part;
    }
    EXPECT_FALSE(contains(out, "bench"));  // not in the filter

    auto gpi =
        run_velmora({example_osm(), all_tags, "-lang:EN", "-o", "out.gpi"}, dir.path().string());
    ASSERT_EQ(gpi.exit_code, 0) << gpi.err;
    // Symbols from the bundled mapping file pick the bundled icons.
    for (const char* icon :
         {"'gas station'", "'car'", "'parking area'", "'campground'", "'danger area'"}) {
        EXPECT_TRUE(contains(gpi.err, icon)) << icon << gpi.err;
    }
    std::string bytes = read_file(dir.file("out.gpi"));
    for (const char* text : {"example", "Fuel stations", "Speed cameras", "Pond Side Camping",
                             "Nordtank Mountain Road", "Stadtwerke Velmora"}) {
        EXPECT_TRUE(contains(bytes, text)) << text;
    }
    EXPECT_FALSE(contains(bytes, "Camping am Weiher"));  // -lang:EN took name:en
}

TEST(OsmCli, RefusesOsmInputWithoutAUsableFilterBeforeReadingAnything) {
    testing::temp_dir dir;
    struct {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{example_osm(), "-o", "out.gpx"}, "needs a tag filter after it"},
        {{"-tags:amenity=fuel", example_osm(), "-o", "out.gpx"}, "must follow an OpenStreetMap"},
        {{example_osm(), "-tags:=fuel", "-o", "out.gpx"}, "can't be used: a term has no key"},
        {{example_osm(), "-tags:amenity", "-lang:x", "-o", "out.gpx"}, "two or three letters"},
    };
    for (const auto& c : cases) {
        auto result = run_velmora(c.args, dir.path().string());
        EXPECT_EQ(result.exit_code, 1) << c.message;
        EXPECT_TRUE(contains(result.err, c.message)) << result.err;
        EXPECT_FALSE(contains(result.err, "Importing...")) << result.err;
        EXPECT_FALSE(testing::file_exists(dir.file("out.gpx")));
    }
}

TEST(OsmCli, ReadsPbfAndCompressedXmlAsTheSameData) {
    if (std::system("osmium --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "osmium missing";
    testing::temp_dir dir;
    std::string base = dir.file("ex");
    ASSERT_EQ(std::system(("osmium cat -O '" + example_osm() + "' -o '" + base + ".osm.pbf' && " +
                           "osmium cat -O '" + example_osm() + "' -o '" + base + ".osm.bz2' && " +
                           "osmium cat -O '" + example_osm() + "' -o '" + base + ".osm.gz'")
                              .c_str()),
              0);
    auto reference = run_velmora({example_osm(), all_tags, "-o", "ref.gpx"}, dir.path().string());
    ASSERT_EQ(reference.exit_code, 0) << reference.err;
    for (const char* ext : {".osm.pbf", ".osm.bz2", ".osm.gz"}) {
        auto result = run_velmora({base + ext, all_tags, "-o", "out.gpx"}, dir.path().string());
        ASSERT_EQ(result.exit_code, 0) << ext << result.err;
        EXPECT_EQ(read_file(dir.file("out.gpx")), read_file(dir.file("ref.gpx"))) << ext;
    }
    // A cut PBF is refused as such, where it stopped and with libosmium's reason, and
    // nothing of it is kept.
    std::string pbf = read_file(base + ".osm.pbf");
    testing::write_file(dir.file("cut.osm.pbf"), pbf.substr(0, pbf.size() - 20));
    auto cut = run_velmora({"cut.osm.pbf", all_tags, "-o", "cut.gpx"}, dir.path().string());
    EXPECT_TRUE(
        contains(cut.err, "failed: the file is damaged or cut short; reading stopped after "))
        << cut.err;
    EXPECT_TRUE(contains(cut.err, "(PBF error: unexpected EOF)")) << cut.err;
    EXPECT_EQ(cut.exit_code, 1);  // the only input could not be read
    EXPECT_FALSE(testing::file_exists(dir.file("cut.gpx")));
    // Beside a good input it is an input left out.
    auto partial = run_velmora({"cut.osm.pbf", all_tags, example_osm(), all_tags, "-o", "p.gpx"},
                               dir.path().string());
    EXPECT_EQ(partial.exit_code, 2) << partial.err;
    EXPECT_TRUE(contains(read_file(dir.file("p.gpx")), "Park and Ride Ost"));
}

// A named pipe can't be read twice, as the OpenStreetMap passes read: it is refused at
// once, before anything opens it (and waits for a writer), and the run goes on.
TEST(OsmCli, RefusesANamedPipeAtOnceAndReadsTheOtherInputs) {
    testing::temp_dir dir;
    ASSERT_EQ(::mkfifo(dir.file("piped.osm").c_str(), 0600), 0);
    auto result = run_velmora({"piped.osm", all_tags, example_osm(), all_tags, "-o", "out.gpx"},
                              dir.path().string());
    EXPECT_EQ(result.exit_code, 2) << result.err;
    EXPECT_TRUE(contains(result.err, "piped.osm) failed: it is a named pipe, not a file"))
        << result.err;
    EXPECT_TRUE(contains(read_file(dir.file("out.gpx")), "Park and Ride Ost"));
}

}  // namespace
}  // namespace velmora
