// End-to-end runs that import GPI files: what the program reports for each input.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "cli/gpi_output.hpp"
#include "gpi/gpi_test_builder.hpp"
#include "support/test_support.hpp"

namespace velmora {
namespace {

using namespace velmora::testing;

TEST(GpiImport, EachGpiInputReportsItsPoisAndADamagedOneKeepsWhatWasRead) {
    temp_dir dir;
    std::string two = gpi_file(poi_set("g", area(0, 0, 0, 0, poi(1, 1, "a") + poi(2, 2, "b"))));
    std::string past_parent = le16(20) + le16(0) + le32(100);
    std::string damaged =
        file_header() + poi_header() + poi_set("h", area(0, 0, 0, 0, poi(3, 3, "c") + past_parent));
    write_file(dir.file("two.gpi"), two);
    write_file(dir.file("damaged.GPI"), damaged);
    auto result = run_velmora({"two.gpi", "damaged.GPI", "-o", "out.gpx"}, dir.path().string());
    EXPECT_NE(result.err.find("\n\nImporting... (1. two.gpi)\n    imported 2 pois "),
              std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find("\n\nImporting... (2. damaged.GPI)\nError: gpi structure. Block "
                              "type 0x14 of 100 bytes runs past its parent or the file, 0 bytes "
                              "left! (File pos:"),
              std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find("\n    imported 1 pois "), std::string::npos) << result.err;
}

// Each real file with the POIs GPSBabel reads from it (with languagecode=EN for the two
// files of Russian and English texts), converted to GPX and to GPI.
TEST(GpiImport, EveryRealGpiFileConvertsToGpxAndGpi) {
    const struct {
        const char* file;
        int pois;
    } cases[] = {
        {"gpi/BORDATLAS.gpi", 6936},        {"gpi/GATSO_30.gpi", 2},
        {"gpi/GermanySouth.gpi", 2773},     {"gpi/Hollandspeedcam.gpi", 441},
        {"gpi/garmin_gpi.gpi", 86},         {"gpi/garmin_gpi_category~gpx.gpi", 86},
        {"gpi/garmin_gpi_encoding.gpi", 1}, {"gpi/garmin_gpi_position~gpx.gpi", 86},
        {"gpi/gpi_ext-sample.gpi", 9},      {"gpi/gpispeed.gpi", 1},
        {"gpi/rosneftHi_res.gpi", 2301},    {"gpi/spb_metro_norm.gpi", 83},
        {"gpi/umsonstdraussen.gpi", 78},
    };
    temp_dir dir;
    for (const auto& c : cases) {
        VELMORA_REQUIRE_REAL(path, c.file);
        std::string imported = "\n    imported " + std::to_string(c.pois) + " pois ";
        auto gpx = run_velmora({path, "-lang:EN", "-o", "out.gpx"}, dir.path().string());
        EXPECT_EQ(gpx.exit_code, 0) << c.file << gpx.err;
        EXPECT_NE(gpx.err.find(imported), std::string::npos) << c.file << gpx.err;
        auto gpi = run_velmora({path, "-lang:en", "-o", "out.gpi"}, dir.path().string());
        EXPECT_EQ(gpi.exit_code, 0) << c.file << gpi.err;
        int written = 0;
        for (const auto& set : read_gpi(read_file(dir.file("out.gpi"))).poisets) {
            written += set->count();
        }
        EXPECT_EQ(written, c.pois) << c.file;
    }
    VELMORA_REQUIRE_REAL(spb, "gpi/spb_metro_norm.gpi");
    auto english = run_velmora({spb, "-lang:EN", "-o", "en.gpx"}, dir.path().string());
    EXPECT_NE(english.err.find("\n    languages: RU, EN; read EN where a text has it, else its "
                               "first\n    skipped 1 record Velmora does not carry over: 1 media"),
              std::string::npos)
        << english.err;
    EXPECT_NE(read_file(dir.file("en.gpx")).find("<name>SPORTIVNAYA-2"), std::string::npos);
}

TEST(GpiImport, ALockedFileIsRefusedAndALanguageOtherThanTwoLettersEndsTheRun) {
    temp_dir dir;
    write_file(dir.file("locked.gpi"), newer_file_header("locked", 0x05) + newer_poi_header(1252) +
                                           poi_set("g", "") + end_block());
    write_file(dir.file("good.gpi"), gpi_file(poi_set("g", area(0, 0, 0, 0, poi(1, 1, "a")))));
    auto both = run_velmora({"locked.gpi", "good.gpi", "-o", "out.gpx"}, dir.path().string());
    EXPECT_EQ(both.exit_code, 2) << both.err;
    EXPECT_NE(both.err.find("\n\nImporting... (1. locked.gpi)\nError: The gpi file is locked: its "
                            "publisher has scrambled its contents, and Velmora does not read "
                            "locked files. (File pos:0x8)"),
              std::string::npos)
        << both.err;
    auto alone = run_velmora({"locked.gpi", "-o", "alone.gpx"}, dir.path().string());
    EXPECT_EQ(alone.exit_code, 1) << alone.err;

    for (const char* option : {"-lang:", "-lang:E", "-lang:ENGL", "-lang:E1"}) {
        auto result = run_velmora({"good.gpi", option, "-o", "lang.gpx"}, dir.path().string());
        EXPECT_EQ(result.exit_code, 1) << option;
        EXPECT_NE(result.err.find(std::string("\nFatal: ") + option +
                                  ": the language must be a code of two or three letters, "
                                  "such as -lang:de"),
                  std::string::npos)
            << result.err;
        EXPECT_EQ(result.err.find("Importing"), std::string::npos) << option;
    }
}

// What GPSBabel reads from a GPI file, as CSV lines (its own numbering and columns); none
// without GPSBabel.
std::optional<std::string> gpsbabel_csv(const temp_dir& dir, const std::string& gpi) {
    const char* exe = "/usr/bin/gpsbabel";
    if (!std::filesystem::exists(exe)) return std::nullopt;
    auto result = run_program(exe, "gpsbabel", {"-i", "garmin_gpi", "-f", gpi, "-o", "unicsv", "-F", "-"},
                              dir.path().string());
    EXPECT_EQ(result.exit_code, 0) << result.err;
    return result.out;
}

// GPSBabel, an independent reader, finds in what Velmora writes from a GPI file of
// Garmin's loader and of GPSBabel the same names, positions, addresses, phones, e-mail and
// web addresses as in the original (the texts kept in their code page).
TEST(GpiImport, GpsBabelReadsTheSameAddressesAndContactsFromTheGpiWritten) {
    temp_dir dir;
    for (const char* file : {"gpi/umsonstdraussen.gpi", "gpi/gpi_ext-sample.gpi"}) {
        VELMORA_REQUIRE_REAL(path, file);
        auto run = run_velmora({path, "-codepage:auto", "-o", "out.gpi"}, dir.path().string());
        ASSERT_EQ(run.exit_code, 0) << file << run.err;
        auto original = gpsbabel_csv(dir, path);
        if (!original) GTEST_SKIP() << "gpsbabel not installed";
        auto ours = gpsbabel_csv(dir, dir.file("out.gpi"));
        EXPECT_NE(original->find(",Address,City,PostalCode,"), std::string::npos) << *original;
        EXPECT_EQ(*ours, *original) << file;
    }
}

}  // namespace
}  // namespace velmora
