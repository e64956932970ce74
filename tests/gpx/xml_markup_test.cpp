#include "gpx/xml_markup.hpp"

#include <gtest/gtest.h>

#include <string>

namespace velmora {
namespace {

using sv = std::string_view;

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

TEST(XmlSpecialMarkupEnd, StepsOverWhatEachKindMayHold) {
    struct end_case {
        sv text;
        std::optional<std::size_t> end;  // just past the markup at 0
    };
    const end_case cases[] = {
        {"<!-- a > b -- c -->x", 19},
        {"<![CDATA[ <a> ]] > ]]>x", 22},
        {"<?pi a > b ?>x", 13},
        {"<!DOCTYPE gpx>x", 14},
        {"<!DOCTYPE gpx [<!ENTITY e \">\"> <!-- ] > -->]>x", 45},
        {"<!DOCTYPE gpx SYSTEM 'a>b'>x", 27},
        {"<!-- never closed ->", std::nullopt},
        {"<![CDATA[ ]]", std::nullopt},
        {"<?pi ?", std::nullopt},
        {"<!DOCTYPE gpx [ >", std::nullopt},
        {"<!DOCTYPE gpx 'a>", std::nullopt},
    };
    for (const end_case& c : cases) {
        EXPECT_EQ(xml_special_markup_end(c.text, 0), c.end) << c.text;
    }
}

TEST(XmlFindChild, TakesTheFirstDirectChildOfTheName) {
    struct find_case {
        sv content;
        std::optional<sv> found;
        bool plain = true;
    };
    const find_case cases[] = {
        {"<text>a</text>", "a"},
        {"<x><text>deep</text></x><text>b</text>", "b"},
        {"<text>a<!-- c --></text>", "a<!-- c -->", false},
        {"<text>a<b>c</b></text><text>d</text>", "a<b>c</b>", false},
        {"<text/>", ""},
        {"<texts>a</texts>", std::nullopt},
        {"<!-- <text>a</text> -->", std::nullopt},
        {"<x><text>a</text>", std::nullopt},
        {"<text a=>b</text>", std::nullopt},
    };
    for (const find_case& c : cases) {
        auto found = xml_find_child(c.content, "text");
        ASSERT_EQ(found.has_value(), c.found.has_value()) << c.content;
        if (!found) continue;
        EXPECT_EQ(found->content, *c.found) << c.content;
        EXPECT_EQ(found->plain, c.plain) << c.content;
    }
}

TEST(XmlMarkupReaches, TellsWhetherSpecialMarkupRunsOverTheTarget) {
    struct reach_case {
        sv text;
        bool reaches;  // from 0 to the last "<"
    };
    const reach_case cases[] = {
        {"<a>text<b>", true},        {"<a><!-- c --><b>", true},          {"<a><!-- <b>", false},
        {"<a><![CDATA[ <b>", false}, {"<a><![CDATA[ ]]><?pi?><b>", true}, {"<a><?pi <b>", false},
        {"<a>!?<b>", true},          {"<a><!DOCTYPE x [ ]><b>", true},
    };
    for (const reach_case& c : cases) {
        EXPECT_EQ(xml_markup_reaches(c.text, 0, c.text.rfind('<')), c.reaches) << c.text;
    }
}

}  // namespace
}  // namespace velmora
