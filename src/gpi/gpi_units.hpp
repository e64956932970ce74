#pragma once
// Units of the GPI format: positions in semicircles, proximities in whole metres and
// speeds in hundredths of a metre per second.
#include <cmath>
#include <cstdint>

namespace velmora {

// degrees / 180 * 2^31, truncated toward zero; the low 32 bits (+180 becomes -2^31).
[[nodiscard]] inline std::int32_t semicircles(double degrees) {
    double value = degrees / 180.0 * 2147483648.0;
    if (!std::isfinite(value) || std::fabs(value) >= 9.2e18) return 0;
    auto wide = static_cast<std::int64_t>(value);
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(wide)));
}

[[nodiscard]] inline double semicircles_to_degrees(std::int32_t value) {
    return static_cast<double>(value) * 4.656612873077393e-10 * 180.0;
}

// The stored speed to km/h, rounded to a whole number.
[[nodiscard]] inline double gpi_speed_to_kmh(std::uint16_t value) {
    return std::floor(value / 100.0 * 3.6 + 0.5);
}

// A value for a 16-bit field, and whether it had to be clamped to get there.
struct clamped_u16 {
    std::uint16_t value = 0;
    bool clamped = false;
};

// A value for a 16-bit field, truncated toward zero; a value beyond what 16 bits hold
// becomes 0 or 65535 instead of wrapping around, a value that is not a number 0.
[[nodiscard]] inline clamped_u16 clamp_to_u16(double value) {
    if (std::isnan(value)) return {0, true};
    if (value <= -1.0) return {0, true};
    if (value >= 65536.0) return {65535, true};
    return {static_cast<std::uint16_t>(value), false};
}

[[nodiscard]] inline clamped_u16 gpi_distance_clamped(double metres) {
    return clamp_to_u16(metres);
}

[[nodiscard]] inline clamped_u16 gpi_speed_clamped(double kmh) {
    return clamp_to_u16(kmh / 3.6 * 100.0);
}

}  // namespace velmora
