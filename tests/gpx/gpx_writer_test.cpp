#include "gpx/gpx_writer.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "gpx/gpx_media.hpp"
#include "gpx/gpx_reader.hpp"
#include "platform/version.hpp"
#include "support/test_support.hpp"
#include "text/encoding.hpp"

namespace velmora {
namespace {

const std::string header_start =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\" ?>\n"
    "<gpx xmlns=\"http://www.topografix.com/GPX/1/1\" "
    "creator=\"Velmora " VELMORA_PROGRAM_VERSION
    "\" "
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
    const std::string empty =
        header_start + "\t\t<time>1970-01-01T00:00:00Z</time>\n" + "\t</metadata>\n\n</gpx>\n";
    EXPECT_EQ(gpx_document(list), empty);
    testing::temp_dir dir;
    std::FILE* file = std::fopen(dir.file("out.gpx").c_str(), "wb");
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(gpx_write(file, list, 0));
    std::fclose(file);
    EXPECT_EQ(testing::read_file(dir.file("out.gpx")), empty);
}

TEST(GpxWriter, WritesHeaderAndEndForSetsWithoutWaypoints) {
    poiset_list list;
    (void)poiset_list_add(list);
    (void)poiset_list_add(list);
    EXPECT_EQ(gpx_document(list), header_start + "\t\t<time>1970-01-01T00:00:00Z</time>\n" +
                                      "\t</metadata>\n\n</gpx>\n");
}

TEST(GpxWriter, BoundsTheWaypointsWrittenAndTakesTheTimeOfAGpiInputElseTheRun) {
    poiset_list list;
    poiset& a = add_utf8_set(list);
    add(a, 47.5, 19.125, "a");
    add(a, 46.25, 18.0, "b");
    poiset& b = add_utf8_set(list);
    add(b, -10.0, -20.0, "c");
    (void)poiset_list_add(list);                            // no waypoints, no part in the bounds
    std::string document = gpx_document(list, 1709251199);  // a leap day
    EXPECT_NE(document.find("\t\t<time>2024-02-29T23:59:59Z</time>\n"
                            "\t\t<bounds maxlat=\"47.5000000\" maxlon=\"19.1250000\" "
                            "minlat=\"-10.0000000\" minlon=\"-20.0000000\"/>\n"),
              std::string::npos)
        << document;
    b.time = 1000000000;
    a.time = 5;
    document = gpx_document(list, 1709251199);
    EXPECT_NE(document.find("<time>2001-09-09T01:46:40Z</time>"), std::string::npos) << document;
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
    w.symbol = set.store("Car");
    w.comment = set.store("cmt");
    w.description = set.store("desc");
    EXPECT_EQ(body_of(list),
              "\t<wpt lat=\"1.0000000\" lon=\"2.0000000\">\n"
              "\t\t<name>Radar@50</name>\n"
              "\t\t<cmt><![CDATA[cmt]]></cmt>\n"
              "\t\t<desc><![CDATA[desc]]></desc>\n"
              "\t\t<sym>Car</sym>\n"
              "\t\t<extensions>\n"
              "\t\t\t<gpxx:WaypointExtension "
              "xmlns:gpxx=\"http://www.garmin.com/xmlschemas/GpxExtensions/v3\">\n"
              "\t\t\t\t<gpxx:Proximity>500</gpxx:Proximity>\n"
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

// A waypoint with every field the writer knows, texts in UTF-8.
waypoint& add_whole_record(poiset& set) {
    waypoint& w = add(set, 47.6, 17.6, "Caf\xC3\xA9 Gy\xC5\x91r");
    w.symbol = set.store("Restaurant");
    w.link = set.store("https://example.org/?a=1&b=2");
    set.details_for(w).link_text = set.store("Caf\xC3\xA9 <page>");
    w.flags |= has_proximity;
    w.proximity = 250.0;
    (void)set.add_to_category(w, "Food & drink");
    (void)set.add_to_category(w, "\xC3\x89tterem");
    testing::add_address(set, w, address_country, "HU");  // any order in the model
    testing::add_address(set, w, address_street, "Baross \xC3\xBAt\n2nd floor");
    testing::add_address(set, w, address_house_number, "12/B");
    testing::add_address(set, w, address_postcode, "9021");
    testing::add_address(set, w, address_state, "GY");
    testing::add_address(set, w, address_city, "Gy\xC5\x91r");
    testing::add_phone(set, w, contact_phone, "+36 96 123");
    testing::add_phone(set, w, "Mobile", "+36 30 456");
    testing::add_phone(set, w, contact_fax, "+36 96 789");
    testing::add_phone(set, w, contact_email, "a@b.hu");
    testing::add_phone(set, w, contact_web, "https://cafe.hu");
    return w;
}

TEST(GpxWriter, WritesEveryFieldInTheSchemasOrder) {
    poiset_list list;
    add_whole_record(add_utf8_set(list));
    EXPECT_EQ(body_of(list),
              "\t<wpt lat=\"47.6000000\" lon=\"17.6000000\">\n"
              "\t\t<name>Caf\xC3\xA9 Gy\xC5\x91r</name>\n"
              "\t\t<link href=\"https://example.org/?a=1&amp;b=2\">\n"
              "\t\t\t<text>Caf\xC3\xA9 &lt;page&gt;</text>\n"
              "\t\t</link>\n"
              "\t\t<sym>Restaurant</sym>\n"
              "\t\t<extensions>\n"
              "\t\t\t<gpxx:WaypointExtension "
              "xmlns:gpxx=\"http://www.garmin.com/xmlschemas/GpxExtensions/v3\">\n"
              "\t\t\t\t<gpxx:Proximity>250</gpxx:Proximity>\n"
              "\t\t\t\t<gpxx:Categories>\n"
              "\t\t\t\t\t<gpxx:Category>Food &amp; drink</gpxx:Category>\n"
              "\t\t\t\t\t<gpxx:Category>\xC3\x89tterem</gpxx:Category>\n"
              "\t\t\t\t</gpxx:Categories>\n"
              "\t\t\t\t<gpxx:Address>\n"
              "\t\t\t\t\t<gpxx:StreetAddress>Baross \xC3\xBAt</gpxx:StreetAddress>\n"
              "\t\t\t\t\t<gpxx:StreetAddress>2nd floor</gpxx:StreetAddress>\n"
              "\t\t\t\t\t<gpxx:City>Gy\xC5\x91r</gpxx:City>\n"
              "\t\t\t\t\t<gpxx:State>GY</gpxx:State>\n"
              "\t\t\t\t\t<gpxx:Country>HU</gpxx:Country>\n"
              "\t\t\t\t\t<gpxx:PostalCode>9021</gpxx:PostalCode>\n"
              "\t\t\t\t\t<gpxx:Extensions>\n"
              "\t\t\t\t\t\t<velmora:HouseNumber xmlns:velmora=\"urn:velmora:address:1\">12/B"
              "</velmora:HouseNumber>\n"
              "\t\t\t\t\t</gpxx:Extensions>\n"
              "\t\t\t\t</gpxx:Address>\n"
              "\t\t\t\t<gpxx:PhoneNumber>+36 96 123</gpxx:PhoneNumber>\n"
              "\t\t\t\t<gpxx:PhoneNumber Category=\"Mobile\">+36 30 456</gpxx:PhoneNumber>\n"
              "\t\t\t\t<gpxx:PhoneNumber Category=\"Fax\">+36 96 789</gpxx:PhoneNumber>\n"
              "\t\t\t\t<gpxx:PhoneNumber Category=\"Email\">a@b.hu</gpxx:PhoneNumber>\n"
              "\t\t\t\t<gpxx:PhoneNumber Category=\"Web\">https://cafe.hu</gpxx:PhoneNumber>\n"
              "\t\t\t</gpxx:WaypointExtension>\n"
              "\t\t</extensions>\n"
              "\t</wpt>\n\n"
              "</gpx>\n");
}

TEST(GpxWriter, WritesEachPartOfTheExtensionOnlyWhenItIsThere) {
    struct part_case {
        const char* what;
        void (*fill)(poiset&, waypoint&);
        const char* expected;  // the extension's lines between WaypointExtension's tags
    };
    const part_case cases[] = {
        {"a category only", [](poiset& s, waypoint& w) { (void)s.add_to_category(w, "A"); },
         "\t\t\t\t<gpxx:Categories>\n\t\t\t\t\t<gpxx:Category>A</gpxx:Category>\n"
         "\t\t\t\t</gpxx:Categories>\n"},
        {"a house number only",
         [](poiset& s, waypoint& w) { testing::add_address(s, w, address_house_number, "7"); },
         "\t\t\t\t<gpxx:Address>\n\t\t\t\t\t<gpxx:Extensions>\n"
         "\t\t\t\t\t\t<velmora:HouseNumber xmlns:velmora=\"urn:velmora:address:1\">7"
         "</velmora:HouseNumber>\n\t\t\t\t\t</gpxx:Extensions>\n\t\t\t\t</gpxx:Address>\n"},
        {"a one-line street",
         [](poiset& s, waypoint& w) { testing::add_address(s, w, address_street, "Main"); },
         "\t\t\t\t<gpxx:Address>\n\t\t\t\t\t<gpxx:StreetAddress>Main</gpxx:StreetAddress>\n"
         "\t\t\t\t</gpxx:Address>\n"},
        {"a phone number of no kind",
         [](poiset& s, waypoint& w) { testing::add_phone(s, w, std::nullopt, "1"); },
         "\t\t\t\t<gpxx:PhoneNumber>1</gpxx:PhoneNumber>\n"},
    };
    for (const part_case& c : cases) {
        poiset_list list;
        poiset& set = add_utf8_set(list);
        c.fill(set, add(set, 0, 0, "x"));
        std::string body = body_of(list);
        std::size_t begin = body.find("v3\">\n");
        std::size_t end = body.find("\t\t\t</gpxx:WaypointExtension>");
        ASSERT_NE(end, std::string::npos) << c.what << "\n" << body;
        EXPECT_EQ(body.substr(begin + 5, end - begin - 5), c.expected) << c.what;
    }
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

// A code-page text goes out as its UTF-8 form would: every byte, in element text,
// CDATA and attribute values, with markup and "]]>" among them.
TEST(GpxWriter, WritesCodePageTextsAsTheirUtf8FormsAreWritten) {
    std::string every_byte;
    for (int b = 1; b < 256; ++b) every_byte.push_back(static_cast<char>(b));
    const std::string texts[] = {every_byte, "a]]>b]]]>c]>]]", "<&>\"\t\n\r\x01]]", ""};
    for (int number : {1250, 1251, 1252, 0}) {
        poiset_list as_code_page;
        poiset_list as_utf8;
        poiset& in_page = *poiset_list_add(as_code_page);
        if (number != 0) in_page.codepage = code_page::create(number);
        poiset& in_utf8 = add_utf8_set(as_utf8);
        for (const std::string& text : texts) {
            std::string utf8 = codepage_text_to_utf8(text, in_page.codepage).value();
            for (auto [set, bytes] : {std::pair{&in_page, text}, std::pair{&in_utf8, utf8}}) {
                waypoint& w = add(*set, 0, 0, "");
                w.name = set->store(bytes);
                w.comment = set->store(bytes);
                w.link = set->store(bytes);
                testing::add_phone(*set, w, bytes, bytes);
            }
        }
        EXPECT_EQ(body_of(as_code_page), body_of(as_utf8)) << "code page " << number;
    }
}

// Sets of every size around a piece of the document, so that pieces end inside and at
// the end of sets; two threads give the bytes of one.
TEST(GpxWriter, WritesTheSameBytesOnTwoThreadsAsOnOne) {
    poiset_list list;
    std::size_t count = 0;
    for (std::size_t size : {0, 1, 4095, 4096, 4097, 9000}) {
        poiset& set = size % 2 == 0 ? add_utf8_set(list) : *poiset_list_add(list);
        if (!set.is_utf8) set.codepage = code_page::create(1250);
        for (std::size_t i = 0; i < size; ++i) {
            std::string name = "P\xE9 & " + std::to_string(count++);
            double lat = -90.0 + 1e-4 * static_cast<double>(count);
            waypoint& w = add(set, lat, 0.1 * static_cast<double>(i), name.c_str());
            if (i % 3 == 0) {
                w.flags |= has_speed;
                w.speed = static_cast<double>(i % 130);
            }
            if (i % 5 == 0) w.comment = set.store("]]> " + name);
        }
    }
    std::string one_thread = gpx_document(list, 0, {count + 1});
    EXPECT_EQ(gpx_document(list, 0, {count}), one_thread);
    EXPECT_EQ(gpx_document(list, 0, {1}), one_thread);
    EXPECT_EQ(gpx_document(list), one_thread);
}

TEST(GpxWriter, ReportsAFailedWrite) {
    poiset_list list;
    add(add_utf8_set(list), 0, 0, "x");
    std::FILE* full = std::fopen("/dev/full", "wb");
    if (full == nullptr) GTEST_SKIP() << "/dev/full not available";
    std::setvbuf(full, nullptr, _IONBF, 0);
    EXPECT_FALSE(gpx_write(full, list, 0));
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
    const waypoint first = w;  // the reference dies with the next waypoint
    add(set, 0, 0, "no symbol");
    const waypoint& whole = add_whole_record(set);
    std::string document = gpx_document(list);
    poiset back;
    gpx_read_text(document, back);
    ASSERT_EQ(back.count(), 3);
    const waypoint& r = back.waypoints[0];
    EXPECT_TRUE(back.is_utf8);
    EXPECT_DOUBLE_EQ(r.lat, 47.1234567);
    EXPECT_DOUBLE_EQ(r.lon, -122.7654321);
    EXPECT_EQ(r.name, first.name);
    EXPECT_EQ(r.comment, first.comment);
    EXPECT_EQ(r.description, first.description);
    EXPECT_DOUBLE_EQ(r.speed, 30.0);
    EXPECT_DOUBLE_EQ(r.proximity, 300.0);
    EXPECT_EQ(back.waypoints[1].symbol, "Waypoint");

    const waypoint& b = back.waypoints[2];
    EXPECT_EQ(b.symbol, whole.symbol);
    EXPECT_EQ(b.link, whole.link);
    EXPECT_DOUBLE_EQ(b.proximity, 250.0);
    EXPECT_EQ(testing::details_text(back, b), testing::details_text(set, whole));
}

// The names of the files beside a document: safe for a file system and a URL, and never
// the same twice.
TEST(GpxMedia, FileNamesComeFromTheSetsAndNeverRepeat) {
    poiset_list list;
    auto add = [&list](std::string name, bool utf8) -> poiset& {
        poiset& set = *poiset_list_add(list);
        set.name = std::move(name);
        set.is_utf8 = utf8;
        if (!utf8) set.codepage = code_page::create(1252);
        set.media.push_back(poi_media{3, media_format::mp3, {media_clip{{'E', 'N'}, {1}}}});
        return set;
    };
    add("a/b c", true);
    add(".hidden", true);
    add("", true);
    add("a?b c", true);  // comes out as the first one's name
    add("Caf\xE9", false);
    poiset& last = add("x", true);
    last.media[0].clips.push_back(media_clip{{'e', 'n'}, {2}});
    last.media[0].clips.push_back(media_clip{{'?', '1'}, {3}});
    last.pictures.push_back(poi_picture{{0xFF, 0xD8, 0xFF}});
    gpx_media media = plan_gpx_media(list, "my out");
    std::vector<std::string> names;
    for (const gpx_media_file& file : media.files) names.push_back(file.name);
    EXPECT_EQ(names, (std::vector<std::string>{
                         "my out_media/a_b_c_3_en.mp3", "my out_media/_hidden_3_en.mp3",
                         "my out_media/set_3_en.mp3", "my out_media/a_b_c_2_3_en.mp3",
                         "my out_media/Caf\xC3\xA9_3_en.mp3", "my out_media/x_3_en.mp3",
                         "my out_media/x_3_en_2.mp3", "my out_media/x_3_x1.mp3",
                         "my out_media/x_picture_1.jpg"}));
    const gpx_media_link* link = media.sets.at(4).sound(3);
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->href, "my%20out_media/Caf%C3%A9_3_en.mp3");
    EXPECT_EQ(link->type, "audio/mpeg");
    EXPECT_EQ(media.sets.at(4).sound(4), nullptr);
    EXPECT_EQ(media.sets.at(5).picture(0)->type, "image/jpeg");
}

}  // namespace
}  // namespace velmora
