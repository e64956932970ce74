// End-to-end runs of the program as an installed Linux tool: where it finds its
// settings and icons, Linux file names, standard input and output, help and version.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/version.hpp"
#include "support/test_support.hpp"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using testing::read_file;
using testing::run_options;
using testing::run_result;
using testing::temp_dir;
using testing::write_file;

using testing::contains;

const std::string two_waypoints =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<gpx version=\"1.1\" creator=\"t\">\n"
    "<wpt lat=\"47.5\" lon=\"19.0\"><name>A</name><sym>Car</sym></wpt>\n"
    "<wpt lat=\"47.6\" lon=\"19.1\"><name>B</name><sym>Car</sym></wpt>\n</gpx>\n";

const std::string camera_list = "X,Y,TYPE,SPEED,DIRTYPE,DIRECTION\n19.04,47.49,1,50,0,0\n";

// An installed tree: prefix/bin/velmora and prefix/share/velmora, with a user and two
// system configuration directories beside it.
struct installed_tree {
    temp_dir root;
    std::string bin = root.file("prefix/bin/");
    std::string share = root.file("prefix/share/velmora/");
    std::string user = root.file("home/.config/velmora/");
    std::string system1 = root.file("xdg1/velmora/");
    std::string system2 = root.file("xdg2/velmora/");

    installed_tree() {
        for (const auto& dir : {bin, share, user, system1, system2}) fs::create_directories(dir);
        fs::copy_file(testing::velmora_exe(), bin + "velmora");
        write_file(root.file("a.gpx"), two_waypoints);
        write_file(root.file("cams.txt"), camera_list);
    }

    run_result run(const std::vector<std::string>& args,
                   std::vector<std::pair<std::string, std::string>> env = {}) const {
        env.insert(env.begin(), {{"HOME", root.file("home")},
                                 {"XDG_CONFIG_HOME", ""},
                                 {"XDG_CONFIG_DIRS", root.file("xdg1") + ":" + root.file("xdg2")}});
        return testing::run_program(bin + "velmora", "velmora", args, root.path().string(),
                                    run_options{std::nullopt, env});
    }
};

TEST(InstalledLookup, EachFileComesFromTheFirstDirectoryThatHasIt) {
    installed_tree tree;
    // Every place has the GPI settings; they are taken away from the front one by one.
    std::vector<std::string> order = {tree.bin, tree.user, tree.system1, tree.system2, tree.share};
    for (const auto& dir : order) write_file(dir + "Velmora_gpi.ini", "[GpiExportSettings]\n");
    // The icons and the speed-camera settings only in the installed share/velmora.
    fs::create_directories(tree.share + "icons/speedcam");
    write_file(tree.share + "Velmora_speedcam.ini", "");
    for (const auto& winner : order) {
        auto r = tree.run({"a.gpx", "cams.txt", "-o", "out.gpi"});
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_TRUE(contains(r.err, "\n    settings: " + winner + "Velmora_gpi.ini\n")) << r.err;
        EXPECT_TRUE(contains(r.err, "\n    icons: " + tree.share + "icons/\n")) << r.err;
        EXPECT_TRUE(contains(r.err, "\n    settings: " + tree.share + "Velmora_speedcam.ini\n"))
            << r.err;
        EXPECT_TRUE(contains(r.err, "\n    icons: " + tree.share + "icons/speedcam/\n")) << r.err;
        EXPECT_TRUE(contains(r.err, "\n    imported 1 pois")) << r.err;
        fs::remove(winner + "Velmora_gpi.ini");
    }
    // Found nowhere: the error names the file beside the program.
    auto none = tree.run({"a.gpx", "-o", "out.gpi"});
    EXPECT_TRUE(
        contains(none.err, "\nError: Cant't open gpi ini file (" + tree.bin + "Velmora_gpi.ini)"))
        << none.err;
}

TEST(InstalledLookup, XdgVariablesFollowTheirRules) {
    installed_tree tree;
    write_file(tree.share + "Velmora_gpi.ini", "");
    fs::create_directories(tree.root.file("custom/velmora"));
    write_file(tree.root.file("custom/velmora/Velmora_gpi.ini"), "");
    write_file(tree.user + "Velmora_gpi.ini", "");
    struct case_ {
        std::vector<std::pair<std::string, std::string>> env;
        std::string winner;
    };
    for (const case_& c : std::vector<case_>{
             // XDG_CONFIG_HOME replaces ~/.config.
             {{{"XDG_CONFIG_HOME", tree.root.file("custom")}}, tree.root.file("custom/velmora/")},
             // A relative value is passed over, as if unset.
             {{{"XDG_CONFIG_HOME", "custom"}}, tree.user},
             // A relative entry of XDG_CONFIG_DIRS is passed over too.
             {{{"HOME", "/nonexistent"}, {"XDG_CONFIG_DIRS", "custom"}}, tree.share},
         }) {
        auto r = tree.run({"a.gpx", "-o", "out.gpi"}, c.env);
        EXPECT_TRUE(contains(r.err, "\n    settings: " + c.winner + "Velmora_gpi.ini\n"))
            << c.winner << r.err;
    }
}

