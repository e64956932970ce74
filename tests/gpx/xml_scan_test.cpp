#include "gpx/xml_scan.hpp"

#include <gtest/gtest.h>

#include <string>

namespace velmora {
namespace {

using namespace std::string_literals;
using namespace std::string_view_literals;
using sv = std::string_view;

const xml_text_encoding utf8{true, nullptr};

TEST(XmlAttribute, ReadsAValueOfTheTagAsXmlWritesIt) {
    sv declaration = R"(<?xml version="1.0" encoding="UTF-8"?>)";
    EXPECT_EQ(xml_attribute("encoding", declaration), "UTF-8");
    EXPECT_EQ(xml_attribute("version", declaration), "1.0");
    EXPECT_FALSE(xml_attribute("encoding", R"(<?xml version="1.0"?>)").has_value());
    // Blanks around "=", either quote, the other quote inside a value.
    EXPECT_EQ(xml_attribute("lat", "<wpt\n\tlat = '47.5' lon=\"1\">"), "47.5");
    EXPECT_EQ(xml_attribute("name", R"(<x name='say "hi"'>)"), R"(say "hi")");
    EXPECT_EQ(xml_attribute("creator", R"(<gpx creator="" version="1.1">)"), "");
    // Whole names only; only the first tag; nothing from a tag broken before it.
    EXPECT_FALSE(xml_attribute("lat", R"(<bounds minlat="1"/>)").has_value());
    EXPECT_FALSE(xml_attribute("lat", R"(<wpt lon="1"><x lat="2"/></wpt>)").has_value());
    EXPECT_FALSE(xml_attribute("lat", R"(<wpt lon="1 lat="2">)").has_value());
    EXPECT_FALSE(xml_attribute("lat", R"(<wpt lat="1)").has_value());
}

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
            std::string text = std::string(pad, ' ') + "<wpt lat=\"1\" lon=\"2\"><name>" + name +
                               "</name></wpt>";
            ASSERT_EQ(scan(text), "1,2:" + name + ";") << pad << " " << length;
            ASSERT_TRUE(scan(text.substr(0, text.size() - 1)).starts_with(" bad@")) << pad << " " << length;
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
            std::string text = "<wpt lat=\"1\" lon=\"2\"><name>" + name + "</name><sym>&amp;</sym></wpt>";
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

TEST(XmlContentText, UnwrapsCdataDecodesReferencesAndDropsMarkup) {
    EXPECT_EQ(xml_content_text("A &amp; B", true, utf8), "A & B");
    EXPECT_EQ(xml_content_text("<![CDATA[A &amp; <b>]]>", false, utf8), "A &amp; <b>");
    EXPECT_EQ(xml_content_text("\n  <![CDATA[x]]>\n", false, utf8), "x");
    EXPECT_EQ(xml_content_text("a<!-- c -->b<i>c</i><?pi?>&lt;", false, utf8), "abc<");
    EXPECT_EQ(xml_content_text("<![CDATA[a]]]]><![CDATA[>b]]>", false, utf8), "a]]>b");
    EXPECT_FALSE(xml_content_text("<![CDATA[]]>", false, utf8).has_value());
    EXPECT_FALSE(xml_content_text("", true, utf8).has_value());
    xml_text_encoding dropping{true, nullptr, true};
    EXPECT_EQ(xml_content_text("a\0b\x01"s, true, dropping), "ab");
}

TEST(XmlDecodePlain, GivesTheTextOfTheContentInPlace) {
    auto cp1250 = code_page::create(1250);
    const xml_text_encoding encodings[] = {
        utf8, {false, &*cp1250}, {}, {true, nullptr, true}, {false, &*cp1250, true}};
    for (sv content : {"A &amp; B"sv, "&lt;&gt;&quot;&apos;"sv, "&#233;&#xE9;&#x20AC;&#x1F600;"sv,
                       "&#x151;&#x416;"sv, "&nbsp; &#; &#x; &amp &#12a; & x"sv, "a\0b\x01&amp;"sv,
                       "\x01"sv, "&#65536;&#128;&#x800;"sv, "no reference"sv}) {
        for (const xml_text_encoding& encoding : encodings) {
            std::string out(content.size(), '\xAA');
            out.resize(xml_decode_plain(content, encoding, out.data()));
            EXPECT_EQ(out, xml_content_text(content, true, encoding).value_or("")) << content;
        }
    }
}

TEST(XmlDecodeReferences, DecodesReferencesIntoTheEncoding) {
    EXPECT_EQ(xml_decode_references("A &amp; B &lt;&gt;&quot;&apos;", utf8), "A & B <>\"'");
    EXPECT_EQ(xml_decode_references("&#233;&#xE9;&#x20AC;&#x1F600;", utf8),
              "\xC3\xA9\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    auto cp1250 = code_page::create(1250);
    EXPECT_EQ(xml_decode_references("&#x151;&#x20AC;&#x416;", {false, &*cp1250}), "\xF5\x80?");
    EXPECT_EQ(xml_decode_references("&#xE9;&#x151;", {}), "\xE9?");
    // Unknown, malformed or forbidden references stay as they stand.
    EXPECT_EQ(xml_decode_references("&nbsp; &#; &#x; &amp &#12a; & x", utf8),
              "&nbsp; &#; &#x; &amp &#12a; & x");
    EXPECT_EQ(xml_decode_references("&#0;&#1;&#xD800;&#x110000;&#99999999999;", utf8),
              "&#0;&#1;&#xD800;&#x110000;&#99999999999;");
}

TEST(FindForbiddenBytes, GivesTheFirstOffsetAndTheCount) {
    EXPECT_FALSE(find_forbidden_bytes("tab\there\r\n").has_value());
    std::string text(200, 'x');
    text[130] = '\0';
    text[150] = '\x1F';
    text[199] = '\x0B';
    auto found = find_forbidden_bytes(text);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->first, 130u);
    EXPECT_EQ(found->count, 3u);
    EXPECT_EQ(found->byte, 0);
}

TEST(SurveyXmlText, FindsForbiddenBytesAndTheLastSpecialMarkupAtEveryPlace) {
    // Each byte of interest at every place of a text longer than a few blocks: the
    // survey must tell what a byte-by-byte look tells.
    const std::string placed[] = {"\x01", "\x7F", "\x1F", "\t", "\r\n", "<!", "<?", "!", "<x?",
                                  "\xC3\xA9!", "<\x01!"};
    for (const std::string& part : placed) {
        for (std::size_t at = 0; at + part.size() <= 150; ++at) {
            std::string text(150, 'x');
            text.replace(at, part.size(), part);
            if (at % 7 == 0) text[149 - at / 7] = '<';
            xml_text_survey survey = survey_xml_text(text);
            std::optional<std::size_t> first;
            std::size_t count = 0;
            std::size_t last_special = sv::npos;
            for (std::size_t i = 0; i < text.size(); ++i) {
                if (is_forbidden_byte(static_cast<unsigned char>(text[i]))) {
                    if (!first) first = i;
                    ++count;
                }
                if (i > 0 && text[i - 1] == '<' && (text[i] == '!' || text[i] == '?')) last_special = i - 1;
            }
            SCOPED_TRACE(std::to_string(at));
            ASSERT_EQ(survey.forbidden.has_value(), first.has_value());
            if (first) {
                EXPECT_EQ(survey.forbidden->first, *first);
                EXPECT_EQ(survey.forbidden->count, count);
            }
            EXPECT_EQ(survey.last_special, last_special);
        }
    }
}

}  // namespace
}  // namespace velmora
