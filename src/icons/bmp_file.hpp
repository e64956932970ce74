#pragma once
// BMP files of icons: loading pictures of up to 8 bits per pixel and saving any depth.
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "model/icon_list.hpp"

namespace velmora {

// Loads an uncompressed BMP file of 1, 2, 4 or 8 bits per pixel.  Information headers
// of 40 bytes and the longer later versions (108, 124) are read; a colours-used field
// of 0 means the full palette of the depth; the pixel rows are taken from the pixel
// data offset, as many as width and height need, whatever the image-size field says;
// a file stored top row first is turned into bottom-up rows.  None for anything else
// and for a file shorter than its headers announce.
[[nodiscard]] std::unique_ptr<bmp_image> bmp_load(const std::string& path);

// The depth a BMP file stores pixels of the given depth in: 1, 4, 8, 16, 24 and 32 bits
// are stored as they are, any other depth in the next of these (above 32 bits in 32).
[[nodiscard]] constexpr int bmp_file_depth(int bits_per_pixel) {
    for (int depth : {1, 4, 8, 16, 24}) {
        if (bits_per_pixel <= depth) return depth;
    }
    return 32;
}

// Pixel rows of one depth redone at another depth, each row padded to 32 bits.  Palette
// indexes (depths up to 8) are packed from the high bits of a byte down, as BMP files
// pack them; wider colour values are little-endian, as BMP files store 16, 24 and 32
// bits, and for depths that are no whole bytes the bits run on from the low end of each
// byte.  Every pixel keeps its value, cut to its low 32 bits above that; the rows must
// hold height rows of the source depth.
[[nodiscard]] std::vector<std::uint8_t> repack_pixel_rows(std::span<const std::uint8_t> rows,
                                                          int from_bits, int to_bits,
                                                          std::int64_t width, std::int64_t height);

// The same for the bytes of a BMP file held in memory; the image has no name.
[[nodiscard]] std::unique_ptr<bmp_image> bmp_decode(std::span<const std::uint8_t> bytes);

// True when save_bmp can write the image: positive size and depth, the pixel bytes of
// all its rows, and at 8 bits or less a palette of colours_used (> 0) entries.
[[nodiscard]] bool bmp_image_is_savable(const bmp_image& image);

// The bytes of a BMP file of the image, with a 40-byte information header; none when the
// image is not savable.  A depth that BMP files lack is written as bmp_file_depth has
// it, with no more palette entries than that depth can use.
[[nodiscard]] std::optional<std::vector<std::uint8_t>> bmp_file_bytes(const bmp_image& image);

// Writes the image as a BMP file (bmp_file_bytes), through a temporary file that
// replaces the target only when everything was written.  False when the image is not
// savable or the file could not be written; the reason goes to *why when given.
[[nodiscard]] bool bmp_save(const bmp_image& image, const std::string& path,
                            std::string* why = nullptr);

}  // namespace velmora
