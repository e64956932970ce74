#include "kml/kml_reader.hpp"

#include <gtest/gtest.h>
#include <zip.h>

#include <cstdio>
#include <limits>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "kml/kml_html.hpp"
#include "kml/kmz_archive.hpp"
#include "platform/messages.hpp"
#include "support/test_support.hpp"

namespace velmora {
namespace {

using testing::contains;
using testing::details_text;
using testing::read_file;
using testing::temp_dir;

std::string kml(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<kml xmlns=\"http://www.opengis.net/kml/2.2\" "
           "xmlns:gx=\"http://www.google.com/kml/ext/2.2\"><Document>" +
           body + "</Document></kml>";
}

std::string placemark(const std::string& inner, const std::string& geometry =
                                                    "<Point><coordinates>19.5,47.25,0"
                                                    "</coordinates></Point>") {
    return "<Placemark>" + inner + geometry + "</Placemark>";
}

struct read_back {
    poiset_list list;
    std::optional<kml_read_result> result;
    std::string messages;
};

read_back read(const std::string& bytes, kml_read_options options = {},
               const std::string& directory = {}) {
    read_back back;
    message_capture capture;
    back.result = kml_read(bytes, kml_source{"file", directory}, back.list, options);
    back.messages = capture.text();
    return back;
}

// A zip archive of the entries (name, bytes), compressed, made by libzip.
std::string zip_of(const std::vector<std::pair<std::string, std::string>>& entries) {
    temp_dir dir;
    std::string path = dir.file("a.zip");
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    EXPECT_NE(archive, nullptr);
    for (const auto& [name, bytes] : entries) {
        zip_source_t* source = zip_source_buffer(archive, bytes.data(), bytes.size(), 0);
        EXPECT_GE(zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_UTF_8), 0);
    }
    EXPECT_EQ(zip_close(archive), 0);
    return read_file(path);
}

TEST(KmlHtml, DescriptionsBecomePlainTextByTheseRules) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain text", "plain text"},
        {"  line one\nline two  \n\n\n\nline three\n", "line one\nline two\n\nline three"},
        {"a<br>b<br/>c<BR />d", "a\nb\nc\nd"},
        {"<p>first</p><p>second</p>", "first\nsecond"},
        {"<div>x</div>\n   <div>y</div>", "x\ny"},
        {"<b>bold</b> and <a href=\"http://x.y/?a=1&amp;b=2\">link</a>", "bold and link"},
        {"<i>many</i>    blanks\n and\tline ends", "many blanks and line ends"},
        {"<ul><li>one</li><li>two</li></ul>", "one\ntwo"},
        {"Fish &amp; chips &lt;3 &quot;q&quot; &#233;&#xE9; caf&eacute;",
         "Fish & chips <3 \"q\" \xC3\xA9\xC3\xA9 caf&eacute;"},
        {"a&nbsp;b", "a b"},
        {"<script>alert(1)</script>shown<style>p{}</style>", "shown"},
        {"<!-- hidden -->seen", "seen"},
        {"<p><![CDATA[<kept> as text]]></p>", "<kept> as text"},
        {"1 < 2 and 3 > 2", "1 < 2 and 3 > 2"},
        {"<img src=\"http://x/y.jpg\">", ""},
        {"a<br><br>b", "a\n\nb"},
        {"unclosed <b tag", "unclosed"},
    };
    for (const auto& [html, text] : cases) EXPECT_EQ(html_to_text(html), text) << html;
}

