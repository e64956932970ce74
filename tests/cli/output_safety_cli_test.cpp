// End-to-end runs about what an output may touch and when a run counts as done: the
// icon files of a BMP export replace the old ones all or none and at depths BMP files
// have, a symbolic link planted by another user in a shared directory is not followed,
// and a signal that arrives once the output is in place doesn't fail the run.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "support/test_support.hpp"

namespace velmora {
namespace {

using testing::contains;
using testing::names_in;
using testing::read_file;
using testing::run_velmora;
using testing::temp_dir;
using testing::write_file;

using testing::repro_file;

#define REQUIRE_REPRO(path_var, name)        \
    std::string path_var = repro_file(name); \
    if (path_var.empty()) GTEST_SKIP() << "repro input not present: " << name

std::uint32_t le(const std::string& b, std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        v = (v << 8) | static_cast<unsigned char>(b.at(at + static_cast<std::size_t>(i)));
    }
    return v;
}

int occurrences(const std::string& text, const std::string& part) {
    int count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

// A GPI of 16 icons: depths 0 (no picture), 1, 2, 3, 4, 5, 7, 9, 15, 16, 24, 31, 32, 33,
// 64 and 65535 bits per pixel.
constexpr const char* weird_depths = "gpi_bmp_bpp_weird.gpi";

TEST(BmpExport, IconsOfDepthsBmpFilesLackAreWrittenAtTheNextDepthTheyHave) {
    REQUIRE_REPRO(gpi, weird_depths);
    temp_dir dir;
    auto run = run_velmora({gpi, "-o", "o.bmp"}, dir.path().string());
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_TRUE(contains(run.err, "\nWarning: Problem converting to bmp file (o_0_0)! (ignored)"))
        << run.err;
    const std::set<std::uint32_t> bmp_depths{1, 4, 8, 16, 24, 32};
    const std::uint32_t expected[] = {0, 1, 4, 4, 4, 8, 8, 16, 16, 16, 24, 32, 32, 32, 32, 32};
    for (int j = 1; j < 16; ++j) {
        std::string bytes = read_file(dir.file("o_0_" + std::to_string(j) + ".bmp"));
        ASSERT_GE(bytes.size(), 54u) << j;
        std::uint32_t depth = le(bytes, 28, 2);
        EXPECT_TRUE(bmp_depths.count(depth)) << j << ": " << depth;
        EXPECT_EQ(depth, expected[j]) << j;
        // The sizes the header gives are those of the file.
        EXPECT_EQ(le(bytes, 2, 4), bytes.size()) << j;
        EXPECT_EQ(le(bytes, 10, 4) + le(bytes, 34, 4), bytes.size()) << j;
        if (depth <= 8) {
            EXPECT_LE(le(bytes, 46, 4), 1u << depth) << j;
        }
    }
}

// Mounts a small file system on dir/name for this test process only; false when it
// can't be had here (not root, or no mount namespace).
bool mount_small_disk(const temp_dir& dir, const std::string& name, const std::string& options) {
    std::filesystem::create_directory(dir.file(name));
    return geteuid() == 0 && unshare(CLONE_NEWNS) == 0 &&
           mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           mount("tmpfs", dir.file(name).c_str(), "tmpfs", 0, options.c_str()) == 0;
}

// An export that can't write all of its icon files changes none of the files that were
// there, leaves no temporary file, and says why in one message with the system's reason.
TEST(BmpExport, AnExportThatCannotWriteEveryIconLeavesEveryOldFileAsItWas) {
    REQUIRE_REPRO(gpi, weird_depths);
    struct case_ {
        const char* what;
        // Prepares the directory "out" (holding o_0_1.bmp and o_0_2.bmp, 3 inodes); false
        // when the case can't be made here.
        std::function<bool(const temp_dir&)> prepare;
        std::string message;  // a part of the one error message, the directory as "@"
    };
    const case_ cases[] = {
        {"an icon file's name is taken by a directory",
         [](const temp_dir& dir) {
             std::filesystem::create_directory(dir.file("out"));
             std::filesystem::create_directory(dir.file("out/o_0_9.bmp"));
             return true;
         },
         "\nError opening output file (@/o_0_9.bmp). Aborting! (Is a directory)"},
        {"the disk has room for three new files only",
         [](const temp_dir& dir) { return mount_small_disk(dir, "out", "size=1m,nr_inodes=6"); },
         "\nError: Writing the icon file (@/o_0_4.bmp) failed (No space left on device); no "
         "icon file was changed."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        temp_dir dir;
        if (!c.prepare(dir)) {
            std::cout << "[  SKIPPED ] " << c.what << ": can't be made here\n";
            continue;
        }
        write_file(dir.file("out/o_0_1.bmp"), "old 1");
        write_file(dir.file("out/o_0_2.bmp"), "old 2");
        auto before = names_in(dir.file("out"));
        auto run = run_velmora({gpi, "-o", "out/o.bmp"}, dir.path().string());
        auto after = names_in(dir.file("out"));
        std::string first = read_file(dir.file("out/o_0_1.bmp"));
        std::string second = read_file(dir.file("out/o_0_2.bmp"));
        umount2(dir.file("out").c_str(), MNT_DETACH);

        EXPECT_EQ(run.exit_code, 1) << run.err;
        std::string message = c.message;
        message.replace(message.find('@'), 1, dir.file("out"));
        EXPECT_TRUE(contains(run.err, message)) << run.err;
        // One warning (for icon 0, which has no picture) and one error, however many
        // icons are left.
        std::string exporting =
            run.err.substr(std::min(run.err.find("Exporting..."), run.err.size()));
        EXPECT_EQ(occurrences(exporting, "\nWarning: "), 1) << run.err;
        EXPECT_EQ(occurrences(exporting, "\nError"), 1) << run.err;
        EXPECT_FALSE(contains(run.err, "()")) << run.err;
        EXPECT_EQ(first, "old 1");
        EXPECT_EQ(second, "old 2");
        EXPECT_EQ(after, before);
    }
}

// Runs of velmora as the test's user with the output named through a symbolic link that
// lies in a sticky directory open to all (like /tmp).  A link that another user planted
// there is not followed; the victim it points to stays as it was.
TEST(OutputLinks, ALinkOfAnotherUserInASharedStickyDirectoryIsRefused) {
    temp_dir dir;
    std::string shared = dir.file("shared");
    std::filesystem::create_directory(shared);
    ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
    write_file(dir.file("in.gpx"), "<gpx><wpt lat=\"1\" lon=\"2\"><name>new</name></wpt></gpx>");
    write_file(dir.file("victim.gpx"), "victim");
    std::filesystem::create_symlink(dir.file("victim.gpx"), shared + "/planted.gpx");
    std::filesystem::create_symlink(dir.file("victim.gpx"), shared + "/mine.gpx");
    // Only root can give a link to another user.
    if (geteuid() != 0 || lchown((shared + "/planted.gpx").c_str(), 65534, 65534) != 0) {
        GTEST_SKIP() << "a link of another user can't be made here";
    }
    auto planted = run_velmora({"in.gpx", "-o", "shared/planted.gpx"}, dir.path().string());
    EXPECT_EQ(planted.exit_code, 1) << planted.err;
    EXPECT_TRUE(contains(planted.err, "\nError opening output file (" + shared +
                                          "/planted.gpx). Aborting! (a symbolic link of another "
                                          "user in a sticky directory open to all users; not "
                                          "followed)"))
        << planted.err;
    EXPECT_FALSE(contains(planted.err, "Importing...")) << planted.err;
    EXPECT_EQ(read_file(dir.file("victim.gpx")), "victim");

    // The same for one of the icon files of a BMP export, found when the export begins.
    REQUIRE_REPRO(gpi, weird_depths);
    std::filesystem::create_symlink(dir.file("victim.gpx"), shared + "/o_0_3.bmp");
    ASSERT_EQ(lchown((shared + "/o_0_3.bmp").c_str(), 65534, 65534), 0);
    auto icons = run_velmora({gpi, "-o", "shared/o.bmp"}, dir.path().string());
    EXPECT_EQ(icons.exit_code, 1) << icons.err;
    EXPECT_TRUE(contains(icons.err, "/o_0_3.bmp). Aborting! (a symbolic link of another user"))
        << icons.err;
    EXPECT_EQ(read_file(dir.file("victim.gpx")), "victim");
    EXPECT_EQ(names_in(shared), (std::vector<std::string>{"mine.gpx", "o_0_3.bmp", "planted.gpx"}));

    // The caller's own link is followed.
    auto mine = run_velmora({"in.gpx", "-o", "shared/mine.gpx"}, dir.path().string());
    EXPECT_EQ(mine.exit_code, 0) << mine.err;
    EXPECT_TRUE(contains(read_file(dir.file("victim.gpx")), "<name>new</name>"));
}

// A SIGTERM that arrives while the directory of the renamed output is synced: the output
// is in place, so the run finishes as it would have without it.
TEST(OutputSignals, ASignalAfterTheOutputIsInPlaceDoesNotFailTheRun) {
    std::string asan = std::getenv("ASAN_OPTIONS") != nullptr ? std::getenv("ASAN_OPTIONS") : "";
    testing::run_options options;
    options.env = {{"LD_PRELOAD", VELMORA_RAISE_ON_DIRECTORY_SYNC},
                   {"ASAN_OPTIONS", asan + (asan.empty() ? "" : ":") + "verify_asan_link_order=0"}};
    temp_dir dir;
    write_file(dir.file("in.gpx"), "<gpx><wpt lat=\"1\" lon=\"2\"><name>new</name></wpt></gpx>");
    write_file(dir.file("out.gpx"), "old");
    auto run = run_velmora({"in.gpx", "-o", "out.gpx"}, dir.path().string(), options);
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_FALSE(contains(run.err, "Interrupted.")) << run.err;
    EXPECT_TRUE(contains(read_file(dir.file("out.gpx")), "<name>new</name>"));

    REQUIRE_REPRO(gpi, weird_depths);
    auto icons = run_velmora({gpi, "-o", "o.bmp"}, dir.path().string(), options);
    EXPECT_EQ(icons.exit_code, 0) << icons.err;
    EXPECT_FALSE(contains(icons.err, "Interrupted.")) << icons.err;
    EXPECT_TRUE(testing::file_exists(dir.file("o_0_15.bmp")));
}

}  // namespace
}  // namespace velmora
