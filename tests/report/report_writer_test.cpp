#include "report/report_writer.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "gpi/gpi_bitmap.hpp"

namespace velmora {
namespace {

waypoint& add(poiset& set, double lat, double lon, std::string_view name) {
    waypoint& w = *poiset_add_waypoint(set);
    w.flags = has_position;
    w.lat = lat;
    w.lon = lon;
    w.name = set.store(name);
    return w;
}

poiset& add_utf8_set(poiset_list& list, std::string name = "set") {
    poiset& set = *poiset_list_add(list);
    set.is_utf8 = true;
    set.name = std::move(name);
    set.name_is_utf8 = true;
    return set;
}

// The row of the first POI as the data holds it.
std::string first_row(const std::string& data) {
    std::size_t start = data.find("\"pois\":[\n");
    if (start == std::string::npos) return {};
    start += 9;
    std::string row = data.substr(start, data.find('\n', start) - start);
    if (!row.empty() && row.back() == ',') row.pop_back();
    return row;
}

std::size_t count_of(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

TEST(ReportWriter, HostileTextsStayInsideTheirJsonStrings) {
    struct hostile_case {
        std::string text;
        std::string row_part;  // how the name lies in the POI's row
    } cases[] = {
        {"</script><script>alert(1)</script>",
         R"("\u003c/script>\u003cscript>alert(1)\u003c/script>")"},
        {"<!-- a", R"("\u003c!-- a")"},
        {"say \"hi\" \\ bye", R"("say \"hi\" \\ bye")"},
        {"tab\there\nline", R"("tab\there\nline")"},
        {std::string("bell\x07", 5) + "\x1B[31m", R"("bell??[31m")"},
        {"bad \xC3 utf8 \xFF", "\"bad \xEF\xBF\xBD utf8 \xEF\xBF\xBD\""},
    };
    for (const hostile_case& c : cases) {
        SCOPED_TRACE(c.text);
        poiset_list list;
        poiset& set = add_utf8_set(list, c.text);
        add(set, 47.5, 19.0, c.text);
        std::string data = report_data(list, {{{c.text, "GPX"}}, "", 0});
        EXPECT_EQ(first_row(data), "[0,47.5000000,19.0000000," + c.row_part + "]");
        // No "<" anywhere in the data: it can't end its script element or open a comment.
        EXPECT_EQ(data.find('<'), std::string::npos);
        std::string page = report_document(list, {{{c.text, "GPX"}}, "", 0});
        std::size_t data_start = page.find("<script id=\"velmora-data\"");
        ASSERT_NE(data_start, std::string::npos);
        EXPECT_EQ(page.find("</script", data_start),
                  page.find("</script>\n<script>\n(function", data_start));
    }
}

TEST(ReportWriter, CodePageTextsBecomeUtf8) {
    poiset_list list;
    poiset& set = *poiset_list_add(list);
    set.codepage = code_page::create(1250);
    set.name = "Kav\xE1rny";  // a GPI group's name, in the texts' code page
    waypoint& w = add(set, 50, 14, "caf\xE9 \x8A<");
    w.comment = set.store("\xF5");
    ASSERT_TRUE(set.category_index("N\xE1m\xECst\xED").has_value());
    std::string data = report_data(list, {});
    EXPECT_EQ(first_row(data),
              "[0,50.0000000,14.0000000,\"caf\xC3\xA9 \xC5\xA0\\u003c\",0,\"\xC5\x91\"]");
    EXPECT_NE(data.find("\"name\":\"Kav\xC3\xA1rny\""), std::string::npos);
    EXPECT_NE(data.find("\"categories\":[\"N\xC3\xA1m\xC4\x9Bst\xC3\xAD\"]"), std::string::npos);
    EXPECT_NE(data.find("\"encoding\":\"code page 1250\""), std::string::npos);
}

TEST(ReportWriter, RowsHoldEveryFieldAndLeaveOutTheAbsentAtTheEnd) {
    poiset_list list;
    poiset& set = add_utf8_set(list);
    add(set, 1, 2, "plain");
    waypoint& full = add(set, -1.25, -2.5, "full");
    full.symbol = set.store("Restaurant");
    full.description = set.store("d");
    full.link = set.store("https://example.org/?a=1&b=2");
    full.flags |= has_speed | has_proximity | tour_guide_alert;
    full.speed = 50;
    full.proximity = 500;
    ASSERT_TRUE(set.add_to_category(full, "Food"));
    waypoint_details& details = set.details_for(full);
    details.address.push_back({set.store("City"), set.store("Brno")});
    details.phones.push_back({set.store("PhoneNo"), set.store("+420 1")});
    details.sound = 7;
    std::string data = report_data(list, {});
    EXPECT_EQ(first_row(data), "[0,1.0000000,2.0000000,\"plain\"]");
    EXPECT_NE(data.find("[0,-1.2500000,-2.5000000,\"full\",\"Restaurant\",0,\"d\",0,[0],"
                        "[7,500.0,50.0,7],[\"https://example.org/?a=1&b=2\"],"
                        "[\"City\",\"Brno\"],[\"PhoneNo\",\"+420 1\"]]"),
              std::string::npos)
        << data;
    EXPECT_NE(data.find("\"alerts\":1"), std::string::npos);
}

TEST(ReportWriter, IconsGoInAsPngWithTheirUses) {
    poiset_list list;
    poiset& set = add_utf8_set(list);
    set.icons = std::make_unique<icon_list>();
    auto entry = std::make_unique<icon_entry>();
    entry->icon_id = 3;
    entry->format = icon_format_gpi;
    auto bitmap = std::make_shared<gpi_bitmap>();
    bitmap->width = 2;
    bitmap->height = 1;
    bitmap->bits_per_pixel = 24;
    bitmap->pixels.assign(gpi_bitmap_row_size(2, 24), 0x40);
    entry->bitmap = bitmap;
    set.icons->entries.push_back(std::move(entry));
    for (int i = 0; i < 2; ++i) {
        waypoint& w = add(set, 0, i, "p");
        w.flags |= has_icon;
        w.icon_id = 3;
    }
    add(set, 0, 5, "none");
    std::string data = report_data(list, {});
    EXPECT_NE(data.find("\"icons\":[[3,0,\"data:image/png;base64,iVBORw0KGgo"), std::string::npos);
    EXPECT_NE(data.find("\",2,1,2]]"), std::string::npos) << "width, height and uses";
    EXPECT_NE(data.find("[0,0.0000000,1.0000000,\"p\",0,0,0,1]"), std::string::npos);
}

TEST(ReportWriter, AboveTheMapLimitTheDataSaysHowTheMapSamples) {
    EXPECT_EQ(report_map_step(0), 1u);
    EXPECT_EQ(report_map_step(report_map_points), 1u);
    EXPECT_EQ(report_map_step(report_map_points + 1), 2u);
    poiset_list list;
    poiset& a = add_utf8_set(list, "a");
    poiset& b = add_utf8_set(list, "b");
    for (int i = 0; i < 150000; ++i) add(a, 0, 0, "");
    for (int i = 0; i < 100000; ++i) add(b, 1, 1, "");
    // Two threads make the rows, which must still come out whole and in order.
    std::string data = report_data(list, {});
    EXPECT_NE(data.find("\"total\":250000,\"map_limit\":100000,\"step\":3,"), std::string::npos);
    EXPECT_EQ(count_of(data, "\n[0,0.0000000,0.0000000,\"\"]"), 150000u);
    EXPECT_EQ(count_of(data, "\n[1,1.0000000,1.0000000,\"\"]"), 100000u);
    EXPECT_EQ(data.substr(data.size() - 3), "\n]}");
}

TEST(ReportWriter, ThePageNeedsNoOtherFile) {
    poiset_list list;
    add(add_utf8_set(list), 0, 0, "x");
    std::string page = report_document(list, {});
    EXPECT_EQ(page.rfind("<!DOCTYPE html>", 0), 0u);
    for (const char* reference : {"<script src", "<link", "sourceMappingURL", "@import"}) {
        EXPECT_EQ(page.find(reference), std::string::npos) << reference;
    }
    std::size_t style = page.find("<style>");
    EXPECT_EQ(page.substr(style, page.find("</style>") - style).find("url("), std::string::npos);
    EXPECT_NE(page.find("window.L"), std::string::npos) << "Leaflet is built in";
    EXPECT_NE(page.find("BSD 2-Clause"), std::string::npos);
}

}  // namespace
}  // namespace velmora
