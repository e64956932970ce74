#include "driver/gpi_preparation.hpp"

#include <map>
#include <utility>

#include "driver/gpi_texts.hpp"
#include "driver/kml_icons.hpp"
#include "gpi/gpi_blocks.hpp"
#include "gpi/gpi_reader.hpp"
#include "icons/icon_convert.hpp"
#include "icons/icon_library.hpp"
#include "icons/icon_selection.hpp"
#include "platform/dir_search.hpp"
#include "platform/messages.hpp"
#include "platform/paths.hpp"

namespace velmora {

gpi_preparation::gpi_preparation(options given, library_loader load_library)
    : options_(given), load_library_(std::move(load_library)) {}

// The icons the set takes, within the icon limit of the settings (none without them).
void gpi_preparation::select(poiset& set) const {
    icon_limit limit;
    if (options_.settings != nullptr) {
        limit = {options_.settings->icon_count_limit, options_.settings->icon_limit_is_percent};
    }
    select_icons(set, limit, options_.split);
}

void gpi_preparation::take_set(poiset& set, icon_library library) {
    set.icons = load_library_(library);
    select(set);
}

void gpi_preparation::take_set_with_icon_beside(poiset& set, const std::string& input_path) {
    set.icons = icon_load_beside(input_path);
    if (set.icons->entries.empty()) {
        for (const auto& w : set.waypoints) {
            if (w.symbol) {
                take_set(set, icon_library::symbols);
                break;
            }
        }
        return;
    }
    const icon_entry& icon = *set.icons->entries.front();
    // One stored copy of the symbol serves every waypoint.
    stored_text symbol = set.store(*icon.symbol);
    for (auto& w : set.waypoints) w.symbol = symbol;
    select(set);
}

void gpi_preparation::take_set_with_document_icons(poiset& set, std::span<const kml_icon> icons) {
    set.icons = kml_icon_list(icons, load_library_(icon_library::symbols));
    select(set);
}

std::optional<gpi_prepared> gpi_preparation::finish(poiset_list& list) {
    for (auto& set : list.poisets) apply_default_proximity(options_.settings, *set, options_.split);
    const code_page_choice& choice = options_.code_page;
    int number = choice.automatic ? choose_gpi_code_page(list) : choice.number;
    if (choice.automatic) report("\n    code page %i chosen", number);
    auto output = output_code_page::create(number);
    if (!output) {
        report("\nError: Can't create the output code page (%i)", number);
        return std::nullopt;
    }
    auto groups = prepare_for_gpi(list, *output, options_.split);
    if (!groups) return std::nullopt;
    return gpi_prepared{number, std::move(*groups)};
}

std::optional<std::vector<gpi_group>> prepare_for_gpi(poiset_list& list,
                                                      const output_code_page& output,
                                                      const split_policy& split) {
    std::vector<gpi_group> groups;
    std::uint64_t lost = 0;
    for (const std::unique_ptr<poiset>& set : list.poisets) {
        if (set->waypoints.empty()) {
            report("\nWarning: Poi set (%s) has no pois; it is left out of the gpi file",
                   shown_name(*set).c_str());
            continue;
        }
        lost += convert_set_texts(*set, output, split);
        fit_set_to_gpi(*set, output.is_utf8(), split);
        gpi_group group;
        group.set = set.get();
        group.bitmaps = build_bitmap_set(set->icons.get());
        if (!group.bitmaps) group.bitmaps = std::make_unique<icon_list>();
        auto areas = area_index_build(set->waypoints, split);
        if (!areas) {
            report("\nError: No area index for poi set (%s)", shown_name(*set).c_str());
            return std::nullopt;
        }
        group.areas = std::move(*areas);
        groups.push_back(std::move(group));
    }
    if (lost > 0) {
        report(
            "\nWarning: %llu characters have no place in code page %i and were written as \"?\" "
            "(use -codepage:auto)",
            static_cast<unsigned long long>(lost), output.number());
    }
    return groups;
}

gpi_header_time distinct_header_time(const std::string& output_path, std::int64_t wanted) {
    std::size_t slash = output_path.rfind('/');
    std::string dir = slash == std::string::npos ? std::string() : output_path.substr(0, slash + 1);
    std::string_view own_name = std::string_view(output_path).substr(dir.size());
    // The times taken, each with the first file (in name order) that holds it.
    std::map<std::uint32_t, std::string> taken;
    for (const dir_entry& entry : find_entries(dir + "*")) {
        std::string_view name = entry.name;
        if (entry.is_directory || name == own_name || name.size() < 4 ||
            !equals_ignore_case(name.substr(name.size() - 4), ".gpi")) {
            continue;
        }
        if (auto time = read_gpi_header_time(dir + entry.name)) taken.emplace(*time, entry.name);
    }
    // The header holds the low 32 bits of the time, which are what must differ.
    gpi_header_time chosen{wanted, {}};
    auto held = [&](std::int64_t t) {
        return taken.find(static_cast<std::uint32_t>(static_cast<std::uint64_t>(t)));
    };
    for (auto found = held(chosen.time); found != taken.end(); found = held(chosen.time)) {
        chosen.after = found->second;
        ++chosen.time;
    }
    return chosen;
}

}  // namespace velmora
