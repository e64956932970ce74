#pragma once
// Icon lists and the icon library: the pictures of an icons directory (BMP, PNG, JPEG,
// GIF), each standing for the symbol that its lower-cased file name spells.
#include <memory>
#include <string_view>

#include "model/icon_list.hpp"

namespace velmora {

// Appends the entry.  The list doubles its room before an append that would leave no
// slot free (a new list of 32 slots has 64 after its 32nd entry).  False when the entry
// is absent or the list could not grow; the entry is then dropped.
[[nodiscard]] bool icon_list_append(icon_list& list, std::unique_ptr<icon_entry> entry);

// Loads every picture file (.bmp, .png, .jpg, .jpeg, .gif) that the directory pattern
// matches ("/.../icons/*.*", or a path ending in "/" for a whole directory), in file-name
// order.  BMP files of 8 bits or fewer are kept as they are; other pictures are converted
// by icon_image_load (at most 24x24, 8 bits).  Files that can't be decoded (reported
// with the reason) or are of another type are reported and left out; a missing
// directory gives an empty list.
[[nodiscard]] std::unique_ptr<icon_list> icon_library_load(std::string_view pattern);

// The icon of a file that brings its own: the first picture file (in name order) with
// the same base name in the same directory (letters in any case), loaded and checked as
// a library's icons are, its symbol the lower-cased base name.  An empty list when there is none or
// it can't be used (reported as for a library).
[[nodiscard]] std::unique_ptr<icon_list> icon_load_beside(std::string_view file_path);

}  // namespace velmora
