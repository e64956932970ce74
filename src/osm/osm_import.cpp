#include "osm/osm_import.hpp"

#include <vector>

namespace velmora {

namespace {

std::optional<std::string> text_or_none(std::string& text) {
    if (text.empty()) return std::nullopt;
    return std::move(text);
}

void fill_waypoint(waypoint& w, osm_poi& poi) {
    w.flags = has_position;
    w.lat = poi.lat;
    w.lon = poi.lon;
    w.name = text_or_none(poi.name);
    w.symbol = text_or_none(poi.symbol);
    w.comment = text_or_none(poi.comment);
    w.description = text_or_none(poi.description);
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
        if (!value->empty()) field_list_append(w.address, key, *value);
    }
    if (!poi.phone.empty()) field_list_append(w.phones, "PhoneNo", poi.phone);
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
        waypoint* w = poiset_add_waypoint(*sets[static_cast<std::size_t>(poi.category)]);
        if (w == nullptr) break;
        fill_waypoint(*w, poi);
        ++added;
    }
    result.pois.clear();
    return added;
}

}  // namespace velmora
