#pragma once
// One POI taken from OpenStreetMap tags, and the step that takes it: the fields of the
// tags, the symbol of the mapping file, the speed of a speed camera.  Whatever carries
// the tags (an OpenStreetMap object, a GeoJSON feature) gives them through
// get_value_by_key.
#include <optional>
#include <string>
#include <string_view>

#include "model/poiset.hpp"
#include "tags/osm_filter.hpp"
#include "tags/osm_mapping.hpp"

namespace velmora {

struct osm_poi {
    double lat = 0.0;
    double lon = 0.0;
    int category = 0;  // index into the filter's categories
    std::string name;
    std::string symbol;       // Garmin symbol name; empty when the mapping gives none
    std::string comment;      // opening hours
    std::string description;  // description, else brand, else operator
    std::optional<double> speed_kmh;
    // Address parts and contacts, empty when the object has none.
    std::string street, house_number, postcode, city, state, country;
    std::string phone, fax, email, website;
};

// What the step needs besides the object.
struct osm_poi_options {
    std::string lang;                      // "de" picks name:de where the object has it
    const osm_mapping* mapping = nullptr;  // none: no symbols
    // The mapping's symbols arranged by key, when the reader made them: found faster.
    const osm_symbol_index* symbols = nullptr;
};

// The tags of an object (something with get_value_by_key, as osmium::TagList) made into
// a POI at the given position; `match` is what the filter matched.
template <class Tags>
[[nodiscard]] osm_poi make_osm_poi(const Tags& tags, const osm_tag_match& match, double lat,
                                   double lon, const osm_poi_options& options);

// The same into a POI that is used again and again, whose texts keep their room, so
// that a reader of millions of objects makes no allocation per POI.
template <class Tags>
void fill_osm_poi(osm_poi& poi, const Tags& tags, const osm_tag_match& match, double lat,
                  double lon, const osm_poi_options& options);

// The POI's position, texts, speed alert, address parts and contacts given to a
// waypoint of the set (its category is left to the caller).  Throws std::bad_alloc.
void store_osm_poi(poiset& set, waypoint& w, const osm_poi& poi);

// A speed from an OSM maxspeed value in km/h: "50", "30 mph", "50;30" (the first); none
// for values that are not a plain positive number of at most the speed a waypoint
// name may carry ("none", "signals", "RU:urban", "5000").
[[nodiscard]] std::optional<double> osm_maxspeed_kmh(std::string_view value);

// The name of an object without a name tag: its tag value, underscores as blanks
// ("charging_station" -> "charging station").
[[nodiscard]] std::string osm_name_from_value(std::string_view value);

// ---------------------------------------------------------------------------------------

namespace detail {
inline void copy_tag(std::string& field, const char* value) {
    if (value != nullptr) {
        field = value;
    } else {
        field.clear();
    }
}
template <class Tags>
const char* first_of(const Tags& tags, const char* a, const char* b) {
    const char* v = tags.get_value_by_key(a);
    return v != nullptr ? v : tags.get_value_by_key(b);
}
}  // namespace detail

template <class Tags>
osm_poi make_osm_poi(const Tags& tags, const osm_tag_match& match, double lat, double lon,
                     const osm_poi_options& options) {
    osm_poi poi;
    fill_osm_poi(poi, tags, match, lat, lon, options);
    return poi;
}

template <class Tags>
void fill_osm_poi(osm_poi& poi, const Tags& tags, const osm_tag_match& match, double lat,
                  double lon, const osm_poi_options& options) {
    poi.lat = lat;
    poi.lon = lon;
    poi.category = match.category;
    const char* name = nullptr;
    if (!options.lang.empty()) {
        std::string key = "name:" + options.lang;
        name = tags.get_value_by_key(key.c_str());
    }
    if (name == nullptr) name = tags.get_value_by_key("name");
    if (name != nullptr && *name != '\0') {
        poi.name = name;
    } else if (match.value != nullptr) {
        poi.name = osm_name_from_value(match.value);
    } else {
        poi.name.clear();
    }
    poi.symbol.clear();
    if (options.mapping != nullptr && match.key != nullptr && match.value != nullptr) {
        const std::string* symbol = match.symbol != nullptr ? match.symbol
                                    : options.symbols != nullptr
                                        ? options.symbols->find(match.key, match.value)
                                        : osm_symbol_for(*options.mapping, match.key, match.value);
        if (symbol != nullptr) poi.symbol = *symbol;
    }
    detail::copy_tag(poi.comment, tags.get_value_by_key("opening_hours"));
    const char* description = tags.get_value_by_key("description");
    if (description == nullptr) description = detail::first_of(tags, "brand", "operator");
    detail::copy_tag(poi.description, description);
    poi.speed_kmh.reset();
    if (const char* highway = tags.get_value_by_key("highway");
        highway != nullptr && std::string_view(highway) == "speed_camera") {
        if (const char* maxspeed = tags.get_value_by_key("maxspeed"))
            poi.speed_kmh = osm_maxspeed_kmh(maxspeed);
    }
    detail::copy_tag(poi.street, tags.get_value_by_key("addr:street"));
    detail::copy_tag(poi.house_number, tags.get_value_by_key("addr:housenumber"));
    detail::copy_tag(poi.postcode, tags.get_value_by_key("addr:postcode"));
    detail::copy_tag(poi.city, tags.get_value_by_key("addr:city"));
    detail::copy_tag(poi.state, tags.get_value_by_key("addr:state"));
    detail::copy_tag(poi.country, tags.get_value_by_key("addr:country"));
    detail::copy_tag(poi.phone, detail::first_of(tags, "phone", "contact:phone"));
    detail::copy_tag(poi.fax, detail::first_of(tags, "fax", "contact:fax"));
    detail::copy_tag(poi.email, detail::first_of(tags, "email", "contact:email"));
    detail::copy_tag(poi.website, detail::first_of(tags, "website", "contact:website"));
}

}  // namespace velmora
