#include <gtest/gtest.h>

#include <cstdio>
#include <iterator>
#include <map>
#include <memory>
#include <string>

#include "platform/messages.hpp"
#include "speedcam/speedcam_import.hpp"
#include "support/test_support.hpp"

namespace velmora {
namespace {

const std::string header = "X,Y,TYPE,SPEED,DIRTYPE,DIRECTION\n";

struct import_run {
    bool result = false;
    poiset set;
    std::string messages;
};

std::unique_ptr<import_run> import_file(const std::string& path, const speedcam_settings* settings,
                                        speedcam_naming naming, const split_policy& split = {}) {
    auto run = std::make_unique<import_run>();
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        ADD_FAILURE() << "cannot open " << path;
        return run;
    }
    message_capture capture;
    run->result = import_speedcam_text(file, settings, run->set, naming, split);
    run->messages = capture.text();
    std::fclose(file);
    return run;
}

std::unique_ptr<import_run> import_text(const std::string& content,
                                        const speedcam_settings& settings,
                                        speedcam_naming naming = speedcam_naming::gpi,
                                        const split_policy& split = {}) {
    testing::temp_dir dir;
    std::string path = dir.file("cams.txt");
    testing::write_file(path, content);
    return import_file(path, &settings, naming, split);
}

// Decodes code page 1250 bytes for comparison with a Unicode text.
std::u16string from_cp1250(std::string_view bytes) {
    auto cp = code_page::create(1250);
    std::u16string text;
    for (char c : bytes) text.push_back(cp->decode(static_cast<unsigned char>(c)));
    return text;
}

TEST(SpeedcamImport, ImportsNothingWithoutSettingsOrFile) {
    testing::temp_dir dir;
    std::string path = dir.file("cams.txt");
    testing::write_file(path, header + "19,47,1,50,0,0\n");
    std::FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    poiset set;
    message_capture capture;
    EXPECT_FALSE(import_speedcam_text(file, nullptr, set, speedcam_naming::gpi));
    EXPECT_EQ(std::ftell(file), 0);  // nothing was read
    std::fclose(file);
    speedcam_settings settings;
    EXPECT_FALSE(import_speedcam_text(nullptr, &settings, set, speedcam_naming::gpi));
    EXPECT_EQ(set.count(), 0);
    EXPECT_EQ(capture.text(), "");
}

TEST(SpeedcamImport, SkipsLinesWhosePositionIsNoNumberOrOffTheEarth) {
    speedcam_settings settings;
    auto r = import_text(header +
                             "190,47,1,50,0,0\n19,150,1,50,0,0\n\"19.1\",47,1,50,0,0\n"
                             "19,abc,1,50,0,0\n,47,1,50,0,0\n19.5x,47,1,50,0,0\n"
                             "-180,-90,1,50,0,0\n",
                         settings);
    ASSERT_EQ(r->set.count(), 1);
    EXPECT_EQ(r->set.waypoints[0].lat, -90.0);
    EXPECT_EQ(r->set.waypoints[0].lon, -180.0);
    std::string expected;
    const char* bad[][2] = {{"190", "47"}, {"19", "150"}, {"\"19.1\"", "47"},
                            {"19", "abc"}, {"", "47"},    {"19.5x", "47"}};
    for (int i = 0; i < 6; ++i) {
        expected += "\nWarning: Speedcam line " + std::to_string(i + 2) +
                    " has an invalid position (X=\"" + bad[i][0] + "\" Y=\"" + bad[i][1] +
                    "\"), skipped";
    }
    EXPECT_EQ(r->messages, expected);
}

TEST(SpeedcamImport, MakesAnAlertWaypointOfEveryCamera) {
    speedcam_settings settings;
    auto r =
        import_text(header + "19.040236,47.497913,1,50,0,0\n-0.5,-33.25,5,130,1,90\n", settings);
    ASSERT_TRUE(r->result);
    EXPECT_EQ(r->messages, "");
    EXPECT_FALSE(r->set.is_utf8);
    ASSERT_TRUE(r->set.codepage.has_value());
    EXPECT_EQ(r->set.codepage->number(), 1250);
    ASSERT_EQ(r->set.count(), 2);

    const waypoint& first = r->set.waypoints[0];
    EXPECT_EQ(first.flags, has_position | has_proximity | has_speed);
    EXPECT_EQ(first.lat, 47.497913);
    EXPECT_EQ(first.lon, 19.040236);
    EXPECT_EQ(first.speed, 50.0);
    EXPECT_EQ(first.proximity, 500.0);
    EXPECT_EQ(first.name, "Sebess\xE9gm\xE9r\xE9s");
    EXPECT_EQ(first.symbol, "Speed_50");
    EXPECT_EQ(first.comment, "Sebess\xE9gm\xE9r\xE9s@50");
    EXPECT_FALSE(first.description.has_value());

    const waypoint& second = r->set.waypoints[1];
    EXPECT_EQ(second.lat, -33.25);
    EXPECT_EQ(second.lon, -0.5);
    EXPECT_EQ(second.speed, 130.0);
    EXPECT_EQ(second.proximity, 1300.0);
    EXPECT_EQ(second.name, "Mobil kamera");
    EXPECT_EQ(second.symbol, "Speed_130");
}

TEST(SpeedcamImport, NamesAndSymbolsFollowTheOutputFormat) {
    speedcam_settings settings;
    const std::string list = header + "19,47,5,70,0,0\n19,47,7,30,0,0\n";

    auto gpi = import_text(list, settings, speedcam_naming::gpi);
    ASSERT_EQ(gpi->set.count(), 2);
    EXPECT_EQ(gpi->set.waypoints[1].name, "M\xE9r\xF5hely");
    EXPECT_EQ(gpi->set.waypoints[1].symbol, "Speed_30");

    auto gpx = import_text(list, settings, speedcam_naming::gpx);
    ASSERT_EQ(gpx->set.count(), 2);
    EXPECT_EQ(gpx->set.waypoints[0].name, "Mobil kamera #2");
    EXPECT_EQ(gpx->set.waypoints[0].symbol, "Tall Tower");
    EXPECT_EQ(gpx->set.waypoints[1].name, "M\xE9r\xF5hely #3");
    EXPECT_EQ(gpx->set.waypoints[1].symbol, "Car");
    EXPECT_EQ(gpx->set.waypoints[1].comment, "M\xE9r\xF5hely@30");

    auto other = import_text(list, settings, speedcam_naming::none);
    ASSERT_EQ(other->set.count(), 2);
    EXPECT_FALSE(other->set.waypoints[0].name.has_value());
    EXPECT_FALSE(other->set.waypoints[0].symbol.has_value());
    EXPECT_EQ(other->set.waypoints[0].comment, "Mobil kamera@70");
}

TEST(SpeedcamImport, TypeNamesAreCodePage1250AndSymbolsFollowTheTable) {
    const std::u16string names[] = {u"Egyéb mérés",      u"Sebességmérés", u"Beépített cam.",
                                    u"Piros lámpa érz.", u"Átl.seb.mérés", u"Mobil kamera",
                                    u"Vasúti átjáró",    u"Mérőhely"};
    const char* symbols[] = {"Flag, Red",   "Flag, Red",  "Scenic Area", "Navaid, Red",
                             "Scenic Area", "Tall Tower", "Wrecker",     "Car"};
    for (int t = 0; t < speedcam_type_count; ++t) {
        EXPECT_TRUE(from_cp1250(speedcam_type_name(t)) == names[t]) << t;
        EXPECT_EQ(speedcam_gpx_symbol(t), symbols[t]) << t;
    }
    speedcam_settings settings;
    std::string list = header;
    for (int t = 0; t < speedcam_type_count; ++t)
        list += "19,47," + std::to_string(t) + ",50,0,0\n";
    auto r = import_text(list, settings, speedcam_naming::gpx);
    ASSERT_EQ(r->set.count(), speedcam_type_count);
    for (int t = 0; t < speedcam_type_count; ++t) {
        const waypoint& w = r->set.waypoints[static_cast<std::size_t>(t)];
        EXPECT_EQ(w.name, std::string(speedcam_type_name(t)) + " #" + std::to_string(t + 2));
        EXPECT_EQ(w.symbol, symbols[t]);
    }
}

TEST(SpeedcamImport, TypesOutOfRangeBecomeTypeZero) {
    speedcam_settings settings;
    auto r = import_text(header +
                             "19,47,9,50,0,0\n19,47,-1,50,0,0\n19,47,8,50,0,0\n"
                             "19,47,abc,50,0,0\n19,47,99999999999,50,0,0\n19,47,7.9,50,0,0\n",
                         settings);
    ASSERT_EQ(r->set.count(), 6);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(r->set.waypoints[static_cast<std::size_t>(i)].name, speedcam_type_name(0)) << i;
    }
    EXPECT_EQ(r->set.waypoints[5].name, speedcam_type_name(7));
}

