#include "icons/image_fixture.hpp"

#include <gif_lib.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include <jpeglib.h>

namespace velmora::testing {

rgba_picture::rgba_picture(int w, int h, std::uint32_t rgba)
    : width(w), height(h), pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4) {
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) set(x, y, rgba);
}

void rgba_picture::set(int x, int y, std::uint32_t rgba) {
    std::uint8_t* p = &pixels[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                               static_cast<std::size_t>(x)) *
                              4];
    p[0] = static_cast<std::uint8_t>(rgba >> 24);
    p[1] = static_cast<std::uint8_t>(rgba >> 16);
    p[2] = static_cast<std::uint8_t>(rgba >> 8);
    p[3] = static_cast<std::uint8_t>(rgba);
}

std::uint32_t rgba_picture::at(int x, int y) const {
    const std::uint8_t* p = &pixels[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                                     static_cast<std::size_t>(x)) *
                                    4];
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           p[3];
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

std::string encode_jpeg(const rgba_picture& picture) {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(picture.width);
    info.image_height = static_cast<JDIMENSION>(picture.height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    // No chroma subsampling, so that the colours of a few pixels survive.
    for (int c = 0; c < info.num_components; ++c) {
        info.comp_info[c].h_samp_factor = 1;
        info.comp_info[c].v_samp_factor = 1;
    }
    jpeg_start_compress(&info, TRUE);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(picture.width) * 3);
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            std::uint32_t c = picture.at(x, y);
            for (int k = 0; k < 3; ++k)
                row[static_cast<std::size_t>(3 * x + k)] =
                    static_cast<std::uint8_t>(c >> (24 - 8 * k));
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    std::string out(reinterpret_cast<const char*>(buffer), size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return out;
}

namespace {

int append_gif_bytes(GifFileType* gif, const GifByteType* bytes, int count) {
    static_cast<std::string*>(gif->UserData)
        ->append(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(count));
    return count;
}

void put_control(GifFileType* gif, int transparent) {
    GraphicsControlBlock control{};
    control.TransparentColor = transparent;
    GifByteType block[4];
    std::size_t length = EGifGCBToExtension(&control, block);
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length), block);
}

}  // namespace

std::string encode_gif(const rgba_picture& picture, bool two_frames) {
    std::vector<std::uint32_t> colours;  // 0xRRGGBB, in order of first appearance
    std::vector<GifPixelType> indices;
    bool any_transparent = false;
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            std::uint32_t c = picture.at(x, y);
            if ((c & 0xFF) < 128) {
                indices.push_back(255);
                any_transparent = true;
                continue;
            }
            std::uint32_t rgb = c >> 8;
            std::size_t i = 0;
            while (i < colours.size() && colours[i] != rgb) ++i;
            if (i == colours.size()) colours.push_back(rgb);
            indices.push_back(static_cast<GifPixelType>(i));
        }
    }
    std::vector<GifColorType> map(256);
    for (std::size_t i = 0; i < colours.size(); ++i)
        map[i] = {static_cast<GifByteType>(colours[i] >> 16),
                  static_cast<GifByteType>(colours[i] >> 8), static_cast<GifByteType>(colours[i])};
    ColorMapObject* colour_map = GifMakeMapObject(256, map.data());
    std::string out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, append_gif_bytes, &error);
    EGifSetGifVersion(gif, true);
    EGifPutScreenDesc(gif, picture.width, picture.height, 8, 0, colour_map);
    put_control(gif, any_transparent ? 255 : -1);
    EGifPutImageDesc(gif, 0, 0, picture.width, picture.height, false, nullptr);
    for (int y = 0; y < picture.height; ++y)
        EGifPutLine(gif, &indices[static_cast<std::size_t>(y * picture.width)], picture.width);
    if (two_frames) {
        put_control(gif, -1);
        EGifPutImageDesc(gif, 0, 0, picture.width, picture.height, false, nullptr);
        std::vector<GifPixelType> row(static_cast<std::size_t>(picture.width), 0);
        for (int y = 0; y < picture.height; ++y) EGifPutLine(gif, row.data(), picture.width);
    }
    EGifCloseFile(gif, &error);
    GifFreeMapObject(colour_map);
    return out;
}

std::string encode_deep_bmp(const rgba_picture& picture, int bits, bool with_alpha, bool top_down) {
    auto put = [](std::string& out, std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    };
    std::uint32_t info_size = with_alpha ? 124 : 40;
    std::uint32_t row_size = static_cast<std::uint32_t>((picture.width * bits + 31) / 32 * 4);
    std::uint32_t offset = 14 + info_size;
    std::string out = "BM";
    put(out, offset + row_size * static_cast<std::uint32_t>(picture.height), 4);
    put(out, 0, 4);
    put(out, offset, 4);
    put(out, info_size, 4);
    put(out, static_cast<std::uint32_t>(picture.width), 4);
    put(out, static_cast<std::uint32_t>(top_down ? -picture.height : picture.height), 4);
    put(out, 1, 2);
    put(out, static_cast<std::uint32_t>(bits), 2);
    put(out, with_alpha ? 3 : 0, 4);  // bit fields or none
    put(out, row_size * static_cast<std::uint32_t>(picture.height), 4);
    put(out, 2835, 4);
    put(out, 2835, 4);
    put(out, 0, 4);
    put(out, 0, 4);
    if (with_alpha) {
        put(out, 0x00FF0000, 4);
        put(out, 0x0000FF00, 4);
        put(out, 0x000000FF, 4);
        put(out, 0xFF000000, 4);
        out.append(124 - 56, '\0');
    }
    for (int i = 0; i < picture.height; ++i) {
        int y = top_down ? i : picture.height - 1 - i;
        std::string row;
        for (int x = 0; x < picture.width; ++x) {
            std::uint32_t c = picture.at(x, y);
            std::uint32_t r = c >> 24, g = (c >> 16) & 0xFF, b = (c >> 8) & 0xFF, a = c & 0xFF;
            if (bits == 16) {
                put(row, ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3), 2);
            } else if (bits == 24) {
                put(row, (r << 16) | (g << 8) | b, 3);
            } else {
                put(row, (with_alpha ? a << 24 : 0) | (r << 16) | (g << 8) | b, 4);
            }
        }
        row.resize(row_size, '\0');
        out += row;
    }
    return out;
}

}  // namespace velmora::testing
