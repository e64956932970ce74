#include "gpx/gpx_reader.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/messages.hpp"
#include "support/test_support.hpp"
#include "text/encoding.hpp"

namespace velmora {
namespace {

using namespace std::string_literals;

std::string gpx_of(const std::string& body, const std::string& creator = "test") {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<gpx version=\"1.1\" creator=\"" + creator +
           "\">\n" + body + "</gpx>\n";
}

poiset read_text(const std::string& text) {
    poiset set;
    gpx_read_text(text, set);
    return set;
}

poiset read_file(const std::string& path) {
    poiset set;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    EXPECT_NE(file, nullptr) << path;
    if (file == nullptr) return set;
    EXPECT_TRUE(gpx_read(file, set));
    std::fclose(file);
    return set;
}

std::string utf8_of(const poiset& set, const std::optional<std::string>& text) {
    return text ? codepage_text_to_utf8(*text, set).value_or("<failed>") : "<absent>";
}

TEST(GpxReader, ReadsTheFieldsOfAPlainWaypoint) {
    poiset set = read_text(gpx_of(R"(<wpt lat="47.5" lon="19.25">
  <ele>100</ele><name>Budapest</name><cmt>capital</cmt><desc>on the Danube</desc>
  <link href="http://x"><text>site</text></link><sym>City (Large)</sym>
</wpt>
)"));
    ASSERT_EQ(set.count(), 1);
    const waypoint& w = *set.waypoints[0];
    EXPECT_DOUBLE_EQ(w.lat, 47.5);
    EXPECT_DOUBLE_EQ(w.lon, 19.25);
    EXPECT_EQ(w.flags, has_position);
    EXPECT_EQ(w.name, "Budapest");
    EXPECT_EQ(w.comment, "capital");
    EXPECT_EQ(w.description, "on the Danube");
    EXPECT_EQ(w.symbol, "city (large)");
    EXPECT_EQ(w.link, "<text>site</text>");
    EXPECT_EQ(w.speed, 0.0);
    EXPECT_EQ(w.proximity, 0.0);
}

TEST(GpxReader, GivesMissingElementsEmptyOrAbsentFields) {
    poiset set = read_text(gpx_of(R"(<wpt lat="1" lon="2"></wpt><wpt lat="3" lon="4"/>
<wpt lat="5" lon="6"><name></name><cmt></cmt><sym></sym></wpt>)"));
    ASSERT_EQ(set.count(), 3);
    for (const auto& w : set.waypoints) {
        EXPECT_EQ(w->name, "");
        EXPECT_FALSE(w->comment.has_value());
        EXPECT_FALSE(w->description.has_value());
        EXPECT_EQ(w->symbol, "");
        EXPECT_FALSE(w->link.has_value());
    }
}

TEST(GpxReader, SkipsWaypointsWithoutPositionAndOtherPoints) {
    poiset set = read_text(gpx_of(R"(<wpt lat="1"><name>no lon</name></wpt>
<wpt lon="1"><name>no lat</name></wpt>
<rte><rtept lat="1" lon="2"><name>r</name></rtept></rte>
<trk><trkseg><trkpt lat="1" lon="2"/></trkseg></trk>
<wptx lat="1" lon="2"></wptx>
<wpt lat="7" lon="8"><name>kept</name></wpt>)"));
    ASSERT_EQ(set.count(), 1);
    EXPECT_EQ(set.waypoints[0]->name, "kept");
}

TEST(GpxReader, ReadsPositionsWithDecimalCommasAndSingleQuotes) {
    poiset set = read_text(gpx_of(R"(<wpt lat="47,5" lon="19,1"/><wpt lon='-3.5' lat='-40.25'/>
<wpt lat=" 12.5xyz" lon="abc"/>)"));
    ASSERT_EQ(set.count(), 3);
    EXPECT_DOUBLE_EQ(set.waypoints[0]->lat, 47.5);
    EXPECT_DOUBLE_EQ(set.waypoints[0]->lon, 19.1);
    EXPECT_DOUBLE_EQ(set.waypoints[1]->lat, -40.25);
    EXPECT_DOUBLE_EQ(set.waypoints[1]->lon, -3.5);
    EXPECT_DOUBLE_EQ(set.waypoints[2]->lat, 12.5);
    EXPECT_DOUBLE_EQ(set.waypoints[2]->lon, 0.0);  // no number reads as 0
}

TEST(GpxReader, SkipsWaypointsOutsideTheEarthWithAWarning) {
    message_capture capture;
    poiset set = read_text(gpx_of(R"(<wpt lat="91" lon="0"><name>north</name></wpt>
<wpt lat="0" lon="-180.5"><name>west</name></wpt>
<wpt lat="nan" lon="0"><name>nan</name></wpt>
<wpt lat="1e999" lon="0"><name>huge</name></wpt>
<wpt lat="90" lon="-180"><name>corner</name></wpt>)"));
    ASSERT_EQ(set.count(), 1);
    EXPECT_EQ(set.waypoints[0]->name, "corner");
    for (const char* name : {"north", "west", "nan", "huge"}) {
        EXPECT_NE(
            capture.text().find("\nWarning: Waypoint ("s + name + ") has an invalid position"),
            std::string::npos)
            << capture.text();
    }
    EXPECT_NE(capture.text().find(R"((lat="91" lon="0"))"), std::string::npos);
}

TEST(GpxReader, TakesASpeedAlertFromTheName) {
    poiset set = read_text(gpx_of(R"(<wpt lat="1" lon="2"><name>Radar@50</name></wpt>
<wpt lat="1" lon="2"><name>@</name></wpt>
<wpt lat="1" lon="2"><name>Zone@ 30,5 km/h@2</name></wpt>
<wpt lat="1" lon="2"><name>Odd@nan</name></wpt>)"));
    ASSERT_EQ(set.count(), 4);
    const waypoint& radar = *set.waypoints[0];
    EXPECT_EQ(radar.name, "Radar");
    EXPECT_DOUBLE_EQ(radar.speed, 50.0);
    EXPECT_DOUBLE_EQ(radar.proximity, 500.0);
    EXPECT_EQ(radar.flags, has_position | has_proximity | has_speed);
    const waypoint& bare = *set.waypoints[1];
    EXPECT_EQ(bare.name, "");
    EXPECT_EQ(bare.speed, 0.0);
    EXPECT_EQ(bare.flags, has_position | has_proximity | has_speed);
    EXPECT_EQ(set.waypoints[2]->name, "Zone");
    EXPECT_DOUBLE_EQ(set.waypoints[2]->speed, 30.5);
    EXPECT_DOUBLE_EQ(set.waypoints[2]->proximity, 305.0);
    EXPECT_EQ(set.waypoints[3]->speed, 0.0);  // a speed that is no number
}

TEST(GpxReader, DecodesReferencesOutsideCdata) {
    poiset set = read_text(gpx_of(R"(<wpt lat="1" lon="2"><name>A &amp; B &#x151;</name>
<cmt><![CDATA[x &amp; <b>y</b>]]></cmt><desc>&lt;b&gt;bold&lt;/b&gt;</desc>
<sym>Flag, Blue &amp; Red</sym></wpt>)"));
    ASSERT_EQ(set.count(), 1);
    const waypoint& w = *set.waypoints[0];
    EXPECT_EQ(w.name, "A & B \xC5\x91");
    EXPECT_EQ(w.comment, "x &amp; <b>y</b>");
    EXPECT_EQ(w.description, "<b>bold</b>");
    EXPECT_EQ(w.symbol, "flag, blue & red");
}

TEST(GpxReader, KeepsTheCdataMarkupOfASymbol) {
    poiset set = read_text(gpx_of(R"(<wpt lat="1" lon="2"><name><![CDATA[Stop]]></name>
<sym><![CDATA[Flag, Blue]]></sym></wpt>)"));
    ASSERT_EQ(set.count(), 1);
    EXPECT_EQ(set.waypoints[0]->name, "Stop");
    EXPECT_EQ(set.waypoints[0]->symbol, "<![cdata[flag, blue]]>");
}

TEST(GpxReader, TakesTheFirstElementOfEachNameInsideTheWaypoint) {
    poiset set = read_text(gpx_of(R"(<wpt lat="1" lon="2">
<link href="x"><text>t</text><type>text/html</type></link>
<name>first</name><name>second</name><type>Geocache</type></wpt>)",
                                  "Skr tool"));
    ASSERT_EQ(set.count(), 1);
    EXPECT_EQ(set.waypoints[0]->name, "first");
    // The link's type comes first and names the symbol.
    EXPECT_EQ(set.waypoints[0]->symbol, "text/html");
}

TEST(GpxReader, ASwallowedWaypointGivesWayToTheOneThatCloses) {
    poiset set = read_text(gpx_of(R"(<wpt lat="1" lon="2"><name>open</name>
<wpt lat="3" lon="4"><name>inner</name></wpt>
<wpt lat="5" lon="6"><name>last</name></wpt>)"));
    ASSERT_EQ(set.count(), 2);
    EXPECT_EQ(set.waypoints[0]->name, "open");
    EXPECT_DOUBLE_EQ(set.waypoints[0]->lat, 1.0);
    EXPECT_EQ(set.waypoints[1]->name, "last");

    poiset unclosed = read_text(gpx_of(R"(<wpt lat="1" lon="2"><name>done</name></wpt>
<wpt lat="3" lon="4"><name>never closed</name>)"));
    ASSERT_EQ(unclosed.count(), 1);
    EXPECT_EQ(unclosed.waypoints[0]->name, "done");
}

TEST(GpxReader, StopsAtAZeroByte) {
    std::string text = gpx_of(R"(<wpt lat="1" lon="2"><name>a</name></wpt>)"
                              "\0"s
                              R"(<wpt lat="3" lon="4"><name>b</name></wpt>)");
    poiset set = read_text(text);
    ASSERT_EQ(set.count(), 1);
    EXPECT_EQ(set.waypoints[0]->name, "a");
}

TEST(ReadingProfile, IsChosenFromTheFileContent) {
    std::string monuments = "https://www.muemlekem.hu/muemlek?id=1";
    std::string crosses = "https://www.muemlekem.hu/kereszt?id=2";
    EXPECT_EQ(choose_reading_profile(gpx_of("")), reading_profile::plain);
    EXPECT_EQ(choose_reading_profile(gpx_of("", "skrTool")), reading_profile::typed_geocaches);
    EXPECT_EQ(choose_reading_profile(gpx_of("", "Sk")), reading_profile::plain);
    EXPECT_EQ(choose_reading_profile(gpx_of(monuments)), reading_profile::monuments);
    EXPECT_EQ(choose_reading_profile(gpx_of(monuments + "<sym>Building</sym>")),
              reading_profile::dated_monuments);
    EXPECT_EQ(choose_reading_profile(gpx_of(crosses)), reading_profile::crosses);
    EXPECT_EQ(choose_reading_profile(gpx_of(crosses + "<sym>Cemetery</sym>")),
              reading_profile::dated_crosses);
    EXPECT_EQ(choose_reading_profile(gpx_of(crosses + monuments)), reading_profile::monuments);
    std::string cache = "http://geocaching.hu/caches.geo?id=123";
    EXPECT_EQ(choose_reading_profile(gpx_of(cache, "EasyGPS 7")), reading_profile::easygps_caches);
    EXPECT_EQ(choose_reading_profile(gpx_of(cache)), reading_profile::plain);
    EXPECT_EQ(choose_reading_profile(gpx_of("", "EasyGPS 7")), reading_profile::plain);
    // A creator attribute of another element does not count.
    EXPECT_EQ(choose_reading_profile("<gpxx:x creator=\"Skr\"/><gpx creator=\"x\">"),
              reading_profile::plain);
}

TEST(ReadingProfile, TypedGeocachesTakeTheirSymbolFromTheType) {
    poiset set = read_text(
        gpx_of(R"(<wpt lat="1" lon="2"><cmt>Traditional</cmt><type>Geocache</type><sym>x</sym></wpt>
<wpt lat="1" lon="2"><cmt>Letterbox?</cmt><type>Geocache</type></wpt>
<wpt lat="1" lon="2"><type>Question to Answer</type></wpt>
<wpt lat="1" lon="2"><type><![CDATA[Trailhead]]></type></wpt>
<wpt lat="1" lon="2"><sym>Kept</sym></wpt>)",
               "SKR exporter"));
    ASSERT_EQ(set.count(), 5);
    EXPECT_EQ(set.waypoints[0]->symbol, "geocache");
    EXPECT_EQ(set.waypoints[1]->symbol, "multi-cache");
    EXPECT_EQ(set.waypoints[2]->symbol, "puzzle cache");
    EXPECT_EQ(set.waypoints[3]->symbol, "trail head");
    EXPECT_EQ(set.waypoints[4]->symbol, "kept");
}

TEST(ReadingProfile, MonumentsAndCrossesTakeTheirNameFromTheDescription) {
    poiset monuments = read_text(gpx_of(R"(<wpt lat="1" lon="2"><name>M1</name><cmt>c</cmt>
<desc>Castle</desc><sym>Museum</sym><link href="https://muemlekem.hu/muemlek?id=5"/></wpt>)"));
    ASSERT_EQ(monuments.count(), 1);
    EXPECT_EQ(monuments.waypoints[0]->name, "Castle");
    EXPECT_EQ(monuments.waypoints[0]->comment, "c");
    EXPECT_EQ(monuments.waypoints[0]->description, "Castle");
    EXPECT_EQ(monuments.waypoints[0]->symbol, std::string(monument_symbol));

    poiset crosses = read_text(gpx_of(R"(<wpt lat="1" lon="2"><name>K1</name>
<desc>Wayside cross</desc><sym>Cross</sym><link href="https://muemlekem.hu/kereszt?id=5"/></wpt>)"));
    ASSERT_EQ(crosses.count(), 1);
    EXPECT_EQ(crosses.waypoints[0]->name, "Wayside cross");
    EXPECT_FALSE(crosses.waypoints[0]->comment.has_value());
    EXPECT_EQ(crosses.waypoints[0]->symbol, std::string(cross_symbol));
    EXPECT_NE(monument_symbol, cross_symbol);
}

TEST(ReadingProfile, DatedFilesTakeTheNameFromTheCommentAndTheDateFromTheTime) {
    poiset monuments = read_text(gpx_of(R"(<wpt lat="1" lon="2"><time>2009-10-17T08:00:00Z</time>
<name>n</name><cmt>Town hall</cmt><desc>Baroque</desc><sym>Building</sym></wpt>
<wpt lat="1" lon="2"><time>2009-10-17</time><cmt>Church</cmt><desc>Gothic</desc></wpt>
<wpt lat="1" lon="2"><time>2009-10-17T08:00:00Z</time><cmt>Bare</cmt></wpt>
<!-- https://muemlekem.hu/muemlek?id=1 -->)"));
    ASSERT_EQ(monuments.count(), 3);
    EXPECT_EQ(monuments.waypoints[0]->name, "Town hall");
    EXPECT_EQ(monuments.waypoints[0]->comment, "2009-10-17 Baroque");
    EXPECT_EQ(monuments.waypoints[0]->description, "Baroque");
    EXPECT_EQ(monuments.waypoints[0]->symbol, std::string(monument_symbol));
    EXPECT_EQ(monuments.waypoints[1]->comment, "2009-10-17Gothic");
    EXPECT_EQ(monuments.waypoints[2]->comment, "2009-10-17T08:00:00Z");

    poiset crosses = read_text(gpx_of(R"(<wpt lat="1" lon="2"><time>2010-01-02T03:04:05Z</time>
<cmt>Cross</cmt><desc>Stone</desc><sym>Cemetery</sym></wpt>
<!-- https://muemlekem.hu/kereszt?id=1 -->)"));
    ASSERT_EQ(crosses.count(), 1);
    EXPECT_EQ(crosses.waypoints[0]->name, "Cross");
    EXPECT_EQ(crosses.waypoints[0]->comment, "2010-01-02T03:04:05Z");
    EXPECT_EQ(crosses.waypoints[0]->symbol, std::string(cross_symbol));
}

TEST(ReadingProfile, EasyGpsCachesSwapCommentAndDescription) {
    poiset set = read_text(gpx_of(R"(<wpt lat="1" lon="2"><name>GC1</name><cmt>the cmt</cmt>
<desc>the desc</desc><sym>Geocache</sym>
<url>http://geocaching.hu/caches.geo?id=42</url></wpt>)",
                                  "EasyGPS 7.0"));
    ASSERT_EQ(set.count(), 1);
    EXPECT_EQ(set.waypoints[0]->name, "GC1");
    EXPECT_EQ(set.waypoints[0]->comment, "the desc");
    EXPECT_EQ(set.waypoints[0]->description, "the cmt");
    EXPECT_EQ(set.waypoints[0]->symbol, "geocache");
}

struct encoding_case {
    const char* file;
    bool is_utf8;
    int code_page;  // 0: none
    const char* name_utf8;
    const char* comment_utf8;
};

TEST(GpxEncoding, FollowsTheXmlDeclaration) {
    const encoding_case cases[] = {
        {"encoding_utf8.gpx", true, 0,
         "P\xC3\xA9"
         "cs \xC5\x91",
         "Sz\xC3\xA9"
         "chenyi t\xC3\xA9r"},
        {"encoding_windows1250.gpx", false, 1250,
         "P\xC3\xA9"
         "cs \xC5\x91",
         "Sz\xC3\xA9"
         "chenyi t\xC3\xA9r \xC5\xA0"},
        {"encoding_iso88592.gpx", false, 28592,
         "P\xC3\xA9"
         "cs \xC5\x91",
         "\xC5\xA0opron"},
        {"encoding_1252.gpx", false, 1252,
         "P\xC3\xA9"
         "cs \xC3\xB5",
         "\xE2\x82\xAC 5"},
        {"encoding_unknown.gpx", false, 1250,
         "P\xC3\xA9"
         "cs \xC5\x91",
         "\xC5\xA0"},
        {"encoding_none.gpx", false, 0,
         "P\xC3\xA9"
         "cs \xC3\xB5",
         "\xC2\x8A"},
    };
    for (const encoding_case& c : cases) {
        SCOPED_TRACE(c.file);
        message_capture capture;
        poiset set = read_file(testing::source_dir() + "/tests/data/gpx/" + c.file);
        ASSERT_EQ(set.count(), 1);
        EXPECT_EQ(set.is_utf8, c.is_utf8);
        EXPECT_EQ(set.locale ? set.locale->number() : 0, c.code_page);
        EXPECT_EQ(utf8_of(set, set.waypoints[0]->name), c.name_utf8);
        EXPECT_EQ(utf8_of(set, set.waypoints[0]->comment), c.comment_utf8);
        bool unknown = std::string(c.file) == "encoding_unknown.gpx";
        EXPECT_EQ(capture.text(),
                  unknown ? "\nError converting Encoding=\"x-unknown-42\" to locale in xml "
                            "file!\nUsing 1250 instead."
                          : "");
    }
}

TEST(GpxEncoding, TreatsAByteOrderMarkAsUtf8) {
    poiset set = read_text(
        "\xEF\xBB\xBF<?xml version=\"1.0\"?><gpx><wpt lat=\"1\" lon=\"2\">"
        "<name>\xC5\x91</name></wpt></gpx>");
    EXPECT_TRUE(set.is_utf8);
    EXPECT_FALSE(set.locale.has_value());
    ASSERT_EQ(set.count(), 1);
    EXPECT_EQ(set.waypoints[0]->name, "\xC5\x91");
}

TEST(GpxEncoding, DefaultsTo1250WhenTheDeclarationNamesNoEncoding) {
    poiset set = read_text("<?xml version=\"1.0\"?><gpx/>");
    EXPECT_FALSE(set.is_utf8);
    ASSERT_TRUE(set.locale.has_value());
    EXPECT_EQ(set.locale->number(), 1250);
    // A "?>" before the declaration does not hide it; a declaration that never ends
    // counts as none.
    poiset early = read_text("<a?><?xml version=\"1.0\" encoding=\"utf-8\"?><gpx/>");
    EXPECT_TRUE(early.is_utf8);
    poiset open = read_text("<?xml version=\"1.0\" encoding=\"utf-8\"<gpx/>");
    EXPECT_FALSE(open.is_utf8);
    EXPECT_FALSE(open.locale.has_value());
}

TEST(GpxReadFile, ReadsAnEmptyFileAsAnEmptySet) {
    testing::temp_dir dir;
    std::string path = dir.file("empty.gpx");
    testing::write_file(path, "");
    poiset set = read_file(path);
    EXPECT_EQ(set.count(), 0);
    EXPECT_FALSE(set.is_utf8);
    EXPECT_FALSE(set.locale.has_value());
}

TEST(GpxReadFile, ReadsAStreamThatCannotSeek) {
    testing::temp_dir dir;
    std::string path = dir.file("a.gpx");
    testing::write_file(path, gpx_of(R"(<wpt lat="1" lon="2"><name>piped</name></wpt>)"));
    std::FILE* pipe = ::popen(("cat '" + path + "'").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    poiset set;
    EXPECT_TRUE(gpx_read(pipe, set));
    ::pclose(pipe);
    EXPECT_TRUE(set.is_utf8);
    ASSERT_EQ(set.count(), 1);
    EXPECT_EQ(set.waypoints[0]->name, "piped");
}

TEST(GpxReadFile, ReportsADirectoryOpenedAsAFileAsAFailedRead) {
    testing::temp_dir dir;
    std::filesystem::create_directory(dir.file("folder.gpx"));
    std::FILE* file = std::fopen(dir.file("folder.gpx").c_str(), "rb");
    if (file == nullptr) GTEST_SKIP() << "directories don't open as files here";
    poiset set;
    message_capture capture;
    EXPECT_FALSE(gpx_read(file, set));
    std::fclose(file);
    EXPECT_EQ(capture.text(),
              "\nError: Reading the xml file failed after 0 bytes; nothing imported. (Is a "
              "directory)");
    EXPECT_EQ(set.count(), 0);
}

// What a reading gives: every waypoint's fields and the messages, in order.
std::string reading_of(const std::string& text, std::size_t parallel_from) {
    message_capture capture;
    poiset set;
    gpx_read_text(text, set, parallel_from);
    std::string out = capture.text();
    for (const auto& w : set.waypoints) {
        out += "\n" + w->name.value_or("-") + "|" + std::to_string(w->lat) + "|" +
               std::to_string(w->lon) + "|" + w->comment.value_or("-") + "|" +
               w->symbol.value_or("-") + "|" + std::to_string(w->flags);
    }
    return out;
}

TEST(GpxReader, ReadsLikeOneThreadWhenTwoShareTheText) {
    std::string many;
    for (int i = 0; i < 400; ++i) {
        std::string n = std::to_string(i);
        many += i % 37 == 5 ? "<wpt lat=\"95\" lon=\"1\"><name>bad" + n + "</name></wpt>\n"
                            : "<wpt lat=\"47." + n + "\" lon=\"19." + n + "\"><name>P" + n +
                                  "@50</name><cmt>c&amp;" + n + "</cmt><sym>Car</sym></wpt>\n";
    }
    std::string nested_middle;
    for (int i = 0; i < 60; ++i) {
        nested_middle +=
            i == 30 ? "<wpt lat=\"1\" lon=\"2\"><name>outer</name><wpt lat=\"3\" "
                      "lon=\"4\"><name>inner</name>"
                    : "<wpt lat=\"5\" lon=\"6\"><name>n" + std::to_string(i) + "</name></wpt>";
    }
    const std::string texts[] = {
        gpx_of(many),
        gpx_of(nested_middle),
        gpx_of(many + "<wpt lat=\"1\" lon=\"2\"><name>never closed</name>"),
        gpx_of("<wpt lat=\"1\" lon=\"2\"><name>only</name></wpt>"),
        gpx_of(""),
    };
    for (const std::string& text : texts) {
        std::string one_thread = reading_of(text, SIZE_MAX);
        // Every split point the two threads can choose gives the same reading.
        for (std::size_t from : {std::size_t{0}, std::size_t{1}, text.size() / 2, text.size()}) {
            EXPECT_EQ(reading_of(text, from), one_thread) << "from " << from;
        }
    }
    EXPECT_NE(reading_of(gpx_of(many), 0).find("Waypoint (bad5) has an invalid position"),
              std::string::npos);
}

struct real_case {
    const char* file;
    int waypoints;
};

TEST(GpxReadFile, ReadsEveryRealSampleWithItsWaypointCount) {
    const real_case cases[] = {
        {"gpx/basecamp.gpx", 2},
        {"gpx/expertgps.gpx", 86},
        {"gpx/garmin_gpi.gpx", 86},
        {"gpx/garmin_gpi_encoding.gpx", 1},
        {"gpx/gpispeed.gpx", 1},
        {"gpx/GC7FA4.gpx", 1},
        {"gpx/GCGCA8_nasty.gpx", 1},
        {"gpx/gpxpassthrough11.gpx", 3},
        {"gpx/lowrance-utf16-test.gpx", 1},
        {"gpx/umsonstdraussen.gpx", 78},
        {"gpx/gdb-sample-v3-ilinks.gpx", 5},
        {"gpx/route.gpx", 0},
        {"gpx/multiple-links.gpx", 1},
        {"gpx/iso8859-1encoded.gpx", 8},
        {"gpx/gpx1.1_with_all_fields.gpx", 2},
        {"gpx/unicode.gpx", 6},
        {"gpx/unicode_with_bom_noencoding.gpx", 1},
        {"gpx/GATSO_30.gpx", 2},
        {"gpx/GATSO_redlight_0_EU.gpx", 6761},
        {"gpx/gc31j2h_wpts.gpx", 2},
    };
    for (const real_case& c : cases) {
        SCOPED_TRACE(c.file);
        VELMORA_REQUIRE_REAL(path, c.file);
        message_capture capture;
        poiset set = read_file(path);
        EXPECT_EQ(set.count(), c.waypoints);
        EXPECT_EQ(capture.text(), "");
    }
}

TEST(GpxReadFile, ReadsTheEncodingsOfRealSamples) {
    {
        VELMORA_REQUIRE_REAL(path, "gpx/expertgps.gpx");
        poiset set = read_file(path);
        EXPECT_FALSE(set.is_utf8);
        ASSERT_TRUE(set.locale.has_value());
        EXPECT_EQ(set.locale->number(), 28591);
    }
    {
        VELMORA_REQUIRE_REAL(path, "gpx/unicode_with_bom_noencoding.gpx");
        poiset set = read_file(path);
        EXPECT_TRUE(set.is_utf8);
        ASSERT_EQ(set.count(), 1);
        EXPECT_NE(set.waypoints[0]->name->find("\xC5\x91"), std::string::npos);
    }
    {
        VELMORA_REQUIRE_REAL(path, "gpx/gpx1.1_with_all_fields.gpx");
        poiset set = read_file(path);
        EXPECT_FALSE(set.is_utf8);
        EXPECT_FALSE(set.locale.has_value());
    }
}

TEST(GpxReadFile, ReadsCdataNamesAndSpeedsOfARealSample) {
    VELMORA_REQUIRE_REAL(path, "gpx/GATSO_30.gpx");
    poiset set = read_file(path);
    ASSERT_EQ(set.count(), 2);
    for (const auto& w : set.waypoints) {
        EXPECT_EQ(w->name, "max");
        EXPECT_DOUBLE_EQ(w->speed, 30.0);
        EXPECT_DOUBLE_EQ(w->proximity, 300.0);
        EXPECT_TRUE(w->flags & has_speed);
    }
}

TEST(GpxReadFile, TakesTheFirstLinkOfARealSample) {
    VELMORA_REQUIRE_REAL(path, "gpx/multiple-links.gpx");
    poiset set = read_file(path);
    ASSERT_EQ(set.count(), 1);
    ASSERT_TRUE(set.waypoints[0]->link.has_value());
    std::string text = testing::read_file(path);
    std::size_t start = text.find("<link");
    start = text.find('>', start) + 1;
    EXPECT_EQ(*set.waypoints[0]->link, text.substr(start, text.find("</link>", start) - start));
}

}  // namespace
}  // namespace velmora
