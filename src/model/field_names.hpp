#pragma once
// The meaning of a column, property or data name that POI lists from other programs use
// (spreadsheet headers, KML extended data, GeoJSON properties): one table for every
// reader, compared without regard to ASCII letter case.
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
// field_kind::none for a name of no known meaning.  Blanks around the name are ignored.
[[nodiscard]] field_kind field_kind_of(std::string_view name);

}  // namespace velmora
