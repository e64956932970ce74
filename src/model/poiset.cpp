#include "model/poiset.hpp"

#include <algorithm>
#include <new>
#include <utility>

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
    } else if (details_are_shared(w.details)) {
        waypoint_details own = details[w.details];
        details.push_back(std::move(own));
        w.details = static_cast<std::uint32_t>(details.size() - 1);
    }
    return details[w.details];
}

std::uint32_t poiset::add_shared_details(waypoint_details shared) {
    details.push_back(std::move(shared));
    try {
        shared_details_.resize(details.size());
    } catch (...) {
        details.pop_back();
        throw;
    }
    shared_details_.back() = true;
    return static_cast<std::uint32_t>(details.size() - 1);
}

std::optional<std::uint16_t> poiset::category_index(std::string_view category) {
    if (auto found = category_numbers_.find(category); found != category_numbers_.end())
        return found->second;
    if (categories.size() >= max_categories) {
        if (!category_limit_reported_) {
            category_limit_reported_ = true;
            std::string shown = shown_name(*this);
            report(
                "\nWarning: More than %zu categories%s%s; the POIs keep only the first %zu, "
                "the most a GPI file holds",
                max_categories, shown.empty() ? "" : " in ", shown.c_str(), max_categories);
        }
        return std::nullopt;
    }
    auto number = static_cast<std::uint16_t>(categories.size());
    if (categories.size() == categories.capacity())
        categories.reserve(std::max<std::size_t>(16, categories.capacity() * 2));
    stored_text stored = texts.add(category);
    category_numbers_.emplace(category, number);
    categories.push_back(stored);  // room reserved: the table and the index stay in step
    return number;
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
