#pragma once
// Icons from the pictures people have: PNG, JPEG, GIF and BMP of any depth, turned into
// the 8-bit BMP pictures the icon library holds.
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "model/icon_list.hpp"

namespace velmora {

// The side of the square a converted icon fits in: the size navigators show.
inline constexpr std::int32_t icon_image_side = 24;
// Pictures of more pixels than this (or wider or higher than icon_image_max_side) are
// refused before any pixel is decoded, so that a hostile header can't claim memory.
inline constexpr std::int64_t icon_image_max_pixels = std::int64_t{4096} * 4096;
inline constexpr std::int32_t icon_image_max_side = 16384;
// Files larger than this are not read as icons.
inline constexpr std::uint64_t icon_image_max_file_bytes = std::uint64_t{64} << 20;

// Decodes an icon image held in memory: PNG, JPEG, GIF (first frame) or BMP of any depth,
// recognised by its first bytes.  BMP files of 8 bits or fewer are taken exactly as
// bmp_load takes them (with its messages; one it refuses gives none and an empty *why).
// Every other image is scaled down to fit within 24x24 (keeping its aspect; one already
// within stays as it is), reduced to at most 256 colours with alpha below half as the
// transparent colour (magenta, gpi_transparent_magenta, which no opaque pixel keeps), and
// returned as an 8-bit bmp_image (rows bottom first, palette blue-green-red) without a
// name.  None with the reason in *why (when given) for what can't be decoded.
[[nodiscard]] std::unique_ptr<bmp_image> icon_image_decode(std::span<const unsigned char> bytes,
                                                           std::string* why);

// The same for a file; the image's name is the file name without its directory.  A file
// that can't be read gives none with the system's reason in *why.
[[nodiscard]] std::unique_ptr<bmp_image> icon_image_load(const std::string& path, std::string* why);

// Multiplies the image's colours by a KML colour (aabbggrr, as Google Earth applies an
// IconStyle color): each palette entry's red, green and blue by the colour's, divided by
// 255.  The transparent (magenta) entries stay transparent and no tinted entry becomes
// magenta.  The colour's alpha is not applied: the bitmaps have no partial transparency.
// Images deeper than 8 bits (without palette) are left as they are.
void icon_image_tint(bmp_image& image, std::uint32_t aabbggrr);

}  // namespace velmora
