#pragma once
// BMP files of icons: loading pictures of up to 8 bits per pixel and saving any depth.
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "model/icon_list.hpp"

namespace velmora {

// Loads an uncompressed BMP file of 1, 2, 4 or 8 bits per pixel.  Information headers
// of 40 bytes and the longer later versions (108, 124) are read; a colours-used field
// of 0 means the full palette of the depth; the pixel rows are taken from the pixel
// data offset, as many as width and height need, whatever the image-size field says;
// a file stored top row first is turned into bottom-up rows.  None for anything else
// and for a file shorter than its headers announce.
[[nodiscard]] std::unique_ptr<bmp_image> bmp_load(const std::string& path);

// The same for the bytes of a BMP file held in memory; the image has no name.
[[nodiscard]] std::unique_ptr<bmp_image> bmp_decode(std::span<const std::uint8_t> bytes);

// True when save_bmp can write the image: positive size and depth, the pixel bytes of
// all its rows, and at 8 bits or less a palette of colours_used (> 0) entries.
[[nodiscard]] bool bmp_image_is_savable(const bmp_image& image);

// Writes the image as a BMP file with a 40-byte information header, through a
// temporary file that replaces the target only when everything was written.
// False when the image is not savable or the file could not be written.
// On failure the system's reason goes to *why when given.
[[nodiscard]] bool bmp_save(const bmp_image& image, const std::string& path,
                            std::string* why = nullptr);

}  // namespace velmora
