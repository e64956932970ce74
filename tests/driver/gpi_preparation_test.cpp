#include "driver/gpi_preparation.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/messages.hpp"
#include "support/test_support.hpp"

namespace velmora {
namespace {

// A preparation whose icon libraries are empty lists, recording which were asked for.
struct recorded_preparation {
    explicit recorded_preparation(const gpi_settings* settings, code_page_choice page = {})
        : preparation({settings, page, {}}, [this](icon_library library) {
              asked.push_back(library);
              return std::make_unique<icon_list>();
          }) {}

    std::vector<icon_library> asked;
    gpi_preparation preparation;
};

poiset& add_set(poiset_list& list, const std::string& name) {
    poiset* set = poiset_list_add(list);
    set->name = name;
    set->name_is_utf8 = true;
    set->is_utf8 = true;
    return *set;
}

waypoint& add_waypoint(poiset& set, std::string_view name, std::string_view symbol = {}) {
    waypoint w;
    w.lat = 47.5;
    w.lon = 19.1;
    w.flags |= has_position;
    w.name = set.store(name);
    if (!symbol.empty()) w.symbol = set.store(symbol);
    set.waypoints.push_back(w);
    return set.waypoints.back();
}

TEST(GpiPreparation, EachSetTakesTheIconLibraryOfItsKind) {
    recorded_preparation prepared(nullptr);
    poiset_list list;
    poiset& cameras = add_set(list, "cams");
    add_waypoint(cameras, "A");
    poiset& places = add_set(list, "places");
    add_waypoint(places, "B");
    prepared.preparation.take_set(cameras, icon_library::speedcam);
    prepared.preparation.take_set(places, icon_library::symbols);
    EXPECT_EQ(prepared.asked, (std::vector{icon_library::speedcam, icon_library::symbols}));
    EXPECT_NE(cameras.icons, nullptr);
    EXPECT_NE(places.icons, nullptr);
}

// A file without a BMP picture beside it falls back to the library only when its
// waypoints name symbols.
TEST(GpiPreparation, AFileWithoutItsOwnIconTakesTheLibraryOnlyForSymbols) {
    testing::temp_dir dir;
    struct fallback_case {
        std::string symbol;
        std::size_t libraries_asked;
    } cases[] = {{"", 0}, {"Flag, Red", 1}};
    for (const fallback_case& c : cases) {
        recorded_preparation prepared(nullptr);
        poiset_list list;
        poiset& set = add_set(list, "csv");
        add_waypoint(set, "A", c.symbol);
        message_capture quiet;
        prepared.preparation.take_set_with_icon_beside(set, dir.file("pois.csv"));
        EXPECT_EQ(prepared.asked.size(), c.libraries_asked) << c.symbol;
        ASSERT_NE(set.icons, nullptr);
        EXPECT_TRUE(set.icons->entries.empty());
    }
}

// Finishing gives waypoints without an alert the default proximity (only those of the
// listed symbols when symbols are listed), leaves out sets without waypoints and
// chooses the code page as asked.
TEST(GpiPreparation, FinishAppliesDefaultProximityAndTheCodePage) {
    gpi_settings settings;
    settings.default_proximity = 150;
    struct finish_case {
        std::vector<std::string> symbols;
        code_page_choice page;
        int expected_page;
        bool expected_alert;
        std::string message;
    } cases[] = {
        {{}, {false, 65001}, 65001, true, ""},
        {{"Car"}, {true, 1250}, 1251, false, "\n    code page 1251 chosen"},
    };
    for (const finish_case& c : cases) {
        settings.proximity_symbols = c.symbols;
        recorded_preparation prepared(&settings, c.page);
        poiset_list list;
        poiset& set = add_set(list, "set");
        add_waypoint(set, "\xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0", "Flag, Red");
        add_set(list, "empty");
        message_capture capture;
        auto finished = prepared.preparation.finish(list);
        ASSERT_TRUE(finished.has_value());
        EXPECT_EQ(finished->code_page, c.expected_page);
        ASSERT_EQ(finished->groups.size(), 1u);
        EXPECT_EQ(finished->groups[0].set, &set);
        const waypoint& w = set.waypoints[0];
        EXPECT_EQ((w.flags & has_proximity) != 0, c.expected_alert);
        if (c.expected_alert) {
            EXPECT_EQ(w.proximity, 150.0);
        }
        EXPECT_EQ(capture.text(), c.message +
                                      "\nWarning: Poi set (empty) has no pois; it is left out of "
                                      "the gpi file");
    }
}

}  // namespace
}  // namespace velmora