TEST(SpeedcamImport, HeaderNamesColumnsInAnyOrderAndCase) {
    speedcam_settings settings;
    auto lower = import_text("x,y,type,speed,dirtype,direction\n19.5,47.25,2,60,0,0\n", settings);
    ASSERT_TRUE(lower->result);
    EXPECT_EQ(lower->messages, "");
    ASSERT_EQ(lower->set.count(), 1);
    EXPECT_EQ(lower->set.waypoints[0].lon, 19.5);
    EXPECT_EQ(lower->set.waypoints[0].lat, 47.25);

    auto shuffled =
        import_text("Speed,DIRECTION,y,Type,DirType,X\n60,0,47.25,3,1,19.5\n", settings);
    ASSERT_EQ(shuffled->set.count(), 1);
    EXPECT_EQ(shuffled->set.waypoints[0].lon, 19.5);
    EXPECT_EQ(shuffled->set.waypoints[0].lat, 47.25);
    EXPECT_EQ(shuffled->set.waypoints[0].speed, 60.0);
    EXPECT_EQ(shuffled->set.waypoints[0].name, speedcam_type_name(3));

    // A repeated name: the last column of that name counts.
    auto repeated = import_text("X,Y,TYPE,SPEED,DIRTYPE,DIRECTION,X\n1,47,1,50,0,0,19\n", settings);
    ASSERT_EQ(repeated->set.count(), 1);
    EXPECT_EQ(repeated->set.waypoints[0].lon, 19.0);
    EXPECT_EQ(repeated->messages, "");
}

