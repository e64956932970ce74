#include <gtest/gtest.h>

#include <filesystem>

#include "support/test_support.hpp"

namespace velmora {
namespace {

using testing::run_result;

using testing::run_from;

const std::string list =
    "X,Y,TYPE,SPEED,DIRTYPE,DIRECTION\n"
    "19.04,47.49,1,50,0,0\n"
    "19.07,47.51,5,70,1,90\n"
    "21.62,47.53,2,100,0,0\n";

TEST(SpeedcamCli, ImportsTheListWithTheSettingsBesideTheProgram) {
    testing::temp_dir dir;
    testing::write_file(dir.file("Velmora_speedcam.ini"), "[SpeedcamConversion]\nProximity=50%\n");
    testing::write_file(dir.file("cams.txt"), list);
    auto r = run_from(dir, {"cams.txt", "-o", "out.gpx"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_NE(r.err.find("\n<-1. cams.txt\n1---> out.gpx"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("\n\nImporting... (1. cams.txt)\n    settings: " +
                         dir.file("Velmora_speedcam.ini") + "\n    imported 3 pois "),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("Warning"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Error"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
}

TEST(SpeedcamCli, WithoutSettingsFileNoCameraIsImported) {
    testing::temp_dir dir;
    testing::write_file(dir.file("cams.txt"), list);
    auto r = run_from(dir, {"cams.txt", "-o", "out.gpx"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("\n\nImporting... (1. cams.txt)\nError: Cant't open speedcam inin file (" +
                         dir.file("Velmora_speedcam.ini") +
                         ") (No such file or directory)\n    imported 0 pois "),
              std::string::npos)
        << r.err;
}

TEST(SpeedcamCli, SettingsAreReadAfreshForEveryList) {
    testing::temp_dir dir;
    testing::write_file(dir.file("Velmora_speedcam.ini"),
                        "[SpeedcamFilter]\nFilterByRegionRect=1\nRegionRectMaxLon=20\n");
    testing::write_file(dir.file("a.txt"), list);
    testing::write_file(dir.file("B.TXT"), list);
    auto r = run_from(dir, {"a.txt", "B.TXT", "-o", "out.gpx"});
    EXPECT_EQ(r.exit_code, 0);
    const std::string rect = "\n    settings: " + dir.file("Velmora_speedcam.ini") +
                             "\nSpeedcam filter rect: N200 0.000 E20 0.000 - S-200 0.000 "
                             "W-200 0.000 ";
    // Each list echoes the rectangle and keeps the two cameras west of 20 degrees east.
    EXPECT_NE(r.err.find("\n\nImporting... (1. a.txt)" + rect + "\n    imported 2 pois "),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("\n\nImporting... (2. B.TXT)" + rect + "\n    imported 2 pois "),
              std::string::npos)
        << r.err;
}

TEST(SpeedcamCli, BrokenListsAreReportedAndTheRunGoesOn) {
    testing::temp_dir dir;
    testing::write_file(dir.file("Velmora_speedcam.ini"), "");
    testing::write_file(dir.file("nocols.txt"), "X,Y,TYPE\n19,47,1\n");
    testing::write_file(dir.file("short.txt"),
                        "X,Y,TYPE,SPEED,DIRTYPE,DIRECTION\n19,47\n20,48,1,50,0,0");
    auto r = run_from(dir, {"nocols.txt", "short.txt", "-o", "out.gpx"});
    // The list without all columns is refused, the other one read without its bad line.
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_TRUE(testing::contains(r.err, "\nWarning: 1 of 2 inputs left out: 1. nocols.txt\n"))
        << r.err;
    EXPECT_NE(
        r.err.find(
            "\nError: Undefined speedcam column name(s) in speedcam file!\n    imported 0 pois "),
        std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("\nWarning: Speedcam line 2 has fewer fields than the header, skipped: "
                         "\"19,47\"\n    imported 1 pois "),
              std::string::npos)
        << r.err;
}

TEST(SpeedcamCli, BundledSettingsAndExampleListImportWithoutWarnings) {
    // The build puts the bundled settings file beside the program.
    std::string example = testing::source_dir() + "/examples/speedcams.txt";
    testing::temp_dir dir;
    auto r = testing::run_velmora({example, "-o", "out.gpx"}, dir.path().string());
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_NE(r.err.find("\n\nImporting... (1. speedcams.txt)\n    settings: " +
                         std::filesystem::path(testing::velmora_exe()).parent_path().string() +
                         "/Velmora_speedcam.ini\n    imported 12 pois "),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("Warning"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Error"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace velmora
