#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "platform/atomic_output.hpp"
#include "platform/c_numbers.hpp"
#include "platform/clock.hpp"
#include "platform/code_page.hpp"
#include "platform/dir_search.hpp"
#include "platform/little_endian.hpp"
#include "platform/ordered_pieces.hpp"
#include "platform/page_buffer.hpp"
#include "platform/paths.hpp"
#include "platform/split_policy.hpp"
#include "platform/writeback_stream.hpp"
#include "support/test_support.hpp"

namespace velmora {
namespace {

TEST(ResolvePath, FollowsTheFileSystemAsTheShellDoes) {
    testing::temp_dir dir;
    std::string root = std::filesystem::canonical(dir.path()).string();
    std::filesystem::create_directories(dir.path() / "real" / "sub");
    // link -> real/sub, so link/.. is real, not the directory holding link.
    std::filesystem::create_directory_symlink(dir.path() / "real" / "sub", dir.path() / "link");
    std::string cwd = std::filesystem::current_path().string();
    struct case_ {
        std::string name;
        std::string resolved;
    };
    for (const case_& c : std::vector<case_>{
             {"a.gpx", cwd + "/a.gpx"},
             {"./a.gpx", cwd + "/a.gpx"},
             {root + "/link/../in.gpx", root + "/real/in.gpx"},
             {root + "//real/./sub/../x.gpi", root + "/real/x.gpi"},
             {root + "/link/", root + "/real/sub/"},
             {root + "/link/..", root + "/real/"},
             {"/../..", "/"},
             // A backslash is part of the name, never a separator.
             {root + "/back\\slash.gpx", root + "/back\\slash.gpx"},
             {root + "/real\\..\\x.gpx", root + "/real\\..\\x.gpx"},
             // A directory that does not exist leaves the name as written.
             {root + "/missing/../x.gpx", root + "/missing/../x.gpx"},
         }) {
        EXPECT_EQ(resolve_path(c.name), c.resolved) << c.name;
    }
    EXPECT_FALSE(resolve_path("").has_value());
    EXPECT_FALSE(resolve_path("/" + std::string(5000, 'a')).has_value());
}

TEST(SplitPath, TakesDirectoryNameAndLastExtension) {
    auto parts = split_path("/home/u/maps/in.data.GPX").value();
    EXPECT_EQ(parts.drive, "");
    EXPECT_EQ(parts.dir, "/home/u/maps/");
    EXPECT_EQ(parts.fname, "in.data");
    EXPECT_EQ(parts.ext, ".GPX");
    auto bare = split_path("/x/README").value();
    EXPECT_EQ(bare.fname, "README");
    EXPECT_EQ(bare.ext, "");
    auto console = split_path("con").value();
    EXPECT_EQ(console.dir, "");
    EXPECT_EQ(console.fname, "con");
}

TEST(SplitPath, RefusesComponentsOverThePlatformLimit) {
    EXPECT_TRUE(split_path("/d/" + std::string(251, 'n') + ".gpx").has_value());
    EXPECT_FALSE(split_path("/d/" + std::string(252, 'n') + ".gpx").has_value());
    EXPECT_FALSE(split_path("/" + std::string(4095, 'd')).has_value());
}

TEST(JoinPath, RefusesNamesOverThePlatformLimit) {
    path_parts parts{"", "/d/", "name_velmora", ".gpi"};
    EXPECT_EQ(join_path(parts), "/d/name_velmora.gpi");
    parts.fname = std::string(252, 'n');
    EXPECT_FALSE(join_path(parts).has_value());
    parts.fname = std::string(251, 'n');
    EXPECT_TRUE(join_path(parts).has_value());
}

TEST(LittleEndian, ReadsAndWritesTheLowByteFirstAtAnyAlignment) {
    // Bytes whose every position is told apart, read from each offset so that unaligned
    // places are among them; the top bits set, so that nothing is taken as signed.
    const std::array<std::uint8_t, 7> bytes = {0x01, 0x82, 0xF3, 0x04, 0x95, 0xE6, 0x77};
    struct expected {
        std::size_t at;
        std::uint16_t u16;
        std::uint32_t u24;
        std::uint32_t u32;
    };
    for (const expected& e :
         {expected{0, 0x8201, 0xF38201, 0x04F38201}, expected{1, 0xF382, 0x04F382, 0x9504F382},
          expected{3, 0x9504, 0xE69504, 0x77E69504}}) {
        SCOPED_TRACE(e.at);
        EXPECT_EQ(load_le16(bytes.data() + e.at), e.u16);
        EXPECT_EQ(load_le24(bytes.data() + e.at), e.u24);
        EXPECT_EQ(load_le32(bytes.data() + e.at), e.u32);

        std::array<std::uint8_t, 7> written{};
        store_le16(written.data() + e.at, e.u16);
        EXPECT_EQ(load_le16(written.data() + e.at), e.u16);
        store_le32(written.data() + e.at, e.u32);
        EXPECT_TRUE(std::equal(written.begin() + static_cast<std::ptrdiff_t>(e.at),
                               written.begin() + static_cast<std::ptrdiff_t>(e.at) + 4,
                               bytes.begin() + static_cast<std::ptrdiff_t>(e.at)));
    }
}

TEST(CaseFolding, ComparesAndLowersAsciiOnly) {
    EXPECT_TRUE(equals_ignore_case(".GPX", ".gpx"));
    EXPECT_FALSE(equals_ignore_case(".gpx", ".gpxx"));
    EXPECT_FALSE(equals_ignore_case("\xC9", "\xE9"));
    EXPECT_EQ(ascii_lower("Flag, Red\xC9"), "flag, red\xC9");
}

TEST(CNumbers, ReadTheLeadingIntegerInCConventions) {
    EXPECT_EQ(c_leading_int("20%"), 20);
    EXPECT_EQ(c_leading_int("  -17x"), -17);
    EXPECT_EQ(c_leading_int("+5"), 5);
    EXPECT_EQ(c_leading_int("150.7"), 150);
    EXPECT_EQ(c_leading_int("%20"), 0);
    EXPECT_EQ(c_leading_int(""), 0);
    EXPECT_EQ(c_leading_int("- 3"), 0);
    EXPECT_EQ(c_leading_int("99999999999999999999"), 2147483647);
    EXPECT_EQ(c_leading_int("-99999999999999999999"), -2147483647 - 1);
}

TEST(CNumbers, ReadTheLeadingDecimalWithAPointWhateverTheLocale) {
    EXPECT_DOUBLE_EQ(c_leading_double("49.1951"), 49.1951);
    EXPECT_DOUBLE_EQ(c_leading_double(" \t-16.6068abc"), -16.6068);
    EXPECT_DOUBLE_EQ(c_leading_double("+2.5e2"), 250.0);
    EXPECT_DOUBLE_EQ(c_leading_double("12,5"), 12.0);
    EXPECT_DOUBLE_EQ(c_leading_double(".5"), 0.5);
    EXPECT_EQ(c_leading_double("abc"), 0.0);
    EXPECT_EQ(c_leading_double(""), 0.0);
    EXPECT_EQ(c_leading_double("+-1"), 0.0);
    EXPECT_TRUE(std::isinf(c_leading_double("1e999")));
    EXPECT_EQ(c_leading_double("1e-999"), 0.0);
    std::size_t used = 0;
    EXPECT_DOUBLE_EQ(c_leading_double(" 3.25 km", used), 3.25);
    EXPECT_EQ(used, 5u);
}

TEST(Clock, HonoursSourceDateEpoch) {
    setenv("SOURCE_DATE_EPOCH", "1234567890", 1);
    EXPECT_EQ(current_unix_time(), 1234567890);
    setenv("SOURCE_DATE_EPOCH", "garbage", 1);
    EXPECT_GT(current_unix_time(), 1600000000);
    unsetenv("SOURCE_DATE_EPOCH");
    EXPECT_GT(current_unix_time(), 1600000000);
    double a = monotonic_msec();
    EXPECT_GE(monotonic_msec(), a);
}

TEST(CodePage, KnowsTheBuiltInPagesAndRefusesOthers) {
    for (int number : {28591, 28592, 28593, 28594, 28595, 28596, 28598, 28599, 28605, 1250,
                       1251,  1252,  1253,  1254,  1255,  1256,  1257,  1258,  874,   437,
                       720,   737,   775,   850,   852,   855,   857,   858,   862,   866}) {
        auto page = code_page::create(number);
        ASSERT_TRUE(page.has_value()) << number;
        EXPECT_EQ(page->number(), number);
        EXPECT_EQ(page->decode('A'), u'A') << number;
    }
    EXPECT_FALSE(code_page::create(65001).has_value());
    EXPECT_FALSE(code_page::create(0).has_value());
    EXPECT_EQ(code_page::from_locale_name(".1250")->number(), 1250);
    EXPECT_FALSE(code_page::from_locale_name("1250").has_value());
    EXPECT_FALSE(code_page::from_locale_name(".12x").has_value());
    EXPECT_FALSE(code_page::from_locale_name(".").has_value());
}

TEST(CodePage, MapsCharacteristicBytesOfEachTable) {
    struct sample {
        int page;
        unsigned char byte;
        char16_t unit;
    };
    const sample samples[] = {
        {1250, 0x80, u'\u20AC'},  {1250, 0x8A, u'\u0160'},  {1250, 0xE9, u'\u00E9'},
        {1251, 0xC0, u'\u0410'},  {1252, 0x80, u'\u20AC'},  {1252, 0x99, u'\u2122'},
        {1253, 0xC1, u'\u0391'},  {1254, 0xD0, u'\u011E'},  {1255, 0xE0, u'\u05D0'},
        {1256, 0xC7, u'\u0627'},  {1257, 0xC0, u'\u0104'},  {1258, 0xD2, u'\u0309'},
        {874, 0xA1, u'\u0E01'},   {28591, 0xE9, u'\u00E9'}, {28592, 0xA1, u'\u0104'},
        {28593, 0xA1, u'\u0126'}, {28594, 0xA1, u'\u0104'}, {28595, 0xB0, u'\u0410'},
        {28596, 0xC7, u'\u0627'}, {28598, 0xE0, u'\u05D0'}, {28599, 0xD0, u'\u011E'},
        {28605, 0xA4, u'\u20AC'}, {437, 0x82, u'\u00E9'},   {720, 0x9F, u'\u0627'},
        {737, 0x80, u'\u0391'},   {775, 0x80, u'\u0106'},   {850, 0x9B, u'\u00F8'},
        {852, 0xA5, u'\u0105'},   {855, 0x80, u'\u0452'},   {857, 0x98, u'\u0130'},
        {858, 0xD5, u'\u20AC'},   {862, 0x80, u'\u05D0'},   {866, 0x80, u'\u0410'},
    };
    for (const auto& s : samples) {
        auto page = code_page::create(s.page).value();
        EXPECT_EQ(page.decode(s.byte), s.unit) << s.page;
        EXPECT_EQ(page.encode(s.unit), s.byte) << s.page;
    }
}

TEST(CodePage, UndefinedBytesDecodeToReplacementAndMissingCharactersDoNotEncode) {
    auto cp1252 = code_page::create(1252).value();
    EXPECT_EQ(cp1252.decode(0x81), u'\uFFFD');
    EXPECT_FALSE(cp1252.encode(u'\uFFFD').has_value());
    auto cp1250 = code_page::create(1250).value();
    EXPECT_FALSE(cp1250.encode(u'\u0416').has_value());  // Cyrillic Zhe
    EXPECT_FALSE(cp1250.encode(u'\u0100').has_value());  // A with macron
    EXPECT_EQ(cp1250.encode(u'\0'), 0);
}

TEST(DirSearch, ListsEveryEntryInNameOrderForTheStarDotStarPattern) {
    testing::temp_dir dir;
    testing::write_file(dir.file("b.bmp"), "x");
    testing::write_file(dir.file("A.BMP"), "x");
    testing::write_file(dir.file("readme"), "x");
    std::filesystem::create_directory(dir.path() / "sub");
    testing::write_file(dir.file("c\\d.bmp"), "x");
    auto entries = find_entries(dir.path().string() + "/*.*");
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(entries[0].name, "A.BMP");
    EXPECT_EQ(entries[1].name, "b.bmp");
    EXPECT_EQ(entries[2].name, "c\\d.bmp");
    EXPECT_EQ(entries[3].name, "readme");
    EXPECT_EQ(entries[4].name, "sub");
    EXPECT_TRUE(entries[4].is_directory);
    EXPECT_FALSE(entries[0].is_directory);
    EXPECT_EQ(find_entries(dir.path().string() + "/*.bmp").size(), 2u);
    // A backslash does not separate: this names no directory.
    EXPECT_TRUE(find_entries(dir.path().string() + "\\*.*").empty());
    EXPECT_TRUE(find_entries(dir.path().string() + "/missing/*.*").empty());
}

TEST(PageBuffer, GivesBackOnlyTheWholePagesBetweenTheOffsets) {
    constexpr std::size_t size = std::size_t{4} << 20;
    auto buffer = page_buffer::allocate(size);
    ASSERT_TRUE(buffer);
    ASSERT_EQ(buffer->size(), size);
    char* data = buffer->data();
    EXPECT_TRUE(std::all_of(data, data + size, [](char c) { return c == 0; }));
    std::fill(data, data + size, 'x');
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    // From one byte into a page to one byte before the end of another: the pages cut
    // by either offset keep their bytes.
    std::size_t from = page + 1;
    std::size_t to = 3 * page - 1;
    buffer->release_between(from, to);
    EXPECT_TRUE(std::all_of(data, data + 2 * page, [](char c) { return c == 'x'; }));
    EXPECT_TRUE(std::all_of(data + 2 * page, data + size, [](char c) { return c == 'x'; }));
    buffer->release_between(page, 3 * page);
    EXPECT_TRUE(std::all_of(data, data + page, [](char c) { return c == 'x'; }));
    EXPECT_TRUE(std::all_of(data + page, data + 3 * page, [](char c) { return c == 0; }));
    EXPECT_TRUE(std::all_of(data + 3 * page, data + size, [](char c) { return c == 'x'; }));
    buffer->release_between(size - 1, size + page);  // beyond the end: nothing more
    EXPECT_EQ(data[size - 1], 'x');
    EXPECT_FALSE(page_buffer::allocate(SIZE_MAX));
}

TEST(PageBuffer, MapsAFileWithAZeroByteBehindItsText) {
    testing::temp_dir dir;
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    // A whole number of pages puts the zero byte into the page after the file's.
    for (std::size_t size : {std::size_t{0}, std::size_t{1}, page - 1, page, 3 * page + 7}) {
        std::string text(size, 'a');
        for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>('a' + i % 26);
        std::string path = dir.file("in.gpx");
        testing::write_file(path, text);
        FILE* file = std::fopen(path.c_str(), "rb");
        ASSERT_NE(file, nullptr);
        auto buffer = page_buffer::map_file(fileno(file), size);
        std::fclose(file);  // the mapping outlives the open file
        ASSERT_TRUE(buffer) << size;
        EXPECT_EQ(std::string_view(buffer->data(), size), text) << size;
        EXPECT_EQ(buffer->data()[size], '\0') << size;
        buffer->release_between(0, size);
    }
}

// Pieces made on one or two threads are handed on in order, and the handing on stops at
// the first failure; a piece that could not be made throws when its turn comes.
TEST(OrderedPieces, HandsPiecesOnInOrderAndStopsAtTheFirstFailure) {
    constexpr std::size_t count = 200;
    for (bool two_threads : {false, true}) {
        std::array<std::size_t, 3> slots{};
        std::vector<std::size_t> put;
        auto make = [&](std::size_t i) { slots[i % slots.size()] = i * i; };
        auto put_all = [&](std::size_t i) {
            put.push_back(slots[i % slots.size()]);
            return true;
        };
        EXPECT_TRUE(make_and_put_in_order(count, slots.size(), two_threads, make, put_all));
        ASSERT_EQ(put.size(), count);
        for (std::size_t i = 0; i < count; ++i) EXPECT_EQ(put[i], i * i);

        put.clear();
        auto put_some = [&](std::size_t i) {
            put.push_back(i);
            return i < 9;
        };
        EXPECT_FALSE(make_and_put_in_order(count, slots.size(), two_threads, make, put_some));
        EXPECT_EQ(put.size(), 10u);

        auto make_or_throw = [](std::size_t i) {
            if (i == 7) throw std::bad_alloc();
        };
        put.clear();
        auto put_each = [&](std::size_t i) {
            put.push_back(i);
            return true;
        };
        EXPECT_THROW(
            (void)make_and_put_in_order(count, slots.size(), two_threads, make_or_throw, put_each),
            std::bad_alloc);
        EXPECT_EQ(put.size(), 7u);
    }
}

TEST(AtomicOutput, ReplacesTheTargetOnlyOnCommit) {
    testing::temp_dir dir;
    std::string target = dir.file("out.gpi");
    testing::write_file(target, "old");
    {
        auto out = atomic_output::open(target).value();
        std::fputs("new", out.stream());
        // Not committed: the target keeps its bytes and no temporary file remains.
    }
    EXPECT_EQ(testing::read_file(target), "old");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);
    auto out = atomic_output::open(target).value();
    std::fputs("new", out.stream());
    ASSERT_TRUE(out.commit());
    EXPECT_EQ(testing::read_file(target), "new");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST(AtomicOutput, DataSentToDiskWhileWritingEndsUpWholeOrNotAtAll) {
    // Enough megabytes, written slowly enough, that parts go to the disk before commit;
    // what was sent early must neither reach the target without commit nor be missing
    // from it after commit.
    testing::temp_dir dir;
    std::string target = dir.file("out.gpi");
    testing::write_file(target, "old");
    std::string expected;
    for (bool commit : {false, true}) {
        {
            auto out = atomic_output::open(target).value();
            expected.clear();
            for (int part = 0; part < 12; ++part) {
                std::string bytes(std::size_t{1} << 20, static_cast<char>('a' + part));
                std::fwrite(bytes.data(), 1, bytes.size(), out.stream());
                expected += bytes;
                if (part % 4 == 3) std::this_thread::sleep_for(std::chrono::milliseconds(30));
            }
            if (commit) {
                ASSERT_TRUE(out.commit());
            }
        }
        EXPECT_TRUE(testing::read_file(target) == (commit ? expected : "old"));
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST(AtomicOutput, RefusesADirectoryOrAnUnwritablePlace) {
    testing::temp_dir dir;
    EXPECT_FALSE(atomic_output::open(dir.path().string()).has_value());
    EXPECT_FALSE(atomic_output::open(dir.file("missing/out.gpx")).has_value());
}

TEST(AtomicOutput, ReportsAFullDiskAndLeavesTheTargetAlone) {
    if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    // The output's file replaced by /dev/full fails like a full disk; commit must notice
    // the failed flush.
    testing::temp_dir dir;
    std::string target = dir.file("out.gpx");
    testing::write_file(target, "old");
    auto out = atomic_output::open(target).value();
    int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(full, 0);
    ASSERT_EQ(dup2(full, out.descriptor()), out.descriptor());
    close(full);
    std::string block(1 << 17, 'x');
    std::fwrite(block.data(), 1, block.size(), out.stream());
    EXPECT_FALSE(out.commit());
    EXPECT_FALSE(out.error().empty());
    EXPECT_EQ(testing::read_file(target), "old");
}

// A list is gone through whole, in halves on two threads from the policy's bound on;
// a text's bound grows with the bytes an item takes and stops at the largest size.
TEST(SplitPolicy, GoesThroughEveryItemOnceInHalvesFromItsBound) {
    struct case_ {
        std::size_t from, count, half;
        bool halves;
    };
    bool two_processors = std::thread::hardware_concurrency() >= 2;
    for (const case_& c :
         {case_{4, 3, 1, false}, case_{4, 4, 2, true}, case_{4, 9, 0, true}, case_{4, 9, 9, true},
          case_{split_policy::default_items_from, 1000, 500, false}}) {
        std::mutex lock;
        std::vector<std::pair<std::size_t, std::size_t>> ranges;
        split_policy{c.from}.in_halves(c.count, c.half, [&](std::size_t first, std::size_t end) {
            std::lock_guard<std::mutex> held(lock);
            ranges.emplace_back(first, end);
        });
        std::sort(ranges.begin(), ranges.end());
        using ranges_t = std::vector<std::pair<std::size_t, std::size_t>>;
        ranges_t expected = c.halves && two_processors ? ranges_t{{0, c.half}, {c.half, c.count}}
                                                       : ranges_t{{0, c.count}};
        EXPECT_EQ(ranges, expected) << c.from << " " << c.count;
    }
    EXPECT_EQ(split_policy{}.bytes_from(16), std::size_t{1} << 20);
    EXPECT_EQ(split_policy{std::numeric_limits<std::size_t>::max() / 2}.bytes_from(4),
              std::numeric_limits<std::size_t>::max());
}

// The stream that sends its data to the disk as it drains: over a file that can't be
// sent early it just writes, and a write that fails shows as the stream's error with
// the system's reason.
TEST(WritebackStream, WritesWhereItCannotSendEarlyAndReportsAFailedWrite) {
    struct case_ {
        const char* device;
        std::size_t bytes;
        int error;  // 0: written whole
    };
    for (const case_& c : {case_{"/dev/null", 3 * writeback_step + 5, 0},
                           case_{"/dev/full", std::size_t{1} << 17, ENOSPC}}) {
        int fd = open(c.device, O_WRONLY | O_CLOEXEC);
        if (fd < 0) GTEST_SKIP() << "no " << c.device;
        std::FILE* stream = open_writeback_stream(fd, 1 << 16);
        ASSERT_NE(stream, nullptr);
        std::string block(std::size_t{1} << 20, 'x');
        errno = 0;
        for (std::size_t done = 0; done < c.bytes;) {
            std::size_t part = std::min(block.size(), c.bytes - done);
            (void)std::fwrite(block.data(), 1, part, stream);
            done += part;
        }
        (void)std::fflush(stream);
        EXPECT_EQ(std::ferror(stream) != 0, c.error != 0) << c.device;
        if (c.error != 0) {
            EXPECT_EQ(errno, c.error) << c.device;
        }
        EXPECT_EQ(std::fclose(stream), 0) << c.device;
    }
}

TEST(AtomicOutput, FollowsALinkInASharedStickyDirectoryOnlyForItsOwnerOrTheCaller) {
    constexpr mode_t shared = S_IFDIR | S_ISVTX | 0777;
    struct case_ {
        mode_t directory_mode;
        uid_t directory_owner, link_owner, caller;
        bool followed;
    };
    const case_ cases[] = {
        {shared, 0, 1000, 2000, false},                   // planted by another user in /tmp
        {shared, 0, 0, 2000, true},                       // the directory's owner's link
        {shared, 0, 2000, 2000, true},                    // the caller's own link
        {shared, 3000, 3000, 0, true},                    // the owner of a shared directory
        {shared, 3000, 1000, 0, false},                   // root is not exempt
        {S_IFDIR | 0777, 0, 1000, 2000, true},            // not sticky
        {S_IFDIR | S_ISVTX | 0775, 0, 1000, 2000, true},  // sticky, not open to all
    };
    for (const auto& c : cases) {
        EXPECT_EQ(link_may_be_followed(c.directory_mode, c.directory_owner, c.link_owner, c.caller),
                  c.followed)
            << std::oct << c.directory_mode << std::dec << " " << c.directory_owner << " "
            << c.link_owner << " " << c.caller;
    }
}

std::vector<std::uint8_t> bytes_of(const std::string& text) {
    return {text.begin(), text.end()};
}

TEST(AtomicOutputGroup, ReplacesEveryTargetOnCommitAndNoneBefore) {
    testing::temp_dir dir;
    std::vector<std::string> targets{dir.file("a"), dir.file("b"), dir.file("c")};
    testing::write_file(targets[0], "old a");
    testing::write_file(targets[1], "old b");
    {
        atomic_output_group group(targets);
        ASSERT_TRUE(group.ok()) << group.error();
        ASSERT_TRUE(group.write(0, bytes_of("new a")));
        ASSERT_TRUE(group.write(2, bytes_of("new c")));
        EXPECT_EQ(testing::read_file(targets[0]), "old a");
        EXPECT_FALSE(testing::file_exists(targets[2]));
        // Not committed: the targets stay and the temporary files go.
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
    EXPECT_EQ(testing::read_file(targets[0]), "old a");

    atomic_output_group group(targets);
    ASSERT_TRUE(group.write(0, bytes_of("new a")));
    ASSERT_TRUE(group.write(2, bytes_of("new c")));
    ASSERT_TRUE(group.commit()) << group.error();
    EXPECT_TRUE(output_in_place());
    EXPECT_EQ(group.renamed(), 2u);
    EXPECT_EQ(testing::read_file(targets[0]), "new a");
    EXPECT_EQ(testing::read_file(targets[1]), "old b");  // never written: left alone
    EXPECT_EQ(testing::read_file(targets[2]), "new c");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 3);
}

TEST(AtomicOutputGroup, RefusesATargetItCannotWriteBeforeWritingAny) {
    testing::temp_dir dir;
    std::filesystem::create_directory(dir.file("b"));
    atomic_output_group group({dir.file("a"), dir.file("b"), dir.file("gone/c")});
    EXPECT_FALSE(group.ok());
    EXPECT_EQ(group.failed_target(), dir.file("b"));
    EXPECT_EQ(group.error(), "Is a directory");
    EXPECT_FALSE(group.write(0, bytes_of("x")));
    EXPECT_FALSE(group.commit());
    EXPECT_FALSE(testing::file_exists(dir.file("a")));
}

TEST(AtomicOutputGroup, TheInterruptCleanupRemovesEveryTemporaryFile) {
    testing::temp_dir dir;
    std::vector<std::string> targets;
    for (int i = 0; i < 40; ++i) targets.push_back(dir.file("icon_" + std::to_string(i)));
    atomic_output_group group(targets);
    for (std::size_t i = 0; i < targets.size(); ++i) ASSERT_TRUE(group.write(i, bytes_of("x")));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 40);
    remove_pending_outputs();
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 0);
}

}  // namespace
}  // namespace velmora
