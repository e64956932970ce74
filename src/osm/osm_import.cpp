#include "osm/osm_import.hpp"

#include <optional>
#include <utility>
#include <vector>

namespace velmora {

namespace {

stored_text text_or_none(poiset& set, const std::string& text) {
    if (text.empty()) return stored_text();
    return set.store(text);
}

void fill_waypoint(poiset& set, waypoint& w, const osm_poi& poi) {
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
    const std::pair<std::string_view, const std::string*> address[] = {
        {address_street, &poi.street},     {address_house_number, &poi.house_number},
        {address_city, &poi.city},         {address_state, &poi.state},
        {address_postcode, &poi.postcode}, {address_country, &poi.country}};
    for (const auto& [key, value] : address) {
        if (!value->empty()) set.details_for(w).address.push_back({set.store(key), set.store(*value)});
    }
    const std::pair<std::string_view, const std::string*> contacts[] = {
        {contact_phone, &poi.phone},
        {contact_fax, &poi.fax},
        {contact_email, &poi.email},
        {contact_web, &poi.website}};
    for (const auto& [key, value] : contacts) {
        if (!value->empty()) set.details_for(w).phones.push_back({set.store(key), set.store(*value)});
    }
}

}  // namespace

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
        numbers[category] = set->category_index(mapping != nullptr ? osm_category_name(*mapping, tag) : tag);
    }
    long long added = 0;
    for (const osm_poi& poi : result.pois) {
        waypoint* w = poiset_add_waypoint(*set);
        if (w == nullptr) break;
        fill_waypoint(*set, *w, poi);
        if (auto number = numbers[static_cast<std::size_t>(poi.category)]) {
            set->details_for(*w).categories.push_back(*number);
        }
        ++added;
    }
    result.pois.clear();
    return added;
}

}  // namespace velmora
