// End-to-end runs with alert sounds and pictures named by the inputs' links.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/gpi_output.hpp"
#include "support/test_support.hpp"

namespace velmora {
namespace {

std::string example(const std::string& relative) {
    return testing::source_dir() + "/examples/" + relative;
}

// The clips of the set's media records, as strings of bytes.
std::vector<std::string> clips_of(const poiset& set) {
    std::vector<std::string> clips;
    for (const poi_media& media : set.media) {
        for (const media_clip& clip : media.clips)
            clips.emplace_back(clip.bytes.begin(), clip.bytes.end());
    }
    return clips;
}

// The bundled example: its GPI file carries both clips as media records, byte for byte.
TEST(LinkedMediaCli, TheExampleCarriesItsClipsIntoTheGpiFile) {
    testing::temp_dir dir;
    auto r = testing::run_velmora({example("sights.gpx"), "-o", "sights.gpi"}, dir.path().string());
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_FALSE(testing::contains(r.err, "Warning")) << r.err;
    poiset_list list = testing::read_gpi(testing::read_file(dir.file("sights.gpi")));
    ASSERT_EQ(list.count(), 1);
    const poiset& set = *list.poisets[0];
    ASSERT_EQ(set.media.size(), 2u);
    EXPECT_EQ(set.media[0].id, 1);
    EXPECT_EQ(set.media[1].id, 2);
    EXPECT_EQ(clips_of(set),
              (std::vector{testing::read_file(example("media/beep.wav")),
                           testing::read_file(example("media/Castle_TourGuide.wav"))}));
}

// A clip beside a CSV file of its name is every POI's sound; and the clips are loaded
// for GPI output only, which alone carries them.
TEST(LinkedMediaCli, AClipBesideACsvFileGoesIntoTheGpiFileOnly) {
    testing::temp_dir dir;
    testing::write_file(dir.file("Speed_Cameras.csv"),
                        "lat,lon,name,url\n47.5,19.0,A@50,\n47.6,19.1,B@70,missing.wav\n");
    std::string clip = testing::read_file(example("media/beep.wav"));
    testing::write_file(dir.file("Speed_Cameras.wav"), clip);
    struct output_case {
        std::string output;
        bool warned;
    } cases[] = {{"cams.gpi", true}, {"cams.gpx", false}};
    for (const output_case& c : cases) {
        auto r = testing::run_velmora({"Speed_Cameras.csv", "-o", c.output}, dir.path().string());
        ASSERT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(testing::contains(r.err, "Warning: The alert sound (" + dir.file("missing.wav") +
                                               ") of poi 2 (B) in set (Speed_Cameras)"),
                  c.warned)
            << r.err;
    }
    poiset_list list = testing::read_gpi(testing::read_file(dir.file("cams.gpi")));
    ASSERT_EQ(list.count(), 1);
    EXPECT_EQ(clips_of(*list.poisets[0]), std::vector{clip});
}

}  // namespace
}  // namespace velmora
