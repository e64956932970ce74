#include "model/geometry.hpp"

#include <cmath>

namespace velmora {

namespace {

// Sums of a ring's signed area (twice the area) and of its first moments, relative to
// an origin, from which centroids of rings with holes are combined.
struct ring_moments {
    double area2 = 0.0;
    double lat = 0.0;
    double lon = 0.0;
};

// Twice the area below which a ring counts as enclosing nothing (square degrees; a
// square of about a millimetre).
constexpr double no_area = 1e-16;

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

ring_moments moments_of(std::span<const geo_point> ring, geo_point origin) {
    ring_moments m;
    for (std::size_t i = 0; i < ring.size(); ++i) {
        const geo_point& a = ring[i];
        const geo_point& b = ring[(i + 1) % ring.size()];
        double ax = lon_offset(a.lon, origin.lon), ay = a.lat - origin.lat;
        double bx = lon_offset(b.lon, origin.lon), by = b.lat - origin.lat;
        double cross = ax * by - bx * ay;
        m.area2 += cross;
        m.lon += (ax + bx) * cross;
        m.lat += (ay + by) * cross;
    }
    return m;
}

geo_point mean_of(std::span<const geo_point> ring) {
    const geo_point origin = ring.front();
    double lat = 0.0;
    double lon = 0.0;
    for (const geo_point& p : ring) {
        lat += p.lat - origin.lat;
        lon += lon_offset(p.lon, origin.lon);
    }
    const auto n = static_cast<double>(ring.size());
    return at_offset(origin, lat / n, lon / n);
}

}  // namespace

geo_point ring_centre(const std::vector<geo_point>& ring) {
    if (ring.empty()) return {};
    // Relative to the first point, so that the products keep their precision.
    const geo_point origin = ring.front();
    ring_moments m = moments_of(ring, origin);
    if (std::fabs(m.area2) < no_area) return mean_of(ring);
    return at_offset(origin, m.lat / (3.0 * m.area2), m.lon / (3.0 * m.area2));
}

void area_centroid::add_ring(std::span<const geo_point> ring, bool hole) {
    if (ring.size() > 1 && ring.front().lat == ring.back().lat &&
        ring.front().lon == ring.back().lon) {
        ring = ring.first(ring.size() - 1);  // the closing repetition
    }
    if (ring.empty()) return;
    if (!origin_) origin_ = ring.front();
    if (!hole && !fallback_) fallback_ = mean_of(ring);
    ring_moments m = moments_of(ring, *origin_);
    // Outer rings count positive and holes negative, whichever way they wind.
    double sign = ((m.area2 < 0.0) != hole) ? -1.0 : 1.0;
    area2_ += sign * m.area2;
    lat_ += sign * m.lat;
    lon_ += sign * m.lon;
}

std::optional<geo_point> area_centroid::centre() const {
    if (!origin_) return std::nullopt;
    if (std::fabs(area2_) < no_area) return fallback_;
    return at_offset(*origin_, lat_ / (3.0 * area2_), lon_ / (3.0 * area2_));
}

}  // namespace velmora
