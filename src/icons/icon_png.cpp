#include "icons/icon_png.hpp"

#include <png.h>

#include <new>

#include "icons/icon_convert.hpp"

namespace velmora {

namespace {

// The colour of a palette entry or a pixel as GPI bitmaps compare it with the
// transparent colour: red in the low byte, then green, then blue.
std::uint32_t rgb_value(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    return static_cast<std::uint32_t>(red) | (static_cast<std::uint32_t>(green) << 8) |
           (static_cast<std::uint32_t>(blue) << 16);
}

void put_pixel(std::uint8_t* out, std::uint32_t rgb, std::uint32_t transparent) {
    out[0] = static_cast<std::uint8_t>(rgb & 0xFFu);
    out[1] = static_cast<std::uint8_t>((rgb >> 8) & 0xFFu);
    out[2] = static_cast<std::uint8_t>((rgb >> 16) & 0xFFu);
    out[3] = (rgb & 0xFFFFFFu) == (transparent & 0xFFFFFFu) ? 0 : 255;
}

// Reads the value of pixel x of a row of bits_per_pixel-wide values.
std::uint32_t pixel_value(const std::uint8_t* row, std::uint32_t x, std::uint16_t bits) {
    switch (bits) {
        case 1:
        case 2:
        case 4: {
            std::uint32_t bit = x * bits;
            std::uint32_t shift = 8 - bits - (bit % 8);
            return (row[bit / 8] >> shift) & ((1u << bits) - 1);
        }
        case 8:
            return row[x];
        case 16: {
            std::uint32_t v = row[2 * x] | (static_cast<std::uint32_t>(row[2 * x + 1]) << 8);
            auto scale = [](std::uint32_t five) { return (five << 3) | (five >> 2); };
            return rgb_value(static_cast<std::uint8_t>(scale((v >> 10) & 31)),
                             static_cast<std::uint8_t>(scale((v >> 5) & 31)),
                             static_cast<std::uint8_t>(scale(v & 31)));
        }
        case 24:
            return rgb_value(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
        default:  // 32
            return rgb_value(row[4 * x + 2], row[4 * x + 1], row[4 * x]);
    }
}

}  // namespace

std::optional<rgba_image> gpi_bitmap_to_rgba(const gpi_bitmap& bitmap) {
    const std::uint16_t bits = bitmap.bits_per_pixel;
    if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16 && bits != 24 &&
        bits != 32) {
        return std::nullopt;
    }
    if (bitmap.width == 0 || bitmap.height == 0 || gpi_bitmap_problem(bitmap) != nullptr ||
        bitmap.pixels.size() < gpi_bitmap_image_size(bitmap)) {
        return std::nullopt;
    }
    const bool indexed = bits <= 8;
    if (indexed && bitmap.palette.empty()) return std::nullopt;
    std::string why;
    auto image = rgba_image_make(bitmap.width, bitmap.height, why);
    if (!image) return std::nullopt;
    const std::size_t row_size = gpi_bitmap_row_size(bitmap.width, bits);
    std::uint8_t* out = image->pixels.data();
    for (std::uint32_t y = 0; y < bitmap.height; ++y) {
        const std::uint8_t* row = bitmap.pixels.data() + y * row_size;
        for (std::uint32_t x = 0; x < bitmap.width; ++x, out += 4) {
            std::uint32_t value = pixel_value(row, x, bits);
            if (indexed) {
                // An index past the palette draws as its first colour, as a device would
                // read whatever lies there; the first entry is the safe choice.
                value = value < bitmap.palette.size() ? bitmap.palette[value] : bitmap.palette[0];
            }
            put_pixel(out, value, bitmap.transparent_colour);
        }
    }
    return image;
}

std::optional<std::vector<std::uint8_t>> png_encode_rgba(const rgba_image& image) {
    if (image.width <= 0 || image.height <= 0) return std::nullopt;
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = PNG_FORMAT_RGBA;
    try {
        png_alloc_size_t size = 0;
        if (png_image_write_to_memory(&png, nullptr, &size, 0, image.pixels.data(), 0, nullptr) ==
            0) {
            png_image_free(&png);
            return std::nullopt;
        }
        std::vector<std::uint8_t> bytes(size);
        if (png_image_write_to_memory(&png, bytes.data(), &size, 0, image.pixels.data(), 0,
                                      nullptr) == 0) {
            png_image_free(&png);
            return std::nullopt;
        }
        bytes.resize(size);
        return bytes;
    } catch (const std::bad_alloc&) {
        png_image_free(&png);
        return std::nullopt;
    }
}

std::optional<std::vector<std::uint8_t>> icon_png(const icon_entry& entry) {
    std::unique_ptr<gpi_bitmap> converted;
    const gpi_bitmap* bitmap = nullptr;
    if (entry.format == icon_format_gpi) {
        bitmap = entry.bitmap.get();
    } else if (entry.format == icon_format_bmp) {
        converted = gpi_bitmap_from_bmp(entry.bmp.get());
        bitmap = converted.get();
    }
    if (bitmap == nullptr) return std::nullopt;
    auto image = gpi_bitmap_to_rgba(*bitmap);
    if (!image) return std::nullopt;
    return png_encode_rgba(*image);
}

}  // namespace velmora