TEST(SpeedcamImport, MissingColumnRefusesTheList) {
    speedcam_settings settings;
    auto r = import_text("X,Y,TYPE,SPEED,DIRTYPE\n19,47,1,50,0\n19,47,1,50,0\n", settings);
    EXPECT_FALSE(r->result);
    EXPECT_EQ(r->set.count(), 0);
    EXPECT_EQ(r->messages, "\nError: Undefined speedcam column name(s) in speedcam file!");

    // Names are not trimmed: " Y" is no column name.
    auto blank = import_text("X, Y,TYPE,SPEED,DIRTYPE,DIRECTION\n19, 47,1,50,0,0\n", settings);
    EXPECT_EQ(blank->set.count(), 0);
    EXPECT_EQ(blank->messages,
              "\nWarning: Unexpected speedcam column name in speedcam file!"
              "\nError: Undefined speedcam column name(s) in speedcam file!");
}

TEST(SpeedcamImport, ExtraColumnWarnsOnceAndImportsNormally) {
    speedcam_settings settings;
    auto r = import_text(
        "NAME,X,Y,TYPE,SPEED,DIRTYPE,DIRECTION\nfirst,19,47,1,50,0,0\n"
        "second,20,48,2,60,0,0\n",
        settings);
    EXPECT_EQ(r->messages, "\nWarning: Unexpected speedcam column name in speedcam file!");
    ASSERT_EQ(r->set.count(), 2);
    EXPECT_EQ(r->set.waypoints[1].lon, 20.0);
    EXPECT_EQ(r->set.waypoints[1].symbol, "Speed_60");
}

TEST(SpeedcamImport, DifferentSpeedAlarmAndProximityFactorShapeTheAlerts) {
    speedcam_settings settings;
    const std::string list = header + "19,47,1,50,0,0\n";

    auto plain = import_text(list, settings);
    ASSERT_EQ(plain->set.count(), 1);
    EXPECT_EQ(plain->set.waypoints[0].speed, 50.0);
    EXPECT_EQ(plain->set.waypoints[0].proximity, 500.0);

    settings.proximity_factor = 0.5;
    auto half = import_text(list, settings);
    ASSERT_EQ(half->set.count(), 1);
    EXPECT_EQ(half->set.waypoints[0].speed, 50.0);
    EXPECT_EQ(half->set.waypoints[0].proximity, 250.0);

    settings.proximity_factor = 1.0;
    settings.different_speed_alarm = 1;
    settings.alarm_speeds[4] = *speed_from_value("+10%", 50);
    auto raised = import_text(list, settings);
    ASSERT_EQ(raised->set.count(), 1);
    const waypoint& w = raised->set.waypoints[0];
    EXPECT_EQ(w.speed, 55.0);
    EXPECT_EQ(w.proximity, 550.0);
    EXPECT_EQ(w.symbol, "Speed_50");
    EXPECT_EQ(w.comment, "Sebess\xE9gm\xE9r\xE9s@50");
}

