// End-to-end runs of the program with GPX inputs and outputs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/version.hpp"
#include "support/real_samples.hpp"
#include "support/test_support.hpp"

namespace velmora {
namespace {

using testing::read_file;
using testing::run_velmora;
using testing::write_file;

using testing::contains;

// True when xmllint finds the file well-formed; skips the check where xmllint is missing.
bool well_formed(const std::string& path) {
    static const bool have_xmllint = std::system("xmllint --version >/dev/null 2>&1") == 0;
    if (!have_xmllint) return true;
    return std::system(("xmllint --noout '" + path + "' 2>/dev/null").c_str()) == 0;
}

const char* const first_input = R"(<?xml version="1.0" encoding="UTF-8"?>
<gpx version="1.1" creator="test">
  <wpt lat="47.4979" lon="19.0402"><name>Budapest@50</name><cmt>capital &amp; more</cmt><sym>City</sym></wpt>
  <wpt lat="46.253" lon="20.1414"><name>Szeged</name><desc><![CDATA[<b>south</b>]]></desc></wpt>
</gpx>
)";

const char* const second_input =
    "<?xml version=\"1.0\" encoding=\"windows-1250\"?>\n"
    "<gpx version=\"1.1\" creator=\"test\">\n"
    "  <wpt lat=\"47,6875\" lon=\"17,6504\"><name>Gy\xF5r</name></wpt>\n"
    "</gpx>\n";

TEST(GpxCli, MergesTwoGpxFilesIntoOne) {
    testing::temp_dir dir;
    write_file(dir.file("a.gpx"), first_input);
    write_file(dir.file("b.gpx"), second_input);
    auto result = run_velmora({"a.gpx", "b.gpx", "-o", "out.gpx"}, dir.path().string());
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_TRUE(contains(result.err, "\n<-1. a.gpx\n<-2. b.gpx\n2---> out.gpx")) << result.err;
    EXPECT_TRUE(contains(result.err, "\n\nImporting... (1. a.gpx)\n    imported 2 pois "));
    EXPECT_TRUE(contains(result.err, "\n\nImporting... (2. b.gpx)\n    imported 1 pois "));
    EXPECT_TRUE(contains(result.err, "\nExporting... "));
    std::string out = read_file(dir.file("out.gpx"));
    std::size_t budapest = out.find("<name>Budapest@50</name>");
    std::size_t szeged = out.find("<name>Szeged</name>");
    std::size_t gyor = out.find("<name>Gy\xC5\x91r</name>");
    EXPECT_NE(budapest, std::string::npos);
    EXPECT_LT(budapest, szeged);
    EXPECT_LT(szeged, gyor);
    EXPECT_NE(gyor, std::string::npos);
    EXPECT_TRUE(contains(out, "<wpt lat=\"47.6875000\" lon=\"17.6504000\">"));
    EXPECT_TRUE(well_formed(dir.file("out.gpx")));
}

TEST(GpxCli, WritesTheExactBytesOfASmallFile) {
    testing::temp_dir dir;
    write_file(dir.file("in.gpx"), first_input);
    testing::run_options options;
    options.env = {{"SOURCE_DATE_EPOCH", "1700000000"}};
    auto result = run_velmora({"in.gpx", "-o", "out.gpx"}, dir.path().string(), options);
    ASSERT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(read_file(dir.file("out.gpx")),
              "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\" ?>\n"
              "<gpx xmlns=\"http://www.topografix.com/GPX/1/1\" "
              "creator=\"Velmora " VELMORA_PROGRAM_VERSION
              "\" "
              "version=\"1.1\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
              "xsi:schemaLocation=\"http://www.garmin.com/xmlschemas/GpxExtensions/v3 "
              "http://www.garmin.com/xmlschemas/GpxExtensions/v3/GpxExtensionsv3.xsd "
              "http://www.topografix.com/GPX/1/1 http://www.topografix.com/GPX/1/1/gpx.xsd\">\n"
              "\n"
              "\t<metadata>\n"
              "\t\t<link href=\"http://www.garmin.com\">\n"
              "\t\t\t<text>Velmora</text>\n"
              "\t\t</link>\n"
              "\t\t<time>2023-11-14T22:13:20Z</time>\n"
              "\t\t<bounds maxlat=\"47.4979000\" maxlon=\"20.1414000\" minlat=\"46.2530000\" "
              "minlon=\"19.0402000\"/>\n"
              "\t</metadata>\n"
              "\n"
              "\t<wpt lat=\"47.4979000\" lon=\"19.0402000\">\n"
              "\t\t<name>Budapest@50</name>\n"
              "\t\t<cmt><![CDATA[capital & more]]></cmt>\n"
              "\t\t<sym>City</sym>\n"
              "\t\t<extensions>\n"
              "\t\t\t<gpxx:WaypointExtension "
              "xmlns:gpxx=\"http://www.garmin.com/xmlschemas/GpxExtensions/v3\">\n"
              "\t\t\t\t<gpxx:Proximity>500</gpxx:Proximity>\n"
              "\t\t\t</gpxx:WaypointExtension>\n"
              "\t\t</extensions>\n"
              "\t</wpt>\n"
              "\n"
              "\t<wpt lat=\"46.2530000\" lon=\"20.1414000\">\n"
              "\t\t<name>Szeged</name>\n"
              "\t\t<desc><![CDATA[<b>south</b>]]></desc>\n"
              "\t\t<sym>Waypoint</sym>\n"
              "\t</wpt>\n"
              "\n"
              "</gpx>\n");
}

TEST(GpxCli, RoundTripKeepsTheWaypointsAndSettlesOnTheSecondPass) {
    testing::temp_dir dir;
    write_file(dir.file("a.gpx"),
               "<?xml version=\"1.0\" encoding=\"ISO-8859-2\"?>\n<gpx>\n"
               "<wpt lat=\"47.1\" lon=\"19.2\"><name>Szeg\xE9ly &amp; T\xF5zsde@49.5</name>"
               "<cmt>a ]]&gt; b\ttab</cmt><desc>&lt;i&gt;</desc></wpt>\n"
               "<wpt lat=\"-33.8688\" lon=\"151.2093\"><name>Sydney</name></wpt>\n</gpx>\n");
    ASSERT_EQ(run_velmora({"a.gpx", "-o", "b.gpx"}, dir.path().string()).exit_code, 0);
    ASSERT_EQ(run_velmora({"b.gpx", "-o", "c.gpx"}, dir.path().string()).exit_code, 0);
    ASSERT_EQ(run_velmora({"c.gpx", "-o", "d.gpx"}, dir.path().string()).exit_code, 0);
    std::string b = read_file(dir.file("b.gpx"));
    std::string c = read_file(dir.file("c.gpx"));
    EXPECT_EQ(c, read_file(dir.file("d.gpx")));
    // The speed goes out rounded, so the proximity read back from it settles on the
    // second pass.
    EXPECT_TRUE(contains(b, "<name>Szeg\xC3\xA9ly &amp; T\xC5\x91zsde@50</name>")) << b;
    EXPECT_TRUE(contains(b, "<gpxx:Proximity>495</gpxx:Proximity>")) << b;
    EXPECT_TRUE(contains(c, "<name>Szeg\xC3\xA9ly &amp; T\xC5\x91zsde@50</name>")) << c;
    EXPECT_TRUE(contains(c, "<gpxx:Proximity>500</gpxx:Proximity>")) << c;
    EXPECT_TRUE(contains(c, "<cmt><![CDATA[a ]]]]><![CDATA[> b\ttab]]></cmt>")) << c;
    EXPECT_TRUE(contains(c, "<desc><![CDATA[<i>]]></desc>")) << c;
    EXPECT_TRUE(contains(c, "<wpt lat=\"-33.8688000\" lon=\"151.2093000\">")) << c;
    for (const char* name : {"b.gpx", "c.gpx", "d.gpx"}) EXPECT_TRUE(well_formed(dir.file(name)));
}

// How often each of the texts occurs in the text.
std::vector<std::size_t> occurrences(const std::string& text,
                                     const std::vector<std::string>& parts) {
    std::vector<std::size_t> counts;
    for (const std::string& part : parts) {
        std::size_t n = 0;
        for (std::size_t p = text.find(part); p != std::string::npos; p = text.find(part, p + 1))
            ++n;
        counts.push_back(n);
    }
    return counts;
}

// Every real GPX sample becomes well-formed GPX with each of its waypoints.
TEST(GpxCli, ConvertsEveryRealSampleIntoWellFormedGpx) {
    testing::temp_dir dir;
    for (const auto& c : testing::real_gpx_samples) {
        SCOPED_TRACE(c.file);
        VELMORA_REQUIRE_REAL(path, c.file);
        auto result = run_velmora({path, "-o", "out.gpx"}, dir.path().string());
        EXPECT_EQ(result.exit_code, 0) << result.err;
        EXPECT_TRUE(well_formed(dir.file("out.gpx")));
        EXPECT_EQ(occurrences(read_file(dir.file("out.gpx")), {"<wpt "}),
                  std::vector<std::size_t>{static_cast<std::size_t>(c.waypoints)});
    }
}

TEST(GpxCli, KeepsEveryWaypointFieldFromGpxToGpx) {
    testing::temp_dir dir;
    write_file(
        dir.file("in.gpx"),
        "<?xml version=\"1.0\" encoding=\"windows-1250\"?>\n"
        "<gpx version=\"1.1\" xmlns:g=\"http://www.garmin.com/xmlschemas/GpxExtensions/v3\">\n"
        "<wpt lat=\"47.6875\" lon=\"17.6504\"><name>Gy\xF5r</name><cmt>c</cmt><desc>d</desc>"
        "<link href=\"https://gyor.hu/?a=1&amp;b=2\"><text>site</text></link>"
        "<sym>Flag, Blue</sym><extensions><g:WaypointExtension><g:Proximity>250</g:Proximity>"
        "<g:Categories><g:Category>V\xE1ros</g:Category><g:Category>Food</g:Category>"
        "</g:Categories><g:Address><g:StreetAddress>Baross \xFAt 1</g:StreetAddress>"
        "<g:StreetAddress>2nd floor</g:StreetAddress><g:City>Gy\xF5r</g:City>"
        "<g:State>GY</g:State><g:Country>HU</g:Country><g:PostalCode>9021</g:PostalCode>"
        "<g:Extensions><v:HouseNumber xmlns:v=\"urn:velmora:address:1\">12</v:HouseNumber>"
        "</g:Extensions></g:Address><g:PhoneNumber>+36 1</g:PhoneNumber>"
        "<g:PhoneNumber Category=\"Mobile\">+36 2</g:PhoneNumber></g:WaypointExtension>"
        "</extensions></wpt>\n"
        "<wpt lat=\"-1\" lon=\"-2\"><name>v1</name><extensions><WaypointExtension "
        "xmlns=\"http://www.garmin.com/xmlschemas/WaypointExtension/v1\"><Categories>"
        "<Category>Food</Category></Categories><PhoneNumber Category=\"Work\">3</PhoneNumber>"
        "</WaypointExtension></extensions></wpt>\n</gpx>\n");
    ASSERT_EQ(run_velmora({"in.gpx", "-o", "out.gpx"}, dir.path().string()).exit_code, 0);
    ASSERT_EQ(run_velmora({"out.gpx", "-o", "back.gpx"}, dir.path().string()).exit_code, 0);
    std::string out = read_file(dir.file("out.gpx"));
    EXPECT_TRUE(well_formed(dir.file("out.gpx")));
    for (const char* part :
         {"<link href=\"https://gyor.hu/?a=1&amp;b=2\">\n\t\t\t<text>site</text>\n\t\t</link>\n"
          "\t\t<sym>Flag, Blue</sym>",
          "<gpxx:Proximity>250</gpxx:Proximity>\n\t\t\t\t<gpxx:Categories>\n"
          "\t\t\t\t\t<gpxx:Category>V\xC3\xA1ros</gpxx:Category>\n"
          "\t\t\t\t\t<gpxx:Category>Food</gpxx:Category>",
          "<gpxx:StreetAddress>Baross \xC3\xBAt 1</gpxx:StreetAddress>\n"
          "\t\t\t\t\t<gpxx:StreetAddress>2nd floor</gpxx:StreetAddress>\n"
          "\t\t\t\t\t<gpxx:City>Gy\xC5\x91r</gpxx:City>\n\t\t\t\t\t<gpxx:State>GY</gpxx:State>\n"
          "\t\t\t\t\t<gpxx:Country>HU</gpxx:Country>\n\t\t\t\t\t<gpxx:PostalCode>9021</"
          "gpxx:PostalCode>",
          ">12</velmora:HouseNumber>",
          "<gpxx:PhoneNumber>+36 1</gpxx:PhoneNumber>\n"
          "\t\t\t\t<gpxx:PhoneNumber Category=\"Mobile\">+36 2</gpxx:PhoneNumber>",
          "<name>v1</name>\n\t\t<sym>Waypoint</sym>\n\t\t<extensions>",
          "<gpxx:Category>Food</gpxx:Category>\n\t\t\t\t</gpxx:Categories>\n"
          "\t\t\t\t<gpxx:PhoneNumber Category=\"Work\">3</gpxx:PhoneNumber>",
          "<bounds maxlat=\"47.6875000\" maxlon=\"17.6504000\" minlat=\"-1.0000000\" "
          "minlon=\"-2.0000000\"/>"}) {
        EXPECT_TRUE(contains(out, part)) << part << "\n" << out;
    }
    EXPECT_EQ(read_file(dir.file("back.gpx")), out);
}

TEST(GpxCli, CarriesTheLinksOfAGpx10PocketQueryAndTellsWhichSymbolsHaveNoIcon) {
    testing::temp_dir dir;
    const std::string query = testing::source_dir() + "/tests/data/gpx/pocket_query_1_0.gpx";
    const std::string where = dir.path().string();
    ASSERT_EQ(run_velmora({query, "-o", "out.gpx"}, where).exit_code, 0);
    ASSERT_EQ(run_velmora({"out.gpx", "-o", "back.gpx"}, where).exit_code, 0);
    std::string out = read_file(dir.file("out.gpx"));
    EXPECT_TRUE(well_formed(dir.file("out.gpx")));
    for (const char* part :
         {"<desc><![CDATA[Hill view by someone, Traditional Cache (1.5/2)]]></desc>\n"
          "\t\t<link href=\"https://coord.info/GC1ABCD\">\n\t\t\t<text>Hill view</text>\n"
          "\t\t</link>\n\t\t<sym>Geocache</sym>",
          "<link href=\"https://www.geocaching.com/geocache/GC2EFGH?a=1&amp;b=2\">\n"
          "\t\t\t<text>Bridges &amp; Baths</text>\n\t\t</link>\n",
          "<link href=\"https://www.geocaching.com/seek/wpt.aspx?WID=5\"/>\n"}) {
        EXPECT_TRUE(contains(out, part)) << part << "\n" << out;
    }
    EXPECT_EQ(occurrences(out, {"<link href=", "<text>"}),
              (std::vector<std::size_t>{8 + 1, 7 + 1}));  // and the metadata's
    EXPECT_EQ(read_file(dir.file("back.gpx")), out);

    // GPI files keep the link as the web address, without its text.
    auto gpi = run_velmora({query, "-o", "out.gpi"}, where);
    ASSERT_EQ(gpi.exit_code, 0) << gpi.err;
    EXPECT_TRUE(contains(gpi.err,
                         "\n    imported 1 icons (Skipped 0)\n    no icon for 3 symbols: Virtual "
                         "Stage (3), Reference Point (2), Geocache Found (1)\n    imported 8 pois"))
        << gpi.err;
    ASSERT_EQ(run_velmora({"out.gpi", "-o", "from_gpi.gpx"}, where).exit_code, 0);
    std::string from_gpi = read_file(dir.file("from_gpi.gpx"));
    EXPECT_EQ(occurrences(from_gpi, {"<link href=\"https://", "<text>"}),
              (std::vector<std::size_t>{8, 1}));
}

TEST(GpxCli, KeepsTheExtensionsOfRealFiles) {
    const std::vector<std::string> elements = {
        "<gpxx:StreetAddress>", "<gpxx:City>",        "<gpxx:State>",   "<gpxx:Country>",
        "<gpxx:PostalCode>",    "<gpxx:PhoneNumber>", "<gpxx:Category>"};
    for (const char* name :
         {"gpx/basecamp.gpx", "gpx/umsonstdraussen.gpx", "gpx/gdb-sample-v3-ilinks.gpx"}) {
        VELMORA_REQUIRE_REAL(path, name);
        testing::temp_dir dir;
        auto result = run_velmora({path, "-o", "out.gpx"}, dir.path().string());
        ASSERT_EQ(result.exit_code, 0) << name << result.err;
        std::vector<std::size_t> in = occurrences(read_file(path), elements);
        EXPECT_GT(in.back() + in[0], 0u) << name;
        EXPECT_EQ(occurrences(read_file(dir.file("out.gpx")), elements), in) << name;
    }
}

TEST(GpxCli, ConvertsTheBundledExample) {
    testing::temp_dir dir;
    std::string example = testing::source_dir() + "/examples/example.gpx";
    auto result = run_velmora({example, "-o", "out.gpx"}, dir.path().string());
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_TRUE(contains(result.err, "\n    imported 12 pois")) << result.err;
    std::string out = read_file(dir.file("out.gpx"));
    EXPECT_TRUE(contains(out, "<name>Radar@50</name>"));
    EXPECT_TRUE(well_formed(dir.file("out.gpx")));
}

TEST(GpxCli, KeepsGoingWithAnUnknownEncoding) {
    testing::temp_dir dir;
    write_file(dir.file("a.gpx"),
               "<?xml version=\"1.0\" encoding=\"klingon\"?><gpx><wpt lat=\"1\" lon=\"2\">"
               "<name>\xF5</name></wpt></gpx>");
    auto result = run_velmora({"a.gpx", "-o", "out.gpx"}, dir.path().string());
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_TRUE(contains(result.err,
                         "\nError converting Encoding=\"klingon\" to locale in xml file!\nUsing "
                         "1250 instead.\n    imported 1 pois"))
        << result.err;
    EXPECT_TRUE(contains(read_file(dir.file("out.gpx")), "<name>\xC5\x91</name>"));
}

}  // namespace
}  // namespace velmora
