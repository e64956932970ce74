// The report page end to end: written by the built program, then opened in headless
// Chromium, which runs the page's script; the page writes what it shows into a check
// element, which the browser's dump of the document carries back.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>

#include "support/test_support.hpp"

namespace velmora {
namespace {

// The browser, where the Debian package puts it; empty when absent.
std::string chromium() {
    for (const char* path : {"/usr/bin/chromium", "/usr/bin/chromium-browser"}) {
        if (testing::file_exists(path)) return path;
    }
    return {};
}

// What a command writes to standard output.
std::string output_of(const std::string& command) {
    std::string out;
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return out;
    char buffer[65536];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    ::pclose(pipe);
    return out;
}

std::string unescape_attribute(std::string text) {
    const std::pair<std::string, std::string> entities[] = {
        {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&amp;", "&"}};
    for (const auto& [entity, character] : entities) {
        for (std::size_t at = text.find(entity); at != std::string::npos;
             at = text.find(entity, at + 1)) {
            text.replace(at, entity.size(), character);
        }
    }
    return text;
}

// The data-* attributes of the page's check element.  (Parsed by hand: std::regex
// does not build warning-free with the sanitizers.)
std::map<std::string, std::string> check_of(const std::string& dom) {
    std::map<std::string, std::string> values;
    std::size_t start = dom.find("<div id=\"velmora-check\"");
    if (start == std::string::npos) return values;
    // Attribute by attribute up to the end of the tag; a value may hold ">" where the
    // browser does not escape it.
    std::size_t at = dom.find(' ', start);
    while (at != std::string::npos && dom[at] != '>') {
        std::size_t equals = dom.find("=\"", at);
        std::size_t end = equals == std::string::npos ? equals : dom.find('"', equals + 2);
        if (end == std::string::npos) break;
        std::string name = dom.substr(at + 1, equals - at - 1);
        if (name.rfind("data-", 0) == 0) {
            values[name.substr(5)] = unescape_attribute(dom.substr(equals + 2, end - equals - 2));
        }
        at = end + 1;
    }
    return values;
}

const std::string hostile_name = "<img src=x onerror=alert(1)> <script>alert(2)</script>";

// Two inputs: UTF-8 with a hostile name and a speed alert, code page 1250 with a
// category.
void write_inputs(const testing::temp_dir& dir) {
    testing::write_file(
        dir.file("trip.gpx"),
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<gpx version=\"1.1\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
        "<wpt lat=\"49.195\" lon=\"16.607\"><name>Zlat\xC3\xA1 studna</name></wpt>\n"
        "<wpt lat=\"49.2\" lon=\"16.61\"><name>&lt;img src=x onerror=alert(1)&gt; "
        "&lt;script&gt;alert(2)&lt;/script&gt;</name></wpt>\n"
        "<wpt lat=\"49.21\" lon=\"16.62\"><name>Camera@50</name></wpt>\n"
        "</gpx>\n");
    const std::string category =
        "<extensions><gpxx:WaypointExtension "
        "xmlns:gpxx=\"http://www.garmin.com/xmlschemas/GpxExtensions/v3\"><gpxx:Categories>"
        "<gpxx:Category>Kav\xE1rny</gpxx:Category></gpxx:Categories>"
        "</gpxx:WaypointExtension></extensions>";
    testing::write_file(dir.file("cafes.gpx"),
                        "<?xml version=\"1.0\" encoding=\"windows-1250\"?>\n"
                        "<gpx version=\"1.1\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
                        "<wpt lat=\"49.19\" lon=\"16.6\"><name>Kav\xE1rna</name>" +
                            category +
                            "</wpt>\n"
                            "<wpt lat=\"49.18\" lon=\"16.59\"><name>Pek\xE1rna</name>" +
                            category + "</wpt>\n</gpx>\n");
}

TEST(ReportPage, IsWrittenWholeFromEveryInput) {
    testing::temp_dir dir;
    write_inputs(dir);
    auto run =
        testing::run_velmora({"trip.gpx", "cafes.gpx", "-o", "report.html"}, dir.path().string());
    ASSERT_EQ(run.exit_code, 0) << run.err;
    std::string page = testing::read_file(dir.file("report.html"));
    EXPECT_EQ(page.rfind("<!DOCTYPE html>", 0), 0u);
    EXPECT_TRUE(
        testing::contains(page, "\"inputs\":[[\"trip.gpx\",\"GPX\"],[\"cafes.gpx\",\"GPX\"]]"));
    EXPECT_TRUE(testing::contains(page, "\"categories\":[\"Kav\xC3\xA1rny\"]"));
    EXPECT_FALSE(testing::contains(page, "<img src=x"));
    EXPECT_EQ(page.substr(page.size() - 8), "</html>\n");
    // The same input gives the same page.
    auto again =
        testing::run_velmora({"trip.gpx", "cafes.gpx", "-o", "again.html"}, dir.path().string());
    ASSERT_EQ(again.exit_code, 0) << again.err;
    EXPECT_EQ(testing::read_file(dir.file("again.html")), page);
}

TEST(ReportPage, ShowsInChromiumWhatTheInputsHold) {
    std::string browser = chromium();
    if (browser.empty()) GTEST_SKIP() << "chromium is not installed";
    testing::temp_dir dir;
    write_inputs(dir);
    auto run =
        testing::run_velmora({"trip.gpx", "cafes.gpx", "-o", "report.html"}, dir.path().string());
    ASSERT_EQ(run.exit_code, 0) << run.err;

    // Offline (no tiles) and searching for the hostile name; the search runs before the
    // page writes its check.
    std::string url = "file://" + dir.file("report.html") + "#notiles&search=alert(2)";
    std::string shot = dir.file("shot.png");
    std::string dom = output_of(
        "timeout 120 '" + browser +
        "' --headless=new --no-sandbox --disable-gpu --no-first-run --no-default-browser-check "
        "--user-data-dir='" +
        dir.file("profile") + "' --virtual-time-budget=5000 --window-size=1200,900 --screenshot='" +
        shot + "' --dump-dom '" + url + "' 2>/dev/null");
    auto check = check_of(dom);
    ASSERT_FALSE(check.empty()) << dom.substr(0, 2000);
    EXPECT_EQ(check["state"], "ready");
    EXPECT_EQ(check["errors"], "0") << dom.substr(dom.find("velmora-check"), 600);
    EXPECT_EQ(check["pois"], "5");
    EXPECT_EQ(check["sets"], "2");
    EXPECT_EQ(check["map"], "yes");
    EXPECT_EQ(check["shown"], "1") << "the map shows what the search found";
    EXPECT_EQ(check["rows"], "1");
    EXPECT_EQ(check["first"], hostile_name);
    // The hostile name is text in the table, not markup; the code-page category UTF-8.
    EXPECT_TRUE(testing::contains(dom, "&lt;img src=x onerror=alert(1)&gt; &lt;script&gt;"));
    EXPECT_FALSE(testing::contains(dom, "<img src=\"x\""));
    EXPECT_TRUE(testing::contains(dom, "Kav\xC3\xA1rny (2)"));
    std::string png = testing::read_file(shot);
    ASSERT_GT(png.size(), 1000u);
    EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1A\n");
}

}  // namespace
}  // namespace velmora
