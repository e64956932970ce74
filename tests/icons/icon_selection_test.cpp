#include <gtest/gtest.h>

#include "icons/icon_selection.hpp"
#include "platform/messages.hpp"

namespace velmora {
namespace {

// A set whose library holds the symbols given, in that order, and whose waypoints use
// the symbols by the counts given.
struct icon_case {
    poiset set;

    explicit icon_case(const std::vector<std::string>& library) {
        set.icons = std::make_unique<icon_list>();
        for (const auto& symbol : library) {
            auto entry = std::make_unique<icon_entry>();
            entry->symbol = symbol;
            entry->icon_id = 0;
            entry->format = icon_format_bmp;
            set.icons->entries.push_back(std::move(entry));
        }
    }

    void use(const std::optional<std::string>& symbol, int times) {
        for (int i = 0; i < times; ++i) {
            waypoint* w = poiset_add_waypoint(set);
            w->symbol = set.store_optional(symbol);
        }
    }

    [[nodiscard]] std::uint16_t id_of(std::string_view symbol) const {
        for (const auto& e : set.icons->entries) {
            if (e->symbol == symbol) return e->icon_id;
        }
        return 0x1234;
    }

    [[nodiscard]] std::vector<std::string> order() const {
        std::vector<std::string> out;
        for (const auto& e : set.icons->entries) out.push_back(*e->symbol);
        return out;
    }
};

icon_limit limit_of(int limit, bool percent) {
    return {limit, percent};
}

TEST(SelectIcons, WithoutALimitLoadsEveryUsedIcon) {
    icon_case c({"bank", "car", "dam", "fuel", "zoo"});
    c.use("fuel", 7);
    c.use("bank", 2);
    c.use("zoo", 1);
    c.use("nothing", 3);
    message_capture capture;
    EXPECT_TRUE(select_icons(c.set, {}));
    EXPECT_EQ(capture.text(),
              "\n  1. Loaded icon  (used:    7x): 'fuel'"
              "\n  2. Loaded icon  (used:    2x): 'bank'"
              "\n  3. Loaded icon  (used:    1x): 'zoo'"
              "\n    imported 3 icons (Skipped 0)"
              "\n    no icon for 1 symbol: nothing (3)");
    EXPECT_EQ(c.id_of("fuel"), 0);
    EXPECT_EQ(c.id_of("bank"), 1);
    EXPECT_EQ(c.id_of("zoo"), 2);
    EXPECT_EQ(c.id_of("car"), 0xFFFF);
    EXPECT_EQ(c.id_of("dam"), 0xFFFF);
    EXPECT_EQ(c.order(), (std::vector<std::string>{"fuel", "bank", "zoo", "car", "dam"}));
    for (const auto& w : c.set.waypoints) {
        bool known = *w.symbol != "nothing";
        EXPECT_EQ((w.flags & has_icon) != 0, known) << *w.symbol;
        if (known) {
            EXPECT_EQ(w.icon_id, c.id_of(*w.symbol));
        }
    }

    // A limit of 0 or below means the same.
    icon_case d({"a"});
    d.use("a", 1);
    icon_limit negative = limit_of(-25536, false);
    capture.clear();
    select_icons(d.set, negative);
    EXPECT_EQ(capture.text(),
              "\n  1. Loaded icon  (used:    1x): 'a'\n    imported 1 icons (Skipped 0)");
}

TEST(SelectIcons, WithACountLimitSkipsTheLessUsedIcons) {
    icon_case c({"bank", "fuel", "zoo", "car"});
    c.use("fuel", 7);
    c.use("bank", 2);
    c.use("zoo", 1);
    icon_limit limit = limit_of(2, false);
    message_capture capture;
    EXPECT_TRUE(select_icons(c.set, limit));
    EXPECT_EQ(capture.text(),
              "\n  1. Loaded icon  (used:    7x): 'fuel'"
              "\n  2. Loaded icon  (used:    2x): 'bank'"
              "\n  3. Skipped icon (used:    1x): 'zoo'"
              "\n    imported 2 icons (Skipped 1)");
    EXPECT_EQ(c.id_of("zoo"), 0xFFFF);
    EXPECT_EQ(c.id_of("car"), 0xFFFF);
    for (const auto& w : c.set.waypoints) {
        EXPECT_EQ((w.flags & has_icon) != 0, *w.symbol != "zoo");
    }

    // A limit above the number of used icons stops at the first unused one.
    icon_case d({"a", "b"});
    d.use("a", 1);
    icon_limit wide = limit_of(10, false);
    capture.clear();
    select_icons(d.set, wide);
    EXPECT_EQ(capture.text(),
              "\n  1. Loaded icon  (used:    1x): 'a'\n    imported 1 icons (Skipped 0)");
    EXPECT_EQ(d.id_of("b"), 0xFFFF);
}

TEST(SelectIcons, WithAPercentLimitStopsAtTheIconThatPassesTheShare) {
    icon_case c({"a", "b", "c", "d"});
    c.use("a", 50);
    c.use("b", 30);
    c.use("c", 15);
    c.use("d", 5);
    icon_limit limit = limit_of(80, true);
    message_capture capture;
    EXPECT_TRUE(select_icons(c.set, limit));
    EXPECT_EQ(capture.text(),
              "\n  1. Loaded icon  (used:   50x): 'a'"
              "\n  2. Loaded icon  (used:   30x): 'b'"
              "\n  3. Skipped icon (used:   15x): 'c'"
              "\n  4. Skipped icon (used:    5x): 'd'"
              "\n    imported 2 icons (Skipped 2)");
    EXPECT_EQ(c.id_of("a"), 0);
    EXPECT_EQ(c.id_of("b"), 1);
    EXPECT_EQ(c.id_of("c"), 0xFFFF);
    EXPECT_EQ(c.id_of("d"), 0xFFFF);

    // Waypoints without an icon count in the whole: 100% takes every used icon.
    icon_case d({"a", "b"});
    d.use("a", 2);
    d.use("b", 1);
    d.use(std::nullopt, 1);
    icon_limit all = limit_of(100, true);
    capture.clear();
    select_icons(d.set, all);
    EXPECT_EQ(d.id_of("b"), 1);
}

TEST(SelectIcons, OrdersIconsOfEqualUseBySymbol) {
    for (const auto& library :
         {std::vector<std::string>{"c", "a", "b"}, std::vector<std::string>{"b", "c", "a"}}) {
        icon_case c(library);
        c.use("b", 2);
        c.use("c", 2);
        c.use("a", 2);
        message_capture capture;
        select_icons(c.set, {});
        EXPECT_EQ(c.order(), (std::vector<std::string>{"a", "b", "c"}));
        EXPECT_EQ(c.id_of("a"), 0);
        EXPECT_EQ(c.id_of("b"), 1);
        EXPECT_EQ(c.id_of("c"), 2);
    }
}

TEST(SelectIcons, MatchesSymbolsWithoutRegardToCase) {
    icon_case c({"flag, red", "speed_50"});
    c.use("Flag, Red", 1);
    c.use("flag, red", 1);
    c.use("Speed_50", 3);
    c.use(std::nullopt, 1);
    c.use("", 1);
    message_capture capture;
    select_icons(c.set, {});
    EXPECT_EQ(c.id_of("flag, red"), 1);
    EXPECT_EQ(c.id_of("speed_50"), 0);
    EXPECT_EQ(c.set.waypoints[0].icon_id, 1);
    EXPECT_EQ(c.set.waypoints[2].icon_id, 0);
    EXPECT_EQ(c.set.waypoints[5].flags & has_icon, 0u);
    EXPECT_EQ(c.set.waypoints[6].flags & has_icon, 0u);

    // Two files that differ only in case: the first one takes the waypoints.
    icon_case twins({"car", "car"});
    twins.set.icons->entries[1]->bmp = std::make_unique<bmp_image>();  // told apart by this
    twins.use("CAR", 3);
    select_icons(twins.set, {});
    EXPECT_EQ(twins.set.icons->entries[0]->usage, 3);
    EXPECT_EQ(twins.set.icons->entries[0]->bmp, nullptr);
    EXPECT_EQ(twins.set.icons->entries[1]->icon_id, 0xFFFF);
    EXPECT_EQ(twins.set.waypoints[0].icon_id, 0);
}

TEST(SelectIcons, EveryWaypointGetsTheIconOfItsOwnSymbolAmongManyAlike) {
    // Symbols of 1 to 24 bytes that differ in one byte only, at every position, used in
    // turn by many waypoints, some spelled in capitals; looked up by one thread and by two.
    std::vector<std::string> library;
    for (std::size_t size = 1; size <= 24; ++size) {
        for (std::size_t at = 0; at < size; ++at) {
            std::string symbol(size, 'a');
            symbol[at] = 'b';
            library.push_back(symbol);
        }
    }
    for (std::size_t split_from : {split_policy::default_items_from, std::size_t{64}}) {
        constexpr int rounds = 4;
        icon_case c(library);
        for (int round = 0; round < rounds; ++round) {
            for (std::size_t i = 0; i < library.size(); ++i) {
                std::string symbol = library[i];
                if ((i + static_cast<std::size_t>(round)) % 4 == 0) {
                    symbol[0] = static_cast<char>(symbol[0] - 'a' + 'A');
                }
                c.use(symbol, 1);
            }
        }
        c.use(std::string("aa\0", 3), 1);
        message_capture capture;
        ASSERT_TRUE(select_icons(c.set, {}, {split_from}));
        for (std::size_t i = 0; i < c.set.waypoints.size() - 1; ++i) {
            const waypoint& w = c.set.waypoints[i];
            ASSERT_TRUE(w.flags & has_icon) << i << " split from " << split_from;
            ASSERT_EQ(w.icon_id, c.id_of(library[i % library.size()])) << i;
        }
        EXPECT_FALSE(c.set.waypoints.back().flags & has_icon);
    }
}

TEST(SelectIcons, TellsOnceWhichSymbolsFoundNoIconMostUsedFirst) {
    struct case_t {
        const char* what;
        std::vector<std::string> library;
        std::vector<std::pair<std::optional<std::string>, int>> uses;
        std::string told;  // what follows the summary line
    };
    std::vector<std::pair<std::optional<std::string>, int>> many;
    for (int i = 0; i < 25; ++i) many.emplace_back("s" + std::to_string(100 + i), 1 + i / 20);
    const case_t cases[] = {
        {"a geocaching file",
         {"geocache"},
         {{"Geocache Found", 5},
          {"Virtual Stage", 49},
          {"geocache", 2},
          {"Reference Point", 12},
          {std::nullopt, 1},
          {"", 1}},
         "\n    no icon for 3 symbols: Virtual Stage (49), Reference Point (12), Geocache Found "
         "(5)"},
        {"spellings that differ in case are one symbol, spelled as first read; equal counts "
         "by name",
         {"a"},
         {{"Parking", 1}, {"b", 3}, {"PARKING", 2}},
         "\n    no icon for 2 symbols: b (3), Parking (3)"},
        {"every symbol found its icon", {"a"}, {{"A", 2}}, ""},
        {"twenty are named, the rest counted",
         {"a"},
         many,
         "\n    no icon for 25 symbols: s120 (2), s121 (2), s122 (2), s123 (2), s124 (2), s100 "
         "(1), "
         "s101 (1), s102 (1), s103 (1), s104 (1), s105 (1), s106 (1), s107 (1), s108 (1), "
         "s109 (1), s110 (1), s111 (1), s112 (1), s113 (1), s114 (1), and 5 more (5)"},
    };
    for (const case_t& c : cases) {
        icon_case ic(c.library);
        for (const auto& [symbol, times] : c.uses) ic.use(symbol, times);
        message_capture capture;
        select_icons(ic.set, {});
        std::string text = capture.text();
        std::size_t summary = text.find("\n    imported");
        ASSERT_NE(summary, std::string::npos) << c.what;
        EXPECT_EQ(text.substr(text.find('\n', summary + 1) == std::string::npos
                                  ? text.size()
                                  : text.find('\n', summary + 1)),
                  c.told)
            << c.what;
    }

    // A library without icons: every symbol is told.
    icon_case empty({});
    empty.use("x", 2);
    message_capture capture;
    EXPECT_TRUE(select_icons(empty.set, {}));
    EXPECT_EQ(capture.text(), "\n    no icon for 1 symbol: x (2)");
}

TEST(SelectIcons, DoesNothingWithoutAnIconList) {
    poiset set;
    message_capture capture;
    EXPECT_FALSE(select_icons(set, {}));
    set.icons = std::make_unique<icon_list>();
    EXPECT_TRUE(select_icons(set, {}));
    EXPECT_EQ(capture.text(), "");

    // No waypoint: nothing is used, under any limit.
    icon_case c({"a"});
    icon_limit percent = limit_of(50, true);
    EXPECT_TRUE(select_icons(c.set, percent));
    EXPECT_EQ(capture.text(), "\n    imported 0 icons (Skipped 0)");
    EXPECT_EQ(c.id_of("a"), 0xFFFF);
}

}  // namespace
}  // namespace velmora
