#include "model/poiset.hpp"

#include <algorithm>
#include <new>

#include "platform/messages.hpp"

namespace velmora {

std::optional<std::string_view> find_value(std::span<const text_pair> pairs,
                                           std::string_view name) {
    for (const text_pair& pair : pairs) {
        if (pair.key && *pair.key == name) return pair.value.optional();
    }
    return std::nullopt;
}

waypoint_details& poiset::details_for(waypoint& w) {
    if (w.details == no_details) {
        details.emplace_back();
        w.details = static_cast<std::uint32_t>(details.size() - 1);
    }
    return details[w.details];
}

std::optional<std::uint16_t> poiset::category_index(std::string_view category) {
    for (std::size_t i = 0; i < categories.size(); ++i) {
        if (categories[i] == category) return static_cast<std::uint16_t>(i);
    }
    // Category numbers are 16 bits wide in GPI files.
    if (categories.size() > 0xFFFF) return std::nullopt;
    categories.push_back(texts.add(category));
    return static_cast<std::uint16_t>(categories.size() - 1);
}

bool poiset::add_to_category(waypoint& w, std::string_view category) {
    std::optional<std::uint16_t> index = category_index(category);
    if (!index) return false;
    std::vector<std::uint16_t>& refs = details_for(w).categories;
    if (std::find(refs.begin(), refs.end(), *index) == refs.end()) refs.push_back(*index);
    return true;
}

std::string shown_name(const poiset& set) {
    return display_text(set.name, set.name_encoding(), shown_text);
}

poiset* poiset_list_add(poiset_list& list) {
    try {
        list.poisets.push_back(std::make_unique<poiset>());
    } catch (const std::bad_alloc&) {
        report("\nFatal: Can't allocate one more poiset");
        return nullptr;
    }
    return list.poisets.back().get();
}

waypoint* poiset_add_waypoint(poiset& set) {
    try {
        set.waypoints.emplace_back();
    } catch (const std::bad_alloc&) {
        report("\nError: Can't allocate one waypoint!");
        return nullptr;
    }
    return &set.waypoints.back();
}

}  // namespace velmora
