#pragma once
// The run's POI sets: what each input file contributes, in memory until the export.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/icon_list.hpp"
#include "model/waypoint.hpp"
#include "platform/code_page.hpp"

namespace velmora {

struct poiset {
    poiset();

    std::string name;
    std::vector<std::unique_ptr<waypoint>> waypoints;  // in reading order
    double north = 0.0;
    double east = 0.0;
    double west = 0.0;
    double south = 0.0;
    std::optional<std::string> icon_spec;
    std::unique_ptr<icon_list> icons;
    bool is_utf8 = false;             // strings are UTF-8, else in the code page of locale
    std::optional<code_page> locale;  // none: each byte is the character of its number
    std::int32_t time = 0;            // seconds since 1970, from a GPI header
    bool name_is_utf8 = false;  // the name is UTF-8 (a file's name), else in the texts' encoding

    [[nodiscard]] int count() const { return static_cast<int>(waypoints.size()); }
};

struct poiset_list {
    poiset_list();

    std::vector<std::unique_ptr<poiset>> poisets;
    std::int32_t gpi_codepage = 0;  // of the GPI file read most recently
    std::int32_t gpi_time = 0;

    [[nodiscard]] int count() const { return static_cast<int>(poisets.size()); }
};

// Appends a new empty set; none (after "\nFatal: Can't allocate one more poiset") when
// memory runs out.
[[nodiscard]] poiset* poiset_list_add(poiset_list& list);

// Appends a new empty waypoint; none (after "\nError: Can't allocate one waypoint!")
// when memory runs out, the set unchanged.
[[nodiscard]] waypoint* poiset_add_waypoint(poiset& set);

}  // namespace velmora
