// End-to-end conversions across formats: real files of other producers, merging of
// several inputs, round trips and speed-camera lists with their icons.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "cli/gpi_output.hpp"
#include "gpi/gpi_bitmap.hpp"
#include "gpi/gpi_reader.hpp"
#include "model/poiset.hpp"
#include "platform/messages.hpp"
#include "support/test_support.hpp"

namespace velmora {
namespace {

using testing::read_file;
using testing::run_result;
using testing::run_velmora;
using testing::temp_dir;
using testing::write_file;

poiset_list read_gpi_output(const std::string& path) {
    return testing::read_gpi(read_file(path));
}

int total_pois(const poiset_list& list) {
    int n = 0;
    for (const auto& set : list.poisets) n += set->count();
    return n;
}

std::size_t count_of(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
}

using testing::run_from;

void copy_bundled(const temp_dir& dir, const std::string& relative) {
    std::filesystem::copy(std::filesystem::path(testing::source_dir()) / "examples" / relative,
                          dir.path() / relative, std::filesystem::copy_options::recursive);
}

TEST(RealGpiFiles, AlertsTextsAndIconsSurviveAGpiRewrite) {
    VELMORA_REQUIRE_REAL(speed, "gpi/gpispeed.gpi");
    VELMORA_REQUIRE_REAL(encoding, "gpi/garmin_gpi_encoding.gpi");
    VELMORA_REQUIRE_REAL(holland, "gpi/Hollandspeedcam.gpi");
    temp_dir dir;
    auto run = run_velmora({speed, encoding, holland, "-o", "merged.gpi"}, dir.path().string());
    ASSERT_EQ(run.exit_code, 0) << run.err;
    poiset_list list = read_gpi_output(dir.file("merged.gpi"));
    ASSERT_EQ(list.count(), 3);
    EXPECT_EQ(list.poisets[0]->codepage->number(), 1250);

    const waypoint& point0 = list.poisets[0]->waypoints[0];
    EXPECT_EQ(point0.proximity, 804.0);
    EXPECT_EQ(point0.speed, 48.0);
    EXPECT_EQ(point0.flags & (has_proximity | has_speed), has_proximity | has_speed);

    // Texts of a code-page file are written as they were read.
    const waypoint& euro = list.poisets[1]->waypoints[0];
    EXPECT_EQ(euro.name.value_or(""), "\x80");
    EXPECT_EQ(euro.comment.value_or(""), "\x99");

    // Every group keeps its own bitmaps, and every icon reference names one of them.
    for (const auto& set : list.poisets) {
        ASSERT_NE(set->icons, nullptr);
        for (const auto& w : set->waypoints) {
            if (!(w.flags & has_icon)) continue;
            bool found = false;
            for (const auto& entry : set->icons->entries) found |= entry->icon_id == w.icon_id;
            EXPECT_TRUE(found) << set->name;
        }
    }
    EXPECT_EQ(list.poisets[2]->count(), 441);
    EXPECT_EQ(list.poisets[2]->icons->count(), 1);
    EXPECT_EQ(list.poisets[2]->icons->entries[0]->bitmap->bits_per_pixel, 32);
}

TEST(Merging, GpiAndGpxInputsBecomeOneGroupEachWithTheirOwnIcons) {
    VELMORA_REQUIRE_REAL(garmin, "gpi/garmin_gpi.gpi");
    VELMORA_REQUIRE_REAL(gatso, "gpi/GATSO_30.gpi");
    temp_dir dir;
    copy_bundled(dir, "icons");
    copy_bundled(dir, "example.gpx");
    auto run = run_from(dir, {garmin, gatso, "example.gpx", "-o", "merged.gpi"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    poiset_list list = read_gpi_output(dir.file("merged.gpi"));
    ASSERT_EQ(list.count(), 3);
    EXPECT_EQ(list.poisets[0]->count(), 86);
    EXPECT_EQ(list.poisets[1]->count(), 2);
    EXPECT_EQ(list.poisets[2]->name, "example");
    EXPECT_EQ(list.poisets[0]->icons->count(), 1);
    EXPECT_EQ(list.poisets[1]->icons->count(), 1);
    EXPECT_GT(list.poisets[2]->icons->count(), 5);
    for (const auto& set : list.poisets) {
        for (const auto& w : set->waypoints) {
            if (!(w.flags & has_icon)) continue;
            int matches = 0;
            for (const auto& entry : set->icons->entries) matches += entry->icon_id == w.icon_id;
            EXPECT_EQ(matches, 1) << set->name;
        }
    }
}

TEST(IconExport, WritesTheBitmapsOfEveryGpiInput) {
    VELMORA_REQUIRE_REAL(garmin, "gpi/garmin_gpi.gpi");
    VELMORA_REQUIRE_REAL(gatso, "gpi/GATSO_30.gpi");
    temp_dir dir;
    auto run = run_velmora({garmin, gatso, "-o", "icons.bmp"}, dir.path().string());
    ASSERT_EQ(run.exit_code, 0) << run.err;
    int bmp_files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        if (entry.path().extension() == ".bmp") {
            ++bmp_files;
            EXPECT_EQ(read_file(entry.path().string()).substr(0, 2), "BM");
        }
    }
    EXPECT_EQ(bmp_files, 2);
}

const std::string camera_list =
    "X,Y,TYPE,SPEED,DIRTYPE,DIRECTION\n"
    "19.04,47.49,1,50,0,0\n"
    "19.07,47.51,5,70,1,90\n"
    "21.62,47.53,3,50,0,0\n";

TEST(SpeedcamLists, BecomeGpiWithSpeedAlertsAndSpeedIcons) {
    temp_dir dir;
    copy_bundled(dir, "icons");
    copy_bundled(dir, "Velmora_speedcam.ini");
    write_file(dir.file("cams.txt"), camera_list);
    auto run = run_from(dir, {"cams.txt"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_NE(run.err.find("'speed_50'"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("\n    imported 2 icons (Skipped 0)"), std::string::npos) << run.err;
    poiset_list list = read_gpi_output(dir.file("cams_velmora.gpi"));
    ASSERT_EQ(list.count(), 1);
    const poiset& set = *list.poisets[0];
    ASSERT_EQ(set.count(), 3);
    EXPECT_EQ(set.icons->count(), 2);
    for (const auto& w : set.waypoints) {
        EXPECT_EQ(w.flags & (has_speed | has_proximity | has_icon),
                  has_speed | has_proximity | has_icon);
        EXPECT_EQ(w.proximity, w.speed * 10);
    }
    // Type names are stored in code page 1250.
    bool mobile = false;
    for (const auto& w : set.waypoints) mobile |= w.name.value_or("") == "Mobil kamera";
    EXPECT_TRUE(mobile);
    bool measuring = false;
    for (const auto& w : set.waypoints) {
        measuring |= w.name.value_or("") == "Sebess\xE9gm\xE9r\xE9s";
    }
    EXPECT_TRUE(measuring);
}

TEST(SpeedcamLists, BecomeGpxWithNumberedNamesAndGarminSymbols) {
    temp_dir dir;
    copy_bundled(dir, "Velmora_speedcam.ini");
    write_file(dir.file("cams.txt"), camera_list);
    auto run = run_from(dir, {"cams.txt", "-o", "cams.gpx"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    std::string gpx = read_file(dir.file("cams.gpx"));
    EXPECT_EQ(count_of(gpx, "<wpt "), 3u);
    EXPECT_NE(gpx.find("Sebess\xC3\xA9gm\xC3\xA9r\xC3\xA9s"), std::string::npos) << gpx;
    EXPECT_NE(gpx.find("Mobil kamera"), std::string::npos);
    EXPECT_NE(gpx.find("@70"), std::string::npos);
    EXPECT_NE(gpx.find("<gpxx:Proximity>700"), std::string::npos) << gpx;
}

TEST(SpeedcamLists, TheRealRussianListConvertsToGpi) {
    VELMORA_REQUIRE_REAL(list_path, "speedcam/SpeedCamOnline.ru_2019-11-05_PRIMO_Rus.txt");
    temp_dir dir;
    copy_bundled(dir, "icons");
    copy_bundled(dir, "Velmora_speedcam.ini");
    auto run = run_from(dir, {list_path, "-o", "ru.gpi"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_NE(run.err.find("\n    imported 25325 pois"), std::string::npos)
        << run.err.substr(0, 2000);
    EXPECT_EQ(total_pois(read_gpi_output(dir.file("ru.gpi"))), 25325);
}

TEST(ProgramDirectory, IsTheRunningProgramsNeverTheWorkingDirectory) {
    // Started by a bare name (as through PATH), the program still looks beside itself;
    // a settings file planted in the working directory is not read.
    temp_dir program;
    temp_dir work;
    write_file(work.file("a.gpx"), "<gpx></gpx>");
    write_file(work.file("Velmora_gpi.ini"), "[GpiExportSettings]\nDefaultProximity=250\n");
    (void)run_from(program, {"-h"});
    auto run =
        testing::run_program(program.file("velmora"), "velmora", {"a.gpx"}, work.path().string());
    EXPECT_NE(
        run.err.find("\nError: Cant't open gpi ini file (" + program.file("Velmora_gpi.ini") + ")"),
        std::string::npos)
        << run.err;
    write_file(program.file("Velmora_gpi.ini"), "[GpiExportSettings]\n");
    auto found =
        testing::run_program(program.file("velmora"), "velmora", {"a.gpx"}, work.path().string());
    EXPECT_NE(found.err.find("\n    settings: " + program.file("Velmora_gpi.ini")),
              std::string::npos)
        << found.err;
    EXPECT_EQ(found.exit_code, 0) << found.err;
}

TEST(ProgramDirectory, SettingsFileIsLoadedOnceForGpiInputAndOutput) {
    temp_dir dir;
    auto run = run_from(dir, {"a.gpi", "b.gpi", "-o", "c.gpi"});
    EXPECT_EQ(count_of(run.err, "Cant't open gpi ini file"), 3u) << run.err;
    write_file(dir.file("Velmora_gpi.ini"), "[GpiExportSettings]\n");
    auto loaded = run_from(dir, {"a.gpi", "b.gpi", "-o", "c.gpi"});
    EXPECT_EQ(count_of(loaded.err, "Cant't open gpi ini file"), 0u) << loaded.err;
}

}  // namespace
}  // namespace velmora
