#include "tags/osm_poi.hpp"

#include <utility>

#include "text/strict_numbers.hpp"

namespace velmora {

namespace {

stored_text text_or_none(poiset& set, const std::string& text) {
    if (text.empty()) return stored_text();
    return set.store(text);
}

}  // namespace

void store_osm_poi(poiset& set, waypoint& w, const osm_poi& poi) {
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
        w.flags |= has_speed | has_proximity | proximity_from_speed;
    }
    const std::pair<std::string_view, const std::string*> address[] = {
        {address_street, &poi.street},     {address_house_number, &poi.house_number},
        {address_city, &poi.city},         {address_state, &poi.state},
        {address_postcode, &poi.postcode}, {address_country, &poi.country}};
    for (const auto& [key, value] : address) {
        if (!value->empty())
            set.details_for(w).address.push_back({set.store(key), set.store(*value)});
    }
    const std::pair<std::string_view, const std::string*> contacts[] = {
        {contact_phone, &poi.phone},
        {contact_fax, &poi.fax},
        {contact_email, &poi.email},
        {contact_web, &poi.website}};
    for (const auto& [key, value] : contacts) {
        if (!value->empty())
            set.details_for(w).phones.push_back({set.store(key), set.store(*value)});
    }
}

std::optional<double> osm_maxspeed_kmh(std::string_view value) {
    // Several limits ("50;30") give the first; "mph" after the number converts it.
    value = value.substr(0, value.find(';'));
    double factor = 1.0;
    if (std::size_t mph = value.find("mph"); mph != std::string_view::npos) {
        if (mph + 3 != value.size()) return std::nullopt;
        value = value.substr(0, mph);
        factor = 1.609344;
    }
    // The number itself as a speed in a waypoint name must be: plain, positive, bounded.
    std::optional<double> speed = whole_decimal(value);
    if (!speed || *speed <= 0.0) return std::nullopt;
    *speed *= factor;
    if (*speed > max_speed_in_name) return std::nullopt;
    return speed;
}

std::string osm_name_from_value(std::string_view value) {
    std::string name(value);
    for (char& c : name) {
        if (c == '_') c = ' ';
    }
    return name;
}

}  // namespace velmora
