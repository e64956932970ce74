#include "gpx/xml_scan.hpp"

#include <gtest/gtest.h>

#include <string>

namespace velmora {
namespace {

using sv = std::string_view;

poiset utf8_set() {
    poiset set;
    set.is_utf8 = true;
    return set;
}

poiset code_page_set(int number) {
    poiset set;
    set.codepage = code_page::create(number);
    return set;
}

TEST(XmlAttribute, ReadsAValueOfTheFirstTagOrGivesNone) {
    sv declaration = R"(<?xml version="1.0" encoding="UTF-8"?>)";
    EXPECT_EQ(xml_attribute("encoding", declaration), "UTF-8");
    EXPECT_EQ(xml_attribute("version", declaration), "1.0");
    EXPECT_FALSE(xml_attribute("encoding", R"(<?xml version="1.0"?>)").has_value());
    EXPECT_EQ(xml_attribute("encoding", R"(<?xml version="1.0"?>)").value_or("1250"), "1250");
    // Only the first tag counts.
    EXPECT_FALSE(xml_attribute("lat", R"(<wpt lon="1"><x lat="2"/></wpt>)").has_value());
    // No text without a ">" at all, nor without a closing quote.
    EXPECT_FALSE(xml_attribute("lat", R"(<wpt lat="1")").has_value());
    EXPECT_FALSE(xml_attribute("lat", R"(<wpt lat="1>)").has_value());
}

TEST(XmlAttribute, MatchesOnlyAWholeAttributeName) {
    sv bounds = R"(<bounds minlat="1" xlat="2" lat="3"/>)";
    EXPECT_EQ(xml_attribute("lat", bounds), "3");
    EXPECT_FALSE(xml_attribute("lat", R"(<bounds minlat="1"/>)").has_value());
    EXPECT_EQ(xml_attribute("lat", "<wpt\n\tlat=\"47.5\">"), "47.5");
}

TEST(XmlAttribute, ReadsSingleQuotedValuesLikeDoubleQuotedOnes) {
    EXPECT_EQ(xml_attribute("lat", R"(<wpt lat='47.5' lon="19.1">)"), "47.5");
    EXPECT_EQ(xml_attribute("lon", R"(<wpt lat='47.5' lon='19.1'>)"), "19.1");
    EXPECT_EQ(xml_attribute("name", R"(<x name='say "hi"'>)"), R"(say "hi")");
}

TEST(XmlAttribute, KeepsADoubledQuoteInsideTheValue) {
    EXPECT_EQ(xml_attribute("a", R"(<x a="1""2" b="3">)"), R"(1""2)");
    EXPECT_EQ(xml_quoted_value_end(R"(1""2" b)", 0), 5u);
    EXPECT_FALSE(xml_quoted_value_end("abc", 0).has_value());
}

TEST(XmlAttribute, ReadsAnEmptyValueAsEmpty) {
    EXPECT_EQ(xml_attribute("creator", R"(<gpx creator="" version="1.1">)"), "");
    EXPECT_EQ(xml_attribute("version", R"(<gpx creator="" version="1.1">)"), "1.1");
}

TEST(XmlNextElement, FindsElementsInTurnAndMovesTheCursor) {
    sv text = R"(<gpx><wpt lat="1"><name>a</name></wpt> <wpt lat="2"/><wpt lat="3"></wpt></gpx>)";
    std::size_t cursor = 0;
    EXPECT_EQ(xml_next_element("wpt", text, cursor), R"(<wpt lat="1"><name>a</name></wpt>)");
    EXPECT_EQ(xml_next_element("wpt", text, cursor), R"(<wpt lat="2"/>)");
    EXPECT_EQ(xml_next_element("wpt", text, cursor), R"(<wpt lat="3"></wpt>)");
    std::size_t before = cursor;
    EXPECT_FALSE(xml_next_element("wpt", text, cursor).has_value());
    EXPECT_EQ(cursor, before);
}

TEST(XmlNextElement, MatchesOnlyAWholeElementName) {
    sv text = R"(<wptx lat="9"></wptx><wpt lat="1"></wpt>)";
    std::size_t cursor = 0;
    EXPECT_EQ(xml_next_element("wpt", text, cursor), R"(<wpt lat="1"></wpt>)");
    cursor = 0;
    EXPECT_EQ(xml_next_element("wpt", "<wpt\nlat=\"1\"></wpt>", cursor), "<wpt\nlat=\"1\"></wpt>");
    cursor = 0;
    EXPECT_FALSE(xml_next_element("wpt", "<wptx></wptx>", cursor).has_value());
}

TEST(XmlNextElement, RunsOnToTheNextClosingTagOrGivesNone) {
    // A wpt that is not closed swallows the next one.
    sv text = R"(<wpt lat="1"><name>a</name><wpt lat="2"><name>b</name></wpt>)";
    std::size_t cursor = 0;
    EXPECT_EQ(xml_next_element("wpt", text, cursor), text);
    cursor = 0;
    EXPECT_FALSE(xml_next_element("wpt", R"(<wpt lat="1"><name>a</name>)", cursor).has_value());
    EXPECT_EQ(cursor, 0u);
}

TEST(XmlElementText, GivesTheTextBetweenTheTags) {
    EXPECT_EQ(xml_element_text(sv("<name>Radar</name>")), "Radar");
    EXPECT_EQ(xml_element_text(sv("<link href=\"x\"><text>t</text></link>")), "<text>t</text>");
    // Empty: the fallback, or none without one.
    EXPECT_EQ(xml_element_text(sv("<sym></sym>"), ""), "");
    EXPECT_FALSE(xml_element_text(sv("<sym></sym>")).has_value());
    // Self-closing, absent or unclosed: none.
    EXPECT_FALSE(xml_element_text(sv(R"(<wpt lat="1"/>)"), "x").has_value());
    EXPECT_FALSE(xml_element_text(std::nullopt, "x").has_value());
    EXPECT_FALSE(xml_element_text(sv("<name>open"), "x").has_value());
    EXPECT_FALSE(xml_element_text(sv("<"), "x").has_value());
    // A longer closing tag that begins with the same letters does not end the text.
    EXPECT_EQ(xml_element_text(sv("<desc>a</description>b</desc>")), "a</description>b");
}

TEST(CdataUnwrap, GivesThePayloadOfTheSections) {
    EXPECT_EQ(cdata_unwrap("x<![CDATA[abc]]>y"), "abc");
    EXPECT_FALSE(cdata_unwrap("<![CDATA[]]>").has_value());
    EXPECT_EQ(cdata_unwrap("plain text"), "plain text");
    EXPECT_EQ(cdata_unwrap("<![CDATA[unclosed"), "<![CDATA[unclosed");
    // A section ends at "]]>", not at the first "]]".
    EXPECT_EQ(cdata_unwrap("<![CDATA[a]]b [[c]] d]]>"), "a]]b [[c]] d");
    // A "]]>" split across two sections comes back whole.
    EXPECT_EQ(cdata_unwrap("<![CDATA[a]]]]><![CDATA[>b]]>"), "a]]>b");
}

TEST(XmlDecodeReferences, DecodesReferencesIntoTheSetsEncoding) {
    poiset utf8 = utf8_set();
    EXPECT_EQ(xml_decode_references("A &amp; B &lt;&gt;&quot;&apos;", utf8), "A & B <>\"'");
    EXPECT_EQ(xml_decode_references("&#233;&#xE9;&#x20AC;&#x1F600;", utf8),
              "\xC3\xA9\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    poiset cp1250 = code_page_set(1250);
    EXPECT_EQ(xml_decode_references("&#x151;&#x20AC;&#x416;", cp1250), "\xF5\x80?");
    poiset bare;
    EXPECT_EQ(xml_decode_references("&#xE9;&#x151;", bare), "\xE9?");
}

TEST(XmlDecodeReferences, KeepsCdataAndUnknownOrMalformedReferences) {
    poiset utf8 = utf8_set();
    EXPECT_EQ(xml_decode_references("&amp;<![CDATA[&amp;]]>&amp;", utf8), "&<![CDATA[&amp;]]>&");
    EXPECT_EQ(xml_decode_references("&nbsp; &#; &#x; &amp &#12a; & x", utf8),
              "&nbsp; &#; &#x; &amp &#12a; & x");
    // References to code points XML does not allow, or beyond Unicode.
    EXPECT_EQ(xml_decode_references("&#0;&#1;&#xD800;&#x110000;&#99999999999;", utf8),
              "&#0;&#1;&#xD800;&#x110000;&#99999999999;");
    EXPECT_EQ(xml_decode_references("a&#9;b&#10;", utf8), "a\tb\n");
}

TEST(XmlTextValue, UnwrapsCdataOrDecodesReferences) {
    poiset utf8 = utf8_set();
    EXPECT_EQ(xml_text_value("A &amp; B", utf8), "A & B");
    EXPECT_EQ(xml_text_value("<![CDATA[A &amp; B]]>", utf8), "A &amp; B");
    EXPECT_EQ(xml_text_value("\n  <![CDATA[x]]>\n", utf8), "x");
    EXPECT_FALSE(xml_text_value("<![CDATA[]]>", utf8).has_value());
}

TEST(GeocacheSymbol, TakesTheSymbolFromTheType) {
    field_list table = geocache_type_table_build();
    EXPECT_EQ(table.count(), 7);
    EXPECT_EQ(geocache_symbol("old", table, "Final Location", std::nullopt), "Waypoint");
    EXPECT_EQ(geocache_symbol("old", table, "Trailhead", "x"), "Trail Head");
    EXPECT_EQ(geocache_symbol("old", table, "Question to Answer", "T"), "Puzzle Cache");
    EXPECT_EQ(geocache_symbol("old", table, "Virtual Cache", std::nullopt), "Virtual Cache");
    EXPECT_EQ(geocache_symbol("old", table, std::nullopt, "L"), "old");
    EXPECT_FALSE(geocache_symbol(std::nullopt, table, std::nullopt, "L").has_value());
}

TEST(GeocacheSymbol, RefinesAGeocacheByTheCommentsFirstLetter) {
    field_list table = geocache_type_table_build();
    EXPECT_EQ(geocache_symbol("", table, "Geocache", "L..."), "Multi-Cache");
    EXPECT_EQ(geocache_symbol("", table, "Geocache", "Mystery"), "Letterbox Cache");
    EXPECT_EQ(geocache_symbol("", table, "Geocache", "Traditional"), "Geocache");
    EXPECT_EQ(geocache_symbol("", table, "Geocache", "traditional"), "Puzzle Cache");
    EXPECT_EQ(geocache_symbol("", table, "Geocache", ""), "Puzzle Cache");
    EXPECT_EQ(geocache_symbol("", table, "Geocache", std::nullopt), "Geocache");
    EXPECT_EQ(geocache_symbol("", table, "geocache", "M"), "Letterbox Cache");
}

}  // namespace
}  // namespace velmora
