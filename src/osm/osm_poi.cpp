#include "osm/osm_poi.hpp"

#include <cmath>

#include "platform/c_numbers.hpp"

namespace velmora {

std::optional<double> osm_maxspeed_kmh(std::string_view value) {
    std::size_t consumed = 0;
    double speed = c_leading_double(value, consumed);
    if (consumed == 0 || !std::isfinite(speed) || speed <= 0.0) return std::nullopt;
    std::string_view unit = value.substr(consumed);
    while (!unit.empty() && unit.front() == ' ') unit.remove_prefix(1);
    if (unit.substr(0, 3) == "mph") speed *= 1.609344;
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
