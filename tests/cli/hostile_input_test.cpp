// End-to-end runs with hostile input: empty and enormous files, directories and
// unreadable files where files belong, settings lines far past the line limit, GPI
// files that announce lengths of 4 GB, and outputs that can't be written.  No run may
// crash, hang or lose a file that was there before.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "gpi/gpi_test_builder.hpp"
#include "support/test_support.hpp"

namespace velmora {
namespace {

using testing::file_exists;
using testing::read_file;
using testing::run_result;
using testing::temp_dir;
using testing::write_file;

using testing::run_from;

using testing::contains;

// The names in the directory, so that a test can tell that no file was left behind
// (the copy of the program that run_from puts there is not counted).
std::vector<std::string> names_in(const temp_dir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        if (entry.path().filename() != "velmora") names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Converts dir/in.gpx into an output that can't be opened: exit code 1 and the message
// that names the output.
void expect_output_refused(const temp_dir& dir, const std::string& output) {
    auto r = run_from(dir, {"in.gpx", "-o", output});
    EXPECT_EQ(r.exit_code, 1) << r.err;
    EXPECT_TRUE(
        contains(r.err, "\nError opening output file (" + dir.file(output) + "). Aborting!"))
        << r.err;
}

std::string gpx_of(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<gpx version=\"1.1\" creator=\"t\">\n" +
           body + "</gpx>\n";
}

const std::string two_waypoints = gpx_of(
    "<wpt lat=\"47.5\" lon=\"19.05\"><name>Alpha</name><sym>Car</sym></wpt>\n"
    "<wpt lat=\"47.6\" lon=\"19.15\"><name>Beta</name></wpt>\n");

const std::string speedcam_list =
    "X,Y,TYPE,SPEED,DIRTYPE,DIRECTION\n19.04,47.49,1,50,0,0\n19.07,47.51,5,70,1,90\n";

TEST(HostileInput, EmptyFilesOfEveryKindImportNothingAndTheRunFinishes) {
    temp_dir dir;
    for (const char* name :
         {"e.gpx", "e.gpi", "e.txt", "Velmora_gpi.ini", "Velmora_speedcam.ini"}) {
        write_file(dir.file(name), "");
    }
    std::filesystem::create_directory(dir.file("icons"));
    write_file(dir.file("icons/car.bmp"), "");
    for (const char* output : {"out.gpx", "out.gpi"}) {
        auto r = run_from(dir, {"e.gpx", "e.gpi", "e.txt", "-o", output});
        EXPECT_EQ(r.exit_code, 0) << output << r.err;
        std::size_t imports = 0;
        for (std::size_t at = r.err.find("\n    imported 0 pois "); at != std::string::npos;
             at = r.err.find("\n    imported 0 pois ", at + 1)) {
            ++imports;
        }
        EXPECT_EQ(imports, 3u) << output << r.err;
        EXPECT_FALSE(contains(r.err, "Fatal")) << r.err;
    }
    // The empty icon file was reported when the GPX set looked for its icons.
    auto icons = run_from(dir, {"e.gpx", "-o", "icons.gpi"});
    EXPECT_TRUE(contains(icons.err, "\nWarning: Can't load bmp file(car.bmp)")) << icons.err;
    // An empty GPI holds no block, so no header error either; an empty GPX nothing at all.
    auto gpi = run_from(dir, {"e.gpi", "-o", "back.gpx"});
    EXPECT_EQ(gpi.exit_code, 0) << gpi.err;
    EXPECT_FALSE(contains(gpi.err, "Error")) << gpi.err;
}

TEST(HostileInput, ADirectoryNamedAsInputIsReportedAndSkipped) {
    temp_dir dir;
    write_file(dir.file("Velmora_speedcam.ini"), "");
    write_file(dir.file("good.gpx"), two_waypoints);
    for (const char* name : {"d.gpx", "d.gpi", "d.txt"}) {
        std::filesystem::create_directory(dir.file(name));
    }
    auto r = run_from(dir, {"d.gpx", "d.gpi", "d.txt", "good.gpx", "-o", "out.gpx"});
    EXPECT_EQ(r.exit_code, 2) << r.err;
    for (const char* name : {"d.gpx", "d.gpi", "d.txt"}) {
        EXPECT_TRUE(contains(r.err, "\nError opening input file (" + dir.file(name) +
                                        "). Igonre it! (Is a directory)"))
            << name << r.err;
    }
    EXPECT_TRUE(contains(r.err, "(4. good.gpx)\n    imported 2 pois ")) << r.err;
    std::string out = read_file(dir.file("out.gpx"));
    EXPECT_TRUE(contains(out, "<name>Alpha</name>"));
    EXPECT_TRUE(contains(out, "<name>Beta</name>"));
}

TEST(HostileInput, AnUnreadableInputIsReportedAndSkipped) {
    if (geteuid() == 0) GTEST_SKIP() << "permissions don't stop root from reading";
    temp_dir dir;
    write_file(dir.file("locked.gpx"), two_waypoints);
    write_file(dir.file("good.gpx"), two_waypoints);
    ASSERT_EQ(chmod(dir.file("locked.gpx").c_str(), 0), 0);
    auto r = run_from(dir, {"locked.gpx", "good.gpx", "-o", "out.gpx"});
    EXPECT_EQ(r.exit_code, 2) << r.err;
    EXPECT_TRUE(contains(r.err, "\nError opening input file (" + dir.file("locked.gpx") +
                                    "). Igonre it! (Permission denied)"))
        << r.err;
    EXPECT_TRUE(contains(r.err, "(2. good.gpx)\n    imported 2 pois ")) << r.err;
}

TEST(HostileInput, AGpxOfOneHundredMegabyteLineIsReadInOnePass) {
    temp_dir dir;
    // One line: a waypoint, then a waypoint whose fields stand behind 100 MB of other
    // elements, then a third one.  The reader walks every tag of the middle one.
    {
        std::ofstream out(dir.file("long.gpx"), std::ios::binary);
        out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?><gpx version=\"1.1\">"
               "<wpt lat=\"1\" lon=\"2\"><name>first</name></wpt>"
               "<wpt lat=\"3\" lon=\"4\"><extensions>";
        std::string chunk;
        while (chunk.size() < (1u << 20)) chunk += "<x:e a=\"1\">text &amp; more</x:e>";
        for (int i = 0; i < 100; ++i) out.write(chunk.data(), static_cast<long>(chunk.size()));
        out << "</extensions><name>middle</name><desc>after</desc></wpt>"
               "<wpt lat=\"5\" lon=\"6\"><name>last</name></wpt></gpx>";
        ASSERT_TRUE(out.good());
    }
    ASSERT_GT(std::filesystem::file_size(dir.file("long.gpx")), 100u << 20);
    auto r = run_from(dir, {"long.gpx", "-o", "out.gpx"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(contains(r.err, "\n    imported 3 pois ")) << r.err;
    std::string out = read_file(dir.file("out.gpx"));
    EXPECT_TRUE(contains(out, "<name>first</name>"));
    EXPECT_TRUE(contains(out, "<name>middle</name>"));
    EXPECT_TRUE(contains(out, "<desc><![CDATA[after]]></desc>"));
    EXPECT_TRUE(contains(out, "<name>last</name>"));
    EXPECT_LT(out.size(), 10000u);
}

TEST(HostileInput, DeeplyNestedGpxElementsAreReadWithoutRecursion) {
    temp_dir dir;
    constexpr int depth = 200000;
    std::string inner;
    inner.reserve(depth * 8);
    for (int i = 0; i < depth; ++i) inner += "<e>";
    inner += "deep";
    for (int i = 0; i < depth; ++i) inner += "</e>";
    // Nested elements inside a waypoint's name and around it, and waypoints nested in
    // waypoints: a waypoint ends at the first closing tag of its name.
    std::string nested_wpts;
    for (int i = 0; i < depth; ++i) nested_wpts += "<wpt lat=\"1\" lon=\"2\">";
    nested_wpts += "<name>inner</name>";
    for (int i = 0; i < depth; ++i) nested_wpts += "</wpt>";
    write_file(dir.file("deep.gpx"),
               gpx_of("<wpt lat=\"1\" lon=\"2\"><name>" + inner + "</name><desc>" + inner +
                      "</desc></wpt>" + inner + nested_wpts));
    auto r = run_from(dir, {"deep.gpx", "-o", "out.gpx"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(contains(r.err, "\n    imported 2 pois ")) << r.err;
    std::string out = read_file(dir.file("out.gpx"));
    EXPECT_TRUE(contains(out, "<name>inner</name>"));
}

TEST(HostileInput, ASpeedCameraListOfOneHundredThousandColumnsIsReadInBoundedLines) {
    temp_dir dir;
    write_file(dir.file("Velmora_speedcam.ini"), "");
    std::string header = "X,Y,TYPE,SPEED,DIRTYPE,DIRECTION";
    std::string row = "19.04,47.49,1,50,0,0";
    for (int i = 0; i < 100000; ++i) {
        header += ",C";
        row += ",0";
    }
    write_file(dir.file("wide.txt"), header + "\n" + row + "\n" + "19.07,47.51,5,70,1,90\n");
    auto r = run_from(dir, {"wide.txt", "-o", "out.gpx"});
    EXPECT_EQ(r.exit_code, 0) << r.err.substr(0, 2000);
    // The first 1022 bytes of the header name the columns; the rest of the long lines
    // comes as further lines of zeros and C's.
    EXPECT_TRUE(contains(r.err, "\nWarning: Unexpected speedcam column name in speedcam file!"));
    std::string out = read_file(dir.file("out.gpx"));
    EXPECT_TRUE(contains(out, "<wpt lat=\"47.4900000\" lon=\"19.0400000\">"))
        << out.substr(0, 3000);
    EXPECT_TRUE(contains(out, "<wpt lat=\"47.5100000\" lon=\"19.0700000\">"));
}

TEST(HostileInput, SettingsLinesFarOverTheLineLimitAreReadInPieces) {
    temp_dir dir;
    const std::string long_comment = ";" + std::string(200000, 'x') + "\n";
    const std::string long_key = std::string(300000, 'k') + "=1\n";
    // The speed-camera factor and the default proximity after the long lines still count.
    write_file(dir.file("Velmora_speedcam.ini"),
               "[SpeedcamConversion]\n" + long_comment + long_key + "Proximity=50%\n");
    write_file(dir.file("Velmora_gpi.ini"),
               "[GpiExportSettings]\n" + long_comment + long_key + "DefaultProximity=321\n");
    write_file(dir.file("cams.txt"), speedcam_list);
    write_file(dir.file("points.gpx"), two_waypoints);

    auto cams = run_from(dir, {"cams.txt", "-o", "cams.gpx"});
    EXPECT_EQ(cams.exit_code, 0) << cams.err.substr(0, 2000);
    EXPECT_TRUE(contains(cams.err, "\nWarning: Unexpected value=parameter in ")) << cams.err;
    EXPECT_TRUE(contains(read_file(dir.file("cams.gpx")), "<gpxx:Proximity>250</gpxx:Proximity>"));

    auto points = run_from(dir, {"points.gpx", "-o", "points.gpi"});
    EXPECT_EQ(points.exit_code, 0) << points.err.substr(0, 2000);
    EXPECT_TRUE(contains(points.err, "\nWarning: Unexpected parameter ")) << points.err;
    auto back = run_from(dir, {"points.gpi", "-o", "back.gpx"});
    EXPECT_EQ(back.exit_code, 0) << back.err;
    EXPECT_TRUE(contains(read_file(dir.file("back.gpx")), "<gpxx:Proximity>321</gpxx:Proximity>"));
}

TEST(HostileInput, AGpiAnnouncingLengthsOfFourGigabytesFailsCleanly) {
    using namespace velmora::testing;
    temp_dir dir;
    const std::string good = poi(0x20000000, 0x10000000, "kept");
    const std::string huge = le32(0xFFFFFFFF);
    struct gpi_case {
        const char* name;
        std::string bytes;
        const char* message;
    };
    const gpi_case cases[] = {
        {"block.gpi", file_header() + poi_header() + le16(9) + le16(8) + huge + huge,
         "\nError: gpi structure. Block type 0x9 of 4294967299 bytes runs past its parent or "
         "the file"},
        {"string.gpi",
         file_header() + poi_header() +
             poi_set("S", good + block(2, le32(1) + le32(2) + le16(1) + byte(0) + huge + "EN")),
         "\nError: gpi structure. String of 4294967295 bytes runs past its block!"},
        {"bitmap.gpi",
         file_header() + poi_header() +
             poi_set("S", good + block(5, le16(1) + le16(0xFFFF) + le16(0xFFFF) + le16(0) +
                                              le16(8) + le16(0) + huge + le32(44) + huge + le32(0) +
                                              le32(1) + huge)),
         "\nError: gpi structure. Bitmap 1 needs 21474836475 bytes but its block has 0 left!"},
    };
    for (const gpi_case& c : cases) {
        write_file(dir.file(c.name), c.bytes);
        auto r = run_from(dir, {c.name, "-o", "out.gpx"});
        // Refused as a whole: with no other input, nothing is written.
        EXPECT_EQ(r.exit_code, 1) << c.name << r.err;
        EXPECT_TRUE(contains(r.err, c.message)) << c.name << r.err;
        EXPECT_FALSE(file_exists(dir.file("out.gpx")));
    }
    // What stood before the broken block was kept, and written beside another input.
    write_file(dir.file("good.gpx"), two_waypoints);
    auto r = run_from(dir, {"bitmap.gpi", "good.gpx", "-o", "out.gpx"});
    EXPECT_EQ(r.exit_code, 2) << r.err;
    EXPECT_TRUE(contains(r.err, "\n    imported 1 pois ")) << r.err;
    EXPECT_TRUE(contains(r.err, "\nWarning: 1 of 2 inputs left out: 1. bitmap.gpi")) << r.err;
    EXPECT_TRUE(contains(read_file(dir.file("out.gpx")), "<name>kept</name>"));
}

TEST(HostileInput, AnOutputPathThatNamesADirectoryFailsAndLeavesItAlone) {
    temp_dir dir;
    write_file(dir.file("in.gpx"), two_waypoints);
    for (const char* output : {"out.gpx", "out.gpi"}) {
        std::filesystem::create_directory(dir.file(output));
        write_file(dir.file(output) + "/inside.txt", "keep me");
        auto before = names_in(dir);
        expect_output_refused(dir, output);
        EXPECT_EQ(read_file(dir.file(output) + "/inside.txt"), "keep me");
        EXPECT_EQ(names_in(dir), before);
    }
}

TEST(HostileInput, AnOutputDirectoryThatIsNotWritableFailsAndKeepsTheOldFile) {
    temp_dir dir;
    write_file(dir.file("in.gpx"), two_waypoints);
    // A directory that can't hold files even for root: a regular file stands in its place.
    write_file(dir.file("plain"), "keep me");
    expect_output_refused(dir, "plain/out.gpx");
    EXPECT_EQ(read_file(dir.file("plain")), "keep me");

    if (geteuid() == 0) GTEST_SKIP() << "permissions don't stop root from writing";
    std::filesystem::create_directory(dir.file("locked"));
    write_file(dir.file("locked/out.gpx"), "old contents");
    ASSERT_EQ(chmod(dir.file("locked").c_str(), 0555), 0);
    expect_output_refused(dir, "locked/out.gpx");
    EXPECT_EQ(read_file(dir.file("locked/out.gpx")), "old contents");
}

TEST(HostileInput, AnOutputNamedLikeItsInputKeepsTheInputWhenTheRunFails) {
    temp_dir dir;
    write_file(dir.file("Velmora_speedcam.ini"), "");
    // A refused output format: the list stays as it was.
    write_file(dir.file("cams.txt"), speedcam_list);
    auto refused = run_from(dir, {"cams.txt", "-o", "cams.txt"});
    EXPECT_EQ(refused.exit_code, 1);
    EXPECT_TRUE(contains(refused.err, "\nOutput file format (.txt) not supported!"));
    EXPECT_EQ(read_file(dir.file("cams.txt")), speedcam_list);

    // A write that fails half way (files limited to 4 KB): the GPX input survives whole
    // and no temporary file is left beside it.
    std::string body;
    for (int i = 0; i < 2000; ++i) {
        body += "<wpt lat=\"47." + std::to_string(i) + "\" lon=\"19.5\"><name>P" +
                std::to_string(i) + "</name></wpt>\n";
    }
    const std::string big = gpx_of(body);
    write_file(dir.file("big.gpx"), big);
    auto before = names_in(dir);
    auto limited = testing::run_program("/bin/sh", "sh",
                                        {"-c", "trap '' XFSZ; ulimit -f 8; exec \"$0\" \"$@\"",
                                         testing::velmora_exe(), "big.gpx", "-o", "big.gpx"},
                                        dir.path().string());
    EXPECT_EQ(limited.exit_code, 1) << limited.err;
    EXPECT_TRUE(contains(limited.err,
                         "\nError: Writing the output file (" + dir.file("big.gpx") + ") failed"))
        << limited.err;
    EXPECT_EQ(read_file(dir.file("big.gpx")), big);
    EXPECT_EQ(names_in(dir), before);

    // A run that succeeds reads the whole input before the output replaces it.
    write_file(dir.file("same.gpx"), two_waypoints);
    auto same = run_from(dir, {"same.gpx", "-o", "same.gpx"});
    EXPECT_EQ(same.exit_code, 0) << same.err;
    std::string replaced = read_file(dir.file("same.gpx"));
    EXPECT_TRUE(contains(replaced, "<name>Alpha</name>"));
    EXPECT_TRUE(contains(replaced, "<name>Beta</name>"));
    EXPECT_TRUE(contains(replaced, "Velmora"));
}

}  // namespace
}  // namespace velmora