TEST(KmlFields, ExtendedDataNamesFillTheFieldsTheirSynonymsMean) {
    struct field_case {
        std::string name;
        std::string details;      // details_text of the waypoint
        std::string description;  // the description it gets
    };
    const field_case cases[] = {
        {"Address", "Street=Main St 1", ""},      {"street", "Street=Main St 1", ""},
        {"City", "City=Main St 1", ""},           {"Postal Code", "Postcode=Main St 1", ""},
        {"zip", "Postcode=Main St 1", ""},        {"Country", "Country=Main St 1", ""},
        {"Phone", "phone PhoneNo=Main St 1", ""}, {"telephone", "phone PhoneNo=Main St 1", ""},
        {"Website", "phone Web=Main St 1", ""},   {"e-mail", "phone Email=Main St 1", ""},
        {"Category", "category Main St 1", ""},   {"Opening hours", "", "Opening hours: Main St 1"},
        {"latitude", "", "latitude: Main St 1"},
    };
    for (const field_case& c : cases) {
        auto back = read(kml(placemark("<name>P</name><ExtendedData><Data name=\"" + c.name +
                                       "\"><value> Main St 1 </value></Data></ExtendedData>")));
        ASSERT_EQ(back.list.count(), 1);
        const poiset& set = *back.list.poisets[0];
        ASSERT_EQ(set.count(), 1) << c.name;
        EXPECT_EQ(details_text(set, set.waypoints[0]), c.details.empty() ? "" : c.details + "\n")
            << c.name;
        EXPECT_EQ(set.waypoints[0].description.value_or_empty(), c.description) << c.name;
    }
}

TEST(KmlFields, PlacemarkFieldsAndOtherDataFollowTheDescriptionInDocumentOrder) {
    auto back = read(kml(placemark(
        "<name> Cafe </name><description><![CDATA[Good <b>coffee</b><br>since 1900]]>"
        "</description><address>1 High St</address><phoneNumber>tel:+36 1 234</phoneNumber>"
        "<ExtendedData><Data name=\"Seats\"><value>40</value></Data>"
        "<SchemaData schemaUrl=\"#s\"><SimpleData name=\"Owner\">Ann</SimpleData>"
        "<SimpleData name=\"Empty\"></SimpleData></SchemaData></ExtendedData>")));
    const poiset& set = *back.list.poisets[0];
    const waypoint& w = set.waypoints[0];
    EXPECT_EQ(*w.name, "Cafe");
    EXPECT_EQ(*w.description, "Good coffee\nsince 1900\nSeats: 40\nOwner: Ann");
    EXPECT_EQ(details_text(set, w), "Street=1 High St\nphone PhoneNo=+36 1 234\n");
    EXPECT_TRUE(set.is_utf8);
}

TEST(KmlFields, MarkupWrittenAsElementsInADescriptionReadsAsHtml) {
    auto back = read(kml(placemark("<description>one<br/>two<p>three</p>four</description>")));
    EXPECT_EQ(*back.list.poisets[0]->waypoints[0].description, "one\ntwo\nthree\nfour");
}

TEST(KmlPlacemarks, PointsMultiGeometriesAndPolygonsBecomePois) {
    auto back = read(kml(
        placemark("<name>point</name>") +
        placemark("<name>multi</name>",
                  "<MultiGeometry><Point><coordinates>1,2</coordinates></Point>"
                  "<Point><coordinates>3 , 4 ,5</coordinates></Point>"
                  "<LineString><coordinates>0,0 1,1</coordinates></LineString></MultiGeometry>") +
        placemark("<name>square with hole</name>",
                  "<Polygon><outerBoundaryIs><LinearRing><coordinates>0,0 4,0 4,4 0,4 0,0"
                  "</coordinates></LinearRing></outerBoundaryIs><innerBoundaryIs><LinearRing>"
                  "<coordinates>0,0 2,0 2,2 0,2 0,0</coordinates></LinearRing></innerBoundaryIs>"
                  "</Polygon>") +
        placemark("<name>line</name>",
                  "<LineString><coordinates>0,0 1,1</coordinates></LineString>") +
        placemark("<name>track</name>", "<gx:Track><gx:coord>1 2 3</gx:coord></gx:Track>")));
    const poiset& set = *back.list.poisets[0];
    ASSERT_EQ(set.count(), 4);
    EXPECT_EQ(set.waypoints[0].lat, 47.25);
    EXPECT_EQ(set.waypoints[0].lon, 19.5);
    EXPECT_EQ(set.waypoints[1].lat, 2.0);
    EXPECT_EQ(set.waypoints[2].lat, 4.0);
    EXPECT_EQ(set.waypoints[2].lon, 3.0);
    // The square of 16 less its lower left quarter: centroid at 7/3 on both axes.
    EXPECT_NEAR(set.waypoints[3].lat, 7.0 / 3.0, 1e-9);
    EXPECT_NEAR(set.waypoints[3].lon, 7.0 / 3.0, 1e-9);
    EXPECT_EQ(*set.waypoints[3].name, "square with hole");
    EXPECT_TRUE(contains(back.messages,
                         "Lines and other shapes that are neither points nor "
                         "polygons were left out: 3"));
}

