#pragma once
// Pictures of 8-bit red, green, blue and alpha between the decoders of the image formats
// and the reduction to an icon: the shared steps of the icon conversion.
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "model/icon_list.hpp"

namespace velmora {

// Rows top first, four bytes a pixel (red, green, blue, alpha), no padding.
struct rgba_image {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint8_t> pixels;
};

// True when a picture of this size may be decoded; otherwise false with the reason in
// why ("image of 30000x30000 pixels is too large for an icon ...").
[[nodiscard]] bool rgba_size_acceptable(std::int64_t width, std::int64_t height, std::string& why);

// A picture of the size, every pixel transparent black; none (with why) when the size
// is refused or memory is short.
[[nodiscard]] std::optional<rgba_image> rgba_image_make(std::int64_t width, std::int64_t height,
                                                        std::string& why);

// The decoders: none with the reason in why for what they can't take.
[[nodiscard]] std::optional<rgba_image> png_decode_rgba(std::span<const std::uint8_t> bytes,
                                                        std::string& why);
[[nodiscard]] std::optional<rgba_image> jpeg_decode_rgba(std::span<const std::uint8_t> bytes,
                                                         std::string& why);
[[nodiscard]] std::optional<rgba_image> gif_decode_rgba(std::span<const std::uint8_t> bytes,
                                                        std::string& why);
// BMP files of 16, 24 and 32 bits (uncompressed or with bit-field masks).
[[nodiscard]] std::optional<rgba_image> bmp_decode_rgba(std::span<const std::uint8_t> bytes,
                                                        std::string& why);

// The picture scaled down to fit within side x side, keeping its aspect (each side at
// least 1 pixel), by area averaging in which each source pixel counts by its coverage
// and its colour by its alpha.  A picture already within is returned as it is.
[[nodiscard]] rgba_image rgba_scale_to_fit(const rgba_image& image, std::int32_t side);

// The picture as an 8-bit BMP picture (rows bottom first, 3780 pixels per metre):
// pixels of alpha below 128 take the transparent colour, magenta, which is then the
// first palette entry; the others keep their colour, opaque magenta nudged to FE00FE.
// When the colours fit in the rest of the 256 entries the palette holds exactly those,
// in ascending order of their value; otherwise median cut, refined by nearest-mean
// rounds, chooses them.  Deterministic.
[[nodiscard]] std::unique_ptr<bmp_image> rgba_to_indexed(const rgba_image& image);

}  // namespace velmora
