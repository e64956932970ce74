#include <gtest/gtest.h>

#include <string>

#include "support/test_support.hpp"

namespace velmora {
namespace {

using testing::contains;
using testing::read_file;
using testing::run_options;
using testing::temp_dir;
using testing::write_file;

const std::string one_waypoint =
    "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\"><wpt lat=\"47.5\" lon=\"19.1\"><name>A</name>"
    "</wpt></gpx>\n";

TEST(StandardInput, IsReadOrRefusedByWhatItsFirstBytesHold) {
    temp_dir dir;
    write_file(dir.file("Velmora_speedcam.ini"), "");
    write_file(dir.file("a.gpx"), one_waypoint);
    ASSERT_EQ(testing::run_from(dir, {"a.gpx", "-o", "a.gpi"}).exit_code, 0);
    const std::string gpi = read_file(dir.file("a.gpi"));
    const std::string comments(3000, ' ');

    struct kind_case {
        std::string input;
        int exit_code;
        std::string said;  // what the run says about the input
    } cases[] = {
        {one_waypoint, 0, "\n    read as .gpx\n    imported 1 pois"},
        {"\xEF\xBB\xBF<?xml version=\"1.0\"?>\n<!-- a <gpx> in a comment -->" + comments +
             "<!DOCTYPE gpx [<!ENTITY e \"x\">]>\n<gpx><wpt lat=\"1\" lon=\"2\"/></gpx>",
         0, "\n    read as .gpx\n    imported 1 pois"},
        {gpi, 0, "\n    read as .gpi\n    imported 1 pois"},
        {"name;lat;lon\nA;47,5;19,1\n", 0, "\n    read as .csv\n    imported 1 pois"},
        {"19.1,47.5,A\n", 0, "\n    read as .csv\n    imported 1 pois"},
        {"X,Y,TYPE,SPEED,DIRTYPE,DIRECTION\n19.1,47.5,1,50,0,0\n", 0,
         "\n    read as .txt\n    settings: "},
        {"<?xml version=\"1.0\"?>\n<kml xmlns=\"http://www.opengis.net/kml/2.2\"><Document>"
         "<Placemark><Point><coordinates>19.1,47.5</coordinates></Point></Placemark>"
         "</Document></kml>",
         0, "\n    read as .kml\n"},
        {"<kml:kml xmlns:kml=\"http://www.opengis.net/kml/2.2\"/>", 0, "\n    read as .kml\n"},
        {std::string("PK\x03\x04\x14\0\0\0", 8) + "doc.kml", 1,
         "\n    read as .kmz\nError: The kmz file (stdin) can't be read as a zip archive"},
        {" {\"type\": \"FeatureCollection\", \"features\": [{\"type\": \"Feature\", \"geometry\": "
         "{\"type\": \"Point\", \"coordinates\": [19.1, 47.5]}, \"properties\": {}}]}",
         0, "\n    read as .geojson\n"},
        {"<html><body/></html>", 1, "\nInput file format (xml) not supported!\n    Velmora reads "},
        {std::string("\x01\x02\0\x03", 4), 1, "\nInput file format (unknown) not supported!"},
        {"<osm version=\"0.6\"/>", 1, "\nInput file format (osm) not supported"},
    };
    for (const kind_case& c : cases) {
        SCOPED_TRACE(c.input.substr(0, 60));
        write_file(dir.file("out.gpx"), "before");
        auto r = testing::run_from(dir, {"-", "-o", "out.gpx"}, run_options{c.input, {}});
        EXPECT_EQ(r.exit_code, c.exit_code) << r.err;
        EXPECT_TRUE(contains(r.err, c.said)) << r.err;
        if (c.exit_code != 0) {
            EXPECT_EQ(read_file(dir.file("out.gpx")), "before");
        }
    }
}

TEST(UnsupportedInput, NamesTheFormatsReadAndHowGpsbabelConvertsIt) {
    temp_dir dir;
    write_file(dir.file("a.gpx"), one_waypoint);
    struct file_case {
        const char* name;
        std::string said;
    } cases[] = {
        {"map.gdb",
         "\nInput file format (.gdb) not supported (yet)!\n    Velmora reads GPX (.gpx), GPI "
         "(.gpi), CSV (.csv), speed-camera lists (.txt)"},
        {"map.gdb", "\n    GPSBabel converts it to GPX: gpsbabel -i gdb -f " + dir.file("map.gdb") +
                        " -o gpx -F " + dir.file("map.gpx") + "\n"},
        {"notes.doc", "\nInput file format (.doc) not supported!\n    Velmora reads GPX (.gpx)"},
    };
    for (const file_case& c : cases) {
        SCOPED_TRACE(c.name);
        write_file(dir.file(c.name), "x");
        auto alone = testing::run_velmora({c.name, "-o", "out.gpx"}, dir.path().string());
        EXPECT_EQ(alone.exit_code, 1);
        EXPECT_TRUE(contains(alone.err, c.said)) << alone.err;
        auto beside = testing::run_velmora({c.name, "a.gpx", "-o", "out.gpx"}, dir.path().string());
        EXPECT_EQ(beside.exit_code, 2);
    }
    auto doc = testing::run_velmora({"notes.doc", "-o", "out.gpx"}, dir.path().string());
    EXPECT_FALSE(contains(doc.err, "GPSBabel")) << doc.err;
}

}  // namespace
}  // namespace velmora
