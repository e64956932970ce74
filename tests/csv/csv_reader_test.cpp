#include <gtest/gtest.h>

#include <string>

#include "csv/csv_fields.hpp"
#include "csv/csv_reader.hpp"
#include "platform/messages.hpp"
#include "support/test_support.hpp"

namespace velmora {
namespace {

struct read_result {
    poiset set;
    std::string messages;
};

std::unique_ptr<read_result> read_csv(const std::string& text,
                                      std::string_view base_name = "Fuel") {
    auto result = std::make_unique<read_result>();
    message_capture capture;
    csv_read_text(text, base_name, result->set);
    result->messages = capture.text();
    return result;
}

struct expected_poi {
    const char* line;
    double lon, lat;
    const char* name;
    const char* comment;  // nullptr: none
    double speed;         // 0: no alert
};

TEST(CsvReader, EachLineBecomesAWaypointWithItsNameSpeedAndComment) {
    const expected_poi cases[] = {
        {"-94.76416,38.81227,Garmin,\"1200 E. 151st Street Olathe,KS 66062\"", -94.76416, 38.81227,
         "Garmin", "1200 E. 151st Street Olathe,KS 66062", 0},
        {"-81.12345,45.98765,\"Police Station@35\",\"\"", -81.12345, 45.98765, "Police Station",
         nullptr, 35},
        {"3.82251,43.631954,\"max @50\",\"GRABELS \\\"Avenue\\\"\"", 3.82251, 43.631954, "max",
         "GRABELS \"Avenue\"", 50},
        {" \"19.5\" , \"47.25\" , Cafe @ Mall@30.5", 19.5, 47.25, "Cafe @ Mall", nullptr, 30.5},
        {"180,-90,LAN@Work", 180, -90, "LAN@Work", nullptr, 0},
        {"1,2,Too fast@1001", 1, 2, "Too fast@1001", nullptr, 0},
        {"1,2,Negative@-5", 1, 2, "Negative@-5", nullptr, 0},
        {"+1.5,-2.,\"\"", 1.5, -2, "", nullptr, 0},
    };
    for (const expected_poi& c : cases) {
        SCOPED_TRACE(c.line);
        auto r = read_csv(std::string(c.line) + "\r\n");
        EXPECT_EQ(r->messages, "");
        ASSERT_EQ(r->set.count(), 1);
        const waypoint& w = r->set.waypoints[0];
        EXPECT_DOUBLE_EQ(w.lon, c.lon);
        EXPECT_DOUBLE_EQ(w.lat, c.lat);
        EXPECT_EQ(w.name, std::string_view(c.name));
        if (c.comment) {
            EXPECT_EQ(w.comment, std::string_view(c.comment));
        } else {
            EXPECT_FALSE(w.comment.has_value());
        }
        EXPECT_FALSE(w.symbol.has_value());
        if (c.speed > 0) {
            EXPECT_EQ(w.flags, has_position | has_speed | has_proximity);
            EXPECT_DOUBLE_EQ(w.speed, c.speed);
            EXPECT_DOUBLE_EQ(w.proximity, c.speed * 10);
        } else {
            EXPECT_EQ(w.flags, has_position);
        }
    }
}

TEST(CsvReader, SkipsBadLinesWithTheirLineNumberAndAFirstHeaderLineSilently) {
    auto r = read_csv(
        "Longitude,Latitude,Name,Comment\n"
        "19,47,good\n"
        "Longitude,Latitude,Name,Comment\n"
        "19,47\n"
        "1e1,19,x\n"
        "181,0,x\n"
        "0,-90.5,x\n"
        "19;47;semicolons\n"
        "\"19,5\",47,decimal comma\n"
        "19,47,five,fields,here\n"
        "\n"
        "1,2,last");
    EXPECT_EQ(r->set.count(), 3);
    EXPECT_EQ(r->messages,
              "\nWarning: CSV line 3 skipped: longitude and latitude are not numbers in range "
              "(\"Longitude\", \"Latitude\")"
              "\nWarning: CSV line 4 skipped: it has no name"
              "\nWarning: CSV line 5 skipped: longitude and latitude are not numbers in range "
              "(\"1e1\", \"19\")"
              "\nWarning: CSV line 6 skipped: longitude and latitude are not numbers in range "
              "(\"181\", \"0\")"
              "\nWarning: CSV line 7 skipped: longitude and latitude are not numbers in range "
              "(\"0\", \"-90.5\")"
              "\nWarning: CSV line 8 skipped: longitude and latitude are not numbers in range "
              "(\"19;47;semicolons\", \"\")"
              "\nWarning: CSV line 9 skipped: longitude and latitude are not numbers in range "
              "(\"19,5\", \"47\")"
              "\nWarning: CSV line 10 has 5 fields; those after the fourth are ignored");
    // A first line with coordinates is no header.
    EXPECT_EQ(read_csv("19,47,first\n")->set.count(), 1);
}

TEST(CsvReader, TakesUtf8WhenMarkedOrValidAndCodePage1252Otherwise) {
    auto bom = read_csv(
        "\xEF\xBB\xBF"
        "19,47,Caf\xC3\xA9\n");
    EXPECT_TRUE(bom->set.is_utf8);
    ASSERT_EQ(bom->set.count(), 1);  // the mark is not part of the first field
    EXPECT_EQ(bom->set.waypoints[0].name, "Caf\xC3\xA9");

    auto valid = read_csv("19,47,\xC5\x81\xC3\xB3\x64\xC5\xBA\n");
    EXPECT_TRUE(valid->set.is_utf8);
    EXPECT_FALSE(valid->set.codepage.has_value());

    auto ansi = read_csv("19,47,Caf\xE9 \x80\n");
    EXPECT_FALSE(ansi->set.is_utf8);
    ASSERT_TRUE(ansi->set.codepage.has_value());
    EXPECT_EQ(ansi->set.codepage->number(), 1252);
    EXPECT_EQ(ansi->set.waypoints[0].name, "Caf\xE9 \x80");
}

TEST(CsvReader, NamesTheSetAfterTheFileAndTakesASpeedFromItsEnd) {
    struct file_case {
        const char* base;
        const char* set_name;
        double speed;  // 0: none
    } cases[] = {{"Fuel", "Fuel", 0},
                 {"RedLight@50", "RedLight", 50},
                 {"Blitzer @ 30", "Blitzer @ 30", 0},
                 {"Zone 30 @30", "Zone 30", 30},
                 {"a@b@70", "a@b", 70},
                 {"FRFixeFR50", "FRFixeFR50", 0}};
    for (const file_case& c : cases) {
        SCOPED_TRACE(c.base);
        auto r = read_csv("1,2,own speed@90\n1,2,no speed\n", c.base);
        EXPECT_EQ(r->set.name, c.set_name);
        ASSERT_EQ(r->set.count(), 2);
        EXPECT_DOUBLE_EQ(r->set.waypoints[0].speed, 90);
        const waypoint& plain = r->set.waypoints[1];
        EXPECT_EQ((plain.flags & has_speed) != 0, c.speed > 0);
        if (c.speed > 0) {
            EXPECT_DOUBLE_EQ(plain.speed, c.speed);
            EXPECT_DOUBLE_EQ(plain.proximity, c.speed * 10);
        }
    }
}

TEST(CsvReader, HostileBytesGiveWarningsAndNoMoreThanAHundredOfThem) {
    std::string zero("1,2,na\0me,com\0ment\n", 19);
    auto z = read_csv(zero);
    ASSERT_EQ(z->set.count(), 1);
    EXPECT_EQ(z->set.waypoints[0].name, "na");
    EXPECT_EQ(z->set.waypoints[0].comment, "com");
    EXPECT_EQ(z->messages, "\nWarning: CSV line 1: a zero byte ends a field");

    auto open = read_csv("1,2,good\n3,4,\"never closed\n5,6,next\n");
    EXPECT_EQ(open->set.count(), 3);
    EXPECT_EQ(open->set.waypoints[1].name, "never closed");
    EXPECT_EQ(open->messages,
              "\nWarning: CSV line 2: a quoted field has no closing quote; it ends with its line");

    // A field cut in a UTF-8 file loses the partial character at the cut.
    std::string long_name(csv_max_field_bytes - 1, 'a');
    auto cut = read_csv("1,2," + long_name + "\xC3\xA9" + "tail\n");
    ASSERT_EQ(cut->set.count(), 1);
    EXPECT_TRUE(cut->set.is_utf8);
    EXPECT_EQ(cut->set.waypoints[0].name, long_name);

    std::string garbage;
    for (int i = 0; i < 150; ++i) garbage += "\x01\xFF,\x02\n";
    auto g = read_csv(garbage);
    EXPECT_EQ(g->set.count(), 0);
    std::size_t lines = 0;
    for (std::size_t p = g->messages.find("\nWarning"); p != std::string::npos;
         p = g->messages.find("\nWarning", p + 1)) {
        ++lines;
    }
    EXPECT_EQ(lines, 100u + 2u);  // a hundred, the notice that no more follow, the count
    EXPECT_NE(g->messages.find("\nWarning: 150 problems in the CSV file in all"),
              std::string::npos);
}

TEST(CsvReader, ReadsAWholeFile) {
    testing::temp_dir dir;
    std::string path = dir.file("Camp@20.csv");
    testing::write_file(path, "1,2,a\n3,4,b@40\n");
    std::FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    poiset set;
    EXPECT_TRUE(csv_read(file, "Camp@20", set));
    std::fclose(file);
    EXPECT_EQ(set.name, "Camp");
    ASSERT_EQ(set.count(), 2);
    EXPECT_DOUBLE_EQ(set.waypoints[0].speed, 20);
    EXPECT_DOUBLE_EQ(set.waypoints[1].speed, 40);
}

}  // namespace
}  // namespace velmora
