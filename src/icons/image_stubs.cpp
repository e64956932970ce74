#include "icons/rgba_image.hpp"
namespace velmora {
std::optional<rgba_image> jpeg_decode_rgba(std::span<const std::uint8_t>, std::string& why) { why = "JPEG images are not read yet"; return std::nullopt; }
std::optional<rgba_image> gif_decode_rgba(std::span<const std::uint8_t>, std::string& why) { why = "GIF images are not read yet"; return std::nullopt; }
std::optional<rgba_image> bmp_decode_rgba(std::span<const std::uint8_t>, std::string& why) { why = "BMP images of more than 8 bits are not read yet"; return std::nullopt; }
}
