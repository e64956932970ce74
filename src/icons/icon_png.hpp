#pragma once
// Icons as PNG pictures, for the outputs that show them (KML, KMZ, the report page): the
// transparent colour of a GPI bitmap becomes transparent pixels.
#include <cstdint>
#include <optional>
#include <vector>

#include "gpi/gpi_bitmap.hpp"
#include "icons/rgba_image.hpp"
#include "model/icon_list.hpp"

namespace velmora {

// The bitmap's pixels as red, green, blue and alpha: pixels of the transparent colour
// get alpha 0, the others 255.  Depths 1, 2, 4 and 8 (palette), 16 (5-5-5), 24 and 32
// (blue, green, red).  None for a bitmap whose bytes fall short of its counts or whose
// depth is another.
[[nodiscard]] std::optional<rgba_image> gpi_bitmap_to_rgba(const gpi_bitmap& bitmap);

// A PNG file of the picture, deterministic (no time or text chunks); none when libpng
// fails or memory runs out.
[[nodiscard]] std::optional<std::vector<std::uint8_t>> png_encode_rgba(const rgba_image& image);

// The icon as a PNG file, from either kind of entry; none for an entry that can't be
// converted.
[[nodiscard]] std::optional<std::vector<std::uint8_t>> icon_png(const icon_entry& entry);

}  // namespace velmora
