#include <gtest/gtest.h>

#include <cstdio>
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
    (void)csv_read_text(text, base_name, result->set);
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
            EXPECT_EQ(w.flags, has_position | has_speed | has_proximity | proximity_from_speed);
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
              "\nWarning: CSV line 10 has 5 fields, more than the header's 4; the others are "
              "ignored");
    // A first line with coordinates is no header, nor is a title of one field.
    EXPECT_EQ(read_csv("19,47,first\n")->set.count(), 1);
    auto title = read_csv("Speed cameras,,,\n19,47,first\n");
    EXPECT_EQ(title->set.count(), 1);
    EXPECT_EQ(title->messages,
              "\nWarning: CSV line 1 skipped: longitude and latitude are not numbers in range "
              "(\"Speed cameras\", \"\")");
    auto plain = read_csv("19,47,a\n19,47,five,fields,here\n");
    EXPECT_EQ(plain->messages,
              "\nWarning: CSV line 2 has 5 fields; those after the fourth are ignored");
}

// What a waypoint holds, as one comparable text.
std::string poi_text(const poiset& set, const waypoint& w) {
    char position[64];
    std::snprintf(position, sizeof position, "%.6f %.6f", w.lon, w.lat);
    std::string out = position;
    auto add = [&](const char* label, const stored_text& text) {
        if (text) out += std::string(" ") + label + "=" + std::string(*text);
    };
    add("name", w.name);
    add("cmt", w.comment);
    add("desc", w.description);
    add("sym", w.symbol);
    if (w.flags & has_speed) out += " speed=" + std::to_string(static_cast<int>(w.speed));
    if (w.flags & has_proximity) out += " prox=" + std::to_string(static_cast<int>(w.proximity));
    return out + "\n" + testing::details_text(set, w);
}

