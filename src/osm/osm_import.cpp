#include "osm/osm_import.hpp"

#include <optional>
#include <utility>
#include <vector>

namespace velmora {

long long add_osm_pois(poiset_list& list, osm_read_result& result, const osm_tag_filter& filter,
                       const osm_mapping* mapping, const std::string& set_name) {
    poiset* set = poiset_list_add(list);
    if (set == nullptr) return -1;
    set->name = set_name;
    set->name_is_utf8 = true;
    set->is_utf8 = true;
    // The categories are numbered in the filter's order, those that hold no POI left out.
    std::vector<bool> used(filter.categories.size(), false);
    for (const osm_poi& poi : result.pois) used[static_cast<std::size_t>(poi.category)] = true;
    std::vector<std::optional<std::uint16_t>> numbers(filter.categories.size());
    for (std::size_t category = 0; category < used.size(); ++category) {
        if (!used[category]) continue;
        const std::string& tag = filter.categories[category];
        numbers[category] =
            set->category_index(mapping != nullptr ? osm_category_name(*mapping, tag) : tag);
    }
    long long added = 0;
    for (const osm_poi& poi : result.pois) {
        waypoint* w = poiset_add_waypoint(*set);
        if (w == nullptr) break;
        store_osm_poi(*set, *w, poi);
        if (auto number = numbers[static_cast<std::size_t>(poi.category)]) {
            set->details_for(*w).categories.push_back(*number);
        }
        ++added;
    }
    result.pois.clear();
    return added;
}

}  // namespace velmora
