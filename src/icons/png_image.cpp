// PNG pictures through libpng's simplified reading interface, which takes every colour
// type and depth to 8-bit red, green, blue and alpha.
#include <png.h>

#include "icons/rgba_image.hpp"

namespace velmora {

std::optional<rgba_image> png_decode_rgba(std::span<const std::uint8_t> bytes, std::string& why) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_memory(&png, bytes.data(), bytes.size()) == 0) {
        why = std::string("damaged PNG image (") + png.message + ")";
        png_image_free(&png);
        return std::nullopt;
    }
    auto image = rgba_image_make(png.width, png.height, why);
    if (!image) {
        png_image_free(&png);
        return std::nullopt;
    }
    png.format = PNG_FORMAT_RGBA;
    if (png_image_finish_read(&png, nullptr, image->pixels.data(), 0, nullptr) == 0) {
        why = std::string("damaged PNG image (") + png.message + ")";
        png_image_free(&png);
        return std::nullopt;
    }
    png_image_free(&png);
    return image;
}

}  // namespace velmora