TEST(CsvReader, AHeaderNamesTheColumnsInAnyLetterCaseWithTheirSynonyms) {
    struct header_case {
        const char* text;
        const char* poi;
    } cases[] = {
        {"No,Latitude,Longitude,Name,Description,Symbol,Address,City,PostalCode,State,Country,"
         "Phone\n1,50.5,12.25,\"Gosel\",\"built\",\"Waypoint\",\"Main St 1\",Plauen,08523,"
         "Sachsen,DE,\"0374\"\n",
         "12.250000 50.500000 name=Gosel desc=built sym=Waypoint\nCity=Plauen\nCountry=DE\n"
         "Postcode=08523\nState=Sachsen\nStreet=Main St 1\nphone PhoneNo=0374\n"},
        {"LAT,LNG,TITLE,CMT,SYM,CATEGORY\n-33.9,18.4,Cape,note,Flag,Sights\n",
         "18.400000 -33.900000 name=Cape cmt=note sym=Flag\ncategory Sights\n"},
        {"y,x,desc,comment,icon,street,zip,province,tel\n1,2,d,c,i,s,z,p,t\n",
         "2.000000 1.000000 name= cmt=c desc=d sym=i\nPostcode=z\nState=p\nStreet=s\n"
         "phone PhoneNo=t\n"},
        {"lat,long,notes,Postal Code,Telephone,URL,Email\n1,2,n,9,t,u,e\n",
         "2.000000 1.000000 name= cmt=n\nPostcode=9\nphone PhoneNo=t\nphone Email=e\n"
         "phone Web=u\n"},
        {"Lat,Lon,postcode,zip_code,WebSite,link,E-Mail\n1,2,,7,,w,m\n",
         "2.000000 1.000000 name=\nPostcode=7\nphone Email=m\nphone Web=w\n"},
        // The first column of a kind that is not empty gives it.
        {"lon,lat,title,name,Description,desc\n1,2,,Second,,D2\n",
         "1.000000 2.000000 name=Second desc=D2\n"},
        {"Longitude,Latitude,Name,Speed,Proximity\n1,2,Cam,50,300\n",
         "1.000000 2.000000 name=Cam speed=50 prox=300\n"},
        {"lon,lat,name,speed\n1,2,Cam@30,\n", "1.000000 2.000000 name=Cam speed=30 prox=300\n"},
        // Spreadsheets of other languages.
        {"Nombre;Latitud;Longitud;Direcci\xC3\xB3n;Ciudad;Tel\xC3\xA9\x66ono\nBar;40,4;-3,7;Sol 1;"
         "Madrid;91\n",
         "-3.700000 40.400000 name=Bar\nCity=Madrid\nStreet=Sol 1\nphone PhoneNo=91\n"},
        {"Name\tBreitengrad\tL\xC3\xA4ngengrad\tPLZ\tOrt\nHaus\t52,5\t13,4\t10115\tBerlin\n",
         "13.400000 52.500000 name=Haus\nCity=Berlin\nPostcode=10115\n"},
        // The same names in a file of code page 1252.
        {"Bezeichnung;Breite;L\xE4nge;T\xE9l\xE9phone\nHaus;52,5;13,4;030\n",
         "13.400000 52.500000 name=Haus\nphone PhoneNo=030\n"},
        {"Latitude (WGS84),Longitude (WGS84),Speed [km/h]\n1,2,40\n",
         "2.000000 1.000000 name= speed=40 prox=400\n"},
        // Google My Maps and QGIS give the position as a point in well-known text.
        {"WKT,name,description\n\"POINT (19.04 47.49)\",Bridge,old\n",
         "19.040000 47.490000 name=Bridge desc=old\n"},
        {"wkt;name\nPOINT Z(19.5 47.25 120);Z\n", "19.500000 47.250000 name=Z\n"},
        // Without a header: longitude, latitude, name, comment.
        {"\"1.5\",2.5,Plain,Note\n", "1.500000 2.500000 name=Plain cmt=Note\n"},
    };
    for (const header_case& c : cases) {
        SCOPED_TRACE(c.text);
        auto r = read_csv(c.text);
        ASSERT_EQ(r->set.count(), 1) << r->messages;
        EXPECT_EQ(poi_text(r->set, r->set.waypoints[0]), c.poi);
    }
}

TEST(CsvReader, AHeaderWithoutAPositionIsRefusedWithTheNamesLookedFor) {
    poiset set;
    message_capture capture;
    EXPECT_FALSE(csv_read_text("Name,Lon,Ost,Ort\nA,1,2,B\n", "Fuel", set));
    EXPECT_EQ(set.count(), 0);
    EXPECT_EQ(capture.text().rfind("\nError: The CSV header (line 1) names no latitude column, so "
                                   "the file is not read. Column names looked for (any letter "
                                   "case): latitude: lat, latitude, y, ",
                                   0),
              0u)
        << capture.text();

    poiset neither;
    message_capture both;
    EXPECT_FALSE(csv_read_text("Name;Comment\nA;B\n", "Fuel", neither));
    EXPECT_NE(both.text().find("names no latitude and no longitude column"), std::string::npos);
    EXPECT_NE(both.text().find("; longitude: lon, lng, long, longitude, x, "), std::string::npos)
        << both.text();

    auto lines = read_csv("WKT,Name\n\"LINESTRING (1 2, 3 4)\",L\n\"POINT (1 2)\",P\n");
    EXPECT_EQ(lines->set.count(), 1);
    EXPECT_EQ(lines->messages,
              "\nWarning: CSV line 2 skipped: its WKT is no point in range (\"LINESTRING (1 2, "
              "3 4)\")");

    // Columns of no known meaning are named once.
    auto r = read_csv("No,Lat,Lon,Name,Colour\n1,2,3,A,red\n");
    EXPECT_EQ(r->set.count(), 1);
    EXPECT_EQ(r->messages,
              "\nWarning: CSV header: columns of no known meaning are not read: No, "
              "Colour");
}

