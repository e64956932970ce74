#include "gpx/xml_scan.hpp"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace velmora {
namespace {

using namespace std::string_literals;
using namespace std::string_view_literals;
using sv = std::string_view;

// The waypoints a scan finds, each as "lat,lon:name" (the first child name), then the
// offset of the first malformed markup.
std::string scan(sv text) {
    static constexpr std::array<sv, 2> names{"name", "sym"};
    xml_wpt_scanner scanner(text, names);
    std::string out;
    xml_wpt w;
    while (scanner.next(w)) {
        out += std::string(w.lat.value_or("-")) + "," + std::string(w.lon.value_or("-")) + ":";
        const xml_child& name = w.children[0];
        if (name.present) {
            sv content = text.substr(name.content_begin, name.content_end - name.content_begin);
            out += std::string(content);
            if (!name.references && content.find('&') != sv::npos) out += "(reference missed)";
        }
        out += ";";
    }
    auto bad = scanner.first_malformed();
    return out + (bad ? " bad@" + std::to_string(*bad) : "");
}

TEST(XmlWptScanner, StepsOverWhatIsNoMarkupOfAWaypoint) {
    EXPECT_EQ(scan(R"(<?xml version="1.0"?><!DOCTYPE gpx [<!ENTITY e "<wpt lat='9'>">]>
<gpx><!-- <wpt lat="8" lon="8"><name>c</name></wpt> --><?pi <wpt lat="7"?>
<metadata><desc><![CDATA[<wpt lat="6" lon="6">]]></desc></metadata>
<wpt lat="1" lon="2"><name>a</name></wpt><wptx lat="5"/><wpt lon="3"/></gpx>)"),
              "1,2:a;-,3:;");
}

TEST(XmlWptScanner, FindsMarkupAtEveryDistanceAndPlace) {
    // Texts of every length up to well past the quick search's reach, at every
    // alignment within a block of it, and at the very end of the text.
    for (std::size_t pad = 0; pad < 17; ++pad) {
        for (std::size_t length = 0; length < 140; ++length) {
            std::string name(length, 'n');
            std::string text =
                std::string(pad, ' ') + "<wpt lat=\"1\" lon=\"2\"><name>" + name + "</name></wpt>";
            ASSERT_EQ(scan(text), "1,2:" + name + ";") << pad << " " << length;
            ASSERT_TRUE(scan(text.substr(0, text.size() - 1)).starts_with(" bad@"))
                << pad << " " << length;
        }
    }
}

TEST(XmlWptScanner, TellsOfEveryReferenceInAChild) {
    // Wherever the "&" stands within the quick search's blocks, with references and
    // markup close behind the end tag.
    for (std::size_t length = 1; length < 40; ++length) {
        for (std::size_t at = 0; at < length; ++at) {
            std::string name(length, 'n');
            name[at] = '&';
            std::string text =
                "<wpt lat=\"1\" lon=\"2\"><name>" + name + "</name><sym>&amp;</sym></wpt>";
            ASSERT_EQ(scan(text), "1,2:" + name + ";") << length << " " << at;
        }
    }
}

TEST(XmlWptScanner, ReadsThePositionInEveryFormOfTheStartTag) {
    EXPECT_EQ(scan(R"(<wpt lat="1" lon="2"><name>a</name></wpt>)"), "1,2:a;");
    EXPECT_EQ(scan(R"(<wpt lon="2" lat="1" lat="3"><name>a</name></wpt>)"), "1,2:a;");
    EXPECT_EQ(scan(R"(<wpt lat="1" lon="2" ele="3"><name>a</name></wpt>)"), "1,2:a;");
    EXPECT_EQ(scan("<wpt  lat=\"1\"\tlon=\"2\" ><name>a</name></wpt>"), "1,2:a;");
    EXPECT_EQ(scan(R"(<wpt lat="1" lon="2"/><wpt lat="3" lon='4'/>)"), "1,2:;3,4:;");
    EXPECT_EQ(scan(R"(<wpt lat="1" lon="2<"><name>a</name></wpt><wpt lat="5" lon="6"/>)"),
              "5,6:; bad@0");
    EXPECT_EQ(scan(R"(<wpt lat="1" lon="2")"), " bad@0");
}

TEST(XmlWptScanner, ReadsEveryFormOfAChildsEnd) {
    EXPECT_EQ(scan("<wpt lat=\"1\" lon=\"2\"><name>a &amp; b</name\n></wpt >"), "1,2:a &amp; b;");
    EXPECT_EQ(scan(R"(<wpt lat="1" lon="2"><name>a<b>&amp;</b><!--<--></name></wpt>)"),
              "1,2:a<b>&amp;</b><!--<-->;");
    EXPECT_EQ(scan(R"(<wpt lat="1" lon="2"><ele>1</ele><name>a</name></wpt>)"), "1,2:a;");
    EXPECT_EQ(scan(R"(<wpt lat="1" lon="2"><names>x</names><nam>y</nam><name >a</name></wpt>)"),
              "1,2:a;");
    EXPECT_EQ(scan(R"(<wpt lat="1" lon="2"><name x="&amp;">a</name><name>b</name></wpt>)"),
              "1,2:a;");
    EXPECT_EQ(scan(R"(<wpt lat="1" lon="2"><name>a</names></name></wpt><wpt lat="3" lon="4"/>)"),
              "3,4:; bad@28");
    EXPECT_EQ(scan(R"(<wpt lat="1" lon="2"><name>a</name)"), " bad@28");
    EXPECT_EQ(scan(R"(<wpt lat="1" lon="2"><name>a</wpt>)"), " bad@28");
}

TEST(XmlWptScanner, TakesOnlyDirectChildrenOutsideCdataAndComments) {
    EXPECT_EQ(scan(R"(<wpt lat="1" lon="2"><desc><![CDATA[<name>Fake</name>]]></desc>
<!-- <name>Comment</name> --><extensions><name>Nested</name></extensions>
<name>Real</name><name>Second</name></wpt>)"),
              "1,2:Real;");
}

TEST(XmlWptScanner, GoesOnAtTheNextWaypointAfterMalformedMarkup) {
    // Not closed before the next waypoint; a wrong end tag; a broken attribute; the text
    // ending inside a waypoint.  The offset is that of the first fault.
    EXPECT_EQ(scan(R"(<wpt lat="1" lon="1"><name>open</name><wpt lat="2" lon="2"></wpt>)"),
              "2,2:; bad@38");
    EXPECT_EQ(scan(R"(<wpt lat="1" lon="1"><name>x</nam></wpt><wpt lat="3" lon="3"/>)"),
              "3,3:; bad@28");
    EXPECT_EQ(scan(R"(<wpt lat="1 lon="1"><name>x</name></wpt><wpt lat="4" lon="4"/>)"),
              "4,4:; bad@0");
    EXPECT_EQ(scan(R"(<wpt lat="5" lon="5"/><wpt lat="1" lon="1"><name>never)"), "5,5:; bad@22");
    EXPECT_EQ(scan(R"(<wpt lat="5" lon="5"/><!-- never closed <wpt lat="1" lon="1"/>)"),
              "5,5:; bad@22");
}

TEST(XmlWptScanner, StopsAtALimitWhereTheNextMarkupBegins) {
    sv text = R"(<wpt lat="1" lon="1"/> <wpt lat="2" lon="2"/>)";
    static constexpr std::array<sv, 1> names{"name"};
    xml_wpt_scanner scanner(text, names);
    xml_wpt w;
    ASSERT_TRUE(scanner.next(w, 23));
    EXPECT_FALSE(scanner.next(w, 23));
    EXPECT_EQ(scanner.position(), 23u);
    ASSERT_TRUE(scanner.next(w));
    EXPECT_EQ(w.lat, "2");
}

}  // namespace
}  // namespace velmora