TEST(KmlPlacemarks, BadPositionsAreSkippedWithTheWaypointWarning) {
    auto back =
        read(kml(placemark("<name>far</name>", "<Point><coordinates>19,95</coordinates></Point>") +
                 placemark("<name>junk</name>", "<Point><coordinates>abc</coordinates></Point>") +
                 placemark("<name>good</name>")));
    const poiset& set = *back.list.poisets[0];
    ASSERT_EQ(set.count(), 1);
    EXPECT_EQ(*set.waypoints[0].name, "good");
    EXPECT_TRUE(contains(back.messages,
                         "Warning: Waypoint (far) has an invalid position (lat=\"95\" lon=\"19\"), "
                         "ignored"));
    EXPECT_TRUE(contains(back.messages, "Waypoint (junk) has an invalid position"));
}

TEST(KmlDocuments, TheDocumentIsOneSetAndItsFoldersAreCategories) {
    std::string text = kml(
        "<name>Trip</name>" + placemark("<name>loose</name>") + "<Folder><name>Food</name>" +
        placemark("<name>a</name>") + "<Folder><name>Cafes</name>" + placemark("<name>b</name>") +
        "</Folder></Folder><Folder><name>Sleep</name>" + placemark("<name>c</name>") + "</Folder>");
    auto back = read(text);
    ASSERT_EQ(back.list.count(), 1);
    const poiset& set = *back.list.poisets[0];
    EXPECT_EQ(set.name, "Trip");
    ASSERT_EQ(set.count(), 4);
    EXPECT_EQ(details_text(set, set.waypoints[0]), "");
    EXPECT_EQ(details_text(set, set.waypoints[1]), "category Food\n");
    EXPECT_EQ(details_text(set, set.waypoints[2]), "category Food/Cafes\n");
    EXPECT_EQ(details_text(set, set.waypoints[3]), "category Sleep\n");

    auto apart = read(text, {.folders_as_sets = true});
    ASSERT_EQ(apart.list.count(), 3);
    EXPECT_EQ(apart.list.poisets[0]->name, "Trip");
    EXPECT_EQ(apart.list.poisets[0]->count(), 1);
    EXPECT_EQ(apart.list.poisets[1]->name, "Food");
    EXPECT_EQ(apart.list.poisets[1]->count(), 2);
    EXPECT_EQ(details_text(*apart.list.poisets[1], apart.list.poisets[1]->waypoints[1]),
              "category Cafes\n");
    EXPECT_EQ(apart.list.poisets[2]->name, "Sleep");
}

TEST(KmlDocuments, ADocumentWithoutANameIsNamedAfterTheFile) {
    auto back = read(
        "<kml><Placemark><Point><coordinates>1,2</coordinates></Point></Placemark>"
        "</kml>");
    ASSERT_EQ(back.list.count(), 1);
    EXPECT_EQ(back.list.poisets[0]->name, "file");
    EXPECT_EQ(back.list.poisets[0]->count(), 1);
}