TEST(LinuxNames, BackslashesAreOrdinaryAndDotDotFollowsTheFileSystem) {
    temp_dir dir;
    write_file(dir.file("back\\slash.gpx"), two_waypoints);
    auto r = testing::run_velmora({"back\\slash.gpx", "-o", "out\\x.gpx"}, dir.path().string());
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(contains(r.err, "\n<-1. back\\slash.gpx\n1---> out\\x.gpx")) << r.err;
    EXPECT_TRUE(contains(r.err, "\n    imported 2 pois")) << r.err;
    EXPECT_TRUE(testing::file_exists(dir.file("out\\x.gpx")));

    // link/../in.gpx names the file beside the link's target, as in the shell.
    fs::create_directories(dir.path() / "real" / "sub");
    fs::create_directory_symlink(dir.path() / "real" / "sub", dir.path() / "link");
    write_file(dir.file("real/in.gpx"), two_waypoints);
    auto linked = testing::run_velmora({"link/../in.gpx"}, dir.path().string());
    EXPECT_EQ(linked.exit_code, 0) << linked.err;
    EXPECT_TRUE(contains(linked.err, "\n    imported 2 pois")) << linked.err;
    EXPECT_TRUE(testing::file_exists(dir.file("real/in_velmora.gpi")));
}

TEST(Pipes, StandardInputInEveryFormatToStandardOutputInEitherFormat) {
    temp_dir dir;
    write_file(dir.file("Velmora_speedcam.ini"), "");
    // The same input from a file called stdin.* gives the same bytes as from a pipe.
    write_file(dir.file("stdin.gpx"), two_waypoints);
    write_file(dir.file("stdin.txt"), camera_list);
    ASSERT_EQ(testing::run_from(dir, {"stdin.gpx", "-o", "stdin.gpi"}).exit_code, 0);
    run_options epoch{std::nullopt, {{"SOURCE_DATE_EPOCH", "1700000000"}}};
    // The files to compare with lie in a directory of their own, where no other GPI file
    // moves their header time.
    fs::create_directory(dir.path() / "expected");
    for (const char* ext : {".gpx", ".gpi", ".txt"}) {
        for (const char* format : {"gpx", "gpi"}) {
            std::string expected = dir.file(std::string("expected/expected.") + format);
            auto by_file =
                testing::run_from(dir, {std::string("stdin") + ext, "-o", expected}, epoch);
            ASSERT_EQ(by_file.exit_code, 0) << by_file.err;
            run_options piped = epoch;
            piped.input = read_file(dir.file(std::string("stdin") + ext));
            auto r =
                testing::run_from(dir, {"-", "-o", "-", std::string("-format:") + format}, piped);
            EXPECT_EQ(r.exit_code, 0) << ext << " " << format << r.err;
            EXPECT_EQ(r.out, read_file(expected)) << ext << " -> " << format;
            EXPECT_TRUE(contains(r.err, std::string("\n    read as ") + ext)) << r.err;
            EXPECT_TRUE(contains(r.err, "\n<-1. stdin\n1---> stdout")) << r.err;
        }
    }
    // The console names read and write the same streams.
    run_options piped{two_waypoints, {}};
    auto named = testing::run_from(dir, {"STDIN", "-o", "con", "-format:GPX"}, piped);
    EXPECT_EQ(named.exit_code, 0) << named.err;
    EXPECT_TRUE(contains(named.out, "<name>A</name>")) << named.out;
}

TEST(Pipes, StandardStreamsNeedWhatTheirNamesCantTell) {
    temp_dir dir;
    auto no_output = testing::run_from(dir, {"-"}, run_options{two_waypoints, {}});
    EXPECT_EQ(no_output.exit_code, 1);
    EXPECT_TRUE(contains(no_output.err, "\nFatal: Standard input needs an output"))
        << no_output.err;
    EXPECT_FALSE(testing::file_exists(dir.file("stdin_velmora.gpi")));
    // -format: also chooses the writer for a named file and the automatic name.
    write_file(dir.file("a.gpx"), two_waypoints);
    auto automatic = testing::run_from(dir, {"a.gpx", "-format:gpx"});
    EXPECT_EQ(automatic.exit_code, 0) << automatic.err;
    EXPECT_TRUE(contains(read_file(dir.file("a_velmora.gpx")), "<gpx"));
    // A failed write to standard output fails the run.
    if (!testing::file_exists("/dev/full")) return;
    auto full = testing::run_program(
        "/bin/sh", "sh", {"-c", "\"$0\" a.gpx -o - -format:gpi >/dev/full", dir.file("velmora")},
        dir.path().string());
    EXPECT_EQ(full.exit_code, 1);
    EXPECT_TRUE(
        contains(full.err, "\nError: Writing to standard output failed (No space left on device)."))
        << full.err;
}

TEST(HelpAndVersion, PrintOnStandardOutputAndSucceed) {
    temp_dir dir;
    for (const char* ask : {"-h", "--help", "-?"}) {
        auto r = testing::run_velmora({"a.gpx", ask}, dir.path().string());
        EXPECT_EQ(r.exit_code, 0) << ask;
        EXPECT_EQ(r.err, "") << ask;
        for (const char* part :
             {"Usage: velmora INPUT...", "-o FILE", "-o -", "-format:FORMAT", "--version",
              "Velmora_gpi.ini", "Velmora_speedcam.ini", "$XDG_CONFIG_HOME/velmora",
              "$XDG_CONFIG_DIRS", "PREFIX/share/velmora", "Exit codes:"}) {
            EXPECT_TRUE(contains(r.out, part)) << ask << " lacks " << part << "\n" << r.out;
        }
        EXPECT_FALSE(testing::file_exists(dir.file("a_velmora.gpi")));
    }
    auto version = testing::run_velmora({"--version"}, dir.path().string());
    EXPECT_EQ(version.exit_code, 0);
    EXPECT_EQ(version.out, std::string("velmora ") + version_number + "\n");
    auto banner = testing::run_velmora({}, dir.path().string());
    EXPECT_EQ(banner.exit_code, 1);
    EXPECT_EQ(banner.err.rfind(std::string("\nVelmora ") + program_version + "\n", 0), 0u);
}

}  // namespace
}  // namespace velmora
