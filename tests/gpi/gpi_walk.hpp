#pragma once
// A strict walker over GPI bytes for the tests: it follows the framing rules block by
// block and records every problem it meets, so a test can check that every length
// field agrees with the bytes behind it.
#include <cstdint>
#include <string>
#include <vector>

namespace velmora::testing {

struct gpi_block {
    std::uint16_t type = 0;
    std::uint16_t flags = 0;
    std::uint32_t length = 0;
    std::size_t offset = 0;  // of the block header
    std::size_t end = 0;     // one past the last byte
    std::size_t data = 0;    // first byte behind the header and main_size
    std::uint32_t main_size = 0;
    std::vector<gpi_block> children;
};

struct gpi_walk {
    std::vector<gpi_block> blocks;    // top level, in file order
    std::vector<std::string> errors;  // empty when every length agrees with the bytes
    int poi_count = 0;
};

[[nodiscard]] std::uint16_t get_u16(const std::string& bytes, std::size_t at);
[[nodiscard]] std::uint32_t get_u32(const std::string& bytes, std::size_t at);
[[nodiscard]] std::string le16(std::uint16_t value);
[[nodiscard]] std::string le32(std::uint32_t value);

[[nodiscard]] gpi_walk walk_gpi(const std::string& bytes);

}  // namespace velmora::testing
