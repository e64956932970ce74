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
    // Outputs that can't carry a clip keep the link to it.
    r = testing::run_velmora({testing::source_dir() + "/examples/sights.gpx", "-o", "sights.kml"},
                             dir.path().string());
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(testing::contains(testing::read_file(dir.file("sights.kml")), "media/beep.wav"));

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

// The example through GPI: each POI's alert plays its own clip, the Tour Guide clip's
// alert is a Tour Guide alert, the castle has its picture; GPI -> GPI keeps all of it.
TEST(LinkedMediaCli, GpiOutputTiesEachPoiToItsClipOrPicture) {
    testing::temp_dir dir;
    std::string media = testing::source_dir() + "/examples/media/";
    auto r = testing::run_velmora(
        {testing::source_dir() + "/examples/sights.gpx", "-o", "sights.gpi"}, dir.path().string());
    ASSERT_EQ(r.exit_code, 0) << r.err;
    r = testing::run_velmora({"sights.gpi", "-o", "again.gpi"}, dir.path().string());
    ASSERT_EQ(r.exit_code, 0) << r.err;
    for (std::string gpi : {"sights.gpi", "again.gpi"}) {
        SCOPED_TRACE(gpi);
        poiset_list list = testing::read_gpi(testing::read_file(dir.file(gpi)));
        ASSERT_EQ(list.count(), 1);
        const poiset& set = *list.poisets[0];
        std::vector<std::string> plays;  // per POI: the clip it plays, or the picture it shows
        std::vector<bool> tour_guide;
        for (const waypoint& w : set.waypoints) {
            const waypoint_details* d = set.details_of(w);
            std::string what;
            if (d != nullptr && d->sound) {
                for (const poi_media& m : set.media) {
                    if (m.id == *d->sound)
                        what.assign(m.clips.at(0).bytes.begin(), m.clips.at(0).bytes.end());
                }
            }
            if (d != nullptr && d->picture) {
                const auto& jpeg = set.pictures.at(*d->picture).jpeg;
                what.assign(jpeg.begin(), jpeg.end());
            }
            plays.push_back(what);
            tour_guide.push_back((w.flags & tour_guide_alert) != 0);
        }
        EXPECT_EQ(plays, (std::vector{testing::read_file(media + "castle.jpg"),
                                      testing::read_file(media + "beep.wav"),
                                      testing::read_file(media + "Castle_TourGuide.wav")}));
        EXPECT_EQ(tour_guide, (std::vector{false, false, true}));
    }
}

}  // namespace
}  // namespace velmora
