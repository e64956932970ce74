#include "osm/osm_poi.hpp"

#include "text/strict_numbers.hpp"

namespace velmora {

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
