// End-to-end runs that import GPI files: what the program reports for each input.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <utility>

#include "cli/gpi_output.hpp"
#include "gpi/gpi_test_builder.hpp"
#include "support/real_samples.hpp"
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

// Occurrences of a text in another.
std::size_t count_of(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// Every real GPI file converts to GPX and to GPI with each POI GPSBabel reads from it
// (-lang:EN for the files of Russian and English texts) and no error; the same
// conversion again, replacing the GPI file, gives the same bytes.
TEST(GpiImport, EveryRealGpiFileConvertsToGpxAndGpi) {
    temp_dir dir;
    for (const auto& c : real_gpi_samples) {
        SCOPED_TRACE(c.file);
        VELMORA_REQUIRE_REAL(path, c.file);
        auto gpx = run_velmora({path, "-lang:EN", "-o", "out.gpx"}, dir.path().string());
        EXPECT_EQ(gpx.exit_code, 0) << gpx.err;
        EXPECT_TRUE(contains(gpx.err, "\n    imported " + std::to_string(c.pois) + " pois "))
            << gpx.err;
        EXPECT_FALSE(contains(gpx.err, "Error")) << gpx.err;
        EXPECT_EQ(count_of(read_file(dir.file("out.gpx")), "<wpt "),
                  static_cast<std::size_t>(c.pois));

        auto gpi = run_velmora({path, "-lang:en", "-o", "out.gpi"}, dir.path().string());
        EXPECT_EQ(gpi.exit_code, 0) << gpi.err;
        const std::string first = read_file(dir.file("out.gpi"));
        int written = 0;
        for (const auto& set : read_gpi(first).poisets) written += set->count();
        EXPECT_EQ(written, c.pois);
        auto again = run_velmora({path, "-lang:en", "-o", "out.gpi"}, dir.path().string());
        EXPECT_EQ(again.exit_code, 0) << again.err;
        EXPECT_EQ(read_file(dir.file("out.gpi")), first);
    }
    VELMORA_REQUIRE_REAL(spb, "gpi/spb_metro_norm.gpi");
    auto english = run_velmora({spb, "-lang:EN", "-o", "en.gpx"}, dir.path().string());
    EXPECT_NE(english.err.find("\n    languages: RU, EN; read EN where a text has it, else its "
                               "first"),
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

// The addresses, contacts, links and categories of GPI files of other producers reach
// the GPX written from them: an element for every field read.
TEST(GpiImport, AddressesContactsAndCategoriesOfRealFilesReachTheGpx) {
    const std::pair<const char*, const char*> elements[] = {
        {"City", "<gpxx:City>"},
        {"Country", "<gpxx:Country>"},
        {"State", "<gpxx:State>"},
        {"Postcode", "<gpxx:PostalCode>"},
        {"Street", "<gpxx:StreetAddress>"},
        {"HouseNumber", "<velmora:HouseNumber"}};
    temp_dir dir;
    for (const char* file : {"gpi/umsonstdraussen.gpi", "gpi/gpi_ext-sample.gpi",
                             "gpi/garmin_gpi_position~gpx.gpi", "gpi/rosneftHi_res.gpi"}) {
        VELMORA_REQUIRE_REAL(path, file);
        auto run = run_velmora({path, "-lang:EN", "-o", "out.gpx"}, dir.path().string());
        ASSERT_EQ(run.exit_code, 0) << file << run.err;
        std::string gpx = read_file(dir.file("out.gpx"));
        poiset_list list;
        {
            message_capture quiet;
            std::FILE* in = std::fopen(path.c_str(), "rb");
            ASSERT_NE(in, nullptr);
            EXPECT_TRUE(read_gpi_file(in, list, gpi_read_options{"EN"}));
            std::fclose(in);
        }
        std::map<std::string, std::size_t> fields;
        std::size_t phones = 0;
        std::size_t links = 0;
        std::size_t categories = 0;
        for (const auto& set : list.poisets) {
            for (const waypoint& w : set->waypoints) {
                links += w.link ? 1 : 0;
                const waypoint_details* d = set->details_of(w);
                if (d == nullptr) continue;
                for (const text_pair& pair : d->address) {
                    fields[std::string(*pair.key)] += 1 + count_of(std::string(*pair.value), "\n");
                }
                phones += d->phones.size();
                categories += d->categories.size();
            }
        }
        EXPECT_GT(fields.size() + phones + categories, 0u) << file;
        for (const auto& [key, element] : elements) {
            EXPECT_EQ(count_of(gpx, element), fields[key]) << file << " " << key;
        }
        EXPECT_EQ(count_of(gpx, "<gpxx:PhoneNumber"), phones) << file;
        EXPECT_EQ(count_of(gpx, "<link href="), links + 1) << file << ", one in the metadata";
        EXPECT_EQ(count_of(gpx, "<gpxx:Category>"), categories) << file;
    }
}

}  // namespace
}  // namespace velmora
