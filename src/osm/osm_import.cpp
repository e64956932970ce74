#include "osm/osm_import.hpp"

#include <vector>

namespace velmora {

namespace {

stored_text text_or_none(poiset& set, const std::string& text) {
    if (text.empty()) return stored_text();
    return set.store(text);
}

void fill_waypoint(poiset& set, waypoint& w, osm_poi& poi) {
    w.flags = has_position;
    w.lat = poi.lat;
    w.lon = poi.lon;
    w.name = text_or_none(set, poi.name);
    w.symbol = text_or_none(set, poi.symbol);
    w.comment = text_or_none(set, poi.comment);
    w.description = text_or_none(set, poi.description);
    if (poi.speed_kmh) {
        // As for a speed in a GPX name: the alert distance is ten times the speed.
        w.speed = *poi.speed_kmh;
        w.proximity = *poi.speed_kmh * 10.0;
        w.flags |= has_speed | has_proximity;
    }
    std::string street = std::move(poi.street);
    if (!poi.house_number.empty()) {
        if (!street.empty()) street += ' ';
        street += poi.house_number;
    }
    const std::pair<const char*, std::string*> address[] = {{"Street", &street},
                                                            {"City", &poi.city},
                                                            {"Postcode", &poi.postcode},
                                                            {"State", &poi.state},
                                                            {"Country", &poi.country}};
    for (const auto& [key, value] : address) {
        if (!value->empty()) set.details_for(w).address.push_back({set.store(key), set.store(*value)});
    }
    if (!poi.phone.empty()) {
        set.details_for(w).phones.push_back({set.store("PhoneNo"), set.store(poi.phone)});
    }
}

}  // namespace

long long add_osm_pois(poiset_list& list, osm_read_result& result, const osm_tag_filter& filter,
                       const osm_mapping* mapping) {
    // The sets come in the order of the filter's categories.
    std::vector<std::size_t> counts(filter.categories.size(), 0);
    for (const osm_poi& poi : result.pois) ++counts[static_cast<std::size_t>(poi.category)];
    std::vector<poiset*> sets(filter.categories.size(), nullptr);
    for (std::size_t category = 0; category < counts.size(); ++category) {
        if (counts[category] == 0) continue;
        poiset* set = poiset_list_add(list);
        if (set == nullptr) return -1;
        const std::string& tag = filter.categories[category];
        set->name = mapping != nullptr ? osm_category_name(*mapping, tag) : tag;
        set->is_utf8 = true;
        set->waypoints.reserve(counts[category]);
        sets[category] = set;
    }
    long long added = 0;
    for (osm_poi& poi : result.pois) {
        poiset& set = *sets[static_cast<std::size_t>(poi.category)];
        waypoint* w = poiset_add_waypoint(set);
        if (w == nullptr) break;
        fill_waypoint(set, *w, poi);
        ++added;
    }
    result.pois.clear();
    return added;
}

}  // namespace velmora
