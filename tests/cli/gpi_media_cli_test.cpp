// End-to-end runs of GPI files that carry clips and pictures: GPI -> GPI keeps them,
// GPX output puts them beside itself and links the POIs to them.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "gpi/gpi_test_builder.hpp"
#include "support/test_support.hpp"

namespace velmora {
namespace {

using namespace velmora::testing;

const std::string wav_en = std::string("RIFF\x04\0\0\0WAVE", 12) + "en";
const std::string wav_de = std::string("RIFF\x04\0\0\0WAVE", 12) + "de";
const std::string jpeg = std::string("\xFF\xD8\xFF\xE0\0\x10JFIF\0", 11) + "pixels";

// A group whose name needs care as a file name, with a Tour Guide alert that plays the
// clips of media record 5, a POI with a picture and one with neither.
std::string media_file() {
    std::string alert =
        block(3, le16(80) + le16(0) + le32(0x01000100) + byte(1) + byte(2) + le16(5));
    std::string picture = block(13, byte(0) + le32(static_cast<std::uint32_t>(jpeg.size())) + jpeg);
    std::string points = poi(0x20000000, 0x08000000, "guide", alert) +
                         poi(0x20001000, 0x08001000, "view", picture) +
                         poi(0x20002000, 0x08002000, "plain");
    std::string clips = "EN" + le32(static_cast<std::uint32_t>(wav_en.size())) + wav_en + "de" +
                        le32(static_cast<std::uint32_t>(wav_de.size())) + wav_de;
    std::string media = flagged_block(18, le16(5) + byte(0),
                                      le32(static_cast<std::uint32_t>(clips.size())) + clips);
    return gpi_file(poi_set("Old town/tour",
                            area(0x20002000, 0x08002000, 0x20000000, 0x08000000, points) + media));
}

// GPSBabel's reading of a GPX file as CSV lines; none without GPSBabel.
std::optional<std::string> gpsbabel_gpx(const temp_dir& dir, const std::string& gpx) {
    const char* exe = "/usr/bin/gpsbabel";
    if (!file_exists(exe)) return std::nullopt;
    run_result read = run_program(exe, "gpsbabel", {"-i", "gpx", "-f", gpx, "-o", "csv", "-F", "-"},
                                  dir.path().string());
    EXPECT_EQ(read.exit_code, 0) << read.err;
    return read.out;
}

TEST(GpiMedia, GpiToGpiToGpxKeepsTheClipsAndPicturesByteForByteAndLinksThem) {
    temp_dir dir;
    write_file(dir.file("in.gpi"), media_file());
    run_result to_gpi = run_velmora({"in.gpi", "-o", "mid.gpi"}, dir.path().string());
    ASSERT_EQ(to_gpi.exit_code, 0) << to_gpi.err;
    run_result to_gpx = run_velmora({"mid.gpi", "-o", "out.gpx"}, dir.path().string());
    ASSERT_EQ(to_gpx.exit_code, 0) << to_gpx.err;
    EXPECT_FALSE(contains(to_gpx.err, "Warning")) << to_gpx.err;

    EXPECT_EQ(names_in(dir.file("out_media")),
              (std::vector<std::string>{"Old_town_tour_5_de.wav", "Old_town_tour_5_en.wav",
                                        "Old_town_tour_picture_1.jpg"}));
    EXPECT_EQ(read_file(dir.file("out_media/Old_town_tour_5_en.wav")), wav_en);
    EXPECT_EQ(read_file(dir.file("out_media/Old_town_tour_5_de.wav")), wav_de);
    EXPECT_EQ(read_file(dir.file("out_media/Old_town_tour_picture_1.jpg")), jpeg);

    std::string gpx = read_file(dir.file("out.gpx"));
    EXPECT_TRUE(
        contains(gpx,
                 "<name>guide</name>\n\t\t<link href=\"out_media/Old_town_tour_5_en.wav\">\n"
                 "\t\t\t<text>Old_town_tour_5_en.wav</text>\n"
                 "\t\t\t<type>audio/wav</type>\n\t\t</link>\n"))
        << gpx;
    EXPECT_TRUE(contains(
        gpx, "<name>view</name>\n\t\t<link href=\"out_media/Old_town_tour_picture_1.jpg\">"))
        << gpx;
    EXPECT_TRUE(contains(gpx, "<type>image/jpeg</type>")) << gpx;
    EXPECT_EQ(gpx.find("<link href=\"out_media", gpx.find("<name>plain</name>")),
              std::string::npos);

    // GPSBabel still reads both files, every POI.
    if (auto csv = gpsbabel_gpx(dir, "out.gpx")) {
        for (const char* name : {"guide", "view", "plain"})
            EXPECT_TRUE(contains(*csv, name)) << *csv;
    }
    if (auto csv = gpsbabel_csv(dir, "mid.gpi")) {
        for (const char* name : {"guide", "view", "plain"})
            EXPECT_TRUE(contains(*csv, name)) << *csv;
    }
}

// The files of Garmin's loader that carry a clip (that no alert plays): GPI -> GPI -> GPX
// puts each language's clip beside the document as the file holds it.
TEST(GpiMedia, TheClipsOfRealFilesComeOutBesideTheGpxByteForByte) {
    for (const char* sample : {"gpi/rosneftHi_res.gpi", "gpi/spb_metro_norm.gpi"}) {
        VELMORA_REQUIRE_REAL(path, sample);
        temp_dir dir;
        ASSERT_EQ(run_velmora({path, "-o", "mid.gpi"}, dir.path().string()).exit_code, 0);
        run_result run = run_velmora({"mid.gpi", "-o", "out.gpx"}, dir.path().string());
        ASSERT_EQ(run.exit_code, 0) << run.err;
        const std::string original = read_file(path);
        std::vector<std::string> clips = names_in(dir.file("out_media"));
        ASSERT_EQ(clips.size(), 2u) << sample;
        for (const std::string& name : clips) {
            EXPECT_TRUE(name.ends_with("_1_en.wav") || name.ends_with("_1_ru.wav")) << name;
            std::string clip = read_file(dir.file("out_media/" + name));
            EXPECT_EQ(clip.size(), 96166u) << name;
            EXPECT_EQ(clip.substr(0, 4), "RIFF") << name;
            EXPECT_NE(original.find(clip), std::string::npos) << name;
        }
        EXPECT_FALSE(contains(read_file(dir.file("out.gpx")), "_media/")) << "no alert plays it";
    }
}

}  // namespace
}  // namespace velmora
