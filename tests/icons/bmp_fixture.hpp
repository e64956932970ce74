#pragma once
// Hand-made BMP files for the icon tests: every header field can be set on its own, so
// that each variant and each malformation is one line in a test.
#include <cstdint>
#include <string>
#include <vector>

namespace velmora::testing {

struct bmp_layout {
    std::int32_t width = 5;
    std::int32_t height = 3;  // negative: rows stored top first
    std::uint16_t bits = 8;
    std::uint32_t info_size = 40;
    std::uint32_t compression = 0;
    std::uint32_t palette_entries = 4;    // entries actually written
    std::int64_t colours_field = -1;      // -1: palette_entries
    std::int64_t image_size_field = -1;   // -1: row size times rows
    std::int64_t offset_field = -1;       // -1: directly after the palette
    std::uint32_t gap_before_pixels = 0;  // bytes between palette and pixels
    std::uint32_t trailing_bytes = 0;     // slack after the pixels
    std::int64_t width_field = -1;        // -1: width; else written instead, rows as for width
    std::int64_t height_field = -1;       // -1: height; else written instead, rows as for height
};

inline void put_le(std::string& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

inline std::uint32_t row_bytes(const bmp_layout& s) {
    return ((s.width * s.bits + 31) / 32) * 4;
}

// The byte of picture row r (0 = top row) at column c: distinct per row and column.
inline std::uint8_t picture_byte(std::uint32_t r, std::uint32_t c) {
    return static_cast<std::uint8_t>(0x10 * (r + 1) + c);
}

// Palette entry i as the file stores it (blue, green, red, reserved).
inline std::uint32_t palette_entry(std::uint32_t i) {
    return 0x01000000u * (i & 1) + 0x00030201u * (i + 1);
}

// The stored pixel rows of a bottom-up file: bottom picture row first.
inline std::vector<std::uint8_t> bottom_up_rows(const bmp_layout& s) {
    std::uint32_t rows = static_cast<std::uint32_t>(s.height < 0 ? -s.height : s.height);
    std::vector<std::uint8_t> out;
    for (std::uint32_t i = 0; i < rows; ++i) {
        for (std::uint32_t c = 0; c < row_bytes(s); ++c)
            out.push_back(picture_byte(rows - 1 - i, c));
    }
    return out;
}

inline std::string make_bmp(const bmp_layout& s) {
    std::uint32_t rows = static_cast<std::uint32_t>(s.height < 0 ? -s.height : s.height);
    std::uint32_t image = row_bytes(s) * rows;
    std::uint32_t palette_start = 14 + s.info_size;
    std::uint32_t offset = palette_start + 4 * s.palette_entries + s.gap_before_pixels;
    std::string out = "BM";
    put_le(out, offset + image + s.trailing_bytes, 4);
    put_le(out, 0, 4);
    put_le(out, s.offset_field < 0 ? offset : static_cast<std::uint64_t>(s.offset_field), 4);
    put_le(out, s.info_size, 4);
    put_le(out, static_cast<std::uint32_t>(s.width_field < 0 ? s.width : s.width_field), 4);
    put_le(out, static_cast<std::uint32_t>(s.height_field < 0 ? s.height : s.height_field), 4);
    put_le(out, 1, 2);
    put_le(out, s.bits, 2);
    put_le(out, s.compression, 4);
    put_le(out, s.image_size_field < 0 ? image : static_cast<std::uint64_t>(s.image_size_field), 4);
    put_le(out, 2835, 4);
    put_le(out, 2836, 4);
    put_le(out,
           s.colours_field < 0 ? s.palette_entries : static_cast<std::uint64_t>(s.colours_field),
           4);
    put_le(out, 0, 4);
    out.resize(palette_start, '\x55');  // the rest of a longer information header
    for (std::uint32_t i = 0; i < s.palette_entries; ++i) put_le(out, palette_entry(i), 4);
    out.append(s.gap_before_pixels, '\x77');
    if (s.height < 0) {
        for (std::uint32_t r = 0; r < rows; ++r) {
            for (std::uint32_t c = 0; c < row_bytes(s); ++c)
                out.push_back(static_cast<char>(picture_byte(r, c)));
        }
    } else {
        for (std::uint8_t b : bottom_up_rows(s)) out.push_back(static_cast<char>(b));
    }
    out.append(s.trailing_bytes, '\x66');
    return out;
}

}  // namespace velmora::testing