TEST(CsvReader, TheFirstLineTellsTheSeparatorAndWithSemicolonOrTabADecimalComma) {
    struct separator_case {
        const char* text;
        char separator;
        double lon, lat;
    } cases[] = {
        {"19.5,47.25,a\n", ',', 19.5, 47.25},
        {"19,5;47,25;a;b\n", ';', 19.5, 47.25},
        {"19.5;47.25;a,b,c,d\n", ';', 19.5, 47.25},
        {"19,5\t47,25\ta;b\n", '\t', 19.5, 47.25},
        {"lon;lat;name\n19,5;47,25;a\n", ';', 19.5, 47.25},
        {"\"lat\"\t\"lon\"\n47,25\t19,5\n", '\t', 19.5, 47.25},
        {"\xEF\xBB\xBFname,lat,lon\na,47.25,19.5\n", ',', 19.5, 47.25},
        // Excel's line that names the separator.
        {"sep=;\r\nname;lon;lat\na,b;19,5;47,25\n", ';', 19.5, 47.25},
        {"sep=\t\n19,5\t47,25\tname\n", '\t', 19.5, 47.25},
        // A comma between the fields leaves no decimal comma.
        {"lon,lat,name\n\"19,5\",\"47,25\",a\n19.5,47.25,b\n", ',', 19.5, 47.25},
    };
    for (const separator_case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(csv_layout_of(c.text).separator, c.separator);
        auto r = read_csv(c.text);
        ASSERT_EQ(r->set.count(), 1) << r->messages;
        EXPECT_DOUBLE_EQ(r->set.waypoints[0].lon, c.lon);
        EXPECT_DOUBLE_EQ(r->set.waypoints[0].lat, c.lat);
    }
}

TEST(CsvReader, ReadsTheColumnsThatGpsbabelWrites) {
    VELMORA_REQUIRE_REAL(path, "csv/gpi_ext-sample.csv");
    auto r = read_csv(testing::read_file(path));
    EXPECT_EQ(r->messages, "\nWarning: CSV header: columns of no known meaning are not read: No");
    ASSERT_EQ(r->set.count(), 9);
    EXPECT_EQ(poi_text(r->set, r->set.waypoints[5]),
              "12.409143 51.314521 name=HMMMM desc=No comment sym=Waypoint\nCity=Plauen\n"
              "Country=Deutschland\nPostcode=08523\nState=Sachsen\nStreet=Hauptstrasse -2\n"
              "phone PhoneNo=03741-999999\n");
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

TEST(CsvReader, AFileOfSomeMegabytesReadsAsItsTextWhileItsPagesAreGivenBack) {
    // Records with a quoted comment that spans lines, so that some cross page bounds.
    std::string text = "sep=;\nlon;lat;name;comment\n";
    for (int i = 0; text.size() < (std::size_t{5} << 19); ++i) {
        text += std::to_string(i % 180) + ",5;47,25;Point " + std::to_string(i) + ";\"line " +
                std::to_string(i) + (i % 7 == 0 ? "\nand more\"\n" : "\"\n");
    }
    testing::temp_dir dir;
    std::string path = dir.file("Big.csv");
    testing::write_file(path, text);
    std::FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    poiset from_file;
    EXPECT_TRUE(csv_read(file, "Big", from_file));
    std::fclose(file);
    auto from_text = read_csv(text, "Big");
    ASSERT_EQ(from_file.count(), from_text->set.count());
    ASSERT_GT(from_file.count(), 30000);
    for (std::size_t i = 0; i < from_file.waypoints.size(); ++i) {
        const waypoint& a = from_file.waypoints[i];
        const waypoint& b = from_text->set.waypoints[i];
        ASSERT_EQ(a.name, b.name) << i;
        ASSERT_EQ(a.comment, b.comment) << i;
        ASSERT_EQ(a.lon, b.lon) << i;
    }
}

}  // namespace
}  // namespace velmora
