#include <gtest/gtest.h>

#include "cli/gpi_output.hpp"
#include "support/test_support.hpp"

namespace velmora {
namespace {

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(CsvCli, CsvFilesMergeIntoGpiGroupsWithTheIconBesideEach) {
    testing::temp_dir dir;
    testing::write_file(dir.file("Fuel.csv"),
                        "Longitude,Latitude,Name,Comment\r\n"
                        "19.04,47.49,\"Shell, Budaörs\",\"open 0-24\"\r\n"
                        "19.07,47.51,Mol@30,\r\n");
    // Any letter case of the icon's name and extension.
    testing::write_file(dir.file("FUEL.Bmp"),
                        testing::read_file(testing::source_dir() + "/examples/icons/fuel.bmp"));
    testing::write_file(dir.file("RedLight@50.csv"), "21.62,47.53,Corner\n21.63,47.54,Bridge@70\n");
    auto r =
        testing::run_velmora({"Fuel.csv", "RedLight@50.csv", "-o", "out.gpi"}, dir.path().string());
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(
        has(r.err, "\n  1. Loaded icon  (used:    2x): 'fuel'\n    imported 1 icons (Skipped 0)"))
        << r.err;
    EXPECT_FALSE(has(r.err, "Warning")) << r.err;

    poiset_list list = testing::read_gpi(testing::read_file(dir.file("out.gpi")));
    ASSERT_EQ(list.count(), 2);
    const poiset& fuel = *list.poisets[0];
    const poiset& red = *list.poisets[1];
    EXPECT_EQ(fuel.name, "Fuel");
    EXPECT_EQ(red.name, "RedLight");
    ASSERT_EQ(fuel.count(), 2);
    ASSERT_TRUE(fuel.icons);
    EXPECT_EQ(fuel.icons->count(), 1);
    for (const auto& w : fuel.waypoints) EXPECT_TRUE(w.flags & has_icon) << *w.name;
    ASSERT_EQ(red.count(), 2);
    EXPECT_TRUE(!red.icons || red.icons->count() == 0);
    for (const auto& w : red.waypoints) {
        EXPECT_FALSE(w.flags & has_icon);
        EXPECT_DOUBLE_EQ(w.speed, *w.name == "Bridge" ? 70 : 50) << *w.name;
    }
}

TEST(CsvCli, GpxOutputCarriesTheSpeedInTheNameAndTheCommentAsCmt) {
    testing::temp_dir dir;
    testing::write_file(dir.file("cams.CSV"),
                        "3.82251,43.631954,\"max @50\",\"GRABELS \\\"Avenue de l'Europe, face\"\n");
    auto r = testing::run_velmora({"cams.CSV", "-o", "out.gpx"}, dir.path().string());
    ASSERT_EQ(r.exit_code, 0) << r.err;
    std::string gpx = testing::read_file(dir.file("out.gpx"));
    EXPECT_TRUE(has(gpx,
                    "<wpt lat=\"43.6319540\" lon=\"3.8225100\">\n\t\t<name>max@50</name>\n"
                    "\t\t<cmt><![CDATA[GRABELS \"Avenue de l'Europe, face]]></cmt>"))
        << gpx;
    EXPECT_TRUE(has(gpx, "<gpxx:Proximity>500</gpxx:Proximity>")) << gpx;
}

TEST(CsvCli, AnUnusableIconIsReportedAsInTheIconsDirectoryAndTheRunGoesOn) {
    testing::temp_dir dir;
    testing::write_file(dir.file("camp.csv"), "1,2,Site\n");
    testing::write_file(dir.file("Camp.bmp"), "BM not really a picture");
    auto r = testing::run_velmora({"camp.csv", "-o", "out.gpi"}, dir.path().string());
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(
        has(r.err, "\nWarning: Can't load bmp file(camp.bmp)\nTeszt: Not loaded! (camp.bmp)"))
        << r.err;
    poiset_list list = testing::read_gpi(testing::read_file(dir.file("out.gpi")));
    ASSERT_EQ(list.count(), 1);
    EXPECT_EQ(list.poisets[0]->count(), 1);
}

}  // namespace
}  // namespace velmora
