#pragma once
// Small pictures for the icon-image tests, encoded by the same libraries that read them
// (libpng, libjpeg, giflib) or, for the deeper BMP files, written byte by byte.
#include <cstdint>
#include <string>
#include <vector>

namespace velmora::testing {

// A picture of 8-bit red, green, blue, alpha, rows top first.
struct rgba_picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;

    rgba_picture(int w, int h, std::uint32_t rgba = 0xFF0000FF);  // opaque red by default
    void set(int x, int y, std::uint32_t rgba);
    [[nodiscard]] std::uint32_t at(int x, int y) const;
};

// As PNG: true colour with alpha, or with a palette (and tRNS) when palette is set.
[[nodiscard]] std::string encode_png(const rgba_picture& picture, bool palette = false);
// As baseline JPEG (alpha dropped), quality 95.
[[nodiscard]] std::string encode_jpeg(const rgba_picture& picture);
// As GIF89a: the picture's colours (at most 255) with alpha below 128 as the
// transparent index; a second frame of one colour follows when two_frames is set.
[[nodiscard]] std::string encode_gif(const rgba_picture& picture, bool two_frames = false);
// As BMP of 16 (5-5-5), 24 or 32 bits (32 with an alpha bit-field mask in a 124-byte
// header when with_alpha, else plain BGRx), bottom-up unless top_down.
[[nodiscard]] std::string encode_deep_bmp(const rgba_picture& picture, int bits,
                                          bool with_alpha = false, bool top_down = false);

}  // namespace velmora::testing
