#include "model/area_centre.hpp"

#include <cmath>

namespace velmora {

namespace {

// The eastward distance in degrees from the origin's longitude to a longitude, the short
// way round, so that a ring across the antimeridian stays one piece.
double lon_offset(double lon, double origin) {
    double d = lon - origin;
    if (d > 180.0) return d - 360.0;
    if (d < -180.0) return d + 360.0;
    return d;
}

// A longitude east of the origin's, brought back into -180 to 180 degrees.
geo_point at_offset(geo_point origin, double lat, double lon) {
    double east = origin.lon + lon;
    if (east > 180.0) east -= 360.0;
    if (east < -180.0) east += 360.0;
    return {origin.lat + lat, east};
}

// Twice the area below which rings count as enclosing nothing (square degrees; a square
// of about a millimetre).
constexpr double no_area = 1e-16;

}  // namespace

void area_centre_sum::add_ring(std::span<const geo_point> ring, bool hole) {
    if (ring.size() > 1 && ring.front().lat == ring.back().lat &&
        ring.front().lon == ring.back().lon) {
        ring = ring.first(ring.size() - 1);
    }
    if (ring.empty()) return;
    if (!origin_) origin_ = ring.front();
    const geo_point origin = *origin_;
    double area2 = 0.0;
    double lat = 0.0;
    double lon = 0.0;
    for (std::size_t i = 0; i < ring.size(); ++i) {
        const geo_point& a = ring[i];
        const geo_point& b = ring[(i + 1) % ring.size()];
        double ax = lon_offset(a.lon, origin.lon), ay = a.lat - origin.lat;
        double bx = lon_offset(b.lon, origin.lon), by = b.lat - origin.lat;
        double cross = ax * by - bx * ay;
        area2 += cross;
        lon += (ax + bx) * cross;
        lat += (ay + by) * cross;
    }
    if (!hole && !fallback_) {
        double mean_lat = 0.0;
        double mean_lon = 0.0;
        for (const geo_point& p : ring) {
            mean_lat += p.lat - origin.lat;
            mean_lon += lon_offset(p.lon, origin.lon);
        }
        const auto n = static_cast<double>(ring.size());
        fallback_ = at_offset(origin, mean_lat / n, mean_lon / n);
    }
    // Outer rings count positive and holes negative, whichever way they wind.
    double sign = ((area2 < 0.0) != hole) ? -1.0 : 1.0;
    area2_ += sign * area2;
    lat_ += sign * lat;
    lon_ += sign * lon;
}

std::optional<geo_point> area_centre_sum::centre() const {
    if (!origin_) return std::nullopt;
    if (std::fabs(area2_) < no_area || !std::isfinite(area2_)) {
        if (fallback_) return fallback_;
        return origin_;
    }
    return at_offset(*origin_, lat_ / (3.0 * area2_), lon_ / (3.0 * area2_));
}

}  // namespace velmora