TEST(KmlDocuments, SingleByteEncodingsOfTheCodePageTableAreRead) {
    auto back = read(
        "<?xml version=\"1.0\" encoding=\"windows-1250\"?><kml><Placemark>"
        "<name>\xC8"
        "esk\xFD Krumlov</name><Point><coordinates>14.3,48.8</coordinates>"
        "</Point></Placemark></kml>");
    ASSERT_EQ(back.list.poisets[0]->count(), 1);
    EXPECT_EQ(*back.list.poisets[0]->waypoints[0].name,
              "\xC4\x8C"
              "esk\xC3\xBD Krumlov");
}

TEST(KmlDocuments, MalformedXmlIsReadUpToTheFault) {
    auto back = read(kml(placemark("<name>a</name>") + "<Placemark><name>b</nam>"));
    ASSERT_EQ(back.list.count(), 1);
    EXPECT_EQ(back.list.poisets[0]->count(), 1);
    EXPECT_TRUE(contains(back.messages, "Warning: Malformed XML at offset"));
}

// Everything a reading gives, as text: the sets with their categories in table order,
// every field of every waypoint, the icons and the messages.
std::string everything(const read_back& back) {
    std::string out = back.messages + "\n";
    for (const auto& set : back.list.poisets) {
        out += "set " + set->name + "\n";
        for (const stored_text& category : set->categories)
            out += "category " + std::string(*category) + "\n";
        for (const waypoint& w : set->waypoints) {
            char position[64];
            std::snprintf(position, sizeof position, "%.7f %.7f", w.lat, w.lon);
            out += std::string(position) + " [" + std::string(w.name.value_or_empty()) + "] [" +
                   std::string(w.description.value_or_empty()) + "] [" +
                   std::string(w.comment.value_or_empty()) + "] [" +
                   std::string(w.symbol.value_or_empty()) + "]\n" + details_text(*set, w);
        }
    }
    if (back.result) {
        for (const kml_icon& icon : back.result->icons) {
            out += "icon " + icon.symbol + " " + icon.href + " " + icon.web_name + " " +
                   std::to_string(icon.colour) + "\n";
        }
    }
    return out;
}

// Placemarks numbered from first on, with a style of the styles s0 to s2 each, extended
// data that names a category every fifth one, and what more is asked for the numbers
// at.
std::string placemarks(int first, int count, int at = -1, const std::string& there = "") {
    std::string out;
    for (int i = first; i < first + count; ++i) {
        std::string inner = "<name>P" + std::to_string(i) + "</name><description><![CDATA[a<br>b " +
                            std::to_string(i) + "]]></description><styleUrl>#s" +
                            std::to_string(i % 3) + "</styleUrl>";
        if (i % 5 == 0) {
            inner += "<ExtendedData><Data name=\"category\"><value>Kind " + std::to_string(i % 4) +
                     "</value></Data><Data name=\"Seats\"><value>4</value></Data></ExtendedData>";
        }
        if (i == at) inner += there;
        out += placemark(inner, "<Point><coordinates>" + std::to_string(10 + i % 7) + ".5," +
                                    std::to_string(40 + i % 9) + ".25</coordinates></Point>");
    }
    return out;
}

const std::string some_styles =
    "<Style id=\"s0\"><IconStyle><Icon><href>http://example.org/a.png</href></Icon></IconStyle>"
    "</Style><StyleMap id=\"s1\"><Pair><key>normal</key><styleUrl>#s0</styleUrl></Pair></StyleMap>";

