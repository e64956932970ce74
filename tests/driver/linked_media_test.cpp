#include "driver/linked_media.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/messages.hpp"
#include "support/test_support.hpp"

namespace velmora {
namespace {

const std::string wav_bytes = std::string("RIFF\x24\0\0\0WAVEfmt ", 16) + "some samples";
const std::string mp3_bytes = "ID3\x04" + std::string(20, 'x');
const std::string jpeg_bytes = "\xFF\xD8\xFF\xE0" + std::string(30, 'j');

// A set of UTF-8 texts with one POI per link; a link "web:..." is a Web contact (as the
// CSV, KML and GeoJSON readers keep a url), any other the POI's own link (GPX).
struct linked_set {
    poiset set;

    explicit linked_set(const std::vector<std::string>& links) {
        set.name = "pois";
        set.is_utf8 = true;
        for (std::size_t i = 0; i < links.size(); ++i) {
            waypoint w;
            w.flags = has_position;
            w.name = set.store("P" + std::to_string(i + 1));
            set.waypoints.push_back(w);
            waypoint& added = set.waypoints.back();
            if (links[i].starts_with("web:")) {
                testing::add_phone(set, added, contact_web, links[i].substr(4));
            } else if (!links[i].empty()) {
                added.link = set.store(links[i]);
            }
        }
    }
    // Attaches with the directory's files, the messages kept.
    std::string attach(const testing::temp_dir& dir, double default_proximity = 150.0,
                       const std::string& beside = {}) {
        message_capture messages;
        attach_linked_media(set, {dir.path().string() + "/", beside, default_proximity});
        return messages.text();
    }
    [[nodiscard]] waypoint_details details(std::size_t i) const {
        const waypoint_details* held = set.details_of(set.waypoints[i]);
        return held != nullptr ? *held : waypoint_details{};
    }
    [[nodiscard]] std::optional<std::uint16_t> sound(std::size_t i) const {
        return details(i).sound;
    }
    [[nodiscard]] std::optional<std::uint32_t> picture(std::size_t i) const {
        return details(i).picture;
    }
};

// Every local form of a link finds its file and stops being a link; links to other
// machines and names a zero byte would cut stay as they are.
TEST(LinkedMedia, LocalLinksFindTheirFileOthersStayLinks) {
    testing::temp_dir dir;
    std::filesystem::create_directory(dir.path() / "sub");
    testing::write_file(dir.file("sub/my beep.WAV"), wav_bytes);
    testing::write_file(dir.file("beep"), wav_bytes);
    std::string url = "file://" + dir.path().string();
    const std::pair<std::string, bool> forms[] = {
        {"sub/my beep.WAV", true},
        {"sub\\my beep.WAV", true},
        {dir.file("sub/my beep.WAV"), true},
        {"web:sub/my beep.WAV", true},
        {url + "/sub/my%20beep.WAV", true},
        {"FILE://localhost" + url.substr(7) + "/sub/my%20beep.WAV", true},
        {"file:" + dir.file("sub/my beep.WAV"), true},
        {"http://example.com/beep.wav", false},
        {"web:ftp://host/beep.wav", false},
        {"sub/my beep.WAV.txt", false},
        {url + "/beep%00.wav", false},
    };
    for (const auto& [form, found] : forms) {
        linked_set pois({form});
        EXPECT_EQ(pois.attach(dir), "") << form;
        EXPECT_EQ(pois.set.media.size(), found ? 1u : 0u) << form;
        EXPECT_EQ(pois.sound(0).has_value(), found) << form;
        EXPECT_EQ(has_alert(pois.set.waypoints[0]), found) << form;
        bool still_linked = pois.set.waypoints[0].link || !pois.details(0).phones.empty();
        EXPECT_EQ(still_linked, !found) << form;
    }
}

TEST(LinkedMedia, FilesThatCantServeAreReportedWithThePoiAndLeftOut) {
    struct refusal_case {
        std::string name;
        std::uintmax_t size;  // of a file of zeros, when bytes is empty
        std::string bytes;
        std::string message;
    } cases[] = {
        {"missing.wav", 0, "-", "can't be read"},
        {"big.wav", max_clip_bytes + 1, "", "larger than 16 MiB"},
        {"text.mp3", 0, "not a sound", "neither a WAV nor an MP3 file"},
        {"aac.mp3", 0, "\xFF\xF1\x50\x80", "neither a WAV nor an MP3 file"},  // no MPEG layer
        {"empty.wav", 0, "", "is empty"},
        {"empty.jpg", 0, "", "is empty"},
        {"big.jpeg", max_picture_bytes + 1, "", "larger than 1 MiB"},
        {"png.jpg", 0, "\x89PNG\r\n", "no JPEG file"},
        {"folder.wav", 0, "/", "is a directory"},
        {"pipe.wav", 0, "|", "is no regular file"},
    };
    for (const refusal_case& c : cases) {
        testing::temp_dir dir;
        if (c.bytes == "/") {
            std::filesystem::create_directory(dir.path() / c.name);
        } else if (c.bytes == "|") {
            ASSERT_EQ(mkfifo(dir.file(c.name).c_str(), 0600), 0);
        } else if (c.bytes != "-") {
            testing::write_file(dir.file(c.name), c.bytes);
            if (c.size > 0) std::filesystem::resize_file(dir.file(c.name), c.size);
        }
        linked_set pois({c.name});
        std::string messages = pois.attach(dir);
        EXPECT_TRUE(testing::contains(messages, c.message)) << c.name << ": " << messages;
        EXPECT_TRUE(testing::contains(messages, c.name + ") of poi 1 (P1) in set (pois)"))
            << messages;
        EXPECT_TRUE(pois.set.media.empty() && pois.set.pictures.empty()) << c.name;
        EXPECT_FALSE(pois.sound(0) || pois.picture(0)) << c.name;
        // The link stays; a POI that wanted a clip keeps a plain alert.
        EXPECT_TRUE(pois.set.waypoints[0].link) << c.name;
        bool wanted_clip = c.name.ends_with(".wav") || c.name.ends_with(".mp3");
        EXPECT_EQ(has_alert(pois.set.waypoints[0]), wanted_clip) << c.name;
    }
}

TEST(LinkedMedia, OneRecordPerDistinctFileWithIdsAfterThoseTheSetHolds) {
    testing::temp_dir dir;
    testing::write_file(dir.file("a.wav"), wav_bytes);
    testing::write_file(dir.file("b.wav"), "\xFF\xFB\x90\x64");  // an MP3 frame, whatever the name
    testing::write_file(dir.file("c.jpg"), jpeg_bytes);
    testing::write_file(dir.file("d.jpeg"), jpeg_bytes);
    linked_set pois({"a.wav", "./a.wav", "b.wav", "web:c.jpg", "c.jpg", "d.jpeg", "missing.wav",
                     "missing.wav", "missing.wav"});
    pois.set.media.push_back({7, media_format::wav, {}});
    std::string messages = pois.attach(dir);
    ASSERT_EQ(pois.set.media.size(), 3u);
    EXPECT_EQ(pois.set.media[1].id, 8);
    EXPECT_EQ(pois.set.media[2].id, 9);
    EXPECT_EQ(pois.set.media[2].format, media_format::mp3);
    ASSERT_EQ(pois.set.media[1].clips.size(), 1u);
    const media_clip& clip = pois.set.media[1].clips[0];
    EXPECT_EQ(std::string(clip.language.data(), 2), "EN");
    EXPECT_EQ(std::string(clip.bytes.begin(), clip.bytes.end()), wav_bytes);
    EXPECT_EQ((std::vector{pois.sound(0), pois.sound(1), pois.sound(2)}),
              (std::vector<std::optional<std::uint16_t>>{8, 8, 9}));
    ASSERT_EQ(pois.set.pictures.size(), 2u);
    EXPECT_EQ((std::vector{pois.picture(3), pois.picture(4), pois.picture(5)}),
              (std::vector<std::optional<std::uint32_t>>{0, 0, 1}));
    // A missing file named by three POIs: one message with the first, one with the count.
    EXPECT_TRUE(testing::contains(messages, "of poi 7 (P7)")) << messages;
    EXPECT_TRUE(testing::contains(messages, "2 more pois of set (pois) name the alert sound"))
        << messages;
}

TEST(LinkedMedia, ATourGuideClipMakesATourGuideAlertWithTheProximityAsRadius) {
    struct alert_case {
        std::string clip;
        double proximity;  // the POI's own, 0 for none
        double default_proximity;
        bool tour_guide;
        double radius;
    } cases[] = {
        {"Castle_TourGuide.wav", 120, 150, true, 120},
        {"castle-tourguide.mp3", 0, 150, true, 150},
        {"TOURGUIDE.wav", 0, 0, true, clip_alert_proximity},
        {"Tour_Guide.wav", 0, 150, false, 150},
    };
    for (const alert_case& c : cases) {
        testing::temp_dir dir;
        testing::write_file(dir.file(c.clip), wav_bytes);
        linked_set pois({c.clip});
        waypoint& w = pois.set.waypoints[0];
        if (c.proximity > 0) w.flags |= has_proximity;
        w.proximity = c.proximity;
        EXPECT_EQ(pois.attach(dir, c.default_proximity), "") << c.clip;
        EXPECT_TRUE(pois.sound(0)) << c.clip;
        EXPECT_EQ((w.flags & tour_guide_alert) != 0, c.tour_guide) << c.clip;
        EXPECT_TRUE(has_alert(w)) << c.clip;
        EXPECT_EQ(w.proximity, c.radius) << c.clip;
    }
}

// Speed_Cameras.wav beside Speed_Cameras.csv is the sound of every POI of that file; a
// POI whose own link names a clip plays that one.
TEST(LinkedMedia, AClipBesideACsvFileIsTheSoundOfEachOfItsPois) {
    testing::temp_dir dir;
    testing::write_file(dir.file("Speed_Cameras.csv"), "lat,lon\n");
    testing::write_file(dir.file("speed_cameras.WAV"), wav_bytes);
    testing::write_file(dir.file("Speed_Cameras.txt"), "");
    testing::write_file(dir.file("own.mp3"), mp3_bytes);
    std::string beside = sound_beside(dir.file("Speed_Cameras.csv"));
    EXPECT_EQ(beside, dir.file("speed_cameras.WAV"));
    EXPECT_EQ(sound_beside(dir.file("Other.csv")), "");
    // The POI whose own clip is missing keeps a plain alert, without the file's clip.
    linked_set pois({"", "", "web:own.mp3", "", "gone.wav"});
    std::string messages = pois.attach(dir, 150.0, beside);
    EXPECT_TRUE(testing::contains(messages, "gone.wav) of poi 5")) << messages;
    ASSERT_EQ(pois.set.media.size(), 2u);
    for (std::size_t i : {0u, 1u, 3u}) EXPECT_EQ(pois.sound(i), 1) << i;
    EXPECT_EQ(pois.sound(2), 2);
    EXPECT_FALSE(pois.sound(4));
    EXPECT_TRUE(has_alert(pois.set.waypoints[4]));
}

}  // namespace
}  // namespace velmora
