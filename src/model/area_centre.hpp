#pragma once
// The centre of an area given by its rings of positions, as readers place a POI that
// stands for an area (a building, a campsite): the centroid of the outer rings' area less
// that of their holes, across the antimeridian the short way round.
#include <optional>
#include <span>

namespace velmora {

struct geo_point {
    double lat = 0.0;
    double lon = 0.0;
};

// Sums the rings of one area (several polygons may make it) and gives their centroid.
class area_centre_sum {
  public:
    // A ring of positions, closed or not (a last point equal to the first is passed
    // over); holes count negative, outer rings positive, whichever way they wind.
    void add_ring(std::span<const geo_point> ring, bool hole);

    // The centroid of the area; the mean of the first outer ring's points when the
    // rings enclose nothing; none when no ring had a point.
    [[nodiscard]] std::optional<geo_point> centre() const;

  private:
    std::optional<geo_point> origin_;    // the first point: sums are taken relative to it
    std::optional<geo_point> fallback_;  // the mean of the first outer ring
    double area2_ = 0.0;                 // twice the signed area
    double lat_ = 0.0;                   // first moments
    double lon_ = 0.0;
};

}  // namespace velmora
