// End-to-end runs that write GPI files.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "cli/gpi_output.hpp"
#include "gpi/gpi_reader.hpp"
#include "model/poiset.hpp"
#include "platform/messages.hpp"
#include "support/test_support.hpp"

namespace velmora {
namespace {

using testing::read_file;
using testing::read_gpi;
using testing::run_velmora;
using testing::temp_dir;
using testing::write_file;

// Sets SOURCE_DATE_EPOCH for the runs started while it lives.
class fixed_epoch {
  public:
    explicit fixed_epoch(const char* value) { setenv("SOURCE_DATE_EPOCH", value, 1); }
    ~fixed_epoch() { unsetenv("SOURCE_DATE_EPOCH"); }
    fixed_epoch(const fixed_epoch&) = delete;
    fixed_epoch& operator=(const fixed_epoch&) = delete;
};

std::uint32_t u32_at(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    }
    return value;
}

TEST(GpiOutput, RunWithoutPoisWritesTheFiftyEightByteFileStampedWithTheSourceDate) {
    temp_dir dir;
    write_file(dir.file("a.gpx"), "<gpx></gpx>");
    fixed_epoch epoch("1700000000");
    auto first = run_velmora({"a.gpx", "-o", "out.gpi"}, dir.path().string());
    EXPECT_EQ(first.exit_code, 0) << first.err;
    std::string bytes = read_file(dir.file("out.gpi"));
    ASSERT_EQ(bytes.size(), 58u);
    EXPECT_EQ(bytes.substr(8, 8), "GRMREC00");
    EXPECT_EQ(u32_at(bytes, 16), 1700000000u);
    EXPECT_EQ(u32_at(bytes, 46), 1250u);

    auto second = run_velmora({"a.gpx", "-O", "OUT.GPI"}, dir.path().string());
    EXPECT_EQ(second.exit_code, 0) << second.err;
    EXPECT_EQ(read_file(dir.file("OUT.GPI")), bytes);
}

const char* const small_gpx =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<gpx version=\"1.1\" creator=\"test\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
    "  <wpt lat=\"49.195060\" lon=\"16.606837\">\n"
    "    <name>Brno, n\xC3\xA1m\xC4\x9Bst\xC3\xAD Svobody</name>\n"
    "    <cmt>Main square</cmt>\n"
    "    <desc>Central square</desc>\n"
    "  </wpt>\n"
    "  <wpt lat=\"49.210300\" lon=\"16.589000\">\n"
    "    <name>Radar@50</name>\n"
    "  </wpt>\n"
    "</gpx>\n";

TEST(GpiOutput, GpxFileBecomesAGpiFileBesideIt) {
    temp_dir dir;
    write_file(dir.file("in.gpx"), small_gpx);
    fixed_epoch epoch("1234567890");
    auto result = run_velmora({"in.gpx"}, dir.path().string());
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_NE(result.err.find("\nAutomatic output file"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("\n    imported 2 pois"), std::string::npos) << result.err;
    std::string bytes = read_file(dir.file("in_velmora.gpi"));
    EXPECT_EQ(u32_at(bytes, 16), 1234567890u);

    poiset_list list = read_gpi(bytes);
    ASSERT_EQ(list.count(), 1);
    const poiset& set = *list.poisets[0];
    EXPECT_EQ(set.name, "in");
    EXPECT_EQ(list.poisets[0]->codepage->number(), 1250);
    ASSERT_EQ(set.count(), 2);
    const waypoint* square = nullptr;
    const waypoint* radar = nullptr;
    for (const auto& w : set.waypoints) {
        if (w.name && w.name->rfind("Brno", 0) == 0) square = &w;
        if (w.name && *w.name == "Radar") radar = &w;
    }
    ASSERT_NE(square, nullptr);
    ASSERT_NE(radar, nullptr);
    // Texts in code page 1250.
    EXPECT_EQ(*square->name, "Brno, n\xE1m\xECst\xED Svobody");
    EXPECT_EQ(square->comment.value_or(""), "Main square");
    EXPECT_EQ(square->description.value_or(""), "Central square");
    EXPECT_NEAR(square->lat, 49.195060, 1e-6);
    EXPECT_NEAR(square->lon, 16.606837, 1e-6);
    EXPECT_NE(radar->flags & has_speed, 0u);
    EXPECT_EQ(radar->speed, 50.0);

    // The same input converted again gives the same bytes.
    auto again = run_velmora({"in.gpx", "-o", "again.gpi"}, dir.path().string());
    EXPECT_EQ(again.exit_code, 0) << again.err;
    EXPECT_EQ(read_file(dir.file("again.gpi")), bytes);
}

}  // namespace
}  // namespace velmora
