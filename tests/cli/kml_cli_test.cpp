// End-to-end runs of KML and KMZ inputs.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "cli/gpi_output.hpp"
#include "support/test_support.hpp"

namespace velmora {
namespace {

using testing::contains;
using testing::gpsbabel_csv;
using testing::read_file;
using testing::run_velmora;
using testing::temp_dir;

std::string example_kmz() {
    return testing::source_dir() + "/examples/Weekend_in_Budapest.kmz";
}

TEST(KmlCli, TheExampleKmzBecomesAGpiThatGpsBabelReadsBack) {
    temp_dir dir;
    auto run = run_velmora({example_kmz(), "-o", "trip.gpi"}, dir.path().string());
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_TRUE(contains(run.err,
                         "Lines and other shapes that are neither points nor polygons "
                         "were left out: 1"))
        << run.err;
    EXPECT_TRUE(contains(run.err, "imported 3 icons")) << run.err;
    poiset_list list = testing::read_gpi(read_file(dir.file("trip.gpi")));
    ASSERT_EQ(list.count(), 1);
    EXPECT_EQ(list.poisets[0]->count(), 5);
    ASSERT_TRUE(list.poisets[0]->icons);
    EXPECT_EQ(list.poisets[0]->icons->count(), 3);

    auto csv = gpsbabel_csv(dir, dir.file("trip.gpi"));
    if (csv) std::erase(*csv, '\r');
    if (!csv) GTEST_SKIP() << "gpsbabel not installed";
    EXPECT_EQ(*csv,
              "No,Latitude,Longitude,Name,Description,Symbol,URL,Address,City,PostalCode,Phone\n"
              "1,47.493030,19.057730,\"Central Cafe\",\"Classic coffee house.,Try the Esterhazy "
              "cake.,Opening hours: 8-23\",\"Waypoint\",,\"Karolyi utca 9\",\"Budapest\",,\"+36 1 "
              "266 2110\"\n"
              "2,47.498410,19.070490,\"New York Cafe\",\"Said to be the most beautiful cafe in "
              "the world.,Opening hours: 8-24\",\"Waypoint\",\"https://example.org/nyc\","
              "\"Erzsebet korut 9-11\",\"Budapest\",,\n"
              "3,47.500120,19.047630,\"Riverside Hotel\",\"Rooms facing the Danube & the "
              "Parliament.,Stars: 4\",\"Waypoint\",,\"Fo utca 2\",\"Budapest\",\"1011\",\n"
              "4,47.491090,19.062180,\"Hungarian National Museum\",\"Tickets: 3200 "
              "HUF\",\"Waypoint\",,\"Muzeum korut 14-16\",,,\n"
              "5,47.502230,19.034780,\"Fishermen's Bastion\",\"Best view at sunrise.,Free on the "
              "lower terraces.,Opening hours: always open\",\"Waypoint\",,,,,\n");
}

TEST(KmlCli, GroupsFoldersMakesEachTopLevelFolderAGroup) {
    temp_dir dir;
    std::filesystem::copy_file(example_kmz(), dir.file("Trip.KMZ"));
    auto run = run_velmora({"Trip.KMZ", "-groups:folders", "-o", "trip.gpi"}, dir.path().string());
    ASSERT_EQ(run.exit_code, 0) << run.err;
    poiset_list list = testing::read_gpi(read_file(dir.file("trip.gpi")));
    ASSERT_EQ(list.count(), 3);
    EXPECT_EQ(list.poisets[0]->name, "Cafes");
    EXPECT_EQ(list.poisets[0]->count(), 2);
    EXPECT_EQ(list.poisets[1]->name, "Hotels");
    EXPECT_EQ(list.poisets[2]->name, "Sights");
}

TEST(KmlCli, WebIconsTakeTheIconsDirectorysIconOfTheirStyleOrImageName) {
    temp_dir dir;
    testing::write_file(
        dir.file("web.kml"),
        "<kml><Document>"
        "<Style "
        "id=\"car\"><IconStyle><Icon><href>http://x.y/a.png</href></Icon></IconStyle></Style>"
        "<Style id=\"s2\"><IconStyle><Icon><href>http://x.y/i/fuel.png</href></Icon></IconStyle>"
        "</Style><Style id=\"s3\"><IconStyle><Icon><href>http://x.y/none.png</href></Icon>"
        "</IconStyle></Style>"
        "<Placemark><styleUrl>#car</styleUrl><Point><coordinates>1,2</coordinates></Point></"
        "Placemark>"
        "<Placemark><styleUrl>#s2</styleUrl><Point><coordinates>1,3</coordinates></Point></"
        "Placemark>"
        "<Placemark><styleUrl>#s3</styleUrl><Point><coordinates>1,4</coordinates></Point></"
        "Placemark>"
        "</Document></kml>");
    auto run = run_velmora({"web.kml", "-o", "web.gpi"}, dir.path().string());
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_TRUE(contains(run.err, "icons on the web are not fetched: 3 placemarks")) << run.err;
    EXPECT_TRUE(contains(run.err, "Loaded icon  (used:    1x): 'car'")) << run.err;
    EXPECT_TRUE(contains(run.err, "Loaded icon  (used:    1x): 's2'")) << run.err;
    EXPECT_TRUE(contains(run.err, "imported 2 icons")) << run.err;
}

TEST(KmlCli, AnUnknownGroupingEndsTheRunBeforeAnyInputIsRead) {
    temp_dir dir;
    auto run =
        run_velmora({example_kmz(), "-groups:layers", "-o", "trip.gpi"}, dir.path().string());
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_TRUE(
        contains(run.err, "Fatal: Unknown grouping (-groups:layers): -groups: takes folders"))
        << run.err;
    EXPECT_FALSE(contains(run.err, "Importing"));
    EXPECT_FALSE(testing::file_exists(dir.file("trip.gpi")));
}

}  // namespace
}  // namespace velmora
