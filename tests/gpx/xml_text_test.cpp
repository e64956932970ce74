#include "gpx/xml_text.hpp"

#include <gtest/gtest.h>

#include <string>

namespace velmora {
namespace {

using namespace std::string_literals;
using namespace std::string_view_literals;
using sv = std::string_view;

const xml_text_encoding utf8{true, nullptr};

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

}  // namespace
}  // namespace velmora