TEST(KmlTwoThreads, ADocumentReadInTwoPartsReadsAsInOneFrontToBack) {
    struct {
        const char* what;
        std::string document;
        bool in_two;  // the reading is cut (on a machine with two processors)
    } const cases[] = {
        {"nested folders open at the cut, styles and categories on both sides",
         kml("<name>Trip</name>" + some_styles + "<Folder><name>Food &amp; drink</name>" +
             placemarks(0, 5) + "<Folder><name><![CDATA[Caf\xC3\xA9s]]></name>" +
             placemarks(5, 60) + "</Folder>" + placemarks(65, 5) + "</Folder>" +
             "<Style id=\"s2\"><IconStyle><color>ff0000ff</color><Icon><href>files/b.png</href>"
             "</Icon></IconStyle></Style><Style id=\"s0\"><IconStyle><Icon>"
             "<href>http://example.org/c.png</href></Icon></IconStyle></Style>"),
         true},
        {"a folder named, and the document named again, after the cut; shapes left out",
         kml(some_styles + "<name>First</name><Folder>" + placemarks(0, 40) + "<name>Late</name>" +
             placemarks(40, 20, 50,
                        "<gx:Track><gx:coord>1 2 3</gx:coord></gx:Track><Style><IconStyle>"
                        "<Icon><href>files/own.png</href></Icon></IconStyle></Style>") +
             placemark("<name>line</name>",
                       "<LineString><coordinates>1,2 3,4</coordinates></LineString>") +
             "</Folder><name>Second</name>"),
         true},
        {"bad positions on both sides keep the order of their warnings",
         kml(some_styles + placemarks(0, 40, 5, "<Point><coordinates>x,1</coordinates></Point>") +
             placemark("<name>far</name>", "<Point><coordinates>1,95</coordinates></Point>")),
         true},
        {"malformed XML after the cut is read up to the fault",
         kml(some_styles + placemarks(0, 40) + "<Placemark><name>b</nam>" + placemarks(40, 3)),
         false},
        {"the cut found in a CDATA section is not taken",
         kml(some_styles + placemarks(0, 10) +
             placemark("<description><![CDATA[" + std::string(30, 'x') +
                       [] {
                           std::string many;
                           for (int i = 0; i < 100; ++i) many += "<Placemark> ";
                           return many;
                       }() +
                       "]]></description>") +
             placemarks(10, 10)),
         false},
        {"a single-byte encoding",
         "<?xml version=\"1.0\" encoding=\"windows-1250\"?><kml><Document><Folder><name>\xC8"
         "esk\xE1</name>" +
             some_styles + placemarks(0, 40) + "</Folder></Document></kml>",
         true},
        {"a second document, read as a folder, open at the cut",
         "<kml><Document><name>A</name></Document><Document><name>B</name>" + some_styles +
             placemarks(0, 40) + "</Document></kml>",
         false},
        {"a folder's last name in another namespace",
         kml(some_styles + "<Folder><name>Kept</name><gx:name>Passed over</gx:name>" +
             placemarks(0, 40) + "</Folder>"),
         false},
    };
    kml_read_options one;
    one.parallel_from = std::numeric_limits<std::size_t>::max();
    kml_read_options two;
    two.parallel_from = 0;
    bool machine_has_two = std::thread::hardware_concurrency() >= 2;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        read_back single = read(c.document, one);
        read_back split = read(c.document, two);
        ASSERT_TRUE(single.result && split.result);
        EXPECT_FALSE(single.result->read_in_two);
        EXPECT_EQ(split.result->read_in_two, c.in_two && machine_has_two);
        EXPECT_GT(single.list.poisets[0]->count(), 0);
        EXPECT_EQ(everything(split), everything(single));
    }
}

TEST(KmlTwoThreads, RealFilesReadAlikeInOneOrTwoParts) {
    kml_read_options one;
    one.parallel_from = std::numeric_limits<std::size_t>::max();
    kml_read_options two;
    two.parallel_from = 0;
    std::vector<std::string> files = {testing::source_dir() + "/examples/Weekend_in_Budapest.kmz"};
    for (const char* name :
         {"kml/google-export.kml", "kml/displayMode.kml", "kmz/styled_placemark.kmz"}) {
        if (std::string path = testing::real_file(name); !path.empty()) files.push_back(path);
    }
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        std::string bytes = read_file(file);
        EXPECT_EQ(everything(read(bytes, two)), everything(read(bytes, one)));
    }
}

