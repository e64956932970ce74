#pragma once
// Reading of GeoJSON (RFC 7946) files as overpass turbo, uMap, QGIS, GDAL and web maps
// save them: a FeatureCollection, a single Feature, or uMap's document of layers, each a
// feature collection.  Points become POIs, and polygons at the centroid of their area
// less holes; properties that look like OpenStreetMap tags give their fields as
// OpenStreetMap input does, other properties by their usual names.
#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

#include "model/poiset.hpp"
#include "platform/split_policy.hpp"
#include "tags/osm_filter.hpp"
#include "tags/osm_poi.hpp"

namespace velmora {

// About what a feature takes of a text, for sharing a text by its length.
inline constexpr std::size_t geojson_bytes_per_feature = 64;

struct geojson_options {
    const osm_tag_filter* filter = nullptr;  // -tags:; none: every feature is taken
    osm_poi_options osm;                     // -lang: and the mapping file (also Maki names)
    bool layers_as_sets = false;             // -groups:folders: each uMap layer a set of its own
    // A text of at least this many bytes is read on one thread while the POIs of its
    // features are made on another.
    std::size_t two_threads_from = split_policy{}.bytes_from(geojson_bytes_per_feature);
};

// Limits that keep a hostile file's cost bounded: nesting of arrays and objects, and the
// length of one text (longer ones are left out with a warning).
inline constexpr std::size_t geojson_max_depth = 64;
inline constexpr std::size_t geojson_max_text = std::size_t{1} << 20;
// Room behind the bytes that the reader uses (JSON is read a block at a time); bytes
// given with less room are copied once.
inline constexpr std::size_t geojson_padding = 64;

// Reads the bytes of a whole GeoJSON file (or uMap document) and appends its POI sets to
// the list: one set named after the document's name, else after base_name, whose uMap
// layers are categories (or sets of their own), and the sets that features name in their
// "set" property.  `display` names the input in messages.
// False, with nothing appended, after "Error: Reading the GeoJSON file (...) failed"
// with the reason and its line and column, when the text is no JSON or no GeoJSON.
// Throws std::bad_alloc.
[[nodiscard]] bool geojson_read(std::string bytes, const std::string& display,
                                std::string_view base_name, const geojson_options& options,
                                poiset_list& list);

// The same for bytes behind which room_after bytes may be read (they are copied once
// when that is less than geojson_padding).
[[nodiscard]] bool geojson_read_bytes(std::string_view bytes, std::size_t room_after,
                                      const std::string& display, std::string_view base_name,
                                      const geojson_options& options, poiset_list& list);

// The same for an open file from its start (mapped into memory when it is a regular
// file) or a stream to its end; false also after the message of a failed read.
[[nodiscard]] bool geojson_read_file(std::FILE* file, const std::string& display,
                                     std::string_view base_name, const geojson_options& options,
                                     poiset_list& list);

// The kinds of property names GeoJSON features use for a POI's fields ("name", "title",
// "marker-symbol", "website", ...), compared without regard to ASCII case; none for
// other names, which go into the description as "name: value" lines.
enum class geojson_field {
    none,
    name,
    description,
    comment,
    symbol,
    maki_symbol,
    category,
    street,
    house_number,
    city,
    state,
    postcode,
    country,
    phone,
    web,
    email,
    speed,      // of a speed alert, km/h
    proximity,  // of a proximity alert, metres
};
[[nodiscard]] geojson_field geojson_field_of(std::string_view property_name);

// The property that names the POI set of a feature (the GeoJSON writer's).  Features
// outside uMap layers that have it go into the set of that name, in the order the names
// first come; the others into the file's set.
inline constexpr std::string_view geojson_set_property = "set";

// The start of the name of a property that holds a phone number of another kind than
// "phone" ("phone:Fax", "phone:Mobile"), the kind following it.
inline constexpr std::string_view geojson_phone_prefix = "phone:";

// Property names of uMap's and simplestyle's own (styling, storage) that are no field
// and no description line.
[[nodiscard]] bool is_geojson_styling_key(std::string_view property_name);

}  // namespace velmora
