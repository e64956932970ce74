#include <gtest/gtest.h>

#include <climits>

#include "platform/messages.hpp"
#include "speedcam/speedcam_settings.hpp"
#include "support/test_support.hpp"

namespace velmora {
namespace {

// Reads a settings file with the given content, collecting the messages.
struct read_result {
    std::unique_ptr<speedcam_settings> settings;
    std::string messages;
    std::string path;
};

read_result read_settings_text(const testing::temp_dir& dir, const std::string& content) {
    read_result result;
    result.path = dir.file("Velmora_speedcam.ini");
    testing::write_file(result.path, content);
    message_capture capture;
    result.settings = read_speedcam_settings(result.path);
    result.messages = capture.text();
    return result;
}

void expect_default_settings(const speedcam_settings& s) {
    EXPECT_EQ(s.different_speed_alarm, 0);
    for (int band = 0; band < speed_band_count; ++band) {
        EXPECT_EQ(s.alarm_speeds[static_cast<std::size_t>(band)], 10.0 * (band + 1)) << band;
    }
    EXPECT_EQ(s.proximity_factor, 1.0);
    EXPECT_EQ(s.region_filter, 0);
    EXPECT_EQ(s.region_max_lat, 200.0);
    EXPECT_EQ(s.region_max_lon, 200.0);
    EXPECT_EQ(s.region_min_lat, -200.0);
    EXPECT_EQ(s.region_min_lon, -200.0);
}

TEST(SpeedcamSettingsFile, EmptyFileGivesTheDefaultsWithoutAnyMessage) {
    testing::temp_dir dir;
    auto r = read_settings_text(dir, "");
    ASSERT_NE(r.settings, nullptr);
    expect_default_settings(*r.settings);
    EXPECT_EQ(r.messages, "");

    // Comments, blank lines and known sections without keys change nothing either.
    auto commented = read_settings_text(
        dir, "; comment\n\n   \t\n[SpeedcamConversion] ; trailing\r\n[speedcamfilter]\n");
    ASSERT_NE(commented.settings, nullptr);
    expect_default_settings(*commented.settings);
    EXPECT_EQ(commented.messages, "");
}

TEST(SpeedcamSettingsFile, MissingFileGivesNoSettingsAndTheOpenError) {
    testing::temp_dir dir;
    std::string path = dir.file("absent.ini");
    message_capture capture;
    EXPECT_EQ(read_speedcam_settings(path), nullptr);
    EXPECT_EQ(capture.text(),
              "\nError: Cant't open speedcam inin file (" + path + ") (No such file or directory)");

    capture.clear();
    EXPECT_EQ(load_speedcam_settings(dir.path().string() + "/"), nullptr);
    EXPECT_EQ(capture.text(), "\nError: Cant't open speedcam inin file (" +
                                  dir.file("Velmora_speedcam.ini") +
                                  ") (No such file or directory)");
}

TEST(SpeedcamSettingsFile, LoadsTheFileBesideTheProgram) {
    testing::temp_dir dir;
    testing::write_file(dir.file("Velmora_speedcam.ini"),
                        "[SpeedcamConversion]\nDifferentSpeedAlarm=1\n");
    auto settings = load_speedcam_settings(dir.path().string() + "/");
    ASSERT_NE(settings, nullptr);
    EXPECT_EQ(settings->different_speed_alarm, 1);
}

TEST(SpeedcamSettingsFile, AlarmAtKeysSetTheirBandByTheSpeedRule) {
    testing::temp_dir dir;
    auto r = read_settings_text(dir,
                                "[SpeedcamConversion]\n"
                                "AlarmAt130+=+5\n"   // band 13, nominal 130
                                "AlarmAt0=20\n"      // band 0
                                "AlarmAt50=\n"       // band 4, empty value
                                "alarmat55=110%\n"   // band 5, nominal 60
                                "ALARMAT120=+10%\n"  // band 11, nominal 120
                                "AlarmAt-15=+5\n");  // negative band: nominal 10, band 0
    ASSERT_NE(r.settings, nullptr);
    EXPECT_EQ(r.messages, "");
    const auto& speeds = r.settings->alarm_speeds;
    EXPECT_EQ(speeds[13], 135.0);
    EXPECT_EQ(speeds[0], 15.0);  // AlarmAt-15 came after AlarmAt0
    EXPECT_EQ(speeds[4], 0.0);
    EXPECT_EQ(speeds[5], 66.0);
    EXPECT_EQ(speeds[11], 132.0);
    EXPECT_EQ(speeds[1], 20.0);  // untouched
    EXPECT_EQ(speeds[12], 130.0);

    auto clamped = read_settings_text(dir, "[SpeedcamConversion]\nAlarmAt150=+5\nAlarmAt0=20\n");
    ASSERT_NE(clamped.settings, nullptr);
    EXPECT_EQ(clamped.settings->alarm_speeds[13], 135.0);
    EXPECT_EQ(clamped.settings->alarm_speeds[0], 20.0);

    // A label that is no whole number, or an absurd one, changes nothing.
    auto odd = read_settings_text(dir,
                                  "[SpeedcamConversion]\nAlarmAtX=30\n"
                                  "AlarmAt-99999999999999999999=+1\n"
                                  "AlarmAt99999999999999999999=+1\n");
    ASSERT_NE(odd.settings, nullptr);
    EXPECT_EQ(odd.settings->alarm_speeds[0], 10.0);
    EXPECT_EQ(odd.settings->alarm_speeds[13], 140.0);
}

TEST(SpeedcamSettingsFile, DifferentSpeedAlarmIsOnOnlyWhenTheValueStartsWithOne) {
    testing::temp_dir dir;
    struct {
        const char* value;
        int expected;
    } cases[] = {{"1", 1}, {"1 yes", 1}, {"0", 0}, {"", 0}, {"yes", 0}, {" 1", 0}, {"2", 0}};
    for (const auto& c : cases) {
        auto r = read_settings_text(dir, std::string("[SpeedcamConversion]\nDifferentSpeedAlarm=1\n"
                                                     "DifferentSpeedAlarm=") +
                                             c.value + "\n");
        ASSERT_NE(r.settings, nullptr);
        EXPECT_EQ(r.settings->different_speed_alarm, c.expected) << c.value;
    }
}

TEST(SpeedcamSettingsFile, ProximityTakesTheFactorRule) {
    testing::temp_dir dir;
    auto empty = read_settings_text(dir, "[SpeedcamConversion]\nProximity=2\nProximity=\n");
    ASSERT_NE(empty.settings, nullptr);
    EXPECT_EQ(empty.settings->proximity_factor, 1.0);
    auto zero = read_settings_text(dir, "[SpeedcamConversion]\nProximity=0");
    ASSERT_NE(zero.settings, nullptr);
    EXPECT_EQ(zero.settings->proximity_factor, 0.0);
    auto percent = read_settings_text(dir, "[SpeedcamConversion]\nProximity=1,5%");
    ASSERT_NE(percent.settings, nullptr);
    EXPECT_DOUBLE_EQ(percent.settings->proximity_factor, 0.015);
}

TEST(SpeedcamSettingsFile, SectionsDecideWhichKeysCount) {
    testing::temp_dir dir;
    auto r = read_settings_text(dir,
                                "DifferentSpeedAlarm=1\n"           // 1: before any section
                                "[SpeedcamFilter] trailing text\n"  // 2
                                "Proximity=50%\n"                   // 3: wrong section
                                "[Other]\n"                         // 4
                                "Anything=1\n"                      // 5: ignored silently
                                "[SpeedcamConversion\n"             // 6: no closing bracket
                                "DifferentSpeedAlarm=1\n"           // 7: ignored silently
                                "[speedcamCONVERSION]\n"            // 8
                                "FilterByRegionRect=1\n"            // 9: wrong section
                                "Proximity = 50%\n"                 // 10: the key ends in a blank
                                "=5\n"                              // 11: empty key
                                "Proximity\n");                     // 12: no value
    ASSERT_NE(r.settings, nullptr);
    const std::string& p = r.path;
    EXPECT_EQ(r.messages,
              "\nWarning: Unexpected parameter Proximity in " + p + " speedcam ini file line 3!" +
                  "\nWarning: Unexpected section name [Other] found in " + p +
                  " speedcam ini file line 4!" +
                  "\nWarning: Unexpected section name [SpeedcamConversion found in " + p +
                  " speedcam ini file line 6!" + "\nWarning: Unexpected value=parameter in " + p +
                  " speedcam ini file at line 9" + "\nWarning: Unexpected value=parameter in " + p +
                  " speedcam ini file at line 10" + "\nWarning: Unexpected value=parameter in " +
                  p + " speedcam ini file at line 11");
    EXPECT_EQ(r.settings->different_speed_alarm, 0);
    EXPECT_EQ(r.settings->region_filter, 0);
    // "Proximity" without "=" has the empty value: the default factor.
    EXPECT_EQ(r.settings->proximity_factor, 1.0);
}

TEST(SpeedcamSettingsFile, OverlongLinesAreReadInPiecesAndCounted) {
    testing::temp_dir dir;
    // The comment line is 1030 bytes long: its last 8 bytes come as line 3, a key.
    std::string comment = ";" + std::string(1021, 'c') + "Tail=1a\n";
    auto r = read_settings_text(dir, "[SpeedcamConversion]\n" + comment + "Proximity=2\n");
    ASSERT_NE(r.settings, nullptr);
    EXPECT_EQ(r.messages, "\nWarning: Unexpected value=parameter in " + r.path +
                              " speedcam ini file at line 3");
    EXPECT_EQ(r.settings->proximity_factor, 2.0);
}

TEST(SpeedcamSettingsFile, ReadErrorStopsReadingButKeepsTheSettings) {
    testing::temp_dir dir;
    // A directory opens, but reading from it fails.
    message_capture capture;
    auto settings = read_speedcam_settings(dir.path().string());
    ASSERT_NE(settings, nullptr);
    expect_default_settings(*settings);
    EXPECT_EQ(capture.text(), "\nError: read error at line 1 while reading " + dir.path().string() +
                                  ". (Is a directory)");
}

TEST(SpeedcamSettingsFile, RectangleCornersCountOnlyAfterFilterByRegionRect) {
    testing::temp_dir dir;
    const std::string corners =
        "RegionRectMaxLat=48.5\nRegionRectMinLat=45.5\nRegionRectMaxLon=23\nRegionRectMinLon=16\n";

    auto after = read_settings_text(dir, "[SpeedcamFilter]\n" + corners + "FilterByRegionRect=1\n");
    ASSERT_NE(after.settings, nullptr);
    EXPECT_EQ(after.settings->region_filter, 1);
    EXPECT_EQ(after.settings->region_max_lat, 200.0);
    EXPECT_EQ(after.settings->region_min_lon, -200.0);
    EXPECT_EQ(after.messages,
              "\nSpeedcam filter rect: N200 0.000 E200 0.000 - S-200 0.000 W-200 0.000 ");

    auto before = read_settings_text(dir, "[SpeedcamFilter]\nFilterByRegionRect=1\n" + corners);
    ASSERT_NE(before.settings, nullptr);
    EXPECT_EQ(before.settings->region_max_lat, 48.5);
    EXPECT_EQ(before.settings->region_min_lat, 45.5);
    EXPECT_EQ(before.settings->region_max_lon, 23.0);
    EXPECT_EQ(before.settings->region_min_lon, 16.0);
    EXPECT_EQ(before.messages,
              "\nSpeedcam filter rect: N48 30.000 E23 0.000 - N45 30.000 E16 0.000 ");

    // Reversed corners are put in order.
    auto reversed = read_settings_text(dir,
                                       "[SpeedcamFilter]\nfilterbyregionrect=1\n"
                                       "RegionRectMaxLat=45.5\nRegionRectMinLat=48.5\n"
                                       "RegionRectMaxLon=16\nRegionRectMinLon=23\n");
    ASSERT_NE(reversed.settings, nullptr);
    EXPECT_EQ(reversed.settings->region_max_lat, 48.5);
    EXPECT_EQ(reversed.settings->region_min_lat, 45.5);
    EXPECT_EQ(reversed.settings->region_max_lon, 23.0);
    EXPECT_EQ(reversed.settings->region_min_lon, 16.0);

    // Only a value starting with "1" chooses the filter, and "0" doesn't undo it.
    auto off = read_settings_text(dir, "[SpeedcamFilter]\nFilterByRegionRect=yes\n" + corners);
    ASSERT_NE(off.settings, nullptr);
    EXPECT_EQ(off.settings->region_filter, 0);
    EXPECT_EQ(off.settings->region_max_lat, 200.0);
    EXPECT_EQ(off.messages, "");
    auto kept = read_settings_text(dir,
                                   "[SpeedcamFilter]\nFilterByRegionRect=1\n"
                                   "FilterByRegionRect=0\n" +
                                       corners);
    ASSERT_NE(kept.settings, nullptr);
    EXPECT_EQ(kept.settings->region_filter, 1);
    EXPECT_EQ(kept.settings->region_max_lat, 48.5);
}

TEST(SpeedcamSettingsFile, BadCornersWarnAndKeepTheirValue) {
    testing::temp_dir dir;
    auto r = read_settings_text(dir,
                                "[SpeedcamFilter]\nFilterByRegionRect=1\n"
                                "RegionRectMaxLat=S47 30\n"  // the letter doesn't make it negative
                                "RegionRectMinLat=-47\n"     // a minus sign is refused
                                "RegionRectMaxLon=N19\n"     // not a longitude hemisphere
                                "RegionRectMinLon=W16 30\n");
    ASSERT_NE(r.settings, nullptr);
    EXPECT_EQ(r.settings->region_max_lat, 47.5);
    EXPECT_EQ(r.settings->region_min_lat, -200.0);
    EXPECT_EQ(r.settings->region_max_lon, 200.0);
    EXPECT_EQ(r.settings->region_min_lon, 16.5);
    EXPECT_EQ(r.messages,
              "\nWarning: invalid lat value: -47\nWarning: invalid lon value: N19"
              "\nSpeedcam filter rect: N47 30.000 E200 0.000 - S-200 0.000 E16 30.000 ");
}

TEST(SpeedcamSettingsFile, RegionNamesAreChosenButNotSupported) {
    testing::temp_dir dir;
    auto r = read_settings_text(dir,
                                "[SpeedcamFilter]\nRegionNames=HU\n"  // 2: filter not chosen
                                "FilterByRegionNames=1\n"
                                "RegionNames=\n"         // 4: empty
                                "RegionNames=HU,AT\n"    // 5
                                "RegionRectMaxLat=10\n"  // 6: rectangle not chosen
                                "RegionList=HU\n");      // 7
    ASSERT_NE(r.settings, nullptr);
    EXPECT_EQ(r.settings->region_filter, 2);
    EXPECT_EQ(r.settings->region_max_lat, 200.0);
    EXPECT_EQ(r.messages, "\nWarning: Region names not _yet_ supported in " + r.path +
                              " speedcam ini file line 5!" + "\nWarning: Unexpected parameter " +
                              "RegionList in " + r.path + " speedcam ini file line 7!");
}

TEST(SpeedRule, GivesTheAlertSpeedFromAValueAndTheNominalSpeed) {
    EXPECT_EQ(speed_from_value("+10%", 50), 55.0);
    EXPECT_EQ(speed_from_value("+7", 50), 57.0);
    EXPECT_EQ(speed_from_value("110%", 50), 55.0);
    EXPECT_EQ(speed_from_value("60", 50), 60.0);
    EXPECT_EQ(speed_from_value("", 50), 0.0);
    // Rounded half up after the arithmetic in floating point.
    EXPECT_EQ(speed_from_value("+5%", 130), 137.0);  // 136.5
    EXPECT_EQ(speed_from_value("33%", 10), 3.0);     // 3.3
    EXPECT_EQ(speed_from_value("+10%", 35), 39.0);   // 38.5
    EXPECT_EQ(speed_from_value("+10 %", 50), 55.0);
    EXPECT_EQ(speed_from_value(" 10 ", 50), 10.0);
    // No number, a sign other than the leading "+", text after the "%", or a speed out
    // of range: none.
    for (const char* bad : {"fast", "-10", "+-10", "++5", "10%x", "%10", "5 km/h", "1e2", "1001",
                            "+99999999999%", "+1000"}) {
        EXPECT_FALSE(speed_from_value(bad, 50).has_value()) << bad;
    }
}

TEST(FactorRule, ReadsWholeDecimalsAndPercentagesWithinRange) {
    EXPECT_EQ(factor_from_value("", 1.0), 1.0);
    EXPECT_EQ(factor_from_value("", 0.25), 0.25);
    EXPECT_DOUBLE_EQ(*factor_from_value("150%", 1.0), 1.5);
    EXPECT_DOUBLE_EQ(*factor_from_value("1,5", 1.0), 1.5);
    EXPECT_DOUBLE_EQ(*factor_from_value("1.5", 1.0), 1.5);
    EXPECT_DOUBLE_EQ(*factor_from_value("12,5%", 1.0), 0.125);
    EXPECT_EQ(factor_from_value("0", 1.0), 0.0);
    for (const char* bad :
         {"double", "inf", "nan", "1e999", "1e308", "-1", "-50%", "101", "2x", "%"}) {
        EXPECT_FALSE(factor_from_value(bad, 1.0).has_value()) << bad;
    }
}

TEST(SpeedcamSettingsFile, WarnsOfValuesThatAreNoNumberAndKeepsTheSetting) {
    testing::temp_dir dir;
    auto r = read_settings_text(dir,
                                "[SpeedcamConversion]\n"
                                "Proximity=2\n"
                                "Proximity=1e308\n"
                                "AlarmAt50=-10%\n"
                                "AlarmAtX=30\n"
                                "AlarmAt60=abc\n");
    ASSERT_NE(r.settings, nullptr);
    EXPECT_EQ(r.settings->proximity_factor, 2.0);
    EXPECT_EQ(r.settings->alarm_speeds[4], 50.0);
    EXPECT_EQ(r.settings->alarm_speeds[0], 10.0);
    EXPECT_EQ(r.settings->alarm_speeds[5], 60.0);
    EXPECT_EQ(r.messages, "\nWarning: Invalid value \"1e308\" of Proximity in " + r.path +
                              " speedcam ini file line 3, ignored"
                              "\nWarning: Invalid value \"-10%\" of AlarmAt50 in " +
                              r.path +
                              " speedcam ini file line 4, ignored"
                              "\nWarning: Invalid value \"30\" of AlarmAtX in " +
                              r.path +
                              " speedcam ini file line 5, ignored"
                              "\nWarning: Invalid value \"abc\" of AlarmAt60 in " +
                              r.path + " speedcam ini file line 6, ignored");
}

TEST(SpeedBand, CoversTenKilometresPerHourAndIsClamped) {
    const std::pair<long long, int> cases[] = {{1, 0},    {10, 0},   {11, 1},      {121, 12},
                                               {130, 12}, {131, 13}, {1000, 13},   {0, 0},
                                               {-9, 0},   {-500, 0}, {INT_MIN, 0}, {INT_MAX, 13}};
    for (auto [speed, band] : cases) EXPECT_EQ(speed_band(speed), band) << speed;
}

TEST(AlarmSpeedFor, UsesTheLimitOrItsBandsAlertSpeed) {
    speedcam_settings off;
    off.alarm_speeds.fill(999.0);
    EXPECT_EQ(alarm_speed_for(50, off), 50);
    EXPECT_EQ(alarm_speed_for(0, off), 0);
    EXPECT_EQ(alarm_speed_for(-5, off), -5);
    EXPECT_EQ(alarm_speed_for(1000, off), 1000);

    speedcam_settings on;
    on.different_speed_alarm = 1;
    on.alarm_speeds[0] = 7.0;
    on.alarm_speeds[4] = 55.9;  // truncated
    on.alarm_speeds[5] = -7.9;  // toward zero
    on.alarm_speeds[13] = 1e12;
    EXPECT_EQ(alarm_speed_for(50, on), 55);
    EXPECT_EQ(alarm_speed_for(41, on), 55);
    EXPECT_EQ(alarm_speed_for(51, on), -7);
    EXPECT_EQ(alarm_speed_for(0, on), 7);
    EXPECT_EQ(alarm_speed_for(INT_MIN, on), 7);
    EXPECT_EQ(alarm_speed_for(200, on), INT_MAX);  // beyond the int range: the nearest int
    EXPECT_EQ(alarm_speed_for(100, on), 100);      // default table
}

TEST(ParseCoordinate, ReadsDegreesMinutesAndSeconds) {
    message_capture capture;
    double v = 0;
    ASSERT_TRUE(parse_coordinate("47 30 36", true, v));
    EXPECT_NEAR(v, 47.51, 1e-12);
    ASSERT_TRUE(parse_coordinate("47 30.6", true, v));
    EXPECT_NEAR(v, 47.51, 1e-12);
    ASSERT_TRUE(parse_coordinate("47.51", true, v));
    EXPECT_EQ(v, 47.51);
    ASSERT_TRUE(parse_coordinate("47,51", true, v));
    EXPECT_EQ(v, 47.51);
    ASSERT_TRUE(parse_coordinate("N47\xB0 30' 36\"", true, v));
    EXPECT_NEAR(v, 47.51, 1e-12);
    ASSERT_TRUE(parse_coordinate("S47 30", true, v));
    EXPECT_EQ(v, 47.5);
    ASSERT_TRUE(parse_coordinate("W19 15", false, v));
    EXPECT_EQ(v, 19.25);
    ASSERT_TRUE(parse_coordinate("E0", false, v));
    EXPECT_EQ(v, 0.0);
    EXPECT_EQ(capture.text(), "");
}

TEST(ParseCoordinate, RefusesOtherTextsAndKeepsTheDestination) {
    message_capture capture;
    double v = 12.0;
    EXPECT_FALSE(parse_coordinate("-47", true, v));
    EXPECT_FALSE(parse_coordinate("", true, v));
    EXPECT_FALSE(parse_coordinate("E19", true, v));
    EXPECT_FALSE(parse_coordinate("N19", false, v));
    EXPECT_FALSE(parse_coordinate("n47", true, v));
    EXPECT_FALSE(parse_coordinate(" 47", true, v));
    EXPECT_EQ(v, 12.0);
    EXPECT_EQ(capture.text(),
              "\nWarning: invalid lat value: -47\nWarning: invalid lat value: "
              "\nWarning: invalid lat value: E19\nWarning: invalid lon value: N19"
              "\nWarning: invalid lat value: n47\nWarning: invalid lat value:  47");
}

TEST(ParseCoordinate, AcceptsTwentyThreeCleanedCharactersAtMost) {
    message_capture capture;
    double v = 0;
    // 23 characters after the letter, quotes and degree signs are dropped.
    std::string longest = "N\"47.00000000000000000000\xB0'";
    ASSERT_TRUE(parse_coordinate(longest, true, v));
    EXPECT_EQ(v, 47.0);
    std::string too_long = "47.000000000000000000000";  // 24 characters
    EXPECT_FALSE(parse_coordinate(too_long, true, v));
    EXPECT_EQ(capture.text(), "\nWarning: invalid lat value: " + too_long);
}

TEST(ParseCoordinate, RefusesValuesThatAreNoWholeNumberOrOffTheEarth) {
    message_capture capture;
    double v = 3.0;
    for (const char* bad : {"1e999", "47 nan", "47abc", "47 30x", "91",
                            "E22\xB0"
                            "54'"}) {
        EXPECT_FALSE(parse_coordinate(bad, std::string_view(bad).front() != 'E', v)) << bad;
    }
    EXPECT_EQ(v, 3.0);
    EXPECT_NE(capture.text().find("\nWarning: invalid lat value: 47abc"), std::string::npos);
    EXPECT_NE(capture.text().find("\nWarning: invalid lon value: E22"), std::string::npos);
}

TEST(FormatCoordinate, WritesHemisphereDegreesAndSignedMinutes) {
    EXPECT_EQ(format_coordinate(true, 47.5), "N47 30.000");
    EXPECT_EQ(format_coordinate(true, -0.5), "S0 -30.000");
    EXPECT_EQ(format_coordinate(true, -47.51), "S-47 -30.600");
    EXPECT_EQ(format_coordinate(false, 19.25), "E19 15.000");
    EXPECT_EQ(format_coordinate(false, -19.25), "W-19 -15.000");
    EXPECT_EQ(format_coordinate(false, 0.0), "E0 0.000");
    EXPECT_EQ(format_coordinate(true, 200.0), "N200 0.000");
    // Degrees beyond the int range are still written in full.
    EXPECT_EQ(format_coordinate(true, 1e10), "N10000000000 0.000");
}

}  // namespace
}  // namespace velmora
