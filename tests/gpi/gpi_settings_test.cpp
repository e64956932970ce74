#include <gtest/gtest.h>

#include "gpi/gpi_settings.hpp"
#include "platform/messages.hpp"
#include "support/test_support.hpp"

namespace velmora {
namespace {

// Reads the text as a settings file; the messages go to *messages.
std::unique_ptr<gpi_settings> read_text(const testing::temp_dir& dir, const std::string& text,
                                        std::string* messages = nullptr) {
    testing::write_file(dir.file("Velmora_gpi.ini"), text);
    message_capture capture;
    auto settings = read_gpi_settings(dir.file("Velmora_gpi.ini"));
    if (messages != nullptr) *messages = capture.text();
    return settings;
}

TEST(ReadGpiSettings, ReportsAMissingFileAndGivesNone) {
    testing::temp_dir dir;
    message_capture capture;
    EXPECT_EQ(read_gpi_settings(dir.file("absent.ini")), nullptr);
    EXPECT_EQ(capture.text(), "\nError: Cant't open gpi ini file (" + dir.file("absent.ini") +
                                  ") (No such file or directory)");
    capture.clear();
    EXPECT_EQ(load_gpi_settings(dir.path().string() + "/"), nullptr);
    EXPECT_EQ(capture.text(), "\nError: Cant't open gpi ini file (" + dir.file("Velmora_gpi.ini") +
                                  ") (No such file or directory)");
}

TEST(ReadGpiSettings, ReadsEveryKeyOfItsSections) {
    testing::temp_dir dir;
    std::string messages;
    auto s = read_text(dir,
                       "; settings\n"
                       "[GpiImportSettings]\n"
                       "IconSpec=in\\*.bmp\n"
                       "\n"
                       "[GpiExportSettings]\r\n"
                       "IconSpec=out\\*.*\r\n"
                       "IconCountLimit=12\n"
                       "   DefaultProximity=200 ; metres  \n"
                       "DefaultProximityForSym=flag, red,car\n",
                       &messages);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(messages, "");
    EXPECT_EQ(s->import_icon_spec, "in\\*.bmp");
    EXPECT_EQ(s->export_icon_spec, "out\\*.*");
    EXPECT_EQ(s->icon_count_limit, 12);
    EXPECT_FALSE(s->icon_limit_is_percent);
    EXPECT_EQ(s->default_proximity, 200.0);
    EXPECT_EQ(s->proximity_symbols, (std::vector<std::string>{"flag", "red", "car"}));

    // load_gpi_settings finds the same file beside the program.
    auto loaded = load_gpi_settings(dir.path().string() + "/");
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->icon_count_limit, 12);
}

TEST(ReadGpiSettings, StartsFromTheDefaults) {
    testing::temp_dir dir;
    auto s = read_text(dir, "");
    ASSERT_NE(s, nullptr);
    EXPECT_FALSE(s->import_icon_spec.has_value());
    EXPECT_FALSE(s->export_icon_spec.has_value());
    EXPECT_EQ(s->icon_count_limit, 0);
    EXPECT_FALSE(s->icon_limit_is_percent);
    EXPECT_EQ(s->default_proximity, 0.0);
    EXPECT_TRUE(s->proximity_symbols.empty());
}

TEST(ReadGpiSettings, ReadsNumbersWholeAndWarnsOfOthers) {
    testing::temp_dir dir;
    struct {
        const char* line;
        int limit;
        bool percent;
        double proximity;
        bool warned;
    } cases[] = {
        {"IconCountLimit=20%", 20, true, 50, false},
        {"IconCountLimit= 20 % ", 20, true, 50, false},
        {"IconCountLimit=", 0, false, 50, false},
        {"IconCountLimit=-1", -1, false, 50, false},
        {"IconCountLimit=%20", 5, false, 50, true},
        {"IconCountLimit=40000", 5, false, 50, true},
        {"IconCountLimit=65537", 5, false, 50, true},
        {"IconCountLimit= 7 icons", 5, false, 50, true},
        {"DefaultProximity=150.7", 5, false, 150, false},
        {"DefaultProximity=", 5, false, 50, false},
        {"DefaultProximity=-20", 5, false, 50, true},
        {"DefaultProximity=abc", 5, false, 50, true},
        {"DefaultProximity=1e308", 5, false, 50, true},
        {"DefaultProximity=65536", 5, false, 50, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        std::string messages;
        auto s = read_text(dir,
                           "[GpiExportSettings]\nIconCountLimit=5\nDefaultProximity=50\n" +
                               std::string(c.line) + "\n",
                           &messages);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->icon_count_limit, c.limit);
        EXPECT_EQ(s->icon_limit_is_percent, c.percent);
        EXPECT_EQ(s->default_proximity, c.proximity);
        std::string line(c.line);
        std::string key = line.substr(0, line.find('='));
        std::string value = line.substr(line.find('=') + 1);
        EXPECT_EQ(messages, c.warned
                                ? "\nWarning: Invalid value \"" + value + "\" of " + key + " in " +
                                      dir.file("Velmora_gpi.ini") + " gpi ini file line 4, ignored"
                                : "");
    }
}

TEST(ReadGpiSettings, TakesNeitherBlanksAroundTheEqualsSignNorWrongKeys) {
    testing::temp_dir dir;
    std::string messages;
    std::string path = dir.file("Velmora_gpi.ini");
    auto s = read_text(dir,
                       "[GpiExportSettings]\n"
                       "IconCountLimit = 20\n"
                       "=5\n"
                       "Colour=red\n"
                       "[GpiImportSettings]\n"
                       "IconCountLimit=5\n"
                       "IconSpec=x\n",
                       &messages);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->icon_count_limit, 0);
    EXPECT_EQ(messages, "\nWarning: Unexpected parameter IconCountLimit  in " + path +
                            " gpi ini file line 2!"
                            "\nWarning: Unexpected parameter  in " +
                            path + " gpi ini file line 3!" +
                            "\nWarning: Unexpected parameter Colour in " + path +
                            " gpi ini file line 4!" +
                            "\nWarning: Unexpected parameter IconCountLimit in " + path +
                            " gpi ini file line 6!");
}

