#pragma once
// Leaflet (BSD-2-Clause, Vladimir Agafonkin and contributors), the map library of the
// report page, built into the program (cmake/leaflet.cmake) so that the page holds it.
#include <string_view>

namespace velmora {

// Leaflet's script and its style sheet (without references to other files).
[[nodiscard]] std::string_view leaflet_script();
[[nodiscard]] std::string_view leaflet_style();

}  // namespace velmora
