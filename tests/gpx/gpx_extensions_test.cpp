#include "gpx/gpx_extensions.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <unordered_map>

#include "gpx/gpx_reader.hpp"
#include "platform/messages.hpp"
#include "support/test_support.hpp"

namespace velmora {
namespace {

constexpr const char* v3 = "http://www.garmin.com/xmlschemas/GpxExtensions/v3";
constexpr const char* v1 = "http://www.garmin.com/xmlschemas/WaypointExtension/v1";

// A GPX text of one waypoint; gpx_attributes go into the gpx start tag, wpt_attributes
// into the wpt start tag, extensions is the content of its extensions element.
std::string gpx_with(const std::string& extensions, const std::string& gpx_attributes = "",
                     const std::string& wpt_attributes = "", const std::string& name = "P") {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<gpx version=\"1.1\"" + gpx_attributes +
           ">\n<wpt lat=\"47.5\" lon=\"19.0\"" + wpt_attributes + "><name>" + name +
           "</name><extensions>" + extensions + "</extensions></wpt>\n</gpx>\n";
}

std::string declare(const std::string& prefix, const std::string& uri) {
    return " xmlns" + (prefix.empty() ? "" : ":" + prefix) + "=\"" + uri + "\"";
}

poiset read(const std::string& text) {
    poiset set;
    gpx_read_text(text, set);
    return set;
}

TEST(GarminExtension, IsRecognisedByNamespaceWhateverThePrefix) {
    const std::string ext =
        "<g:WaypointExtension><g:Proximity>250</g:Proximity></g:WaypointExtension>";
    struct case_t {
        const char* what;
        std::string text;
        bool read;
    };
    const case_t cases[] = {
        {"v3 declared on gpx", gpx_with(ext, declare("g", v3)), true},
        {"v1 declared on the wpt", gpx_with(ext, "", declare("g", v1)), true},
        {"declared on extensions",
         "<gpx><wpt lat='1' lon='2'><extensions" + declare("g", v3) + ">" + ext +
             "</extensions></wpt></gpx>",
         true},
        {"declared on the element itself",
         gpx_with("<gpxx:WaypointExtension" + declare("gpxx", v3) +
                  "><gpxx:Proximity>250</gpxx:Proximity></gpxx:WaypointExtension>"),
         true},
        {"v1 as the default namespace",
         gpx_with("<WaypointExtension" + declare("", v1) +
                  "><Proximity>250</Proximity></WaypointExtension>"),
         true},
        {"the usual prefix bound to another namespace", gpx_with(ext, declare("g", "urn:other")),
         false},
        {"an undeclared prefix", gpx_with(ext), false},
        {"the prefix bound anew below", gpx_with(ext, declare("g", v3), declare("g", "urn:x")),
         false},
        {"inside a comment", gpx_with("<!-- " + ext + " -->", declare("g", v3)), false},
        {"wrapped in an element of another namespace",
         gpx_with("<x:wrap xmlns:x='urn:x'>" + ext + "</x:wrap>", declare("g", v3)), true},
        {"a Proximity outside WaypointExtension",
         gpx_with("<g:Proximity>250</g:Proximity>", declare("g", v3)), false},
    };
    for (const case_t& c : cases) {
        poiset set = read(c.text);
        ASSERT_EQ(set.count(), 1) << c.what;
        const waypoint& w = set.waypoints[0];
        EXPECT_EQ((w.flags & has_proximity) != 0, c.read) << c.what;
        if (c.read) {
            EXPECT_DOUBLE_EQ(w.proximity, 250.0) << c.what;
        }
    }
}

TEST(GarminExtension, ReadsEveryFieldIntoTheModel) {
    poiset set = read(gpx_with(
        "<gpxx:WaypointExtension>"
        "<gpxx:Proximity> 250.5 </gpxx:Proximity><gpxx:DisplayMode>SymbolAndName</gpxx:DisplayMode>"
        "<gpxx:Categories><gpxx:Category>Food</gpxx:Category><gpxx:Category>Caf&amp;e"
        "</gpxx:Category><gpxx:Category>Food</gpxx:Category><gpxx:Category> </gpxx:Category>"
        "</gpxx:Categories>"
        "<gpxx:Address><gpxx:StreetAddress>Main 1</gpxx:StreetAddress>"
        "<gpxx:StreetAddress>Floor "
        "2</gpxx:StreetAddress><gpxx:City><![CDATA[Gy\xC5\x91r]]></gpxx:City>"
        "<gpxx:State>GY</gpxx:State><gpxx:Country>HU</gpxx:Country>"
        "<gpxx:PostalCode>9021</gpxx:PostalCode><gpxx:City>Second</gpxx:City>"
        "<gpxx:Extensions><v:HouseNumber xmlns:v='urn:velmora:address:1'>12</v:HouseNumber>"
        "</gpxx:Extensions></gpxx:Address>"
        "<gpxx:PhoneNumber Category=\"Work\">+36 1</gpxx:PhoneNumber>"
        "<gpxx:PhoneNumber>+36 2</gpxx:PhoneNumber>"
        "<gpxx:PhoneNumber Category=\"A &amp; B\">+36 3</gpxx:PhoneNumber>"
        "<gpxx:PhoneNumber Category=\"Home\"></gpxx:PhoneNumber>"
        "<gpxx:Extensions><gpxx:City>nested</gpxx:City></gpxx:Extensions>"
        "</gpxx:WaypointExtension>",
        declare("gpxx", v3)));
    ASSERT_EQ(set.count(), 1);
    const waypoint& w = set.waypoints[0];
    EXPECT_DOUBLE_EQ(w.proximity, 250.5);
    EXPECT_EQ(testing::details_text(set, w),
              "City=Gy\xC5\x91r\nCountry=HU\nHouseNumber=12\nPostcode=9021\nState=GY\n"
              "Street=Main 1\nFloor 2\n"
              "phone Work=+36 1\nphone PhoneNo=+36 2\nphone A & B=+36 3\n"
              "category Food\ncategory Caf&e\n");
    ASSERT_EQ(set.categories.size(), 2u);
}

TEST(GarminExtension, ProximityGivesAnAlertOnlyWhereTheNameGivesNone) {
    struct case_t {
        const char* name;
        const char* proximity;
        double expected;  // 0: no proximity alert
    };
    const case_t cases[] = {
        {"Radar@50", "250", 500.0}, {"P", "0", 0.0}, {"P", "-5", 0.0},    {"P", "1e3", 0.0},
        {"P", "abc", 0.0},          {"P", "", 0.0},  {"P", "12,5", 12.5},
    };
    for (const case_t& c : cases) {
        poiset set = read(gpx_with(std::string("<g:WaypointExtension><g:Proximity>") + c.proximity +
                                       "</g:Proximity></g:WaypointExtension>",
                                   declare("g", v3), "", c.name));
        ASSERT_EQ(set.count(), 1);
        const waypoint& w = set.waypoints[0];
        EXPECT_EQ((w.flags & has_proximity) != 0, c.expected > 0) << c.name << " " << c.proximity;
        if (c.expected > 0) {
            EXPECT_DOUBLE_EQ(w.proximity, c.expected) << c.proximity;
        }
    }
}

TEST(GarminExtension, MalformedOrHostileMarkupKeepsWhatWasReadBefore) {
    const std::string head = "<g:WaypointExtension><g:Proximity>250</g:Proximity>";
    std::string deep;
    for (int i = 0; i < 5000; ++i) deep += "<g:Address>";
    deep += "<g:City>X</g:City>";
    for (int i = 0; i < 5000; ++i) deep += "</g:Address>";
    std::string declarations = "<g:Address";
    for (int i = 0; i < 5000; ++i) declarations += " xmlns:p" + std::to_string(i) + "='u'";
    declarations += "><g:City>X</g:City></g:Address>";
    const std::string tails[] = {"<g:Address><g:City>X</g:Town>",
                                 "<g:City",
                                 "</a></b>",
                                 "<![CDATA[",
                                 "<!--",
                                 "<g:City a='>",
                                 "<g:Address><g:City>X",
                                 deep,
                                 declarations};
    std::unordered_map<std::string_view, std::string_view> outer{{"g", v3}};
    for (const std::string& tail : tails) {
        xml_namespaces scope;
        scope.set_outer(&outer);
        garmin_extensions e;
        std::string content = head + tail;
        read_garmin_extension(content, scope, e);
        EXPECT_EQ(e.v3.proximity, "250") << tail.substr(0, 40);
        EXPECT_FALSE(e.v3.city) << tail.substr(0, 40);
    }
    // Well-formed but hostile, through the reader: the waypoint stays, without the rest.
    for (const std::string& tail : {deep, declarations}) {
        poiset set = read(gpx_with(head + tail + "</g:WaypointExtension>", declare("g", v3)));
        ASSERT_EQ(set.count(), 1);
        EXPECT_DOUBLE_EQ(set.waypoints[0].proximity, 250.0);
        EXPECT_EQ(set.details_of(set.waypoints[0]), nullptr);
    }
}

// An extension of each namespace: v3 under the prefix gpxx, v1 under wptx1.
std::string both(const std::string& v3_fields, const std::string& v1_fields,
                 bool v1_first = false) {
    std::string a = "<gpxx:WaypointExtension>" + v3_fields + "</gpxx:WaypointExtension>";
    std::string b = "<wptx1:WaypointExtension>" + v1_fields + "</wptx1:WaypointExtension>";
    return v1_first ? b + a : a + b;
}

std::string in_both(const std::string& fields, const std::string& prefix) {
    std::string out;
    // Every "<X" and "</X" of the fields gets the prefix.
    for (std::size_t i = 0; i < fields.size(); ++i) {
        out += fields[i];
        if (fields[i] == '<') {
            if (fields[i + 1] == '/') out += fields[++i];
            out += prefix + ":";
        }
    }
    return out;
}

TEST(GarminExtension, BothExtensionsGiveEachFieldOnceTheV3ValueWhereTheyDiffer) {
    struct case_t {
        const char* what;
        std::string v3_fields;  // without prefixes
        std::string v1_fields;
        std::string details;
        double proximity;  // 0: none
        bool warned;
        bool v1_first = false;
    };
    const std::string basecamp =
        "<Proximity>100</Proximity><Address><StreetAddress>8</StreetAddress><City>2</City>"
        "<State>4</State><Country>9</Country><PostalCode>6</PostalCode></Address>"
        "<PhoneNumber>3</PhoneNumber>";
    const case_t cases[] = {
        {"the same fields in both, as BaseCamp writes them", basecamp, basecamp,
         "City=2\nCountry=9\nPostcode=6\nState=4\nStreet=8\nphone PhoneNo=3\n", 100, false},
        {"two street lines in both stay two lines",
         "<Address><StreetAddress>Main 1</StreetAddress>"
         "<StreetAddress>Floor 2</StreetAddress></Address>",
         "<Address><StreetAddress>Main 1</StreetAddress>"
         "<StreetAddress> Floor 2 </StreetAddress></Address>",
         "Street=Main 1\nFloor 2\n", 0, false},
        {"fields of one only are taken from it",
         "<Address><City>A</City></Address><Categories><Category>x</Category></Categories>",
         "<Proximity>50</Proximity><Address><State>S</State></Address><PhoneNumber>1</PhoneNumber>"
         "<PhoneNumber Category=\"Work\">2</PhoneNumber><PhoneNumber>3</PhoneNumber>",
         "City=A\nState=S\nphone PhoneNo=1\nphone Work=2\nphone PhoneNo=3\ncategory x\n", 50,
         false},
        {"different values: v3's",
         "<Proximity>100</Proximity><Address><StreetAddress>Main</StreetAddress></Address>",
         "<Proximity>200</Proximity><Address><StreetAddress>Side</StreetAddress>"
         "<StreetAddress>2</StreetAddress><City>C</City></Address>",
         "City=C\nStreet=Main\n", 100, true},
        {"v3's also when v1 comes first", "<Address><City>A</City></Address>",
         "<Address><City>B</City></Address>", "City=A\n", 0, true, true},
        {"phone numbers of one kind are one field",
         "<PhoneNumber>1</PhoneNumber><PhoneNumber Category=\"Work\">2</PhoneNumber>",
         "<PhoneNumber Category=\"Mobile\">4</PhoneNumber><PhoneNumber>1</PhoneNumber>"
         "<PhoneNumber Category=\"Work\">3</PhoneNumber>"
         "<PhoneNumber Category=\"Home\">5</PhoneNumber>",
         "phone PhoneNo=1\nphone Work=2\nphone Mobile=4\nphone Home=5\n", 0, true},
    };
    const std::string gpx_attributes = declare("gpxx", v3) + declare("wptx1", v1);
    for (const case_t& c : cases) {
        message_capture capture;
        poiset set = read(
            gpx_with(both(in_both(c.v3_fields, "gpxx"), in_both(c.v1_fields, "wptx1"), c.v1_first),
                     gpx_attributes));
        ASSERT_EQ(set.count(), 1) << c.what;
        const waypoint& w = set.waypoints[0];
        EXPECT_EQ(testing::details_text(set, w), c.details) << c.what;
        EXPECT_EQ((w.flags & has_proximity) != 0, c.proximity > 0) << c.what;
        if (c.proximity > 0) {
            EXPECT_DOUBLE_EQ(w.proximity, c.proximity) << c.what;
        }
        EXPECT_EQ(
            testing::contains(capture.text(),
                              "Warning: 1 waypoint(s) carry Garmin's waypoint extension twice"),
            c.warned)
            << c.what << capture.text();
    }
}

TEST(GarminExtension, DifferingExtensionsAreReportedOncePerFileOnOneThreadOrTwo) {
    std::string body;
    for (int i = 0; i < 300; ++i) {
        std::string city = i % 100 == 7 ? "B" : "A";
        body += "<wpt lat=\"1\" lon=\"2\"><name>n" + std::to_string(i) + "</name><extensions>" +
                both("<gpxx:Address><gpxx:City>A</gpxx:City></gpxx:Address>",
                     "<wptx1:Address><wptx1:City>" + city + "</wptx1:City></wptx1:Address>") +
                "</extensions></wpt>\n";
    }
    std::string text =
        "<gpx" + declare("gpxx", v3) + declare("wptx1", v1) + ">\n" + body + "</gpx>\n";
    for (std::size_t parallel_from : {text.size(), std::size_t{1000}}) {
        message_capture capture;
        poiset set;
        gpx_read_text(text, set, parallel_from);
        EXPECT_EQ(capture.text(),
                  "\nWarning: 3 waypoint(s) carry Garmin's waypoint extension twice, as "
                  "GpxExtensions v3 and as WaypointExtension v1, with different values (first: "
                  "n7); the v3 values were taken");
    }
}

TEST(GarminExtension, BaseCampsTwoExtensionsGiveEachFieldOnce) {
    VELMORA_REQUIRE_REAL(path, "gpx/qmapshack/basecamp.gpx");
    message_capture capture;
    poiset set = read(testing::read_file(path));
    ASSERT_EQ(set.count(), 1);
    EXPECT_EQ(testing::details_text(set, set.waypoints[0]),
              "City=2\nCountry=9\nPostcode=6\nState=4\nStreet=8\nphone PhoneNo=3\n");
    EXPECT_DOUBLE_EQ(set.waypoints[0].proximity, 100.0);
    EXPECT_EQ(capture.text(), "");
}

TEST(GarminExtension, TwoThreadsNumberTheCategoriesAsOneDoes) {
    std::string body;
    for (int i = 0; i < 400; ++i) {
        body += "<wpt lat=\"1\" lon=\"2\"><name>n" + std::to_string(i) +
                "</name><extensions><g:WaypointExtension><g:Categories><g:Category>c" +
                std::to_string((i * 7) % 13) + "</g:Category><g:Category>all</g:Category>" +
                "</g:Categories><g:PhoneNumber>" + std::to_string(i) +
                "</g:PhoneNumber></g:WaypointExtension></extensions></wpt>\n";
    }
    std::string text = "<gpx" + declare("g", v3) + ">\n" + body + "</gpx>\n";
    poiset one;
    gpx_read_text(text, one);
    poiset two;
    gpx_read_text(text, two, 1000);
    ASSERT_EQ(one.count(), 400);
    ASSERT_EQ(two.count(), 400);
    ASSERT_EQ(one.categories.size(), two.categories.size());
    for (std::size_t i = 0; i < one.categories.size(); ++i) {
        EXPECT_EQ(one.categories[i], two.categories[i]);
    }
    for (int i = 0; i < 400; ++i) {
        EXPECT_EQ(testing::details_text(one, one.waypoints[i]),
                  testing::details_text(two, two.waypoints[i]))
            << i;
    }
}

TEST(GarminExtension, NamespacesOfTheGpxTagOutliveThePagesGivenBack) {
    // Several megabytes, so that the first pages, which hold the gpx tag and its
    // namespace declarations, are given back long before the last waypoint is read.
    constexpr int count = 12000;
    std::string body;
    for (int i = 0; i < count; ++i) {
        body += "<wpt lat=\"1\" lon=\"2\"><name>n" + std::to_string(i) + "</name><desc>" +
                std::string(200, 'd') + "</desc><extensions><g:WaypointExtension><g:PhoneNumber>" +
                std::to_string(i) + "</g:PhoneNumber></g:WaypointExtension></extensions></wpt>\n";
    }
    std::string text = "<gpx" + declare("g", v3) + ">\n" + body + "</gpx>\n";
    for (std::size_t parallel_from : {text.size(), std::size_t{1000}}) {
        auto buffer = page_buffer::allocate(text.size() + 1);
        ASSERT_TRUE(buffer);
        std::copy(text.begin(), text.end(), buffer->data());
        poiset set;
        gpx_read_buffer(*buffer, text.size(), set, parallel_from);
        ASSERT_EQ(set.count(), count);
        int with_phone = 0;
        for (const waypoint& w : set.waypoints) {
            const waypoint_details* details = set.details_of(w);
            with_phone += details != nullptr && details->phones.size() == 1;
        }
        EXPECT_EQ(with_phone, count) << "two threads: " << (parallel_from == 1000);
    }
}

}  // namespace
}  // namespace velmora
