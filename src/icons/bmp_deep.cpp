// BMP files of more than 8 bits per pixel, which the icon library once refused: 16, 24
// and 32 bits, uncompressed or with the bit-field masks of their colours.  The header is
// read as bmp_load reads that of shallower files.
#include <bit>
#include <limits>

#include "icons/rgba_image.hpp"
#include "platform/little_endian.hpp"

namespace velmora {

namespace {

constexpr std::uint32_t bmp_rgb = 0;
constexpr std::uint32_t bmp_bitfields = 3;
constexpr std::uint32_t bmp_alpha_bitfields = 6;
constexpr std::size_t file_header_bytes = 14;
constexpr std::uint32_t info_header_bytes = 40;
constexpr std::uint32_t max_info_header_bytes = 124;

// One colour's bits within a pixel value, scaled to 0..255.
struct bit_field {
    std::uint32_t mask = 0;
    int shift = 0;
    std::uint64_t max = 0;

    explicit bit_field(std::uint32_t m) : mask(m) {
        if (mask != 0) {
            shift = std::countr_zero(mask);
            max = mask >> shift;
        }
    }
    [[nodiscard]] std::uint8_t operator()(std::uint32_t value) const {
        if (mask == 0) return 0;
        std::uint64_t v = (value & mask) >> shift;
        return static_cast<std::uint8_t>((v * 255 + max / 2) / max);
    }
};

}  // namespace

std::optional<rgba_image> bmp_decode_rgba(std::span<const std::uint8_t> bytes, std::string& why) {
    auto damaged = [&](const char* what) {
        why = std::string("damaged BMP image (") + what + ")";
        return std::nullopt;
    };
    if (bytes.size() < file_header_bytes + info_header_bytes) return damaged("headers cut short");
    std::uint32_t pixel_offset = load_le32(bytes.data() + 10);
    std::uint32_t info_size = load_le32(bytes.data() + 14);
    if (info_size < info_header_bytes || info_size > max_info_header_bytes) {
        why = "BMP header of " + std::to_string(info_size) + " bytes is not supported";
        return std::nullopt;
    }
    if (file_header_bytes + info_size > bytes.size()) return damaged("headers cut short");
    auto width = static_cast<std::int32_t>(load_le32(bytes.data() + 18));
    auto height = static_cast<std::int32_t>(load_le32(bytes.data() + 22));
    int bits = load_le16(bytes.data() + 28);
    std::uint32_t compression = load_le32(bytes.data() + 30);
    if (bits != 16 && bits != 24 && bits != 32) {
        why = "BMP of " + std::to_string(bits) + " bits per pixel is not supported";
        return std::nullopt;
    }
    bool masked = compression == bmp_bitfields || compression == bmp_alpha_bitfields;
    if (!(compression == bmp_rgb || (masked && bits != 24))) {
        why = "compressed BMP (method " + std::to_string(compression) + ") is not supported";
        return std::nullopt;
    }
    if (height == std::numeric_limits<std::int32_t>::min()) return damaged("height out of range");
    bool top_down = height < 0;
    std::int64_t rows = top_down ? -std::int64_t{height} : height;
    if (!rgba_size_acceptable(width, rows, why)) return std::nullopt;

    // The masks follow the 40-byte header, or stand in the longer headers at the same
    // place; the alpha mask only where the header or the method has one.
    std::uint32_t red = 0, green = 0, blue = 0, alpha = 0;
    std::size_t masks_end = file_header_bytes + info_size;
    if (masked) {
        bool alpha_mask = info_size >= 56 || compression == bmp_alpha_bitfields;
        std::size_t needed = file_header_bytes + info_header_bytes + (alpha_mask ? 16 : 12);
        if (needed > bytes.size()) return damaged("colour masks cut short");
        red = load_le32(bytes.data() + 54);
        green = load_le32(bytes.data() + 58);
        blue = load_le32(bytes.data() + 62);
        alpha = alpha_mask ? load_le32(bytes.data() + 66) : 0;
        masks_end = std::max(masks_end, needed);
    } else if (bits == 16) {
        red = 0x7C00;
        green = 0x03E0;
        blue = 0x001F;
    } else {
        red = 0x00FF0000;
        green = 0x0000FF00;
        blue = 0x000000FF;
        alpha = bits == 32 ? 0xFF000000 : 0;
    }
    std::uint64_t start = pixel_offset == 0 ? masks_end : pixel_offset;
    if (start < masks_end) return damaged("pixel data inside the headers");
    auto row_size = static_cast<std::uint64_t>(bitmap_row_size(bits, width));
    if (start > bytes.size() || row_size * static_cast<std::uint64_t>(rows) > bytes.size() - start)
        return damaged("pixel data cut short");

    auto picture = rgba_image_make(width, rows, why);
    if (!picture) return std::nullopt;
    bit_field r(red), g(green), b(blue), a(alpha);
    bool any_alpha = false;
    std::size_t bytes_per_pixel = static_cast<std::size_t>(bits) / 8;
    for (std::int64_t y = 0; y < rows; ++y) {
        std::int64_t stored = top_down ? y : rows - 1 - y;
        const std::uint8_t* src =
            bytes.data() + start + static_cast<std::uint64_t>(stored) * row_size;
        std::uint8_t* dest = picture->pixels.data() +
                             static_cast<std::size_t>(y) * static_cast<std::size_t>(width) * 4;
        for (std::int32_t x = 0; x < width; ++x, src += bytes_per_pixel, dest += 4) {
            std::uint32_t value = bits == 16   ? load_le16(src)
                                  : bits == 24 ? load_le24(src)
                                               : load_le32(src);
            dest[0] = r(value);
            dest[1] = g(value);
            dest[2] = b(value);
            dest[3] = alpha != 0 ? a(value) : 255;
            any_alpha = any_alpha || dest[3] != 0;
        }
    }
    // Many writers leave the fourth byte of every pixel 0 without meaning transparency.
    if (alpha != 0 && !any_alpha) {
        for (std::size_t i = 3; i < picture->pixels.size(); i += 4) picture->pixels[i] = 255;
    }
    return picture;
}

}  // namespace velmora
