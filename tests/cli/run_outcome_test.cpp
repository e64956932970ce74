// End-to-end runs about what a run leaves behind and what its exit code says: inputs
// that can't be read, outputs refused before the import, closed standard descriptors,
// replaced files that keep what the user set on them, interrupts and a full disk.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "gpi/gpi_test_builder.hpp"
#include "support/test_support.hpp"

namespace velmora {
namespace {

using testing::file_exists;
using testing::names_in;
using testing::read_file;
using testing::run_velmora;
using testing::temp_dir;
using testing::write_file;

using testing::contains;

std::string gpx_with(int waypoints) {
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<gpx version=\"1.1\">\n";
    for (int i = 0; i < waypoints; ++i) {
        text += "<wpt lat=\"47." + std::to_string(i) + "\" lon=\"19." + std::to_string(i % 977) +
                "\"><name>Point " + std::to_string(i) + "</name><cmt>c" + std::to_string(i) +
                "</cmt></wpt>\n";
    }
    return text + "</gpx>\n";
}

// How the child is started: its standard error, descriptors to close, another user.
struct start_options {
    int err_fd = -1;  // -1: /dev/null
    std::vector<int> closed;
    bool as_nobody = false;
};

pid_t start_velmora(const std::vector<std::string>& args, const std::string& dir,
                    const start_options& options) {
    pid_t pid = fork();
    if (pid != 0) return pid;
    int err = options.err_fd >= 0 ? options.err_fd : open("/dev/null", O_WRONLY);
    if (err < 0 || chdir(dir.c_str()) != 0) _exit(127);
    dup2(err, 2);
    if (err != 2) close(err);
    for (int fd : options.closed) close(fd);
    if (options.as_nobody && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(127);
    setenv("SOURCE_DATE_EPOCH", testing::test_epoch, 0);
    std::vector<std::string> all{testing::velmora_exe()};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
}

int exit_code_of(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 256 + WTERMSIG(status);
}

const std::string two_waypoints = gpx_with(2);

TEST(RunOutcome, ExitCodeSaysWhetherEveryInputWasReadAndTheOutputWritten) {
    using namespace velmora::testing;
    temp_dir dir;
    write_file(dir.file("good.gpx"), two_waypoints);
    write_file(dir.file("nothing.gpx"), "<gpx version=\"1.1\"></gpx>");
    write_file(dir.file("refused.gpi"), "GRMREC00 is not at the start");
    write_file(dir.file("no-sets.gpi"), file_header() + poi_header() + end_block());
    std::filesystem::create_directory(dir.file("folder.gpx"));
    struct run_case {
        std::vector<std::string> inputs;
        const char* output;
        int exit_code;
        const char* last_line;  // empty: the output is written and nothing else is said;
                                // the line end that ends every run follows
    };
    const run_case cases[] = {
        {{"typo.gpx"},
         "keep.gpx",
         1,
         "\nFatal: No input could be read; the output file (%) was left as it was."},
        {{"typo.gpx"}, "keep.gpi", 1, "\nFatal: No input could be read;"},
        {{"refused.gpi", "folder.gpx", "x.gdb"}, "keep.gpx", 1, "\nFatal: No input could be read;"},
        {{"good.gpx", "typo.gpx", "refused.gpi"},
         "keep.gpx",
         2,
         "\nWarning: 2 of 3 inputs left out: 2. typo.gpx, 3. refused.gpi"},
        {{"nothing.gpx"}, "keep.gpx", 0, ""},
        {{"no-sets.gpi"}, "keep.gpx", 0, ""},
        {{"good.gpx", "nothing.gpx"}, "keep.gpi", 0, ""},
    };
    for (const run_case& c : cases) {
        write_file(dir.file(c.output), "keep me");
        std::vector<std::string> args = c.inputs;
        args.insert(args.end(), {"-o", c.output});
        auto r = run_velmora(args, dir.path().string());
        std::string line = c.last_line;
        if (std::size_t at = line.find('%'); at != std::string::npos) {
            line.replace(at, 1, dir.file(c.output));
        }
        EXPECT_EQ(r.exit_code, c.exit_code) << r.err;
        if (c.exit_code == 1) {
            EXPECT_EQ(read_file(dir.file(c.output)), "keep me");
            EXPECT_TRUE(contains(r.err, line)) << r.err;
            EXPECT_FALSE(contains(r.err, "Exporting...")) << r.err;
        } else {
            EXPECT_NE(read_file(dir.file(c.output)), "keep me");
            if (line.empty()) {
                EXPECT_FALSE(contains(r.err, "inputs left out")) << r.err;
            } else {
                line += '\n';
                EXPECT_EQ(r.err.substr(r.err.size() - std::min(r.err.size(), line.size())), line);
            }
        }
    }
    // An input with no POI set still gives a GPX document, without waypoints.
    std::string empty = read_file(dir.file("keep.gpx"));
    EXPECT_TRUE(contains(empty, "<gpx ")) << empty;
    EXPECT_TRUE(contains(empty, "</metadata>\n\n</gpx>\n")) << empty;

    // A GPI file refused whole, converted in place, stays as it was.
    const std::string broken = file_header() + poi_header() + le16(9) + le16(8) + le32(~0u);
    write_file(dir.file("u.gpi"), broken);
    auto in_place = run_velmora({"u.gpi", "-o", "u.gpi"}, dir.path().string());
    EXPECT_EQ(in_place.exit_code, 1) << in_place.err;
    EXPECT_EQ(read_file(dir.file("u.gpi")), broken);
}

// Inputs that their reader refuses, that give no POI though they hold lines or records,
// or that change while they are read: left out, and with nothing else to read the output
// stays untouched.  Empty inputs and lone headers still read as empty.
TEST(RunOutcome, AnInputRefusedOrGivingNoPoiIsLeftOutAndTheOutputStaysUntouched) {
    using namespace velmora::testing;
    temp_dir dir;
    const std::string page = "<html><body>502 Bad Gateway</body></html>\n";
    const std::string columns = "X,Y,TYPE,SPEED,DIRTYPE,DIRECTION";
    write_file(dir.file("Velmora_speedcam.ini"), "");
    write_file(dir.file("good.gpx"), two_waypoints);
    write_file(dir.file("page.txt"), page);
    write_file(dir.file("page.gpx"), page);
    write_file(dir.file("bad.txt"), columns + "\n19.0,947.5,1,50,0,0\n19.1\n");
    write_file(dir.file("bad.csv"), "500,600,Far\n1,2\n");
    write_file(dir.file("bad.gpx"), "<gpx><wpt lat=\"95\" lon=\"19\"><name>N</name></wpt></gpx>");
    write_file(dir.file("header.txt"), columns + ",NAME\n");
    write_file(dir.file("header.csv"), "lon,lat,name\n");
    write_file(dir.file("empty.csv"), "");
    // A file of the kernel's attribute system claims 4096 bytes and gives a few, as a
    // file shortened while it is read does.
    const std::string attribute = "/sys/devices/system/cpu/online";
    struct stat info {};
    bool shortened = stat(attribute.c_str(), &info) == 0 && info.st_size >= 100;
    if (shortened) std::filesystem::create_symlink(attribute, dir.file("short.csv"));
    struct run_case {
        std::vector<std::string> inputs;
        std::string stdin_bytes;  // for the input "-"
        int exit_code;
        std::string said;  // a line of the run
    };
    std::vector<run_case> cases = {
        {{"page.txt"}, "", 1, "\nError: Undefined speedcam column name(s) in speedcam file!"},
        {{"page.txt", "good.gpx"}, "", 2, "\nWarning: 1 of 2 inputs left out: 1. page.txt\n"},
        {{"page.gpx"}, "", 1, "\nError: The xml file holds no gpx element; nothing imported."},
        {{"-"}, page, 1, "\nInput file format (xml) not supported!"},
        {{"bad.txt"},
         "",
         1,
         "), which is left out; the first problem was: \"Warning: Speedcam line 2 has an "
         "invalid position (X=\"19.0\" Y=\"947.5\"), skipped\""},
        {{"bad.csv", "good.gpx"}, "", 2, "\nWarning: 1 of 2 inputs left out: 1. bad.csv\n"},
        {{"bad.csv"}, "", 1, "bad.csv), which is left out; the first problem was: \"Warning: CSV"},
        {{"bad.gpx"}, "", 1, "the first problem was: \"Warning: Waypoint (N) has an invalid"},
        {{"header.txt", "header.csv", "empty.csv"}, "", 0, "\n    imported 0 pois "},
    };
    if (shortened) {
        cases.push_back({{"good.gpx", "short.csv"},
                         "",
                         1,
                         "\nFatal: The input file (" + dir.file("short.csv") +
                             ") changed while it was read (it had 4096 bytes when reading began "
                             "and "});
    }
    if (std::string repro = repro_file("speedcam_html_error.txt"); !repro.empty()) {
        cases.push_back(
            {{repro}, "", 1, "\nError: Undefined speedcam column name(s) in speedcam file!"});
    }
    for (const run_case& c : cases) {
        write_file(dir.file("keep.gpi"), "keep me");
        std::vector<std::string> args = c.inputs;
        args.insert(args.end(), {"-o", "keep.gpi"});
        run_options options;
        if (!c.stdin_bytes.empty()) options.input = c.stdin_bytes;
        auto r = run_from(dir, args, options);
        const std::string name = c.inputs.front();
        EXPECT_EQ(r.exit_code, c.exit_code) << name << r.err;
        EXPECT_TRUE(contains(r.err, c.said)) << name << r.err;
        EXPECT_EQ(read_file(dir.file("keep.gpi")) == "keep me", c.exit_code == 1) << name;
        EXPECT_EQ(r.err.back(), '\n') << name;
    }
}

TEST(RunOutcome, AnOutputThatCannotBeWrittenThereIsRefusedBeforeTheImport) {
    temp_dir dir;
    write_file(dir.file("in.gpx"), two_waypoints);
    write_file(dir.file("plain"), "x");
    std::filesystem::create_directory(dir.file("folder.gpx"));
    std::filesystem::create_directory(dir.file("folder"));
    const struct {
        const char* output;
        const char* reason;
    } cases[] = {
        {"missing/out.gpx", "No such file or directory"},
        {"plain/out.gpi", "Not a directory"},
        {"missing/icons.bmp", "No such file or directory"},
        {"folder.gpx", "Is a directory"},
        // No extension to tell a format by: what is wrong is that it is a directory.
        {"folder", "Is a directory"},
    };
    for (const auto& c : cases) {
        auto r = run_velmora({"in.gpx", "-o", c.output}, dir.path().string());
        EXPECT_EQ(r.exit_code, 1) << r.err;
        EXPECT_TRUE(contains(r.err, "). Aborting! (" + std::string(c.reason) + ")")) << r.err;
        EXPECT_FALSE(contains(r.err, "Importing...")) << r.err;
    }
    EXPECT_EQ(names_in(dir.path().string()),
              (std::vector<std::string>{"folder", "folder.gpx", "in.gpx", "plain"}));
}

TEST(RunOutcome, ClosedStandardDescriptorsNeverReceiveMessagesInTheOutput) {
    temp_dir dir;
    write_file(dir.file("in.gpx"), two_waypoints);
    ASSERT_EQ(exit_code_of(start_velmora({"in.gpx", "-o", "open.gpx"}, dir.path().string(), {})),
              0);
    const std::string expected = read_file(dir.file("open.gpx"));
    for (const std::vector<int>& closed :
         {std::vector<int>{2}, std::vector<int>{1, 2}, std::vector<int>{0, 1, 2}}) {
        start_options options;
        options.closed = closed;
        pid_t pid = start_velmora({"in.gpx", "-o", "closed.gpx"}, dir.path().string(), options);
        EXPECT_EQ(exit_code_of(pid), 0) << closed.size();
        EXPECT_EQ(read_file(dir.file("closed.gpx")), expected) << closed.size();
    }
}

TEST(RunOutcome, AReplacedFileKeepsModeOwnerAndLinkAndLongNamesFit) {
    temp_dir dir;
    write_file(dir.file("in.gpx"), two_waypoints);

    write_file(dir.file("private.gpx"), "old");
    ASSERT_EQ(chmod(dir.file("private.gpx").c_str(), 0600), 0);
    bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(chown(dir.file("private.gpx").c_str(), 65534, 65534), 0);
    }
    EXPECT_EQ(run_velmora({"in.gpx", "-o", "private.gpx"}, dir.path().string()).exit_code, 0);
    struct stat info {};
    ASSERT_EQ(stat(dir.file("private.gpx").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    if (root) {
        EXPECT_EQ(info.st_uid, 65534u);
    }
    EXPECT_TRUE(contains(read_file(dir.file("private.gpx")), "Point 1"));

    // The link stays a link; the file it names is replaced in its own directory.
    std::filesystem::create_directory(dir.file("real"));
    write_file(dir.file("real/data.gpi"), "old");
    std::filesystem::create_symlink("real/data.gpi", dir.file("link.gpi"));
    auto linked = run_velmora({"in.gpx", "-o", "link.gpi"}, dir.path().string());
    EXPECT_EQ(linked.exit_code, 0) << linked.err;
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link.gpi")));
    EXPECT_EQ(read_file(dir.file("real/data.gpi")).substr(8, 8), "GRMREC00");
    EXPECT_EQ(names_in(dir.file("real")), std::vector<std::string>{"data.gpi"});

    std::string long_name(246, 'n');
    auto longest = run_velmora({"in.gpx", "-o", long_name + ".gpx"}, dir.path().string());
    EXPECT_EQ(longest.exit_code, 0) << longest.err;
    EXPECT_TRUE(file_exists(dir.file(long_name + ".gpx")));
    EXPECT_EQ(names_in(dir.path().string()),
              (std::vector<std::string>{"in.gpx", "link.gpi", long_name + ".gpx", "private.gpx",
                                        "real"}));
}

TEST(RunOutcome, AReadOnlyTargetIsRefusedAsAShellRedirectWouldRefuseIt) {
    temp_dir dir;
    // Root may write anything; the run is then made as an ordinary user.
    ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
    write_file(dir.file("in.gpx"), two_waypoints);
    write_file(dir.file("ro.gpx"), "old");
    ASSERT_EQ(chmod(dir.file("ro.gpx").c_str(), 0444), 0);
    int pipe_fds[2];
    ASSERT_EQ(pipe(pipe_fds), 0);
    start_options options;
    options.err_fd = pipe_fds[1];
    options.as_nobody = geteuid() == 0;
    pid_t pid = start_velmora({"in.gpx", "-o", "ro.gpx"}, dir.path().string(), options);
    close(pipe_fds[1]);
    std::string err;
    char buffer[4096];
    for (ssize_t n; (n = read(pipe_fds[0], buffer, sizeof buffer)) > 0;) {
        err.append(buffer, static_cast<std::size_t>(n));
    }
    close(pipe_fds[0]);
    int exit_code = exit_code_of(pid);
    // 127: the ordinary user could not start the program, whose directory (a checkout in a
    // private temporary directory, say) it may not enter.
    if (options.as_nobody && exit_code == 127) {
        GTEST_SKIP() << "user nobody cannot start " << err;
    }
    EXPECT_EQ(exit_code, 1) << err;
    EXPECT_TRUE(contains(err, "ro.gpx). Aborting! (Permission denied)")) << err;
    EXPECT_EQ(read_file(dir.file("ro.gpx")), "old");
}

// A signal while the output is being written: the temporary file goes, the old output
// stays, and the status is the shell's for that signal.  A bus error, which a mapped
// input shortened during the run raises, ends the run as a failed one.  Standard error is a pipe
// the test stops reading, so the run waits in its next message with the temporary file open.
TEST(RunOutcome, AnInterruptDuringALargeWriteRemovesTheTemporaryFile) {
    temp_dir dir;
    write_file(dir.file("big.gpx"), gpx_with(60000));
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGBUS}) {
        write_file(dir.file("out.gpi"), "old");
        bool interrupted = false;
        for (int attempt = 0; attempt < 5 && !interrupted; ++attempt) {
            int pipe_fds[2];
            ASSERT_EQ(pipe(pipe_fds), 0);
            start_options options;
            options.err_fd = pipe_fds[1];
            pid_t pid = start_velmora({"big.gpx", "-o", "out.gpi"}, dir.path().string(), options);
            // A second opening of the pipe's write end that doesn't block the child's.
            int filler = open(("/proc/self/fd/" + std::to_string(pipe_fds[1])).c_str(),
                              O_WRONLY | O_NONBLOCK);
            close(pipe_fds[1]);
            ASSERT_GE(filler, 0);
            std::string err;
            char buffer[4096];
            while (!contains(err, "\nExporting...")) {
                ssize_t n = read(pipe_fds[0], buffer, sizeof buffer);
                if (n <= 0) break;
                err.append(buffer, static_cast<std::size_t>(n));
            }
            std::string fill(4096, '.');
            while (write(filler, fill.data(), fill.size()) > 0) {
            }
            bool temp_seen = false;
            for (int wait = 0; wait < 2000 && !temp_seen; ++wait) {
                auto names = names_in(dir.path().string());
                temp_seen = std::any_of(names.begin(), names.end(),
                                        [](const std::string& n) { return n[0] == '.'; });
                if (!temp_seen) std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            if (temp_seen) kill(pid, sig);
            close(filler);
            while (read(pipe_fds[0], buffer, sizeof buffer) > 0) {
            }
            close(pipe_fds[0]);
            int code = exit_code_of(pid);
            // The write finished before the test looked, or the signal came after the
            // rename, when the run finishes as a success.
            if (!temp_seen || code == 0) continue;
            interrupted = true;
            EXPECT_EQ(code, sig == SIGBUS ? 1 : 128 + sig);
            EXPECT_EQ(read_file(dir.file("out.gpi")), "old");
            EXPECT_EQ(names_in(dir.path().string()),
                      (std::vector<std::string>{"big.gpx", "out.gpi"}));
        }
        EXPECT_TRUE(interrupted) << "signal " << sig;
    }
}

TEST(RunOutcome, AFullDiskFailsTheRunWithItsReasonAndKeepsTheOldFile) {
    temp_dir dir;
    write_file(dir.file("big.gpx"), gpx_with(20000));
    std::filesystem::create_directory(dir.file("small"));
    // A private mount namespace, so that the small file system is seen by this test only.
    if (geteuid() != 0 || unshare(CLONE_NEWNS) != 0 ||
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tmpfs", dir.file("small").c_str(), "tmpfs", 0, "size=256k") != 0) {
        GTEST_SKIP() << "a small tmpfs can't be mounted here";
    }
    write_file(dir.file("small/out.gpx"), "old");
    auto r = run_velmora({"big.gpx", "-o", "small/out.gpx"}, dir.path().string());
    auto names = names_in(dir.file("small"));
    std::string kept = read_file(dir.file("small/out.gpx"));
    umount2(dir.file("small").c_str(), MNT_DETACH);
    EXPECT_EQ(r.exit_code, 1) << r.err;
    EXPECT_TRUE(contains(r.err, "\nError: Writing the output file (" + dir.file("small/out.gpx") +
                                    ") failed (No space left on device); it was not changed."))
        << r.err;
    EXPECT_EQ(kept, "old");
    EXPECT_EQ(names, std::vector<std::string>{"out.gpx"});
}

}  // namespace
}  // namespace velmora