TEST(KmlStyles, PlacemarksTakeTheirStylesNamesAndIcons) {
    std::string styles =
        "<Style id=\"s-normal\"><IconStyle><color>ff0000ff</color><Icon><href>files/red.png"
        "</href></Icon></IconStyle></Style>"
        "<Style id=\"s-high\"><IconStyle><Icon><href>files/big.png</href></Icon></IconStyle>"
        "</Style>"
        "<StyleMap id=\"pin\"><Pair><key>highlight</key><styleUrl>#s-high</styleUrl></Pair>"
        "<Pair><key>normal</key><styleUrl>#s-normal</styleUrl></Pair></StyleMap>"
        "<Style id=\"web\"><IconStyle><Icon><href>http://x.y/icons/503-blank.png?s=1</href>"
        "</Icon></IconStyle></Style>";
    auto back =
        read(kml(styles + placemark("<styleUrl>#pin</styleUrl>") +
                 placemark("<styleUrl>#web</styleUrl>") + placemark("<styleUrl>#web</styleUrl>") +
                 placemark("<Style><IconStyle><Icon><href>./files/own.png</href></Icon>"
                           "</IconStyle></Style>") +
                 placemark("<styleUrl>#unknown</styleUrl>") + placemark("")));
    const poiset& set = *back.list.poisets[0];
    ASSERT_EQ(set.count(), 6);
    EXPECT_EQ(*set.waypoints[0].symbol, "pin");
    EXPECT_EQ(*set.waypoints[1].symbol, "web");
    EXPECT_EQ(*set.waypoints[3].symbol, "own");
    EXPECT_EQ(*set.waypoints[4].symbol, "unknown");
    EXPECT_FALSE(set.waypoints[5].symbol);
    ASSERT_EQ(back.result->icons.size(), 3u);
    EXPECT_EQ(back.result->icons[0].symbol, "pin");
    EXPECT_EQ(back.result->icons[0].href, "files/red.png");
    EXPECT_EQ(back.result->icons[0].colour, 0xff0000ffu);
    EXPECT_EQ(back.result->icons[1].web_name, "503-blank");
    EXPECT_TRUE(contains(back.messages, "icons on the web are not fetched: 2 placemarks"));
    // Beside no file, the local images are not found.
    EXPECT_TRUE(contains(back.messages,
                         "The icon (files/red.png) of the style (pin) is not "
                         "beside the kml file"));
}

TEST(KmlStyles, ImagesBesideTheFileAreReadButNeverOutsideItsDirectory) {
    temp_dir dir;
    std::filesystem::create_directory(dir.path() / "in");
    testing::write_file(dir.file("in/pin.png"), "PNG bytes");
    testing::write_file(dir.file("secret.png"), "secret");
    std::string styles =
        "<Style id=\"a\"><IconStyle><Icon><href>pin.png</href></Icon></IconStyle></Style>"
        "<Style id=\"b\"><IconStyle><Icon><href>../secret.png</href></Icon></IconStyle></Style>"
        "<Style id=\"c\"><IconStyle><Icon><href>/etc/passwd</href></Icon></IconStyle></Style>";
    auto back =
        read(kml(styles + placemark("<styleUrl>#a</styleUrl>") +
                 placemark("<styleUrl>#b</styleUrl>") + placemark("<styleUrl>#c</styleUrl>")),
             {}, dir.file("in") + "/");
    ASSERT_EQ(back.result->icons.size(), 3u);
    EXPECT_EQ(back.result->icons[0].image.value_or(""), "PNG bytes");
    EXPECT_FALSE(back.result->icons[1].image);
    EXPECT_FALSE(back.result->icons[2].image);
    EXPECT_TRUE(contains(back.messages, "The icon (../secret.png) of the style (b) lies outside"));
}