TEST(SpeedcamImport, SpeedTextIsKeptAsWrittenAndReadForItsNumber) {
    speedcam_settings settings;
    std::string long_speed = "60" + std::string(60, 'k');
    auto r = import_text(header + "19,47,1,50kmh,0,0\n19,47,1,,0,0\n19,47,1," + long_speed +
                             ",0,0\n19,47,1,-20,0,0\n",
                         settings);
    ASSERT_EQ(r->set.count(), 4);
    EXPECT_EQ(r->set.waypoints[0].speed, 50.0);
    EXPECT_EQ(r->set.waypoints[0].symbol, "Speed_50kmh");
    EXPECT_EQ(r->set.waypoints[1].speed, 0.0);
    EXPECT_EQ(r->set.waypoints[1].proximity, 0.0);
    EXPECT_EQ(r->set.waypoints[1].symbol, "Speed_");
    EXPECT_EQ(r->set.waypoints[1].comment, "Sebess\xE9gm\xE9r\xE9s@");
    EXPECT_EQ(r->set.waypoints[2].speed, 60.0);
    EXPECT_EQ(r->set.waypoints[2].symbol, "Speed_" + long_speed);
    EXPECT_EQ(r->set.waypoints[3].speed, -20.0);
}

TEST(SpeedcamImport, LineEndsAndTheLastLineWithoutLineFeed) {
    speedcam_settings settings;
    auto crlf = import_text("X,Y,TYPE,SPEED,DIRTYPE,DIRECTION\r\n19,47,1,50,0,0\r\n20,48,1,60,0,0",
                            settings);
    EXPECT_EQ(crlf->messages, "");
    ASSERT_EQ(crlf->set.count(), 2);
    EXPECT_EQ(crlf->set.waypoints[0].symbol, "Speed_50");
    EXPECT_EQ(crlf->set.waypoints[1].symbol, "Speed_60");
    EXPECT_EQ(crlf->set.waypoints[1].lat, 48.0);

    auto header_only = import_text("X,Y,TYPE,SPEED,DIRTYPE,DIRECTION", settings);
    EXPECT_TRUE(header_only->result);
    EXPECT_EQ(header_only->set.count(), 0);
    EXPECT_EQ(header_only->messages, "");

    auto empty = import_text("", settings);
    EXPECT_TRUE(empty->result);
    EXPECT_EQ(empty->set.count(), 0);
    EXPECT_EQ(empty->messages, "");
}

TEST(SpeedcamImport, RectangleFilterDropsCamerasOutsideSilently) {
    speedcam_settings settings;
    settings.region_filter = 1;
    settings.region_min_lat = 46;
    settings.region_max_lat = 48;
    settings.region_min_lon = 18;
    settings.region_max_lon = 20;
    auto r = import_text(header +
                             "19,47,1,10,0,0\n"  // inside
                             "18,46,1,20,0,0\n"  // on the south-west corner
                             "20,48,1,30,0,0\n"  // on the north-east corner
                             "17.99,47,1,40,0,0\n"
                             "19,48.01,1,50,0,0\n"
                             "21,47,1,60,0,0\n"
                             "19,45,1,70,0,0\n",
                         settings, speedcam_naming::gpx);
    EXPECT_EQ(r->messages, "");
    ASSERT_EQ(r->set.count(), 3);
    EXPECT_EQ(r->set.waypoints[0].symbol, "Flag, Red");
    EXPECT_EQ(r->set.waypoints[1].speed, 20.0);
    EXPECT_EQ(r->set.waypoints[2].speed, 30.0);
    // The line number in the name is the line's own, not the count of imported cameras.
    EXPECT_EQ(r->set.waypoints[2].name, std::string(speedcam_type_name(1)) + " #4");
}

TEST(SpeedcamImport, LinesWithTooFewFieldsAreSkippedWithAWarning) {
    speedcam_settings settings;
    auto r = import_text(
        "X,Y,TYPE,SPEED,DIRTYPE,DIRECTION\n"
        "19,47,1,50,0\n"  // line 2: DIRECTION missing
        "\n"              // line 3: empty
        "20,48,1,60,0,0\n"
        "21\r\n",  // line 5
        settings);
    EXPECT_TRUE(r->result);
    ASSERT_EQ(r->set.count(), 1);
    EXPECT_EQ(r->set.waypoints[0].lon, 20.0);
    EXPECT_EQ(
        r->messages,
        "\nWarning: Speedcam line 2 has fewer fields than the header, skipped: \"19,47,1,50,0\""
        "\nWarning: Speedcam line 3 has fewer fields than the header, skipped: \"\""
        "\nWarning: Speedcam line 5 has fewer fields than the header, skipped: \"21\"");

    // With the columns further right, the count needed follows the header.
    auto wide = import_text(
        "IDX,DIRECTION,DIRTYPE,SPEED,TYPE,Y,X\n1,0,0,50,1,47\n2,0,0,50,1,47,19\n", settings);
    ASSERT_EQ(wide->set.count(), 1);
    EXPECT_EQ(wide->set.waypoints[0].lon, 19.0);
}

