// End-to-end runs with alert sounds and pictures named by the inputs' links.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/gpi_output.hpp"
#include "support/test_support.hpp"

namespace velmora {
namespace {

// The clips of the first set of the GPI file, as strings of bytes.
std::vector<std::string> clips_in(const std::string& gpi) {
    poiset_list list = testing::read_gpi(testing::read_file(gpi));
    std::vector<std::string> clips;
    for (const auto& set : list.poisets) {
        for (const poi_media& media : set->media) {
            for (const media_clip& clip : media.clips)
                clips.emplace_back(clip.bytes.begin(), clip.bytes.end());
        }
    }
    return clips;
}

// The bundled example, and a clip beside a CSV file of its name, which is every POI's
// sound: the GPI file holds the clips byte for byte.  GPX output loads no clips.
TEST(LinkedMediaCli, GpiOutputCarriesTheLinkedClipsByteForByte) {
    testing::temp_dir dir;
    std::string media = testing::source_dir() + "/examples/media/";
    std::string beep = testing::read_file(media + "beep.wav");
    auto r = testing::run_velmora(
        {testing::source_dir() + "/examples/sights.gpx", "-o", "sights.gpi"}, dir.path().string());
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_FALSE(testing::contains(r.err, "Warning")) << r.err;
    EXPECT_EQ(clips_in(dir.file("sights.gpi")),
              (std::vector{beep, testing::read_file(media + "Castle_TourGuide.wav")}));

    testing::write_file(dir.file("Speed_Cameras.csv"),
                        "lat,lon,name,url\n47.5,19.0,A@50,\n47.6,19.1,B@70,missing.wav\n");
    testing::write_file(dir.file("Speed_Cameras.wav"), beep);
    for (std::string output : {"cams.gpi", "cams.gpx"}) {
        r = testing::run_velmora({"Speed_Cameras.csv", "-o", output}, dir.path().string());
        ASSERT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(testing::contains(r.err, "Warning: The alert sound (" + dir.file("missing.wav") +
                                               ") of poi 2 (B) in set (Speed_Cameras)"),
                  output.ends_with(".gpi"))
            << r.err;
    }
    EXPECT_EQ(clips_in(dir.file("cams.gpi")), std::vector{beep});
}

}  // namespace
}  // namespace velmora
