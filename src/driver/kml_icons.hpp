#pragma once
// The icons of a set read from a KML document, for GPI output: the images its styles
// name (from the KMZ archive or beside the file), decoded, tinted as Google Earth shows
// them and standing for their styles' symbols, before the icons of the icons directory;
// a style whose image lies on the web takes the directory's icon of its own name or,
// lacking that, of its image's file name.
#include <memory>
#include <span>

#include "kml/kml_reader.hpp"
#include "model/icon_list.hpp"

namespace velmora {

// The set's icon list: the document's own icons first, then the library's (a symbol
// found in both takes the document's).  Images that can't be decoded are reported by
// name and reason and left out.
[[nodiscard]] std::unique_ptr<icon_list> kml_icon_list(std::span<const kml_icon> icons,
                                                       std::unique_ptr<icon_list> library);

}  // namespace velmora