TEST(Kmz, TheDocumentAndItsImagesAreReadFromTheArchive) {
    std::string document =
        kml("<name>Zipped</name><Style id=\"a\"><IconStyle><Icon><href>images/icon-1.png</href>"
            "</Icon></IconStyle></Style>" +
            placemark("<name>p</name><styleUrl>#a</styleUrl>"));
    std::string zip = zip_of({{"images/icon-1.png", "PNG"}, {"doc.kml", document}});
    auto back = read(zip);
    ASSERT_TRUE(back.result);
    ASSERT_EQ(back.list.count(), 1);
    EXPECT_EQ(back.list.poisets[0]->name, "Zipped");
    ASSERT_EQ(back.result->icons.size(), 1u);
    EXPECT_EQ(back.result->icons[0].image.value_or(""), "PNG");

    // Without doc.kml the first .kml at the top level is the document.
    auto other = read(zip_of({{"sub/x.kml", kml("")}, {"Map.KML", document}}));
    ASSERT_TRUE(other.result);
    EXPECT_EQ(other.list.poisets[0]->count(), 1);
}

TEST(Kmz, ArchivesBeyondTheirBoundsAreRefused) {
    // 4 MB of zeros pack into a few kilobytes: far more than 100 times the archive.
    auto bomb = read(zip_of({{"doc.kml", kml("")}, {"zeros.bin", std::string(4u << 20, '\0')}}));
    EXPECT_FALSE(bomb.result);
    EXPECT_EQ(bomb.list.count(), 0);
    EXPECT_TRUE(contains(bomb.messages, "would expand to more than 1 GiB or 100 times its size"));

    auto none = read(zip_of({{"readme.txt", "no document"}}));
    EXPECT_FALSE(none.result);
    EXPECT_TRUE(contains(none.messages, "holds no kml document"));

    auto climbing = read(zip_of({{"../doc.kml", kml(placemark(""))}}));
    EXPECT_FALSE(climbing.result);
    EXPECT_TRUE(contains(climbing.messages, "leads out of the archive"));

    auto broken = read(std::string("PK\x03\x04") + " not really a zip");
    EXPECT_FALSE(broken.result);
    EXPECT_TRUE(contains(broken.messages, "can't be read as a zip archive"));
}

TEST(Kmz, NamesThatClimbOutAreTold) {
    const std::pair<const char*, bool> cases[] = {
        {"a.png", true},      {"files/a.png", true},       {"a..b.png", true},
        {"../a.png", false},  {"files/../../a", false},    {"/etc/passwd", false},
        {"C:\\x.png", false}, {"files\\..\\..\\a", false}, {"", false},
    };
    for (const auto& [name, inside] : cases) EXPECT_EQ(stays_inside(name), inside) << name;
}

TEST(KmlRealFiles, GoogleExportsReadAsTheyShow) {
    VELMORA_REQUIRE_REAL(google, "kml/google-export.kml");
    auto back = read(read_file(google));
    ASSERT_EQ(back.list.count(), 1);
    const poiset& set = *back.list.poisets[0];
    EXPECT_EQ(set.name, "Galileo Bookmark Import Test");
    ASSERT_EQ(set.count(), 1);
    EXPECT_EQ(*set.waypoints[0].name, "place");
    EXPECT_EQ(*set.waypoints[0].description, "this is a place");
    EXPECT_EQ(*set.waypoints[0].symbol, "icon-1765-757575");
    EXPECT_EQ(details_text(set, set.waypoints[0]), "category Untitled layer\n");
    ASSERT_EQ(back.result->icons.size(), 1u);
    EXPECT_EQ(back.result->icons[0].web_name, "503-wht-blank_maps");

    VELMORA_REQUIRE_REAL(display, "kml/displayMode.kml");
    auto modes = read(read_file(display));
    EXPECT_EQ(modes.list.poisets[0]->count(), 8);

    VELMORA_REQUIRE_REAL(styled, "kmz/styled_placemark.kmz");
    auto zipped = read(read_file(styled));
    ASSERT_TRUE(zipped.result);
    ASSERT_EQ(zipped.list.poisets[0]->count(), 1);
    EXPECT_EQ(*zipped.list.poisets[0]->waypoints[0].symbol, "icon");
    ASSERT_EQ(zipped.result->icons.size(), 1u);
    EXPECT_TRUE(zipped.result->icons[0].image);
}

}  // namespace
}  // namespace velmora
