#include "icons/image_fixture.hpp"

#include <png.h>

#include <stdexcept>

namespace velmora::testing {

rgba_picture::rgba_picture(int w, int h, std::uint32_t rgba)
    : width(w), height(h), pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4) {
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) set(x, y, rgba);
}

void rgba_picture::set(int x, int y, std::uint32_t rgba) {
    std::uint8_t* p = &pixels[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                               static_cast<std::size_t>(x)) * 4];
    p[0] = static_cast<std::uint8_t>(rgba >> 24);
    p[1] = static_cast<std::uint8_t>(rgba >> 16);
    p[2] = static_cast<std::uint8_t>(rgba >> 8);
    p[3] = static_cast<std::uint8_t>(rgba);
}

std::uint32_t rgba_picture::at(int x, int y) const {
    const std::uint8_t* p = &pixels[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                                     static_cast<std::size_t>(x)) * 4];
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

std::string encode_png(const rgba_picture& picture, bool palette) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(picture.width);
    png.height = static_cast<png_uint_32>(picture.height);
    png.format = PNG_FORMAT_RGBA;
    if (palette) png.format |= PNG_FORMAT_FLAG_COLORMAP;
    std::vector<std::uint8_t> colour_map;
    std::vector<std::uint8_t> indices;
    const void* source = picture.pixels.data();
    if (palette) {
        // One map entry per distinct colour, in order of first appearance.
        for (std::size_t i = 0; i < picture.pixels.size(); i += 4) {
            std::size_t found = 0;
            while (found < colour_map.size() &&
                   !std::equal(&picture.pixels[i], &picture.pixels[i] + 4, &colour_map[found]))
                found += 4;
            if (found == colour_map.size())
                colour_map.insert(colour_map.end(), &picture.pixels[i], &picture.pixels[i] + 4);
            indices.push_back(static_cast<std::uint8_t>(found / 4));
        }
        png.colormap_entries = static_cast<png_uint_32>(colour_map.size() / 4);
        source = indices.data();
    }
    png_alloc_size_t size = 0;
    if (png_image_write_to_memory(&png, nullptr, &size, 0, source, 0,
                                  palette ? colour_map.data() : nullptr) == 0) {
        throw std::runtime_error(png.message);
    }
    std::string out(size, '\0');
    if (png_image_write_to_memory(&png, out.data(), &size, 0, source, 0,
                                  palette ? colour_map.data() : nullptr) == 0) {
        throw std::runtime_error(png.message);
    }
    out.resize(size);
    return out;
}

}  // namespace velmora::testing