TEST(ReadGpiSettings, RecognisesSectionsAndKeysInAnyCase) {
    testing::temp_dir dir;
    std::string messages;
    auto s = read_text(dir,
                       "IconCountLimit=9\n"  // before any section: ignored in silence
                       "[gpiexportsettings]\n"
                       "iconcountlimit=5\n"
                       "[GpiImportSettings] trailing text\n"
                       "[GpiExportSettings] trailing text\n"
                       "ICONCOUNTLIMIT=6\n",
                       &messages);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(messages, "");
    EXPECT_EQ(s->icon_count_limit, 6);  // a later value replaces an earlier one
}

TEST(ReadGpiSettings, IgnoresTheLinesOfUnknownSections) {
    testing::temp_dir dir;
    std::string messages;
    std::string path = dir.file("Velmora_gpi.ini");
    auto s = read_text(dir,
                       "[GpiExportSettings]\n"
                       "IconCountLimit=3\n"
                       "[Other] ; comment\n"
                       "IconCountLimit=4\n"
                       "[GpiExportSettings\n"
                       "IconCountLimit=5\n"
                       "[GpiExportSettings]\n"
                       "DefaultProximity=80\n",
                       &messages);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->icon_count_limit, 3);
    EXPECT_EQ(s->default_proximity, 80.0);
    EXPECT_EQ(messages,
              "\nWarning: Unexpected section name [Other] found in gpi ini file (" + path +
                  ") line 3!" +
                  "\nWarning: Unexpected section name [GpiExportSettings found in gpi ini file (" +
                  path + ") line 5!");
}

TEST(ReadGpiSettings, CutsValuesAtTheCommentAndTrimsSymbols) {
    testing::temp_dir dir;
    auto s = read_text(dir,
                       "[GpiImportSettings]\nIconSpec=a;b\nIconSpec=\n"
                       "[GpiExportSettings]\nDefaultProximityForSym=x\n"
                       "DefaultProximityForSym=danger area, crossing,,\t b ,\n");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->import_icon_spec, "a");  // an empty value keeps the earlier one
    EXPECT_EQ(s->proximity_symbols, (std::vector<std::string>{"danger area", "crossing", "b"}));
}

TEST(ReadGpiSettings, ReadsAnOverlongLineAsSeveralLines) {
    testing::temp_dir dir;
    std::string messages;
    std::string path = dir.file("Velmora_gpi.ini");
    std::string long_value(1022 - std::string("IconSpec=").size(), 'v');
    auto s = read_text(
        dir, "[GpiExportSettings]\nIconSpec=" + long_value + "tail\nIconCountLimit=2\n", &messages);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->export_icon_spec, long_value);
    EXPECT_EQ(s->icon_count_limit, 2);
    EXPECT_EQ(messages,
              "\nWarning: Unexpected parameter tail in " + path + " gpi ini file line 3!");
}

