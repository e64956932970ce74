#pragma once
// Integers stored little-endian, as GPI and BMP files hold them: the one place that takes
// them apart and puts them together.  Byte by byte, so that the bytes need no alignment
// and the host's own order does not matter; compilers make single loads and stores of
// these.
#include <cstdint>

namespace velmora {

[[nodiscard]] constexpr std::uint16_t load_le16(const std::uint8_t* at) {
    return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

[[nodiscard]] constexpr std::uint32_t load_le24(const std::uint8_t* at) {
    return static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8) |
           (static_cast<std::uint32_t>(at[2]) << 16);
}

[[nodiscard]] constexpr std::uint32_t load_le32(const std::uint8_t* at) {
    return load_le24(at) | (static_cast<std::uint32_t>(at[3]) << 24);
}

constexpr void store_le16(std::uint8_t* at, std::uint16_t value) {
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

constexpr void store_le32(std::uint8_t* at, std::uint32_t value) {
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
    at[2] = static_cast<std::uint8_t>(value >> 16);
    at[3] = static_cast<std::uint8_t>(value >> 24);
}

}  // namespace velmora
