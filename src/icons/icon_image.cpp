#include "icons/icon_image.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "icons/bmp_file.hpp"
#include "icons/icon_convert.hpp"
#include "icons/rgba_image.hpp"
#include "platform/file_kind.hpp"
#include "platform/little_endian.hpp"
#include "platform/stdio_file.hpp"

namespace velmora {

namespace {

enum class image_kind { png, jpeg, gif, bmp, unknown };

bool starts_with(std::span<const std::uint8_t> bytes, std::string_view magic) {
    return bytes.size() >= magic.size() &&
           std::equal(magic.begin(), magic.end(), bytes.begin(),
                      [](char m, std::uint8_t b) { return static_cast<std::uint8_t>(m) == b; });
}

image_kind kind_of(std::span<const std::uint8_t> bytes) {
    if (starts_with(bytes, "\x89PNG\r\n\x1a\n")) return image_kind::png;
    if (starts_with(bytes, "\xFF\xD8\xFF")) return image_kind::jpeg;
    if (starts_with(bytes, "GIF87a") || starts_with(bytes, "GIF89a")) return image_kind::gif;
    if (starts_with(bytes, "BM")) return image_kind::bmp;
    return image_kind::unknown;
}

// The bits per pixel of a BMP file as bmp_load reads them (a signed 16-bit value), or 0
// when the header is too short to hold them.
std::int16_t bmp_depth(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 30) return 0;
    return static_cast<std::int16_t>(load_le16(bytes.data() + 28));
}

std::string file_name_of(const std::string& path) {
    std::size_t sep = path.rfind('/');
    return sep == std::string::npos ? path : path.substr(sep + 1);
}

std::unique_ptr<bmp_image> refuse(std::string* why, std::string reason) {
    if (why != nullptr) *why = std::move(reason);
    return nullptr;
}

constexpr std::uint32_t tint_channel(std::uint32_t value, std::uint32_t factor) {
    return (value * factor + 127) / 255;
}

}  // namespace

std::unique_ptr<bmp_image> icon_image_decode(std::span<const unsigned char> bytes,
                                             std::string* why) {
    std::string reason;
    std::optional<rgba_image> picture;
    switch (kind_of(bytes)) {
        case image_kind::png:
            picture = png_decode_rgba(bytes, reason);
            break;
        case image_kind::jpeg:
            picture = jpeg_decode_rgba(bytes, reason);
            break;
        case image_kind::gif:
            picture = gif_decode_rgba(bytes, reason);
            break;
        case image_kind::bmp:
            if (bmp_depth(bytes) <= 8) {
                auto image = bmp_decode(bytes);
                if (!image && why != nullptr) why->clear();
                return image;
            }
            picture = bmp_decode_rgba(bytes, reason);
            break;
        case image_kind::unknown:
            return refuse(why, "not a PNG, JPEG, GIF or BMP image");
    }
    if (!picture) return refuse(why, reason);
    try {
        return rgba_to_indexed(rgba_scale_to_fit(*picture, icon_image_side));
    } catch (const std::bad_alloc&) {
        return refuse(why, "not enough memory for the image");
    }
}

std::unique_ptr<bmp_image> icon_image_load(const std::string& path, std::string* why) {
    unique_file file(std::fopen(path.c_str(), "rb"));
    if (!file) return refuse(why, std::strerror(errno));
    auto size = regular_file_size(file.get());
    if (!size) return refuse(why, "not a regular file");
    if (*size > icon_image_max_file_bytes) {
        return refuse(why, "file of " + std::to_string(*size) + " bytes is too large for an icon");
    }
    std::vector<std::uint8_t> bytes;
    try {
        bytes.resize(static_cast<std::size_t>(*size));
    } catch (const std::bad_alloc&) {
        return refuse(why, "not enough memory for the file");
    }
    if (std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
        return refuse(why, std::ferror(file.get()) != 0 ? std::strerror(errno)
                                                        : "file shorter than its size");
    }
    auto image = icon_image_decode(bytes, why);
    if (image) image->name = file_name_of(path);
    return image;
}

void icon_image_tint(bmp_image& image, std::uint32_t aabbggrr) {
    if (image.bits_per_pixel > 8) return;
    std::uint32_t red = aabbggrr & 0xFF;
    std::uint32_t green = (aabbggrr >> 8) & 0xFF;
    std::uint32_t blue = (aabbggrr >> 16) & 0xFF;
    for (std::uint32_t& entry : image.palette) {
        if ((entry & 0xFFFFFF) == gpi_transparent_magenta) continue;
        // Palette entries are stored blue, green, red, reserved.
        std::uint32_t b = tint_channel(entry & 0xFF, blue);
        std::uint32_t g = tint_channel((entry >> 8) & 0xFF, green);
        std::uint32_t r = tint_channel((entry >> 16) & 0xFF, red);
        std::uint32_t tinted = (entry & 0xFF000000) | (r << 16) | (g << 8) | b;
        if ((tinted & 0xFFFFFF) == gpi_transparent_magenta)
            tinted = (tinted & 0xFF000000) | 0xFE00FE;
        entry = tinted;
    }
}

}  // namespace velmora
