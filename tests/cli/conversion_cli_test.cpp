// End-to-end conversions across formats: real files of other producers, merging of
// several inputs, round trips and speed-camera lists with their icons.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
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

class fixed_epoch {
  public:
    fixed_epoch() { setenv("SOURCE_DATE_EPOCH", "1700000000", 1); }
    ~fixed_epoch() { unsetenv("SOURCE_DATE_EPOCH"); }
    fixed_epoch(const fixed_epoch&) = delete;
    fixed_epoch& operator=(const fixed_epoch&) = delete;
};

const std::map<std::string, int> real_gpi_counts = {
    {"BORDATLAS", 6936},
    {"GATSO_30", 2},
    {"Hollandspeedcam", 441},
    {"garmin_gpi", 86},
    {"garmin_gpi_category~gpx", 86},
    {"garmin_gpi_encoding", 1},
    {"garmin_gpi_position~gpx", 86},
    {"gpi_ext-sample", 9},
    {"gpispeed", 1},
};

TEST(RealGpiFiles, ConvertToGpxAndToGpiWithEveryPoi) {
    VELMORA_REQUIRE_REAL(folder, "gpi");
    temp_dir dir;
    fixed_epoch epoch;
    for (const auto& [name, count] : real_gpi_counts) {
        std::string input = folder + "/" + name + ".gpi";
        auto to_gpx = run_velmora({input, "-o", "out.gpx"}, dir.path().string());
        EXPECT_EQ(to_gpx.exit_code, 0) << name << to_gpx.err;
        EXPECT_NE(to_gpx.err.find("\n    imported " + std::to_string(count) + " pois "),
                  std::string::npos)
            << name << to_gpx.err;
        EXPECT_EQ(to_gpx.err.find("Error"), std::string::npos) << name << to_gpx.err;
        EXPECT_EQ(count_of(read_file(dir.file("out.gpx")), "<wpt "),
                  static_cast<std::size_t>(count))
            << name;

        auto to_gpi = run_velmora({input, "-o", "out.gpi"}, dir.path().string());
        EXPECT_EQ(to_gpi.exit_code, 0) << name << to_gpi.err;
        poiset_list back = read_gpi_output(dir.file("out.gpi"));
        EXPECT_EQ(total_pois(back), count) << name;

        // The same conversion again, replacing the file, gives the same bytes.
        std::string first = read_file(dir.file("out.gpi"));
        auto again = run_velmora({input, "-o", "out.gpi"}, dir.path().string());
        EXPECT_EQ(again.exit_code, 0);
        EXPECT_EQ(read_file(dir.file("out.gpi")), first) << name;
    }
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

TEST(RoundTrip, GpxThroughGpiKeepsNamesPositionsAlertsAndTexts) {
    temp_dir dir;
    write_file(dir.file("in.gpx"),
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<gpx version=\"1.1\">\n"
               "<wpt lat=\"49.195060\" lon=\"16.606837\"><name>N\xC3\xA1m\xC4\x9Bst\xC3\xAD"
               "</name><cmt>Kom\xC3\xA9nt</cmt><desc>Popis &amp; v\xC3\xAD"
               "ce</desc></wpt>\n"
               "<wpt lat=\"-33.5\" lon=\"-70.25\"><name>Radar@90</name></wpt>\n"
               "</gpx>\n");
    auto to_gpi = run_velmora({"in.gpx", "-o", "mid.gpi"}, dir.path().string());
    ASSERT_EQ(to_gpi.exit_code, 0) << to_gpi.err;
    auto to_gpx = run_velmora({"mid.gpi", "-o", "out.gpx"}, dir.path().string());
    ASSERT_EQ(to_gpx.exit_code, 0) << to_gpx.err;
    std::string gpx = read_file(dir.file("out.gpx"));
    EXPECT_NE(gpx.find("N\xC3\xA1m\xC4\x9Bst\xC3\xAD"), std::string::npos) << gpx;
    EXPECT_NE(gpx.find("Kom\xC3\xA9nt"), std::string::npos);
    EXPECT_NE(gpx.find("<desc><![CDATA[Popis & v\xC3\xAD"
                       "ce]]></desc>"),
              std::string::npos)
        << gpx;
    EXPECT_NE(gpx.find("Radar@90"), std::string::npos);
    EXPECT_NE(gpx.find("<gpxx:Proximity>900"), std::string::npos) << gpx;
    EXPECT_NE(gpx.find("lat=\"49.19506"), std::string::npos) << gpx;
    // Positions keep the precision of semicircles.
    EXPECT_NE(gpx.find("lat=\"-33.4999999\" lon=\"-70.2499999\""), std::string::npos) << gpx;
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
