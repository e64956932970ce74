#pragma once
// Icons between BMP pictures and GPI bitmaps, the bitmap set of the GPI writer, and the
// export of a run's icons as BMP files.
#include <cstdint>
#include <memory>
#include <string>

#include "gpi/gpi_bitmap.hpp"
#include "model/icon_list.hpp"
#include "model/poiset.hpp"

namespace velmora {

// The colour GPI bitmaps made from BMP pictures draw transparent (magenta).
inline constexpr std::uint32_t gpi_transparent_magenta = 0x00FF00FF;

// A palette entry between the BMP order (blue, green, red, reserved) and the GPI order
// (red, green, blue, 0): first and third bytes exchanged, the fourth set to 0.  The same
// rule serves both ways.
[[nodiscard]] constexpr std::uint32_t convert_palette_entry(std::uint32_t entry) {
    return ((entry & 0xFFu) << 16) | (entry & 0xFF00u) | ((entry >> 16) & 0xFFu);
}

// Why a picture can't become a GPI bitmap whose counts agree with its bytes (a short
// English reason), or nullptr when it can.
[[nodiscard]] const char* gpi_conversion_problem(const bmp_image& image);

// Why a GPI bitmap can't be written as it stands (its pixel or palette bytes fall short
// of its counts, or its block size disagrees with them), or nullptr when it can.
[[nodiscard]] const char* gpi_bitmap_problem(const gpi_bitmap& bitmap);

// The picture in GPI layout: rows top first, palette of 2^depth entries (the missing
// ones 0) for depths up to 8, transparent colour magenta, icon_id 0xFFFF.  None for none
// and for pictures gpi_conversion_problem refuses.
[[nodiscard]] std::unique_ptr<gpi_bitmap> gpi_bitmap_from_bmp(const bmp_image* image);

// A copy with its own buffers; none for none, for a bitmap without pixels, depth, width
// or height, for one of 8 bits or less without palette, and for one gpi_bitmap_problem
// refuses.
[[nodiscard]] std::unique_ptr<gpi_bitmap> gpi_bitmap_copy(const gpi_bitmap* bitmap);

// The bitmap as a BMP picture (rows bottom first, palette blue-green-red, 3780 pixels
// per metre).  A depth that BMP files lack becomes the next one they have (3 bits 4, 5 to
// 7 bits 8, 9 to 15 bits 16 ...; bmp_file_depth), every pixel keeping its value, and the
// palette keeps no more entries than that depth can use.  None for none and for a bitmap
// that would give a picture bmp_save can't write: no pixels, no palette at 8 bits or
// less, or bytes short of its counts.  Above 8 bits the picture has no palette.
[[nodiscard]] std::unique_ptr<bmp_image> gpi_bitmap_to_bmp(const gpi_bitmap* bitmap);

// The icons of a set in GPI bitmap form, in list order, each numbered as its source;
// none when the set has no icons.  Icons that can't be converted are left out.
[[nodiscard]] std::unique_ptr<icon_list> build_bitmap_set(const icon_list* icons);

// Writes every icon of every set as "<base>_<set>_<entry><ext>" beside output_path,
// all or none: the files are written to temporary files first and replace their targets
// only when every one was written.  Icons that can't be converted are reported and
// skipped.  False, after one message saying why, when the output path can't be split or
// an icon's file could not be written; the targets are then left as they were.
[[nodiscard]] bool export_icons(const std::string& output_path, const poiset_list& list);

}  // namespace velmora
