#include "icons/icon_convert.hpp"

namespace velmora {

// Icons are not converted yet: GPI files are written without bitmaps.
std::unique_ptr<icon_list> build_bitmap_set(const icon_list* /*icons*/) {
    return nullptr;
}

}  // namespace velmora
