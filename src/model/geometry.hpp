#pragma once
// Plane geometry of positions in degrees: the centre of an area given by its rings, as
// readers of areas (OpenStreetMap ways and multipolygons, KML polygons) place a POI.
#include <optional>
#include <span>
#include <vector>

namespace velmora {

struct geo_point {
    double lat = 0.0;
    double lon = 0.0;
};

// The centre of a closed ring of positions (the first point not repeated at the end):
// the centroid of its area, or the mean of its points when it encloses none.
[[nodiscard]] geo_point ring_centre(const std::vector<geo_point>& ring);

// The centroid of an area of outer rings less their holes, built ring by ring.  Rings
// count whichever way they wind; a ring across the antimeridian stays one piece.
class area_centroid {
  public:
    // A ring of positions, closed or not (a last point equal to the first is passed over).
    void add_ring(std::span<const geo_point> ring, bool hole);
    // The centroid; the mean of the first outer ring's points when the area encloses
    // nothing; none without any ring.
    [[nodiscard]] std::optional<geo_point> centre() const;

  private:
    std::optional<geo_point> origin_;
    std::optional<geo_point> fallback_;
    double area2_ = 0.0;
    double lat_ = 0.0;
    double lon_ = 0.0;
};

}  // namespace velmora
