#include "gpx/gpx_writer.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "gpx/gpx_reader.hpp"
#include "platform/version.hpp"
#include "support/test_support.hpp"

namespace velmora {
namespace {

const std::string header_start =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\" ?>\n"
    "<gpx xmlns=\"http://www.topografix.com/GPX/1/1\" "
    "creator=\"Velmora " VELMORA_PROGRAM_VERSION "\" "
    "version=\"1.1\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
    "xsi:schemaLocation=\"http://www.garmin.com/xmlschemas/GpxExtensions/v3 "
    "http://www.garmin.com/xmlschemas/GpxExtensions/v3/GpxExtensionsv3.xsd "
    "http://www.topografix.com/GPX/1/1 http://www.topografix.com/GPX/1/1/gpx.xsd\">\n\n"
    "\t<metadata>\n"
    "\t\t<link href=\"http://www.garmin.com\">\n"
    "\t\t\t<text>Velmora</text>\n"
    "\t\t</link>\n";

const std::string plain_metadata_end =
    "\t\t<time>1970-01-01T00:00:00Z</time>\n"
    "\t\t<bounds maxlat=\"0.0000000\" maxlon=\"0.0000000\" minlat=\"0.0000000\" "
    "minlon=\"0.0000000\"/>\n"
    "\t</metadata>\n\n";

waypoint& add(poiset& set, double lat, double lon, const char* name) {
    waypoint& w = *poiset_add_waypoint(set);
    w.flags = has_position;
    w.lat = lat;
    w.lon = lon;
    w.name = set.store(name);
    return w;
}

poiset& add_utf8_set(poiset_list& list) {
    poiset& set = *poiset_list_add(list);
    set.is_utf8 = true;
    return set;
}

// The document without its header, which a test of the waypoint lines does not need.
std::string body_of(const poiset_list& list) {
    std::string document = gpx_document(list);
    std::size_t start = document.find("\t</metadata>\n\n");
    return start == std::string::npos ? document : document.substr(start + 14);
}

TEST(GpxWriter, WritesADocumentWithoutWaypointsOrBoundsForAnEmptyList) {
    poiset_list list;
    const std::string empty = header_start + "\t\t<time>1970-01-01T00:00:00Z</time>\n" +
                              "\t</metadata>\n\n</gpx>\n";
    EXPECT_EQ(gpx_document(list), empty);
    testing::temp_dir dir;
    std::FILE* file = std::fopen(dir.file("out.gpx").c_str(), "wb");
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(gpx_write(file, list));
    std::fclose(file);
    EXPECT_EQ(testing::read_file(dir.file("out.gpx")), empty);
}

TEST(GpxWriter, WritesHeaderAndEndForSetsWithoutWaypoints) {
    poiset_list list;
    (void)poiset_list_add(list);
    (void)poiset_list_add(list);
    EXPECT_EQ(gpx_document(list), header_start + plain_metadata_end + "</gpx>\n");
}

TEST(GpxWriter, TakesBoundsAndTimeFromAllSets) {
    poiset_list list;
    poiset& a = *poiset_list_add(list);
    a.north = 47.5;
    a.south = 46.25;
    a.east = 19.125;
    a.west = 18.0;
    a.time = 1000000000;
    poiset& b = *poiset_list_add(list);  // a set with zeros takes part as well
    b.time = 5;
    std::string document = gpx_document(list);
    EXPECT_NE(document.find("\t\t<time>2001-09-09T01:46:40Z</time>\n"
                            "\t\t<bounds maxlat=\"47.5000000\" maxlon=\"19.1250000\" "
                            "minlat=\"0.0000000\" minlon=\"0.0000000\"/>\n"),
              std::string::npos)
        << document;
    b.north = -10.0;
    b.east = -20.0;
    b.time = 1709251199;  // 2024-02-29T23:59:59Z, a leap day
    document = gpx_document(list);
    EXPECT_NE(document.find("<time>2024-02-29T23:59:59Z</time>"), std::string::npos);
    EXPECT_NE(document.find("maxlat=\"47.5000000\" maxlon=\"19.1250000\" minlat=\"-10.0000000\" "
                            "minlon=\"-20.0000000\""),
              std::string::npos);
}

TEST(GpxWriter, WritesAPlainWaypointInFourLines) {
    poiset_list list;
    add(add_utf8_set(list), 47.5, -19.0, "Plain");
    EXPECT_EQ(body_of(list),
              "\t<wpt lat=\"47.5000000\" lon=\"-19.0000000\">\n"
              "\t\t<name>Plain</name>\n"
              "\t\t<sym>Waypoint</sym>\n"
              "\t</wpt>\n\n"
              "</gpx>\n");
}

TEST(GpxWriter, WritesSpeedInTheNameAndProximityInTheExtension) {
    poiset_list list;
    poiset& set = add_utf8_set(list);
    waypoint& w = add(set, 1.0, 2.0, "Radar");
    w.flags |= has_speed | has_proximity;
    w.speed = 50.0;
    w.proximity = 500.0;
    w.symbol = set.store("car");  // never written
    w.comment = set.store("cmt");
    w.description = set.store("desc");
    EXPECT_EQ(body_of(list),
              "\t<wpt lat=\"1.0000000\" lon=\"2.0000000\">\n"
              "\t\t<name>Radar@50</name>\n"
              "\t\t<cmt><![CDATA[cmt]]></cmt>\n"
              "\t\t<desc><![CDATA[desc]]></desc>\n"
              "\t\t<sym>Waypoint</sym>\n"
              "\t\t<extensions>\n"
              "\t\t\t<gpxx:WaypointExtension "
              "xmlns:gpxx=\"http://www.garmin.com/xmlschemas/GpxExtensions/v3\">\n"
              "\t\t<gpxx:Proximity>500</gpxx:Proximity>\n"
              "\t\t\t</gpxx:WaypointExtension>\n"
              "\t\t</extensions>\n"
              "\t</wpt>\n\n"
              "</gpx>\n");
}

TEST(GpxWriter, RoundsTheSpeedHalfUp) {
    poiset_list list;
    poiset& set = add_utf8_set(list);
    for (double speed : {49.5, 49.4, 0.0, 1e300}) {
        waypoint& w = add(set, 0, 0, "s");
        w.flags |= has_speed;
        w.speed = speed;
    }
    std::string body = body_of(list);
    EXPECT_NE(body.find("<name>s@50</name>"), std::string::npos);
    EXPECT_NE(body.find("<name>s@49</name>"), std::string::npos);
    EXPECT_NE(body.find("<name>s@0</name>"), std::string::npos);
    EXPECT_NE(body.find("<name>s@2147483647</name>"), std::string::npos);
}

TEST(GpxWriter, WritesAddressAndPhones) {
    poiset_list list;
    poiset& set = add_utf8_set(list);
    waypoint& w = add(set, 0, 0, "Shop");
    testing::add_address(set, w, "City", "Gy\xC5\x91r");
    testing::add_address(set, w, "PostalCode", "9021");
    testing::add_phone(set, w, "Phone", "+36 1 234");
    EXPECT_NE(
        body_of(list).find("\t\t\t<gpxx:WaypointExtension "
                           "xmlns:gpxx=\"http://www.garmin.com/xmlschemas/GpxExtensions/v3\">\n"
                           "\t\t\t\t<gpxx:Address>\n"
                           "\t\t\t\t\t<gpxx:City>Gy\xC5\x91r</gpxx:City>\n"
                           "\t\t\t\t\t<gpxx:PostalCode>9021</gpxx:PostalCode>\n"
                           "\t\t\t\t</gpxx:Address>\n"
                           "\t\t\t\t<gpxx:PhoneNumber Category=\"Phone\">+36 1 "
                           "234</gpxx:PhoneNumber>\n"
                           "\t\t\t</gpxx:WaypointExtension>\n"),
        std::string::npos);
}

TEST(GpxWriter, ConvertsCodePageTextToUtf8) {
    poiset_list list;
    poiset& cp1250 = *poiset_list_add(list);
    cp1250.codepage = code_page::create(1250);
    add(cp1250, 0, 0, "caf\xE9 \x8A").comment = cp1250.store("\xF5");
    poiset& bare = *poiset_list_add(list);  // no code page: each byte is its own character
    add(bare, 0, 0, "\xE9\xF5");
    std::string body = body_of(list);
    EXPECT_NE(body.find("<name>caf\xC3\xA9 \xC5\xA0</name>"), std::string::npos);
    EXPECT_NE(body.find("<cmt><![CDATA[\xC5\x91]]></cmt>"), std::string::npos);
    EXPECT_NE(body.find("<name>\xC3\xA9\xC3\xB5</name>"), std::string::npos);
}

TEST(GpxWriter, EscapesMarkupSoTheDocumentStaysWellFormed) {
    poiset_list list;
    poiset& set = add_utf8_set(list);
    waypoint& w = add(set, 0, 0, "A & B <c> \"d\"");
    w.comment = set.store("x]]>y & <z>");
    w.description = set.store("]]>]]]>");
    testing::add_phone(set, w, "Work \"& home\" <1>", "1 & 2");
    std::string body = body_of(list);
    EXPECT_NE(body.find("<name>A &amp; B &lt;c&gt; \"d\"</name>"), std::string::npos);
    EXPECT_NE(body.find("<cmt><![CDATA[x]]]]><![CDATA[>y & <z>]]></cmt>"), std::string::npos);
    EXPECT_NE(body.find("<desc><![CDATA[]]]]><![CDATA[>]]]]]><![CDATA[>]]></desc>"),
              std::string::npos);
    EXPECT_NE(body.find("Category=\"Work &quot;&amp; home&quot; &lt;1>\">1 &amp; 2<"),
              std::string::npos);
}

TEST(GpxWriter, ReplacesBytesXmlDoesNotAllow) {
    poiset_list list;
    poiset& set = add_utf8_set(list);
    add(set, 0, 0,
        "a\tb\nc\rd\x01"
        "e\x7F");
    add(set, 0, 0, "bad \xC3 \xFF \xC0\x80 \xED\xA0\x80 \xEF\xBF\xBE ok \xF0\x9F\x98\x80");
    std::string body = body_of(list);
    EXPECT_NE(body.find("<name>a\tb\nc\rd?e\x7F</name>"), std::string::npos);
    EXPECT_NE(body.find("<name>bad ? ? ?? ??? ??? ok \xF0\x9F\x98\x80</name>"), std::string::npos);
}

TEST(GpxWriter, ReportsAFailedWrite) {
    poiset_list list;
    add(add_utf8_set(list), 0, 0, "x");
    std::FILE* full = std::fopen("/dev/full", "wb");
    if (full == nullptr) GTEST_SKIP() << "/dev/full not available";
    std::setvbuf(full, nullptr, _IONBF, 0);
    EXPECT_FALSE(gpx_write(full, list));
    std::fclose(full);
}

// Reading what was written gives back the same waypoints.
TEST(GpxWriter, WritesWhatTheReaderReadsBack) {
    poiset_list list;
    poiset& set = add_utf8_set(list);
    waypoint& w = add(set, 47.1234567, -122.7654321, "Caf\xC3\xA9 & <bar>");
    w.flags |= has_speed | has_proximity;
    w.speed = 30.0;
    w.proximity = 300.0;
    w.comment = set.store("line 1\nline 2 ]]> & \"q\"");
    w.description = set.store("\xE2\x82\xAC 5");
    std::string document = gpx_document(list);
    poiset back;
    gpx_read_text(document, back);
    ASSERT_EQ(back.count(), 1);
    const waypoint& r = back.waypoints[0];
    EXPECT_TRUE(back.is_utf8);
    EXPECT_DOUBLE_EQ(r.lat, 47.1234567);
    EXPECT_DOUBLE_EQ(r.lon, -122.7654321);
    EXPECT_EQ(r.name, w.name);
    EXPECT_EQ(r.comment, w.comment);
    EXPECT_EQ(r.description, w.description);
    EXPECT_DOUBLE_EQ(r.speed, 30.0);
    EXPECT_DOUBLE_EQ(r.proximity, 300.0);
    EXPECT_EQ(r.symbol, "waypoint");
}

}  // namespace
}  // namespace velmora
