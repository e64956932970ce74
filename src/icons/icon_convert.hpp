#pragma once
// Conversion of icons between BMP pictures and GPI bitmaps, and their export.
#include <memory>

#include "model/icon_list.hpp"

namespace velmora {

// The icons of a set in GPI bitmap form, numbered as the set's icons are; none when
// the set has no icons to convert.
[[nodiscard]] std::unique_ptr<icon_list> build_bitmap_set(const icon_list* icons);

}  // namespace velmora