TEST(ReadGpiSettings, ReadsTheBundledDefaultFileWithoutComplaint) {
    message_capture capture;
    auto s = read_gpi_settings(testing::source_dir() + "/examples/Velmora_gpi.ini");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(capture.text(), "");
    EXPECT_EQ(s->icon_count_limit, 0);
    EXPECT_GT(s->default_proximity, 0.0);
    EXPECT_FALSE(s->proximity_symbols.empty());
}

TEST(ApplyDefaultProximity, GivesTheDefaultToWaypointsWithoutAlert) {
    poiset set;
    auto add = [&](std::optional<std::string> symbol, std::uint32_t flags) {
        waypoint* w = poiset_add_waypoint(set);
        w->symbol = set.store_optional(symbol);
        w->flags = flags;
        w->proximity = 30;
    };
    add("car", has_position);
    add("speed_50", has_position | has_speed);
    add("car", has_position | has_proximity);
    add(std::nullopt, has_position);
    const waypoint* plain = &set.waypoints[0];
    const waypoint* speed = &set.waypoints[1];
    const waypoint* near = &set.waypoints[2];
    const waypoint* from_gpi = &set.waypoints[3];

    EXPECT_FALSE(apply_default_proximity(nullptr, set));
    EXPECT_EQ(plain->flags & has_proximity, 0u);

    gpi_settings settings;
    settings.default_proximity = 0;
    EXPECT_TRUE(apply_default_proximity(&settings, set));
    EXPECT_EQ(plain->flags & has_proximity, 0u);
    settings.default_proximity = -5;
    EXPECT_TRUE(apply_default_proximity(&settings, set));
    EXPECT_EQ(plain->flags & has_proximity, 0u);

    settings.default_proximity = 200;
    EXPECT_TRUE(apply_default_proximity(&settings, set));
    EXPECT_NE(plain->flags & has_proximity, 0u);
    EXPECT_EQ(plain->proximity, 200.0);
    EXPECT_EQ(speed->flags & has_proximity, 0u);
    EXPECT_EQ(speed->proximity, 30.0);
    EXPECT_EQ(near->proximity, 30.0);
    EXPECT_NE(from_gpi->flags & has_proximity, 0u);
    EXPECT_EQ(from_gpi->proximity, 200.0);
}

TEST(ApplyDefaultProximity, KeepsToTheNamedSymbols) {
    poiset set;
    for (const char* symbol : {"car", "CAR", "red", "flag", "fuel"}) {
        waypoint* w = poiset_add_waypoint(set);
        w->symbol = set.store(symbol);
    }
    ASSERT_NE(poiset_add_waypoint(set), nullptr);  // no symbol
    gpi_settings settings;
    settings.default_proximity = 120;
    settings.proximity_symbols = {"flag", " red", "Car"};
    EXPECT_TRUE(apply_default_proximity(&settings, set));
    std::vector<bool> got;
    for (const auto& w : set.waypoints) got.push_back((w.flags & has_proximity) != 0);
    EXPECT_EQ(got, (std::vector<bool>{true, true, false, true, false, false}));
}

TEST(ApplyDefaultProximity, DecidesEveryWaypointOfALargeSetAsOfASmallOne) {
    // Gone through in halves; long symbols share one length bucket.
    const std::string long_listed(70, 'x');
    const std::string long_other(80, 'x');
    struct kind {
        std::optional<std::string> symbol;
        bool expected;
    };
    const std::vector<kind> kinds = {{"car", true},
                                     {"Flag", true},
                                     {"fuel", false},
                                     {std::nullopt, false},
                                     {long_listed, true},
                                     {long_other, false},
                                     {"XX" + long_listed.substr(2), true}};
    poiset set;
    constexpr std::size_t count = 2001;
    for (std::size_t i = 0; i < count; ++i) {
        waypoint* w = poiset_add_waypoint(set);
        ASSERT_NE(w, nullptr);
        w->symbol = set.store_optional(kinds[i % kinds.size()].symbol);
    }
    gpi_settings settings;
    settings.default_proximity = 120;
    settings.proximity_symbols = {"flag", "Car", long_listed};
    EXPECT_TRUE(apply_default_proximity(&settings, set, {1024}));
    std::size_t wrong = 0;
    for (std::size_t i = 0; i < count; ++i) {
        bool given = (set.waypoints[i].flags & has_proximity) != 0;
        if (given != kinds[i % kinds.size()].expected) ++wrong;
    }
    EXPECT_EQ(wrong, 0u);
}

}  // namespace
}  // namespace velmora
