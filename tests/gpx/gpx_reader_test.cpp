#include "gpx/gpx_reader.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/messages.hpp"
#include "support/real_samples.hpp"
#include "support/test_support.hpp"
#include "text/encoding.hpp"
#include "text/strict_numbers.hpp"

namespace velmora {
namespace {

using namespace std::string_literals;

std::string gpx_of(const std::string& body, const std::string& creator = "test",
                   const std::string& metadata = "") {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<gpx version=\"1.1\" creator=\"" + creator +
           "\">\n" + metadata + body + "</gpx>\n";
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

std::string utf8_of(const poiset& set, const stored_text& text) {
    if (!text) return "<absent>";
    if (set.is_utf8) return std::string(*text);
    return codepage_text_to_utf8(*text, set.codepage).value_or("<failed>");
}

TEST(GpxReader, ReadsTheFieldsOfAPlainWaypoint) {
    poiset set = read_text(gpx_of(R"(<wpt lat="47.5" lon="19.25">
  <ele>100</ele><name>Budapest</name><cmt>capital</cmt><desc>on the Danube</desc>
  <link href="http://x"><text>site</text></link><sym>City (Large)</sym>
</wpt>
)"));
    ASSERT_EQ(set.count(), 1);
    const waypoint& w = set.waypoints[0];
    EXPECT_DOUBLE_EQ(w.lat, 47.5);
    EXPECT_DOUBLE_EQ(w.lon, 19.25);
    EXPECT_EQ(w.flags, has_position);
    EXPECT_EQ(w.name, "Budapest");
    EXPECT_EQ(w.comment, "capital");
    EXPECT_EQ(w.description, "on the Danube");
    EXPECT_EQ(w.symbol, "City (Large)");
    EXPECT_EQ(w.link, "http://x");
    EXPECT_EQ(w.speed, 0.0);
    EXPECT_EQ(w.proximity, 0.0);
}

TEST(GpxReader, GivesMissingElementsEmptyOrAbsentFields) {
    poiset set = read_text(gpx_of(R"(<wpt lat="1" lon="2"></wpt><wpt lat="3" lon="4"/>
<wpt lat="5" lon="6"><name></name><cmt></cmt><sym></sym></wpt>)"));
    ASSERT_EQ(set.count(), 3);
    for (const auto& w : set.waypoints) {
        EXPECT_EQ(w.name, "");
        EXPECT_FALSE(w.comment.has_value());
        EXPECT_FALSE(w.description.has_value());
        EXPECT_EQ(w.symbol, "");
        EXPECT_FALSE(w.link.has_value());
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
    EXPECT_EQ(set.waypoints[0].name, "kept");
}

TEST(GpxReader, SkipsWaypointsOutsideTheEarthWithAWarning) {
    message_capture capture;
    poiset set = read_text(gpx_of(R"(<wpt lat="91" lon="0"><name>north</name></wpt>
<wpt lat="0" lon="-180.5"><name>west</name></wpt>
<wpt lat="nan" lon="0"><name>nan</name></wpt>
<wpt lat="1e999" lon="0"><name>huge</name></wpt>
<wpt lat="90" lon="-180"><name>corner</name></wpt>)"));
    ASSERT_EQ(set.count(), 1);
    EXPECT_EQ(set.waypoints[0].name, "corner");
    for (const char* name : {"north", "west", "nan", "huge"}) {
        EXPECT_NE(
            capture.text().find("\nWarning: Waypoint ("s + name + ") has an invalid position"),
            std::string::npos)
            << capture.text();
    }
    EXPECT_NE(capture.text().find(R"((lat="91" lon="0"))"), std::string::npos);
}

TEST(GpxReader, DecodesReferencesOutsideCdata) {
    poiset set = read_text(gpx_of(R"(<wpt lat="1" lon="2"><name>A &amp; B &#x151;</name>
<cmt><![CDATA[x &amp; <b>y</b>]]></cmt><desc>&lt;b&gt;bold&lt;/b&gt;</desc>
<sym>Flag, Blue &amp; Red</sym></wpt>)"));
    ASSERT_EQ(set.count(), 1);
    const waypoint& w = set.waypoints[0];
    EXPECT_EQ(w.name, "A & B \xC5\x91");
    EXPECT_EQ(w.comment, "x &amp; <b>y</b>");
    EXPECT_EQ(w.description, "<b>bold</b>");
    EXPECT_EQ(w.symbol, "Flag, Blue & Red");
}

TEST(GpxReader, ReadsEveryPositionToTheDoubleOfTheNumbersParser) {
    // Positions are read by a quick way where they are written as usual; the result must
    // be the very double the general parser gives, and the same positions refused.
    std::vector<std::string> numbers = {"47.5",
                                        "-19.25",
                                        "0",
                                        "-0",
                                        "-0.0",
                                        "5.",
                                        ".5",
                                        "-.5",
                                        "1,5",
                                        " 47.5 ",
                                        "+2",
                                        "-",
                                        "",
                                        ".",
                                        "1.2.3",
                                        "0.1",
                                        "0.3",
                                        "89.999999999999999",
                                        "90",
                                        "90.0000000000001",
                                        "-180",
                                        "180.000001",
                                        "123456789012345",
                                        "1234567890123456",
                                        "0.000000000000001",
                                        "00000000000000047.5",
                                        "9007199254740993",
                                        "47.5000000000000000001",
                                        "&#52;7",
                                        "1e1",
                                        "4 7",
                                        "-+1",
                                        "47.5x"};
    std::uint64_t state = 12345;
    for (int i = 0; i < 2000; ++i) {
        state = state * 6364136223846793005u + 1442695040888963407u;
        char text[40];
        std::snprintf(
            text, sizeof text, "%.*f", static_cast<int>(state >> 60),
            static_cast<double>(static_cast<std::int64_t>(state >> 8) % 180000000000) / 1e9);
        numbers.push_back(text);
    }
    std::string body;
    for (const std::string& n : numbers) body += "<wpt lat=\"" + n + "\" lon=\"" + n + "\"/>\n";
    message_capture capture;
    poiset set = read_text(gpx_of(body));
    std::size_t next = 0;
    for (const std::string& n : numbers) {
        std::optional<double> lat = whole_decimal(n == "&#52;7" ? "47" : n);
        std::optional<double> lon = lat;
        if (lat && std::fabs(*lat) > 90.0) lat.reset();
        if (lon && std::fabs(*lon) > 180.0) lon.reset();
        if (!lat || !lon) continue;
        ASSERT_LT(next, set.waypoints.size()) << n;
        const waypoint& w = set.waypoints[next++];
        EXPECT_EQ(std::bit_cast<std::uint64_t>(w.lat), std::bit_cast<std::uint64_t>(*lat)) << n;
        EXPECT_EQ(std::bit_cast<std::uint64_t>(w.lon), std::bit_cast<std::uint64_t>(*lon)) << n;
    }
    EXPECT_EQ(next, set.waypoints.size());
}

TEST(GpxReader, TakesTheFirstDirectChildOfEachName) {
    poiset set = read_text(gpx_of(R"(<wpt lat="1" lon="2">
<link href="x"><text>t</text><type>text/html</type></link>
<name>first</name><name>second</name><type>Geocache</type></wpt>)",
                                  "Skr tool"));
    ASSERT_EQ(set.count(), 1);
    EXPECT_EQ(set.waypoints[0].name, "first");
    // The link's own type child is not the waypoint's type.
    EXPECT_EQ(set.waypoints[0].symbol, "Geocache");
}

// One waypoint as "name|lat|lon|symbol|speed", the fields that tell whether it was
// read from the right place.
std::string summary_of(const waypoint& w) {
    char position[64];
    std::snprintf(position, sizeof position, "%g|%g", w.lat, w.lon);
    std::string out = std::string(w.name.value_or("-")) + "|" + position + "|" +
                      std::string(w.symbol.value_or("-"));
    if (w.flags & has_speed) out += "|@" + std::to_string(static_cast<int>(w.speed));
    return out;
}

struct tricky_case {
    const char* what;
    std::string body;
    std::vector<std::string> waypoints;
    const char* message;  // a part of the messages; "" for none at all
};

TEST(GpxReader, ReadsTrickyInputsAsXmlReadersDo) {
    const tricky_case cases[] = {
        {"a waypoint in a comment",
         "<!-- <wpt lat=\"5\" lon=\"5\"><name>C</name></wpt> -->"
         "<wpt lat=\"1\" lon=\"2\"><name>A</name></wpt>",
         {"A|1|2|"},
         ""},
        {"markup in CDATA and in extensions",
         "<wpt lat=\"1\" lon=\"2\"><desc><![CDATA[<name>Fake</name><sym>Fake</sym>]]></desc>"
         "<extensions><name>Fake</name><sym>Fake</sym></extensions>"
         "<name>Real</name><sym>Car</sym></wpt>",
         {"Real|1|2|Car"},
         ""},
        {"blanks around = and single quotes",
         "<wpt lat = '47' lon\n=\t\"19,5\"/>",
         {"|47|19.5|"},
         ""},
        {"a waypoint written into a CDATA comment",
         "<wpt lat=\"1\" lon=\"2\"><name>X</name><cmt><![CDATA[</wpt><wpt lat=\"10\" "
         "lon=\"10\"><name>INJECTED</name>]]></cmt></wpt>",
         {"X|1|2|"},
         ""},
        {"a symbol in CDATA and with references",
         "<wpt lat=\"1\" lon=\"2\"><sym><![CDATA[Flag, Blue]]></sym></wpt>"
         "<wpt lat=\"1\" lon=\"2\"><sym>A &amp; B</sym></wpt>",
         {"|1|2|Flag, Blue", "|1|2|A & B"},
         ""},
        {"positions that are no whole number",
         "<wpt lat=\"\" lon=\"2\"><name>empty</name></wpt>"
         "<wpt lat=\"abc\" lon=\"2\"><name>word</name></wpt>"
         "<wpt lat=\"0x1p4\" lon=\"2\"><name>hex</name></wpt>"
         "<wpt lat=\"47.5abc\" lon=\"2\"><name>tail</name></wpt>"
         "<wpt lat=\"1e1\" lon=\"2\"><name>exponent</name></wpt>"
         "<wpt lat=\" -47.5 \" lon=\"+2\"><name>kept</name></wpt>",
         {"kept|-47.5|2|"},
         "Waypoint (tail) has an invalid position (lat=\"47.5abc\" lon=\"2\")"},
        {"speeds after the last @ only",
         "<wpt lat=\"1\" lon=\"2\"><name>Cafe @ Mall@50</name></wpt>"
         "<wpt lat=\"1\" lon=\"2\"><name>LAN@Work</name></wpt>"
         "<wpt lat=\"1\" lon=\"2\"><name>Radar@1e308</name></wpt>"
         "<wpt lat=\"1\" lon=\"2\"><name>Radar@-5</name></wpt>"
         "<wpt lat=\"1\" lon=\"2\"><name>Zone@30,5</name></wpt>"
         "<wpt lat=\"1\" lon=\"2\"><name>@</name></wpt>"
         "<wpt lat=\"1\" lon=\"2\"><name>Fast@1001</name></wpt>"
         "<wpt lat=\"1\" lon=\"2\"><name>Max@1000</name></wpt>",
         {"Cafe @ Mall|1|2||@50", "LAN@Work|1|2|", "Radar@1e308|1|2|", "Radar@-5|1|2|",
          "Zone|1|2||@30", "@|1|2|", "Fast@1001|1|2|", "Max|1|2||@1000"},
         ""},
        {"a waypoint not closed before the next one",
         "<wpt lat=\"1\" lon=\"2\"><name>open</name>\n<wpt lat=\"3\" lon=\"4\"><name>inner</name>"
         "</wpt><wpt lat=\"5\" lon=\"6\"><name>last</name></wpt>",
         {"inner|3|4|", "last|5|6|"},
         "Malformed XML at offset 113 of the gpx file"},
        {"a wrong end tag and a file ending inside a waypoint",
         "<wpt lat=\"1\" lon=\"2\"><name>x</nam></wpt><wpt lat=\"3\" lon=\"4\"/>"
         "<wpt lat=\"5\" lon=\"6\"><name>never closed",
         {"|3|4|"},
         "Malformed XML at offset 102 of the gpx file"},
        {"a zero byte",
         "<wpt lat=\"1\" lon=\"2\"><name>a</name></wpt>\0"s
         "<wpt lat=\"3\" lon=\"4\"><name>b\0c</name></wpt>"s,
         {"a|1|2|", "bc|3|4|"},
         "Byte 0x00 at offset 115 of the gpx file is not allowed in XML; 2"},
    };
    for (const tricky_case& c : cases) {
        SCOPED_TRACE(c.what);
        message_capture capture;
        poiset set = read_text(gpx_of(c.body));
        std::vector<std::string> got;
        for (const auto& w : set.waypoints) got.push_back(summary_of(w));
        EXPECT_EQ(got, c.waypoints);
        if (*c.message == '\0') {
            EXPECT_EQ(capture.text(), "");
        } else {
            EXPECT_NE(capture.text().find(c.message), std::string::npos) << capture.text();
            // Each kind of fault is told once per file.
            EXPECT_EQ(capture.text().find("Malformed"), capture.text().rfind("Malformed"));
        }
    }
}

TEST(ReadingProfile, IsChosenByTheFilesHeaderAlone) {
    std::string monuments = "https://www.muemlekem.hu/muemlek?id=1";
    std::string crosses = "https://www.muemlekem.hu/kereszt?id=2";
    std::string cache = "http://geocaching.hu/caches.geo?id=123";
    std::string in_metadata = "<metadata><link href=\"" + monuments + "\"/></metadata>";
    std::string monument_link = "<link href=\"" + monuments + "\"/>";
    std::string cross_link = "<link href=\"" + crosses + "\"/>";
    std::string cache_url = "<url>" + cache + "</url>";
    struct {
        gpx_header header;
        reading_profile expected;
    } cases[] = {
        {{"test", "", "", std::nullopt}, reading_profile::plain},
        {{"skrTool", "", "", std::nullopt}, reading_profile::typed_geocaches},
        {{"Sk", "", "", std::nullopt}, reading_profile::plain},
        {{"x", in_metadata, "", std::nullopt}, reading_profile::monuments},
        {{"x", "", monument_link, "Building"}, reading_profile::dated_monuments},
        {{"x", "", cross_link, "Museum"}, reading_profile::crosses},
        {{"x", crosses, "", "Cemetery"}, reading_profile::dated_crosses},
        {{"EasyGPS 7", "", cache_url, std::nullopt}, reading_profile::easygps_caches},
        {{"test", "", cache_url, std::nullopt}, reading_profile::plain},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(choose_reading_profile(c.header), c.expected) << c.header.creator;
    }
    // A description naming the register changes nothing; nor does a later waypoint.
    poiset set = read_text(gpx_of("<wpt lat=\"1\" lon=\"2\"><name>N</name><desc>see " + monuments +
                                  "</desc><sym>Car</sym></wpt><wpt lat=\"1\" lon=\"2\">" +
                                  cross_link + "</wpt>"));
    ASSERT_EQ(set.count(), 2);
    EXPECT_EQ(set.waypoints[0].name, "N");
    EXPECT_EQ(set.waypoints[0].symbol, "Car");
}

TEST(GeocacheSymbol, TakesTheSymbolFromTheTypeAndTheComment) {
    EXPECT_EQ(geocache_symbol("old", "Final Location", std::nullopt), "Waypoint");
    EXPECT_EQ(geocache_symbol("old", "Trailhead", "x"), "Trail Head");
    EXPECT_EQ(geocache_symbol("old", "Question to Answer", "T"), "Puzzle Cache");
    EXPECT_EQ(geocache_symbol("old", "Virtual Cache", std::nullopt), "Virtual Cache");
    EXPECT_EQ(geocache_symbol("old", std::nullopt, "L"), "old");
    EXPECT_EQ(geocache_symbol("", "Geocache", "L..."), "Multi-Cache");
    EXPECT_EQ(geocache_symbol("", "Geocache", "Mystery"), "Letterbox Cache");
    EXPECT_EQ(geocache_symbol("", "Geocache", "Traditional"), "Geocache");
    EXPECT_EQ(geocache_symbol("", "Geocache", "traditional"), "Puzzle Cache");
    EXPECT_EQ(geocache_symbol("", "Geocache", std::nullopt), "Geocache");
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
    EXPECT_EQ(set.waypoints[0].symbol, "Geocache");
    EXPECT_EQ(set.waypoints[1].symbol, "Multi-Cache");
    EXPECT_EQ(set.waypoints[2].symbol, "Puzzle Cache");
    EXPECT_EQ(set.waypoints[3].symbol, "Trail Head");
    EXPECT_EQ(set.waypoints[4].symbol, "Kept");
}

TEST(ReadingProfile, MonumentsAndCrossesTakeTheirNameFromTheDescription) {
    poiset monuments = read_text(gpx_of(R"(<wpt lat="1" lon="2"><name>M1</name><cmt>c</cmt>
<desc>Castle</desc><sym>Museum</sym><link href="https://muemlekem.hu/muemlek?id=5"/></wpt>)"));
    ASSERT_EQ(monuments.count(), 1);
    EXPECT_EQ(monuments.waypoints[0].name, "Castle");
    EXPECT_EQ(monuments.waypoints[0].comment, "c");
    EXPECT_EQ(monuments.waypoints[0].description, "Castle");
    EXPECT_EQ(monuments.waypoints[0].symbol, std::string(monument_symbol));

    poiset crosses = read_text(gpx_of(R"(<wpt lat="1" lon="2"><name>K1</name>
<desc>Wayside cross</desc><sym>Cross</sym><link href="https://muemlekem.hu/kereszt?id=5"/></wpt>)"));
    ASSERT_EQ(crosses.count(), 1);
    EXPECT_EQ(crosses.waypoints[0].name, "Wayside cross");
    EXPECT_FALSE(crosses.waypoints[0].comment.has_value());
    EXPECT_EQ(crosses.waypoints[0].symbol, std::string(cross_symbol));
    EXPECT_NE(monument_symbol, cross_symbol);
}

TEST(ReadingProfile, DatedFilesTakeTheNameFromTheCommentAndTheDateFromTheTime) {
    poiset monuments = read_text(
        gpx_of(R"(<wpt lat="1" lon="2"><time>2009-10-17T08:00:00Z</time>
<name>n</name><cmt>Town hall</cmt><desc>Baroque</desc><sym>Building</sym></wpt>
<wpt lat="1" lon="2"><time>2009-10-17</time><cmt>Church</cmt><desc>Gothic</desc></wpt>
<wpt lat="1" lon="2"><time>2009-10-17T08:00:00Z</time><cmt>Bare</cmt></wpt>)",
               "x", "<metadata><link href=\"https://muemlekem.hu/muemlek?id=1\"/></metadata>"));
    ASSERT_EQ(monuments.count(), 3);
    EXPECT_EQ(monuments.waypoints[0].name, "Town hall");
    EXPECT_EQ(monuments.waypoints[0].comment, "2009-10-17 Baroque");
    EXPECT_EQ(monuments.waypoints[0].description, "Baroque");
    EXPECT_EQ(monuments.waypoints[0].symbol, std::string(monument_symbol));
    EXPECT_EQ(monuments.waypoints[1].comment, "2009-10-17Gothic");
    EXPECT_EQ(monuments.waypoints[2].comment, "2009-10-17T08:00:00Z");

    poiset crosses = read_text(
        gpx_of(R"(<wpt lat="1" lon="2"><time>2010-01-02T03:04:05Z</time>
<cmt>Cross</cmt><desc>Stone</desc><sym>Cemetery</sym></wpt>)",
               "x", "<metadata><link href=\"https://muemlekem.hu/kereszt?id=1\"/></metadata>"));
    ASSERT_EQ(crosses.count(), 1);
    EXPECT_EQ(crosses.waypoints[0].name, "Cross");
    EXPECT_EQ(crosses.waypoints[0].comment, "2010-01-02T03:04:05Z");
    EXPECT_EQ(crosses.waypoints[0].symbol, std::string(cross_symbol));
}

TEST(ReadingProfile, EasyGpsCachesSwapCommentAndDescription) {
    poiset set = read_text(gpx_of(R"(<wpt lat="1" lon="2"><name>GC1</name><cmt>the cmt</cmt>
<desc>the desc</desc><sym>Geocache</sym>
<url>http://geocaching.hu/caches.geo?id=42</url></wpt>)",
                                  "EasyGPS 7.0"));
    ASSERT_EQ(set.count(), 1);
    EXPECT_EQ(set.waypoints[0].name, "GC1");
    EXPECT_EQ(set.waypoints[0].comment, "the desc");
    EXPECT_EQ(set.waypoints[0].description, "the cmt");
    EXPECT_EQ(set.waypoints[0].symbol, "Geocache");
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
        EXPECT_EQ(set.codepage ? set.codepage->number() : 0, c.code_page);
        EXPECT_EQ(utf8_of(set, set.waypoints[0].name), c.name_utf8);
        EXPECT_EQ(utf8_of(set, set.waypoints[0].comment), c.comment_utf8);
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
    EXPECT_FALSE(set.codepage.has_value());
    ASSERT_EQ(set.count(), 1);
    EXPECT_EQ(set.waypoints[0].name, "\xC5\x91");
}

TEST(GpxEncoding, DefaultsTo1250WhenTheDeclarationNamesNoEncodingAndTheBytesAreNoUtf8) {
    poiset set = read_text("<?xml version=\"1.0\"?><gpx><name>\xF5</name></gpx>");
    EXPECT_FALSE(set.is_utf8);
    ASSERT_TRUE(set.codepage.has_value());
    EXPECT_EQ(set.codepage->number(), 1250);
    // A "?>" before the declaration does not hide it; a declaration that never ends
    // counts as none.
    poiset early = read_text("<a?><?xml version=\"1.0\" encoding=\"utf-8\"?><gpx/>");
    EXPECT_TRUE(early.is_utf8);
    poiset open = read_text("<?xml version=\"1.0\" encoding=\"utf-8\"<gpx>\xF5</gpx>");
    EXPECT_FALSE(open.is_utf8);
    EXPECT_FALSE(open.codepage.has_value());
}

TEST(GpxReadFile, ReadsAnEmptyFileAsAnEmptySet) {
    testing::temp_dir dir;
    std::string path = dir.file("empty.gpx");
    testing::write_file(path, "");
    poiset set = read_file(path);
    EXPECT_EQ(set.count(), 0);
    EXPECT_FALSE(set.codepage.has_value());
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
    EXPECT_EQ(set.waypoints[0].name, "piped");
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
        out += "\n" + std::string(w.name.value_or("-")) + "|" + std::to_string(w.lat) + "|" +
               std::to_string(w.lon) + "|" + std::string(w.comment.value_or("-")) + "|" +
               std::string(w.symbol.value_or("-")) + "|" + std::to_string(w.flags);
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
    // Waypoint tags in the middle of the text that are no waypoints: the second thread,
    // starting there, must give way.
    std::string hidden;
    for (int i = 0; i < 800; ++i) hidden += "<wpt lat=\"9\" lon=\"9\"><name>hidden</name></wpt>";
    const std::string texts[] = {
        gpx_of(many),
        gpx_of(many + "<!-- " + hidden + " -->" + many),
        gpx_of(many + "<wpt lat=\"1\" lon=\"2\"><cmt><![CDATA[" + hidden + "]]></cmt></wpt>" +
               many),
        gpx_of(nested_middle),
        gpx_of(many + "<wpt lat=\"1\" lon=\"2\"><name>never closed</name>"),
        gpx_of("<wpt lat=\"1\" lon=\"2\"><name>only</name></wpt>"),
        gpx_of(""),
        // Bytes XML forbids behind the middle only, and on both sides of it.
        gpx_of(many + "<wpt lat=\"1\" lon=\"2\"><name>x\x02y</name></wpt>"),
        gpx_of("<wpt lat=\"1\" lon=\"2\"><name>a\x01</name></wpt>" + many +
               "<wpt lat=\"1\" lon=\"2\"><name>b\x1F\x1F</name></wpt>"),
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
    // A comment that begins right at the middle, where the text is split for the survey
    // before the reading, hides the waypoints the second thread would start at.
    const std::string comment = "<!-- " + hidden + " -->";
    for (int delta : {-2, -1, 0, 1}) {
        const std::size_t lt = gpx_of(many).find("</gpx>");
        const std::size_t size = gpx_of(many + comment + many).size();
        std::size_t pad = 0;
        while (static_cast<long>(lt + pad) != static_cast<long>((size + pad) / 2) + delta) ++pad;
        std::string text = gpx_of(many + std::string(pad, ' ') + comment + many);
        ASSERT_EQ(text.compare(lt + pad, 4, "<!--"), 0);
        EXPECT_EQ(reading_of(text, 0), reading_of(text, SIZE_MAX)) << delta;
    }
}

TEST(GpxReadFile, ReadsEveryRealSampleWithItsWaypointCount) {
    for (const auto& c : testing::real_gpx_samples) {
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
        ASSERT_TRUE(set.codepage.has_value());
        EXPECT_EQ(set.codepage->number(), 28591);
    }
    {
        VELMORA_REQUIRE_REAL(path, "gpx/unicode_with_bom_noencoding.gpx");
        poiset set = read_file(path);
        EXPECT_TRUE(set.is_utf8);
        ASSERT_EQ(set.count(), 1);
        EXPECT_NE(set.waypoints[0].name->find("\xC5\x91"), std::string::npos);
    }
    {
        // No declaration, and bytes that are valid UTF-8.
        VELMORA_REQUIRE_REAL(path, "gpx/gpx1.1_with_all_fields.gpx");
        poiset set = read_file(path);
        EXPECT_TRUE(set.is_utf8);
        EXPECT_FALSE(set.codepage.has_value());
    }
}

TEST(GpxReadFile, ReadsCdataNamesAndSpeedsOfARealSample) {
    VELMORA_REQUIRE_REAL(path, "gpx/GATSO_30.gpx");
    poiset set = read_file(path);
    ASSERT_EQ(set.count(), 2);
    for (const auto& w : set.waypoints) {
        EXPECT_EQ(w.name, "max");
        EXPECT_DOUBLE_EQ(w.speed, 30.0);
        EXPECT_DOUBLE_EQ(w.proximity, 300.0);
        EXPECT_TRUE(w.flags & has_speed);
    }
}

// The waypoint's link and its text as "link | text", "-" for either when absent.
std::string link_of(const poiset& set, const waypoint& w) {
    const waypoint_details* details = set.details_of(w);
    std::string text =
        details != nullptr && details->link_text ? std::string(*details->link_text) : "-";
    return std::string(w.link.value_or("-")) + " | " + text;
}

TEST(GpxReader, TakesTheLinkAndItsTextOfGpx11ElseTheUrlAndUrlnameOfGpx10) {
    struct case_t {
        const char* what;
        const char* elements;
        const char* expected;
    };
    const case_t cases[] = {
        {"a link with a text and a type",
         "<link href=\"http://a/?x=1&amp;y=2\"><type>text/html</type><text>A &amp; B</text></link>",
         "http://a/?x=1&y=2 | A & B"},
        {"a text in a comment is none", "<link href=\"http://a\"><!-- <text>no</text> --></link>",
         "http://a | -"},
        {"url and urlname", "<url> http://b </url><urlname>B &lt;1&gt;</urlname>",
         "http://b | B <1>"},
        {"urlname before url, in CDATA", "<urlname><![CDATA[C]]></urlname><url>http://c</url>",
         "http://c | C"},
        {"a urlname alone gives nothing", "<urlname>B</urlname>", "- | -"},
        {"an empty url gives nothing", "<url> </url><urlname>B</urlname>", "- | -"},
        {"the link of GPX 1.1 comes first",
         "<url>http://b</url><urlname>B</urlname><link href=\"http://a\"><text>A</text></link>",
         "http://a | A"},
    };
    for (const case_t& c : cases) {
        poiset set =
            read_text(gpx_of("<wpt lat=\"1\" lon=\"2\"><name>n</name>"s + c.elements + "</wpt>"));
        ASSERT_EQ(set.count(), 1) << c.what;
        EXPECT_EQ(link_of(set, set.waypoints[0]), c.expected) << c.what;
    }
}

TEST(GpxReadFile, TakesTheCachePageLinksOfPocketQueries) {
    struct case_t {
        const char* file;
        std::vector<std::string> links;
    };
    const case_t cases[] = {
        {"gpx/GC7FA4.gpx",
         {"http://www.geocaching.com/seek/cache_details.aspx?guid=727f9d2c-f080-41f1-a2c9-"
          "a326ead462ed | Points g\xC3\xA9od\xC3\xA9siques du Qu\xC3\xA9"
          "bec"}},
        {"gpx/gc31j2h_wpts.gpx",
         {"http://www.geocaching.com/seek/wpt.aspx?WID=f10270dc-0a0d-413d-97e7-8620e86f6cae | "
          "Parkplatz",
          "http://www.geocaching.com/seek/wpt.aspx?WID=f10270dc-0a0d-413d-97e7-8620e86f6xxx | "
          "Station 1"}},
        {"gpx/multiple-links.gpx", {"www.one.com | one"}},
    };
    for (const case_t& c : cases) {
        VELMORA_REQUIRE_REAL(path, c.file);
        poiset set = read_file(path);
        std::vector<std::string> links;
        for (const waypoint& w : set.waypoints) links.push_back(link_of(set, w));
        EXPECT_EQ(links, c.links) << c.file;
    }
}

TEST(GpxReadFile, TakesTheFirstLinkOfARealSample) {
    VELMORA_REQUIRE_REAL(path, "gpx/multiple-links.gpx");
    poiset set = read_file(path);
    ASSERT_EQ(set.count(), 1);
    ASSERT_TRUE(set.waypoints[0].link.has_value());
    // The address of the first link, not its text.
    EXPECT_EQ(*set.waypoints[0].link, "www.one.com");
}

}  // namespace
}  // namespace velmora
