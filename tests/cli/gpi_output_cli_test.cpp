// End-to-end runs that write GPI files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "cli/gpi_output.hpp"
#include "gpi/gpi_reader.hpp"
#include "gpx/gpx_reader.hpp"
#include "model/poiset.hpp"
#include "platform/messages.hpp"
#include "support/test_support.hpp"

namespace velmora {
namespace {

using testing::read_file;
using testing::read_gpi;
using testing::run_from;
using testing::run_velmora;
using testing::temp_dir;
using testing::write_file;

// Sets SOURCE_DATE_EPOCH for the runs started while it lives.
class fixed_epoch {
  public:
    explicit fixed_epoch(const char* value) { setenv("SOURCE_DATE_EPOCH", value, 1); }
    ~fixed_epoch() { unsetenv("SOURCE_DATE_EPOCH"); }
    fixed_epoch(const fixed_epoch&) = delete;
    fixed_epoch& operator=(const fixed_epoch&) = delete;
};

std::uint32_t u32_at(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    }
    return value;
}

TEST(GpiOutput, RunWithoutPoisWritesTheFiftyEightByteFileStampedWithTheSourceDate) {
    temp_dir dir;
    write_file(dir.file("a.gpx"), "<gpx></gpx>");
    fixed_epoch epoch("1700000000");
    auto first = run_velmora({"a.gpx", "-o", "out.gpi"}, dir.path().string());
    EXPECT_EQ(first.exit_code, 0) << first.err;
    std::string bytes = read_file(dir.file("out.gpi"));
    ASSERT_EQ(bytes.size(), 58u);
    EXPECT_EQ(bytes.substr(8, 8), "GRMREC00");
    EXPECT_EQ(u32_at(bytes, 16), 1700000000u);
    EXPECT_EQ(u32_at(bytes, 46), 1250u);

    // Alone in its directory again, so that it keeps the time.
    std::filesystem::remove(dir.file("out.gpi"));
    auto second = run_velmora({"a.gpx", "-O", "OUT.GPI"}, dir.path().string());
    EXPECT_EQ(second.exit_code, 0) << second.err;
    EXPECT_EQ(read_file(dir.file("OUT.GPI")), bytes);
}

const char* const small_gpx =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<gpx version=\"1.1\" creator=\"test\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
    "  <wpt lat=\"49.195060\" lon=\"16.606837\">\n"
    "    <name>Brno, n\xC3\xA1m\xC4\x9Bst\xC3\xAD Svobody</name>\n"
    "    <cmt>Main square</cmt>\n"
    "    <desc>Central square</desc>\n"
    "  </wpt>\n"
    "  <wpt lat=\"49.210300\" lon=\"16.589000\">\n"
    "    <name>Radar@50</name>\n"
    "  </wpt>\n"
    "</gpx>\n";

TEST(GpiOutput, GpxFileBecomesAGpiFileBesideIt) {
    temp_dir dir;
    write_file(dir.file("in.gpx"), small_gpx);
    fixed_epoch epoch("1234567890");
    auto result = run_velmora({"in.gpx"}, dir.path().string());
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_NE(result.err.find("\nAutomatic output file"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("\n    imported 2 pois"), std::string::npos) << result.err;
    std::string bytes = read_file(dir.file("in_velmora.gpi"));
    EXPECT_EQ(u32_at(bytes, 16), 1234567890u);

    poiset_list list = read_gpi(bytes);
    ASSERT_EQ(list.count(), 1);
    const poiset& set = *list.poisets[0];
    EXPECT_EQ(set.name, "in");
    EXPECT_EQ(list.poisets[0]->codepage->number(), 1250);
    ASSERT_EQ(set.count(), 2);
    const waypoint* square = nullptr;
    const waypoint* radar = nullptr;
    for (const auto& w : set.waypoints) {
        if (w.name && w.name->rfind("Brno", 0) == 0) square = &w;
        if (w.name && *w.name == "Radar") radar = &w;
    }
    ASSERT_NE(square, nullptr);
    ASSERT_NE(radar, nullptr);
    // Texts in code page 1250.
    EXPECT_EQ(*square->name, "Brno, n\xE1m\xECst\xED Svobody");
    EXPECT_EQ(square->comment.value_or(""), "Main square");
    EXPECT_EQ(square->description.value_or(""), "Central square");
    EXPECT_NEAR(square->lat, 49.195060, 1e-6);
    EXPECT_NEAR(square->lon, 16.606837, 1e-6);
    EXPECT_NE(radar->flags & has_speed, 0u);
    EXPECT_EQ(radar->speed, 50.0);

    // The same input converted again, replacing the file, gives the same bytes.
    auto again = run_velmora({"in.gpx"}, dir.path().string());
    EXPECT_EQ(again.exit_code, 0) << again.err;
    EXPECT_EQ(read_file(dir.file("in_velmora.gpi")), bytes);
}

// A GPX file with every field a POI carries: an address with two street lines and a
// house number, several kinds of phone, several categories, a link, a proximity and a
// speed alert, and texts beyond ASCII that code page 1250 holds.
const char* const whole_pois_gpx =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<gpx version=\"1.1\" creator=\"test\" xmlns=\"http://www.topografix.com/GPX/1/1\" "
    "xmlns:gpxx=\"http://www.garmin.com/xmlschemas/GpxExtensions/v3\">\n"
    "<wpt lat=\"49.1951234\" lon=\"16.6068123\"><name>\xC5\xBDlut\xC3\xBD k\xC5\xAF\xC5\x88 "
    "K\xC5\x91r\xC3\xB6si</name><cmt>Pra\xC5\xBEsk\xC3\xA1 \xC4\x8D"
    "erpac\xC3\xAD</cmt>"
    "<desc>Stra\xC3\x9F"
    "e &amp; \xC5\x81\xC3\xB3"
    "d\xC5\xBA</desc>"
    "<link href=\"https://a.cz/?x=1&amp;y=2\"/><sym>Flag, Blue</sym><extensions>"
    "<gpxx:WaypointExtension><gpxx:Proximity>250</gpxx:Proximity><gpxx:Categories>"
    "<gpxx:Category>\xC3\x89tel</gpxx:Category><gpxx:Category>Sz\xC3\xA1ll\xC3\xA1s</gpxx:Category>"
    "</gpxx:Categories><gpxx:Address><gpxx:StreetAddress>N\xC3\xA1m\xC4\x9Bst\xC3\xAD 1"
    "</gpxx:StreetAddress><gpxx:StreetAddress>2. patro</gpxx:StreetAddress>"
    "<gpxx:City>Brno</gpxx:City><gpxx:State>Jihomoravsk\xC3\xBD</gpxx:State>"
    "<gpxx:Country>\xC4\x8C"
    "esko</gpxx:Country><gpxx:PostalCode>602 00</gpxx:PostalCode>"
    "<gpxx:Extensions><v:HouseNumber xmlns:v=\"urn:velmora:address:1\">12a</v:HouseNumber>"
    "</gpxx:Extensions></gpxx:Address><gpxx:PhoneNumber>+420 1</gpxx:PhoneNumber>"
    "<gpxx:PhoneNumber Category=\"Mobile\">+420 2</gpxx:PhoneNumber>"
    "<gpxx:PhoneNumber Category=\"Fax\">+420 3</gpxx:PhoneNumber>"
    "<gpxx:PhoneNumber Category=\"Email\">a@b.cz</gpxx:PhoneNumber>"
    "</gpxx:WaypointExtension></extensions></wpt>\n"
    "<wpt lat=\"-33.8688\" lon=\"151.2093\"><name>Radar@50</name><extensions>"
    "<gpxx:WaypointExtension><gpxx:Categories><gpxx:Category>Sz\xC3\xA1ll\xC3\xA1s"
    "</gpxx:Category></gpxx:Categories><gpxx:PhoneNumber Category=\"Home\">5</gpxx:PhoneNumber>"
    "</gpxx:WaypointExtension></extensions></wpt>\n"
    "<wpt lat=\"0\" lon=\"-0.5\"><name>bare</name></wpt>\n"
    "</gpx>\n";

// The waypoints of a GPX file as the GPX reader takes them.
poiset read_gpx_file(const std::string& path) {
    poiset set;
    message_capture quiet;
    gpx_read_text(read_file(path), set);
    return set;
}

// GPX -> GPI -> GPX gives back every field that a GPI file has a place for, as GPX ->
// GPX gives it: texts equal in the output code page, positions within the GPI's
// resolution.  A GPI contact record has two phone fields, so numbers of other kinds
// come back as the phone or the second phone; a symbol has no place in a GPI file.
TEST(GpiOutput, WholePoisComeBackFromGpxThroughGpiToGpx) {
    temp_dir dir;
    write_file(dir.file("in.gpx"), whole_pois_gpx);
    for (const auto& args : std::vector<std::vector<std::string>>{{"in.gpx", "-o", "direct.gpx"},
                                                                  {"in.gpx", "-o", "out.gpi"},
                                                                  {"out.gpi", "-o", "back.gpx"}}) {
        auto run = run_velmora(args, dir.path().string());
        ASSERT_EQ(run.exit_code, 0) << args[0] << run.err;
        EXPECT_FALSE(testing::contains(run.err, "Warning")) << run.err;
    }
    poiset direct = read_gpx_file(dir.file("direct.gpx"));
    poiset back = read_gpx_file(dir.file("back.gpx"));
    ASSERT_EQ(direct.count(), 3);
    ASSERT_EQ(back.count(), 3);
    auto gpi_kinds = [](std::string text) {
        for (auto [from, to] : {std::pair{"phone Mobile=", "phone Phone2="},
                                std::pair{"phone Home=", "phone PhoneNo="}}) {
            for (std::size_t at; (at = text.find(from)) != std::string::npos;)
                text.replace(at, std::string(from).size(), to);
        }
        return text;
    };
    for (const waypoint& a : direct.waypoints) {
        SCOPED_TRACE(std::string(*a.name));
        auto same = std::find_if(back.waypoints.begin(), back.waypoints.end(),
                                 [&](const waypoint& b) { return b.name == a.name; });
        ASSERT_NE(same, back.waypoints.end());
        const waypoint& b = *same;
        EXPECT_NEAR(b.lat, a.lat, 1e-6);
        EXPECT_NEAR(b.lon, a.lon, 1e-6);
        EXPECT_EQ(b.comment, a.comment);
        EXPECT_EQ(b.description, a.description);
        EXPECT_EQ(b.link, a.link);
        EXPECT_EQ(b.flags & (has_proximity | has_speed), a.flags & (has_proximity | has_speed));
        EXPECT_EQ(b.proximity, a.proximity);
        EXPECT_EQ(b.speed, a.speed);
        EXPECT_EQ(testing::details_text(back, b), gpi_kinds(testing::details_text(direct, a)));
    }
    // The first waypoint really carried every field through.
    const waypoint& first = direct.waypoints[0];
    EXPECT_EQ(testing::details_text(direct, first),
              "City=Brno\nCountry=\xC4\x8C"
              "esko\nHouseNumber=12a\nPostcode=602 00\n"
              "State=Jihomoravsk\xC3\xBD\nStreet=N\xC3\xA1m\xC4\x9Bst\xC3\xAD 1\n2. patro\n"
              "phone PhoneNo=+420 1\nphone Mobile=+420 2\nphone Fax=+420 3\nphone Email=a@b.cz\n"
              "category \xC3\x89tel\ncategory Sz\xC3\xA1ll\xC3\xA1s\n");
    EXPECT_EQ(*first.link, "https://a.cz/?x=1&y=2");
    // As written: a text with markup characters in CDATA, the speed alert's distance from
    // the name's "@50".
    const std::string back_text = read_file(dir.file("back.gpx"));
    EXPECT_TRUE(testing::contains(back_text,
                                  "<desc><![CDATA[Stra\xC3\x9F"
                                  "e & \xC5\x81\xC3\xB3"
                                  "d\xC5\xBA]]></desc>"))
        << back_text;
    EXPECT_TRUE(testing::contains(back_text, "<gpxx:Proximity>500</gpxx:Proximity>")) << back_text;

    // GPSBabel, an independent reader, finds the names, positions, address and phone.
    const char* gpsbabel = "/usr/bin/gpsbabel";
    if (!std::filesystem::exists(gpsbabel)) GTEST_SKIP() << "gpsbabel not installed";
    auto read = testing::run_program(
        gpsbabel, "gpsbabel", {"-i", "garmin_gpi", "-f", "out.gpi", "-o", "unicsv", "-F", "-"},
        dir.path().string());
    ASSERT_EQ(read.exit_code, 0) << read.err;
    for (const char* part :
         {"49.195123,16.606812,\"\xC5\xBDlut\xC3\xBD k\xC5\xAF\xC5\x88 K\xC5\x91r\xC3\xB6si\"",
          "\"https://a.cz/?x=1&y=2\"", "\"N\xC3\xA1m\xC4\x9Bst\xC3\xAD 1", "\"Brno\"", "\"602 00\"",
          "\"+420 1\"", "\"a@b.cz\"", "-33.868800,151.209300,\"Radar@50\"",
          "0.000000,-0.500000,\"bare\""}) {
        EXPECT_TRUE(testing::contains(read.out, part)) << part << "\n" << read.out;
    }
}

TEST(GpiOutput, FilesWrittenInOneSecondGetHeaderTimesASecondApartAndSaySo) {
    temp_dir dir;
    write_file(dir.file("a.gpx"), small_gpx);
    write_file(dir.file("broken.gpi"), "GRM");  // no header to read: passed over
    fixed_epoch epoch("1796724000");
    auto bikes = run_velmora({"a.gpx", "-o", "bikes.gpi"}, dir.path().string());
    ASSERT_EQ(bikes.exit_code, 0) << bikes.err;
    EXPECT_EQ(bikes.err.find("header time"), std::string::npos) << bikes.err;
    auto cars = run_velmora({"a.gpx", "-o", "cars.gpi"}, dir.path().string());
    ASSERT_EQ(cars.exit_code, 0) << cars.err;
    EXPECT_NE(cars.err.find("\n    header time 2026-12-08 10:00:01, one second after bikes.gpi"),
              std::string::npos)
        << cars.err;
    std::string first = read_file(dir.file("bikes.gpi"));
    std::string second = read_file(dir.file("cars.gpi"));
    EXPECT_EQ(u32_at(first, 16), 1796724000u);
    EXPECT_EQ(u32_at(second, 16), 1796724001u);
    EXPECT_EQ(first.substr(20), second.substr(20));

    // Replacing a file passes over its own old time: the same bytes again.
    auto again = run_velmora({"a.gpx", "-o", "cars.gpi"}, dir.path().string());
    ASSERT_EQ(again.exit_code, 0) << again.err;
    EXPECT_EQ(read_file(dir.file("cars.gpi")), second);
}

TEST(GpiOutput, ProximityTimeGivesSpeedAlertsTheDistanceOfThoseSecondsTheCommandLineWinning) {
    temp_dir dir;
    write_file(dir.file("in.csv"),
               "lon,lat,name,speed,proximity\n10,50,Radar,50,\n10.1,50.1,Fixed,50,200\n"
               "10.2,50.2,Plain,,300\n");
    struct time_case {
        std::string ini_value;  // ProximityTime= in the settings file, or empty for none
        std::string option;     // -proximity:..., or empty
        int exit_code;
        double radar;  // the speed alert's proximity; the others keep 200 and 300
    };
    const time_case cases[] = {
        {"", "", 0, 500},
        {"", "-proximity:30s", 0, 417},
        {"", "-Proximity:1", 0, 14},
        {"18", "", 0, 250},
        {"18s", "-proximity:72s", 0, 1000},
        {"none", "", 0, 500},
        {"", "-proximity:0s", 1, 0},
        {"", "-proximity:3601s", 1, 0},
        {"", "-proximity:30m", 1, 0},
        {"", "-proximity:", 1, 0},
    };
    for (const time_case& c : cases) {
        SCOPED_TRACE(c.ini_value + " " + c.option);
        std::filesystem::remove(dir.file("out.gpi"));
        write_file(
            dir.file("Velmora_gpi.ini"),
            c.ini_value.empty() ? "" : "[GpiExportSettings]\nProximityTime=" + c.ini_value + "\n");
        std::vector<std::string> args{"in.csv", "-o", "out.gpi"};
        if (!c.option.empty()) args.push_back(c.option);
        auto result = run_from(dir, args);
        EXPECT_EQ(result.exit_code, c.exit_code) << result.err;
        if (c.exit_code != 0) {
            EXPECT_NE(result.err.find("\nFatal: Invalid proximity time"), std::string::npos)
                << result.err;
            EXPECT_EQ(result.err.find("Importing"), std::string::npos) << result.err;
            EXPECT_FALSE(testing::file_exists(dir.file("out.gpi")));
            continue;
        }
        poiset_list list = read_gpi(read_file(dir.file("out.gpi")));
        ASSERT_EQ(list.poisets.size(), 1u);
        const poiset& set = *list.poisets.front();
        ASSERT_EQ(set.waypoints.size(), 3u);
        for (const waypoint& w : set.waypoints) {
            std::string_view name = w.name.value_or_empty();
            double expected = name == "Radar" ? c.radar : name == "Fixed" ? 200 : 300;
            EXPECT_EQ(w.proximity, expected) << name;
        }
    }
}

}  // namespace
}  // namespace velmora