TEST(SpeedcamImport, OverlongLinesAreReadInPieces) {
    speedcam_settings settings;
    // 1031 bytes: the first 1022 make a camera line whose DIRECTION field is cut, the
    // rest is a line of its own with too few fields.
    std::string line = "19,47,1,50,0," + std::string(1017, '0') + "\n";
    auto r = import_text(header + line + "20,48,1,60,0,0\n", settings);
    ASSERT_EQ(r->set.count(), 2);
    EXPECT_EQ(r->set.waypoints[1].lon, 20.0);
    EXPECT_EQ(r->messages,
              "\nWarning: Speedcam line 3 has fewer fields than the header, skipped: \"00000000\"");
}

TEST(SpeedcamImport, AZeroByteEndsTheLine) {
    speedcam_settings settings;
    auto r = import_text(header + std::string("19,47,1,50,0,0\0,extra\n", 22) +
                             std::string("19,47,1,5\0"
                                         "0,0,0\n",
                                         16),
                         settings);
    ASSERT_EQ(r->set.count(), 1);
    EXPECT_EQ(r->set.waypoints[0].comment->find('\0'), std::string::npos);
    EXPECT_EQ(r->set.waypoints[0].symbol, "Speed_50");
    EXPECT_EQ(
        r->messages,
        "\nWarning: Speedcam line 3 has fewer fields than the header, skipped: \"19,47,1,5\"");
}

TEST(SpeedcamImport, ReadErrorRefusesTheList) {
    testing::temp_dir dir;
    speedcam_settings settings;
    auto r = import_file(dir.path().string(), &settings, speedcam_naming::gpi);  // a directory
    EXPECT_FALSE(r->result);
    EXPECT_EQ(r->set.count(), 0);
    EXPECT_EQ(r->messages,
              "\nError: Reading the txt file failed after 0 bytes; nothing imported. (Is a "
              "directory)");
}

// What an import made, field by field, and what it said.
std::string description_of(const import_run& r) {
    std::string out = r.messages + "\n--\n";
    char position[64];
    for (const waypoint& w : r.set.waypoints) {
        std::snprintf(position, sizeof position, "%.9g %.9g %g %g %x|", w.lat, w.lon, w.speed,
                      w.proximity, static_cast<unsigned>(w.flags));
        out.append(position)
            .append(w.name.value_or("-"))
            .append("|")
            .append(w.symbol.value_or("-"))
            .append("|")
            .append(w.comment.value_or("-"))
            .append("\n");
    }
    return out;
}

std::unique_ptr<import_run> import_in_memory(const std::string& content,
                                             const speedcam_settings& settings,
                                             speedcam_naming naming, std::size_t parallel_from) {
    auto run = std::make_unique<import_run>();
    message_capture capture;
    import_speedcam_list(content, settings, run->set, naming, parallel_from);
    run->result = true;
    run->messages = capture.text();
    return run;
}

