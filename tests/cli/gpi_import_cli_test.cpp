// End-to-end runs that import GPI files: what the program reports for each input.
#include <gtest/gtest.h>

#include "gpi/gpi_test_builder.hpp"
#include "support/test_support.hpp"

namespace velmora {
namespace {

using namespace velmora::testing;

TEST(GpiImport, EachGpiInputReportsItsPoisAndADamagedOneKeepsWhatWasRead) {
    temp_dir dir;
    std::string two = gpi_file(poi_set("g", area(0, 0, 0, 0, poi(1, 1, "a") + poi(2, 2, "b"))));
    std::string damaged = file_header() + poi_header() +
                          poi_set("h", area(0, 0, 0, 0, poi(3, 3, "c") + block(15, "")));
    write_file(dir.file("two.gpi"), two);
    write_file(dir.file("damaged.GPI"), damaged);
    auto result = run_velmora({"two.gpi", "damaged.GPI", "-o", "out.gpx"}, dir.path().string());
    EXPECT_NE(result.err.find("\n\nImporting... (1. two.gpi)\n    imported 2 pois "),
              std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find("\n\nImporting... (2. damaged.GPI)\nError: illegal block type: "
                              "0xF,0x0! (File pos:"),
              std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find("\n    imported 1 pois "), std::string::npos) << result.err;
}

TEST(GpiImport, FilesOfOtherProducersReportTheirPoisOrTheirHeaderError) {
    VELMORA_REQUIRE_REAL(good, "gpi/garmin_gpi.gpi");
    VELMORA_REQUIRE_REAL(other, "gpi/GermanySouth.gpi");
    temp_dir dir;
    auto result = run_velmora({good, other, "-o", "out.gpx"}, dir.path().string());
    EXPECT_NE(result.err.find("\n\nImporting... (1. garmin_gpi.gpi)\n    imported 86 pois "),
              std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find("\n\nImporting... (2. GermanySouth.gpi)\nError: gpi structure. "
                              "\"my.gpi\" expected but \"Pinns \" found! (File pos:0x1E)\n    "
                              "imported 0 pois "),
              std::string::npos)
        << result.err;
}

}  // namespace
}  // namespace velmora
