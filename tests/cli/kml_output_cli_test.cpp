// End-to-end runs of KML and KMZ output.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.hpp"

namespace velmora {
namespace {

using testing::contains;
using testing::gpsbabel_csv;
using testing::names_in;
using testing::read_file;
using testing::run_velmora;
using testing::temp_dir;
using testing::write_file;

std::string example(const std::string& name) {
    return testing::source_dir() + "/examples/" + name;
}

// A GPX document without its metadata time, which is the run's.
std::string without_time(std::string gpx) {
    std::size_t at = gpx.find("<time>");
    if (at != std::string::npos) gpx.erase(at, gpx.find("</time>", at) + 7 - at);
    return gpx;
}

TEST(KmlOutputCli, GpxThroughKmzBackToGpxKeepsEveryField) {
    temp_dir dir;
    const std::string dir_path = dir.path().string();
    auto direct = run_velmora({example("example.gpx"), "-o", "direct.gpx"}, dir_path);
    ASSERT_EQ(direct.exit_code, 0) << direct.err;
    auto out = run_velmora({example("example.gpx"), "-o", "example.kmz"}, dir_path);
    ASSERT_EQ(out.exit_code, 0) << out.err;
    auto back = run_velmora({"example.kmz", "-groups:folders", "-o", "back.gpx"}, dir_path);
    ASSERT_EQ(back.exit_code, 0) << back.err;
    EXPECT_EQ(without_time(read_file(dir.file("back.gpx"))),
              without_time(read_file(dir.file("direct.gpx"))));
    EXPECT_EQ(names_in(dir_path),
              (std::vector<std::string>{"back.gpx", "direct.gpx", "example.kmz"}));
}

TEST(KmlOutputCli, KmlThroughGpiBackToKmlKeepsTheFieldsAndTheIcons) {
    temp_dir dir;
    const std::string dir_path = dir.path().string();
    const std::string kmz = example("Weekend_in_Budapest.kmz");
    ASSERT_EQ(run_velmora({kmz, "-o", "trip.gpi"}, dir_path).exit_code, 0);
    auto kml = run_velmora({"trip.gpi", "-o", "trip.kml"}, dir_path);
    ASSERT_EQ(kml.exit_code, 0) << kml.err;
    // The three icons of the document beside it, read again with the document.
    EXPECT_EQ(names_in(dir.file("trip_icons")),
              (std::vector<std::string>{"1.png", "2.png", "3.png"}));
    auto again = run_velmora({"trip.kml", "-o", "again.gpi"}, dir_path);
    ASSERT_EQ(again.exit_code, 0) << again.err;
    EXPECT_TRUE(contains(again.err, "imported 3 icons")) << again.err;

    // Names, positions, descriptions and categories as the GPI file holds them.
    ASSERT_EQ(run_velmora({"trip.gpi", "-o", "first.gpx"}, dir_path).exit_code, 0);
    ASSERT_EQ(run_velmora({"trip.kml", "-groups:folders", "-o", "second.gpx"}, dir_path).exit_code,
              0);
    std::string first = without_time(read_file(dir.file("first.gpx")));
    std::string second = without_time(read_file(dir.file("second.gpx")));
    // GPI output gave every POI its symbol's icon; the symbols are the styles' names.
    auto without_symbols = [](std::string text) {
        for (std::size_t at = 0; (at = text.find("<sym>", at)) != std::string::npos;) {
            text.erase(at, text.find("</sym>", at) + 6 - at);
        }
        return text;
    };
    EXPECT_EQ(without_symbols(second), without_symbols(first));
}

TEST(KmlOutputCli, GpsBabelReadsThePlacemarks) {
    temp_dir dir;
    const std::string dir_path = dir.path().string();
    auto run = run_velmora({example("example.gpx"), "-o", "example.kml", "-kml:circles"}, dir_path);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    auto ours = run_velmora({"example.kml", "-o", "example.gpx"}, dir_path);
    ASSERT_EQ(ours.exit_code, 0) << ours.err;
    auto csv = gpsbabel_csv(dir, "kml", dir.file("example.kml"));
    if (!csv) GTEST_SKIP() << "gpsbabel not installed";
    std::erase(*csv, '\r');
    auto expected = gpsbabel_csv(dir, "gpx", dir.file("example.gpx"));
    ASSERT_TRUE(expected);
    std::erase(*expected, '\r');
    // The same points, names and positions as GPSBabel finds in the GPX of our reading
    // of the document; the circles are no points, and the speed travels in the data,
    // not in the name as in GPX.
    for (std::size_t at; (at = expected->find("@50")) != std::string::npos;) expected->erase(at, 3);
    // Each line cut after its fourth column (number, latitude, longitude, name).
    auto first_columns = [](const std::string& text) {
        std::string out;
        std::size_t begin = 0;
        while (begin < text.size()) {
            std::size_t end = std::min(text.find('\n', begin), text.size());
            std::size_t cut = begin;
            int commas = 0;
            for (; cut < end && commas < 4; ++cut) commas += text[cut] == ',' ? 1 : 0;
            if (commas == 4) --cut;  // the fourth comma itself goes too
            out.append(text, begin, cut - begin).push_back('\n');
            begin = end + 1;
        }
        return out;
    };
    EXPECT_EQ(first_columns(*csv), first_columns(*expected)) << *csv;
}

TEST(KmlOutputCli, IconsThatCantBeWrittenBesideLeaveTheOutputAsItWas) {
    temp_dir dir;
    const std::string dir_path = dir.path().string();
    write_file(dir.file("out.kml"), "old");
    write_file(dir.file("out_icons"), "a file where the icons' folder belongs");
    auto run = run_velmora({example("example.gpx"), "-o", "out.kml"}, dir_path);
    EXPECT_EQ(run.exit_code, 1) << run.err;
    EXPECT_TRUE(contains(run.err, "was not changed")) << run.err;
    EXPECT_EQ(read_file(dir.file("out.kml")), "old");
    EXPECT_EQ(names_in(dir_path), (std::vector<std::string>{"out.kml", "out_icons"}));
}

TEST(KmlOutputCli, StandardOutputTakesTheDocumentOrTheArchiveByFormat) {
    temp_dir dir;
    const std::string dir_path = dir.path().string();
    auto kml = run_velmora({example("example.gpx"), "-o", "-", "-format:kml"}, dir_path);
    ASSERT_EQ(kml.exit_code, 0) << kml.err;
    EXPECT_TRUE(kml.out.starts_with("<?xml")) << kml.out.substr(0, 100);
    EXPECT_TRUE(contains(kml.err, "were not written: the output went to standard output"))
        << kml.err;
    auto kmz = run_velmora({example("example.gpx"), "-o", "-", "-format:kmz"}, dir_path);
    ASSERT_EQ(kmz.exit_code, 0) << kmz.err;
    EXPECT_TRUE(kmz.out.starts_with("PK\x03\x04"));
    EXPECT_TRUE(names_in(dir_path).empty());
}

TEST(KmlOutputCli, AnUnknownKmlParameterEndsTheRun) {
    temp_dir dir;
    auto run =
        run_velmora({example("example.gpx"), "-o", "out.kml", "-kml:squares"}, dir.path().string());
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_TRUE(contains(run.err, "Unknown KML output parameter (-kml:squares)")) << run.err;
    EXPECT_TRUE(names_in(dir.path().string()).empty());
}

}  // namespace
}  // namespace velmora
