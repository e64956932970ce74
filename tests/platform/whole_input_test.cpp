// Reading an input whole: what a mapped or read regular file gives, what happens when it
// changes while it is read, and the bound on streams that are not regular files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>
#include <thread>

#include "platform/messages.hpp"
#include "platform/side_by_side.hpp"
#include "platform/whole_input.hpp"
#include "support/test_support.hpp"

namespace velmora {
namespace {

using testing::temp_dir;
using testing::write_file;

struct file_closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using open_file = std::unique_ptr<std::FILE, file_closer>;

open_file open_for_reading(const std::string& path) {
    return open_file(std::fopen(path.c_str(), "rb"));
}

TEST(WholeInput, GivesTheBytesOfAFileFromWhereItStandsWithAZeroByteBehind) {
    temp_dir dir;
    const std::string bytes = "X,Y\n19,47\n";
    write_file(dir.file("in.txt"), bytes);
    for (long start : {0L, 4L}) {
        open_file file = open_for_reading(dir.file("in.txt"));
        ASSERT_EQ(std::fseek(file.get(), start, SEEK_SET), 0);
        auto input = whole_input::load(file.get(), "txt");
        ASSERT_TRUE(input.has_value());
        EXPECT_EQ(input->text(), bytes.substr(static_cast<std::size_t>(start)));
        EXPECT_EQ(input->text().data()[input->text().size()], '\0');
        input->passer()(0, input->text().size());
        EXPECT_NO_THROW(input->check_unchanged());
    }
    write_file(dir.file("empty.txt"), "");
    open_file empty = open_for_reading(dir.file("empty.txt"));
    auto nothing = whole_input::load(empty.get(), "txt");
    ASSERT_TRUE(nothing.has_value());
    EXPECT_EQ(nothing->text(), "");
}

TEST(WholeInput, AFileShortenedGrownOrWrittenToWhileReadIsNotTrusted) {
    temp_dir dir;
    const std::string bytes(10000, 'a');
    struct change_case {
        const char* what;
        std::function<void(const std::string& path)> change;
        const char* reason;
    };
    const change_case cases[] = {
        {"nothing", [](const std::string&) {}, nullptr},
        {"shortened", [](const std::string& path) { ASSERT_EQ(truncate(path.c_str(), 4000), 0); },
         "it had 10000 bytes when reading began and 4000 after"},
        {"grown",
         [](const std::string& path) {
             std::FILE* f = std::fopen(path.c_str(), "ab");
             std::fputs("more", f);
             std::fclose(f);
         },
         "it had 10000 bytes when reading began and 10004 after"},
        {"written to",
         [](const std::string& path) {
             // Same size, another time: as when another program rewrites it in place.
             const timespec times[2] = {{0, UTIME_OMIT}, {12345, 0}};
             ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
         },
         "it was written to while it was read"},
    };
    for (const change_case& c : cases) {
        const std::string path = dir.file("in.gpx");
        write_file(path, bytes);
        open_file file = open_for_reading(path);
        auto input = whole_input::load(file.get(), "xml");
        ASSERT_TRUE(input.has_value()) << c.what;
        c.change(path);
        if (c.reason == nullptr) {
            EXPECT_NO_THROW(input->check_unchanged());
            continue;
        }
        try {
            input->check_unchanged();
            ADD_FAILURE() << c.what << ": not noticed";
        } catch (const input_changed& changed) {
            EXPECT_STREQ(changed.what(), c.reason) << c.what;
        }
    }
}

TEST(WholeInput, AFileThatGivesFewerBytesThanItsSizeIsNotTrusted) {
    // Files of the kernel's attribute system claim a page and give a few bytes, as a
    // file shortened between its size and its reading does.
    const char* attribute = "/sys/devices/system/cpu/online";
    struct stat info {};
    if (stat(attribute, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 100) {
        GTEST_SKIP() << attribute << " is not a page-sized attribute file here";
    }
    open_file file = open_for_reading(attribute);
    ASSERT_TRUE(file);
    EXPECT_THROW((void)whole_input::load(file.get(), "csv"), input_changed);
}

TEST(WholeInput, AStreamIsReadToItsEndUpToTheBound) {
    struct stream_case {
        std::size_t length;  // 0: endless
        std::uint64_t bound;
        bool read;
    };
    const stream_case cases[] = {
        {3000000, 3000000, true},
        {3000001, 3000000, false},
        {0, 5000000, false},
    };
    for (const stream_case& c : cases) {
        int fds[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        // The writer stops when the reader closes its end.
        std::thread writer([fd = fds[1], length = c.length] {
            std::string chunk(65536, 'z');
            std::size_t left = length;
            while (length == 0 || left > 0) {
                std::size_t n = length == 0 ? chunk.size() : std::min(left, chunk.size());
                ssize_t put = send(fd, chunk.data(), n, MSG_NOSIGNAL);
                if (put <= 0) break;
                left -= static_cast<std::size_t>(put);
            }
            close(fd);
        });
        std::FILE* stream = fdopen(fds[0], "rb");
        message_capture capture;
        auto input = whole_input::load(stream, "gpx", c.bound);
        std::fclose(stream);
        writer.join();
        EXPECT_EQ(input.has_value(), c.read) << c.length;
        if (c.read) {
            EXPECT_EQ(input->text().size(), c.length);
            EXPECT_EQ(capture.text(), "");
        } else {
            EXPECT_EQ(capture.text(),
                      "\nError: The gpx input is not a regular file and goes on past " +
                          std::to_string(c.bound) + " bytes; nothing imported.");
        }
    }
}

TEST(ProblemWatch, KeepsTheFirstProblemAlsoWhenAnotherThreadReportedIt) {
    problem_watch watch;
    message_capture capture;
    {
        problem_watch inner;
        report("\nWarning: not about a line");
        EXPECT_EQ(inner.first(), "");
        // What a second thread reported comes with the messages it collected.
        bool ran = run_side_by_side([] {},
                                    [] {
                                        report_problem("\nWarning: line %i skipped", 7);
                                        report_problem("\nWarning: line %i skipped", 8);
                                    });
        if (!ran) GTEST_SKIP() << "one processor: no second thread";
        report_problem("\nWarning: line %i skipped", 9);
        EXPECT_EQ(inner.first(), "Warning: line 7 skipped");
    }
    // Inside a capture the capture keeps it; the watch outside sees nothing.
    EXPECT_EQ(watch.first(), "");
    EXPECT_EQ(capture.first_problem(), "");
    report_problem("\nWarning: line %i skipped", 10);
    EXPECT_EQ(capture.first_problem(), "Warning: line 10 skipped");
}

}  // namespace
}  // namespace velmora
