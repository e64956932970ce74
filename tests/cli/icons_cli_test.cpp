#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <set>

#include "icons/bmp_file.hpp"
#include "support/test_support.hpp"

namespace velmora {
namespace {

bool refuses(const testing::run_result& run, const std::string& what) {
    return run.err.find(what) != std::string::npos;
}

std::uint32_t le(const std::string& b, std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        v = (v << 8) | static_cast<unsigned char>(b.at(at + static_cast<std::size_t>(i)));
    }
    return v;
}

// The icon numbers a POI group's records refer to and the bitmaps it holds.
struct group_icons {
    std::set<std::uint32_t> refs;
    std::set<std::uint32_t> bitmaps;
};

// Walks the blocks between from and to; every block must end within its parent.
void walk(const std::string& b, std::size_t from, std::size_t to, group_icons* group,
          std::vector<group_icons>& groups) {
    std::size_t at = from;
    while (at < to) {
        ASSERT_LE(at + 8, to);
        std::uint32_t type = le(b, at, 2);
        std::uint32_t flags = le(b, at + 2, 2);
        std::uint32_t length = le(b, at + 4, 4);
        bool main_size = (flags & 8) != 0;
        std::size_t data = at + 8 + (main_size && type != 11 && type != 12 ? 4 : 0);
        std::size_t end = (type == 2 || type == 8 || type == 9) ? data + length : at + 8 + length;
        ASSERT_LE(end, to) << "block " << type << " at " << at;
        if (type == 9) {
            groups.emplace_back();
            std::size_t own = main_size ? le(b, at + 8, 4) : 4 + le(b, data, 4);
            walk(b, data + own, end, &groups.back(), groups);
        } else if (type == 8 || (type == 2 && main_size)) {
            walk(b, data + le(b, at + 8, 4), end, group, groups);
        } else if (type == 4) {
            ASSERT_NE(group, nullptr);
            group->refs.insert(le(b, at + 8, 2));
        } else if (type == 5) {
            ASSERT_NE(group, nullptr);
            group->bitmaps.insert(le(b, at + 8, 2));
        } else if (type == 0xFFFF) {
            return;
        }
        at = end;
    }
}

TEST(IconsCli, ConvertsGpxToGpiWithTheIconsOfEachGroup) {
    testing::temp_dir dir;
    std::string gpx =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<gpx version=\"1.1\" creator=\"t\">\n";
    const char* symbols[] = {"Flag, Blue", "Car", "Car", "Restaurant", "No Such Icon", "car"};
    for (int i = 0; i < 6; ++i) {
        gpx += "<wpt lat=\"47." + std::to_string(i) + "\" lon=\"19.0\"><name>p" +
               std::to_string(i) + "</name><sym>" + symbols[i] + "</sym></wpt>\n";
    }
    gpx += "</gpx>\n";
    testing::write_file(dir.file("a.gpx"), gpx);
    testing::write_file(dir.file("b.gpx"), gpx.substr(0, gpx.find("<wpt")) +
                                               "<wpt lat=\"1\" lon=\"2\"><name>x</name>"
                                               "<sym>Lodging</sym></wpt></gpx>\n");
    auto run = testing::run_velmora({"a.gpx", "b.gpx", "-o", "out.gpi"}, dir.path().string());
    if (refuses(run, "(.gpx) not supported") || refuses(run, "(.gpi) not supported")) {
        GTEST_SKIP() << "GPX import or GPI export not in this build";
    }
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_NE(run.err.find("\n  1. Loaded icon  (used:    3x): 'car'"), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("\n    imported 3 icons (Skipped 0)"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("\n  1. Loaded icon  (used:    1x): 'lodging'"), std::string::npos);

    std::string bytes = testing::read_file(dir.file("out.gpi"));
    std::vector<group_icons> groups;
    walk(bytes, 0, bytes.size(), nullptr, groups);
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0].refs, (std::set<std::uint32_t>{0, 1, 2}));
    EXPECT_EQ(groups[0].bitmaps, (std::set<std::uint32_t>{0, 1, 2}));
    EXPECT_EQ(groups[1].refs, (std::set<std::uint32_t>{0}));
    EXPECT_EQ(groups[1].bitmaps, (std::set<std::uint32_t>{0}));
}

TEST(IconsCli, ExportsTheIconsOfGpiFilesAsBmpFiles) {
    VELMORA_REQUIRE_REAL(eight_bit, "gpi/garmin_gpi.gpi");
    VELMORA_REQUIRE_REAL(deep, "gpi/GATSO_30.gpi");
    testing::temp_dir dir;
    auto run = testing::run_velmora({eight_bit, deep, "-o", "icons.bmp"}, dir.path().string());
    if (refuses(run, "(.gpi) not supported")) GTEST_SKIP() << "GPI import not in this build";
    ASSERT_EQ(run.exit_code, 0) << run.err;

    auto icon = bmp_load(dir.file("icons_0_0.bmp"));
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->width, 24);
    EXPECT_EQ(icon->height, 24);
    EXPECT_EQ(icon->bits_per_pixel, 8);
    EXPECT_EQ(icon->colours_used, 256);
    EXPECT_EQ(icon->x_pixels_per_metre, 3780);

    std::string deep_icon = testing::read_file(dir.file("icons_1_0.bmp"));
    ASSERT_EQ(deep_icon.size(), 54u + 24u * 24u * 4u);
    EXPECT_EQ(le(deep_icon, 28, 2), 32u);
    EXPECT_EQ(le(deep_icon, 46, 4), 0u);  // no palette
}

TEST(IconsCli, FailsWhenTheIconFilesCannotBeWritten) {
    VELMORA_REQUIRE_REAL(gpi, "gpi/garmin_gpi.gpi");
    testing::temp_dir dir;
    auto run = testing::run_velmora({gpi, "-o", "missing/icons.bmp"}, dir.path().string());
    if (refuses(run, "(.gpi) not supported")) GTEST_SKIP() << "GPI import not in this build";
    // The missing directory is found before the import.
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.err.find("\nError opening output file (" + dir.file("missing/icons.bmp") +
                           "). Aborting! (No such file or directory)"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(run.err.find("Importing..."), std::string::npos) << run.err;
}

TEST(IconsCli, TakesBmpAsAnOutputAndFailsWithoutIconsToExport) {
    testing::temp_dir dir;
    testing::write_file(dir.file("in.gpx"), "<gpx><wpt lat=\"1\" lon=\"2\"/></gpx>");
    auto run = testing::run_velmora({"in.gpx", "-o", "out.bmp"}, dir.path().string());
    EXPECT_EQ(run.exit_code, 1) << run.err;
    EXPECT_EQ(run.err.find("Output file format"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("\nExporting...\nError: The inputs hold no icons to export; no bmp "
                           "file was written."),
              std::string::npos)
        << run.err;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(IconsCli, FindsTheBundledSettingsBesideTheProgram) {
    testing::temp_dir dir;
    testing::write_file(dir.file("in.xyz"), "x");
    auto run = testing::run_velmora({"in.xyz", "-o", "out.gpi"}, dir.path().string());
    EXPECT_EQ(run.err.find("gpi ini file"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace velmora
