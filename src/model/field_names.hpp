#pragma once
// The meaning of a column, property or data name that POI lists from other programs use
// (spreadsheet headers, KML extended data, GeoJSON properties): one table for every
// reader, compared without regard to ASCII letter case.
#include <string>
#include <string_view>

namespace velmora {

enum class field_kind {
    none,
    latitude,
    longitude,
    name,
    description,
    comment,
    symbol,
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
    speed,
    proximity,
};

// The field a name stands for ("Latitude", "lng", "Postal Code", "tel", ...), or
// field_kind::none for a name of no known meaning.  Blanks, "_", "-" and "." between
// the letters are ignored, so "Postal Code", "postal_code" and "PostalCode" are one name,
// and so is a unit or note in brackets after it ("Latitude (WGS84)").
[[nodiscard]] field_kind field_kind_of(std::string_view name);

// The names that stand for a kind, as a message lists them: "lat, latitude, y, ...".
[[nodiscard]] std::string field_names_of(field_kind kind);

}  // namespace velmora