TEST(SpeedcamImport, ListsReadInTwoHalvesGiveWhatOneReadingGives) {
    // Good and bad lines (no position, too few fields, a cut or overlong line, a zero
    // byte, carriage returns) on both sides of the middle, where the second half begins.
    std::string lines;
    for (int i = 0; i < 400; ++i) {
        switch (i % 9) {
            case 0:
                lines += "19." + std::to_string(i) + ",47.5,1,50,0,0\n";
                break;
            case 1:
                lines += "x" + std::to_string(i) + ",47,2,60,0,0\r\n";
                break;
            case 2:
                lines += "20,48," + std::to_string(i % 8) + ",7" + std::to_string(i) + "\n";
                break;
            case 3:
                lines +=
                    "21,46,3,90,0,0," + std::string(static_cast<std::size_t>(i) * 7, 'w') + "\n";
                break;
            case 4:
                lines += std::string(
                    "22,45,4,1\0"
                    "00,0,0\n",
                    16);
                break;
            case 5:
                lines += "\n";
                break;
            default:
                lines +=
                    "-17.25,-33." + std::to_string(i) + ",5,1" + std::to_string(i % 4) + "0,1,90\n";
        }
    }
    const std::string cases[] = {
        header + lines,
        header + lines + "23,44,7,30,0,0",  // no line feed at the end
        header + std::string(3000, 'y') + "\n" + lines,
        header + lines.substr(0, lines.size() / 2) + std::string(5000, 'z') + "\n" +
            lines.substr(lines.size() / 2),
        "X,Y,TYPE\n" + lines,             // the header stops the import
        header + std::string(9000, 'v'),  // no line feed after the middle
    };
    speedcam_settings settings;
    settings.region_filter = 1;
    settings.region_min_lat = -40;
    settings.region_max_lat = 47.9;
    settings.region_min_lon = -180;
    settings.region_max_lon = 180;
    for (speedcam_naming ext : {speedcam_naming::gpi, speedcam_naming::gpx}) {
        for (std::size_t c = 0; c < std::size(cases); ++c) {
            std::string one_thread = description_of(*import_text(cases[c], settings, ext));
            for (std::size_t parallel_from : {std::size_t{1}, cases[c].size() / 2}) {
                EXPECT_EQ(description_of(*import_in_memory(cases[c], settings, ext, parallel_from)),
                          one_thread)
                    << static_cast<int>(ext) << " case " << c << " from " << parallel_from;
            }
        }
    }
}

TEST(SpeedcamImport, ListJustAboveTheSizeForTwoThreadsReadsAsOne) {
    constexpr split_policy split{1024};
    const std::size_t parallel_from = split.bytes_from(speedcam_bytes_per_camera);
    std::string list = header;
    for (long long i = 0; list.size() <= parallel_from + 64; ++i) {
        list += i % 50000 == 7
                    ? "bad,47,1,50,0,0\n"
                    : "19." + std::to_string(i % 1000) + ",47." + std::to_string(i) + ",3,70,0,0\n";
    }
    speedcam_settings settings;
    std::string one_thread =
        description_of(*import_in_memory(list, settings, speedcam_naming::gpx, std::size_t(-1)));
    EXPECT_NE(one_thread.substr(0, 2), "\n-");  // there are messages
    EXPECT_EQ(
        description_of(*import_in_memory(list, settings, speedcam_naming::gpx, parallel_from)),
        one_thread);
    // A file of that size is read whole, its pages given back as it is read.
    EXPECT_EQ(description_of(*import_text(list, settings, speedcam_naming::gpx, split)),
              one_thread);
}

TEST(SpeedcamImport, RealRussianListImportsEveryCameraAsTypeZero) {
    VELMORA_REQUIRE_REAL(path, "speedcam/SpeedCamOnline.ru_2019-11-05_PRIMO_Rus.txt");
    speedcam_settings settings;
    auto r = import_file(path, &settings, speedcam_naming::gpi);
    ASSERT_TRUE(r->result);
    // The IDX column is the only unexpected one.
    EXPECT_EQ(r->messages, "\nWarning: Unexpected speedcam column name in speedcam file!");
    ASSERT_EQ(r->set.count(), 25325);
    std::map<double, int> speeds;
    for (const auto& w : r->set.waypoints) {
        ASSERT_EQ(w.name, speedcam_type_name(0));
        ASSERT_GE(w.lon, 19.9);
        ASSERT_LE(w.lon, 158.7);
        ASSERT_GE(w.lat, 42.0);
        ASSERT_LE(w.lat, 69.6);
        ASSERT_EQ(w.proximity, w.speed * 10.0);
        ++speeds[w.speed];
    }
    EXPECT_EQ(speeds[0.0], 867);
    EXPECT_EQ(speeds.begin()->first, 0.0);
    EXPECT_EQ(speeds.rbegin()->first, 130.0);
    const waypoint& first = r->set.waypoints[0];
    EXPECT_EQ(first.lon, 39.0747753);
    EXPECT_EQ(first.lat, 51.7134321);
    EXPECT_EQ(first.symbol, "Speed_40");

    // Only the cameras west of 100 degrees east remain with a rectangle.
    settings.region_filter = 1;
    settings.region_max_lon = 100.0;
    auto west = import_file(path, &settings, speedcam_naming::gpi);
    EXPECT_EQ(west->set.count(), 23898);
    for (const auto& w : west->set.waypoints) ASSERT_LE(w.lon, 100.0);
}

}  // namespace
}  // namespace velmora
