#pragma once
// Settings for importing speed-camera lists, from Velmora_speedcam.ini beside the
// program: alert speeds per speed band, the proximity factor and the filter rectangle.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// Speed bands: band i covers the limits 10i+1 .. 10i+10; the last band takes every
// limit above 130.
inline constexpr int speed_band_count = 14;

struct speedcam_settings {
    std::int32_t different_speed_alarm = 0;  // 1: alert speeds come from alarm_speeds
    std::array<double, speed_band_count> alarm_speeds = {10, 20, 30,  40,  50,  60,  70,
                                                         80, 90, 100, 110, 120, 130, 140};
    double proximity_factor = 1.0;
    std::int32_t region_filter = 0;  // 0: none chosen, 1: rectangle, 2: region names
    double region_max_lat = 200.0;
    double region_max_lon = 200.0;
    double region_min_lon = -200.0;
    double region_min_lat = -200.0;
};

// Reads app_dir + "Velmora_speedcam.ini"; none when the file can't be opened.
[[nodiscard]] std::unique_ptr<speedcam_settings> load_speedcam_settings(const std::string& app_dir);

// Reads a speedcam settings file; none (after an error message) when it can't be opened.
[[nodiscard]] std::unique_ptr<speedcam_settings> read_speedcam_settings(const std::string& path);

// The band of a speed limit: (speed - 1) / 10 truncated toward zero, clamped to the bands.
[[nodiscard]] int speed_band(long long speed);

// The alert speed of a camera: the limit itself, or with different_speed_alarm the
// alert speed of the limit's band truncated to an integer.
[[nodiscard]] int alarm_speed_for(int speed_limit, const speedcam_settings& settings);

// True when the position lies in the filter rectangle, bounds included.
[[nodiscard]] bool in_region_rect(double lat, double lon, const speedcam_settings& settings);

// Largest alert speed a setting may give, in km/h, and largest proximity factor.
inline constexpr long long max_alarm_speed = 1000;
inline constexpr double max_proximity_factor = 100.0;

// An alert speed from a settings value and the band's nominal speed: "+10%", "+7", "110%"
// or "60" (whole numbers, no sign but the leading "+"), rounded to a whole number; 0
// for an empty value; none for anything else or a speed above max_alarm_speed.
[[nodiscard]] std::optional<double> speed_from_value(std::string_view value, double nominal);

// A factor from a settings value: "1.5", "1,5" or "150%"; the default for an empty
// value; none for a value that is no number, negative or above max_proximity_factor.
[[nodiscard]] std::optional<double> factor_from_value(std::string_view value,
                                                      double default_factor);

// Reads a coordinate such as "47.51", "N47 30.6" or "47 30 36" into destination.  False
// (after a warning, destination untouched) for a text that is no coordinate.
[[nodiscard]] bool parse_coordinate(std::string_view text, bool is_latitude, double& destination);

// The coordinate as hemisphere, whole degrees and minutes: "N47 30.000".
[[nodiscard]] std::string format_coordinate(bool is_latitude, double value);

}  // namespace velmora
