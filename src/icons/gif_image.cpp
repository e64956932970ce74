// GIF pictures through giflib: the first frame, drawn on the logical screen, with the
// transparent index of its graphic control extension.
#include <gif_lib.h>

#include <algorithm>
#include <memory>

#include "icons/rgba_image.hpp"

namespace velmora {

namespace {

struct gif_source {
    std::span<const std::uint8_t> bytes;
    std::size_t position = 0;
};

int read_gif_bytes(GifFileType* gif, GifByteType* dest, int wanted) {
    auto* source = static_cast<gif_source*>(gif->UserData);
    std::size_t count = std::min(static_cast<std::size_t>(std::max(wanted, 0)),
                                 source->bytes.size() - source->position);
    std::copy_n(source->bytes.data() + source->position, count, dest);
    source->position += count;
    return static_cast<int>(count);
}

struct gif_closer {
    void operator()(GifFileType* gif) const {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};

std::string gif_error(int code) {
    const char* text = GifErrorString(code);
    return std::string("damaged GIF image (") + (text != nullptr ? text : "unknown error") + ")";
}

// Reads the rows of the current frame into the picture at the frame's place; pixels of
// the transparent index or outside the colour map stay transparent.
bool draw_frame(GifFileType* gif, rgba_image& picture, const ColorMapObject& colours,
                int transparent, std::string& why) {
    const GifImageDesc& frame = gif->Image;
    std::vector<GifPixelType> row(static_cast<std::size_t>(frame.Width));
    auto draw_row = [&](int y) {
        if (DGifGetLine(gif, row.data(), frame.Width) == GIF_ERROR) {
            why = gif_error(gif->Error);
            return false;
        }
        std::size_t top = static_cast<std::size_t>(frame.Top + y);
        for (int x = 0; x < frame.Width; ++x) {
            int index = row[static_cast<std::size_t>(x)];
            if (index == transparent || index >= colours.ColorCount) continue;
            const GifColorType& c = colours.Colors[index];
            std::uint8_t* p =
                picture.pixels.data() + (top * static_cast<std::size_t>(picture.width) +
                                         static_cast<std::size_t>(frame.Left + x)) *
                                            4;
            p[0] = c.Red;
            p[1] = c.Green;
            p[2] = c.Blue;
            p[3] = 255;
        }
        return true;
    };
    if (frame.Interlace) {
        static constexpr int first_row[] = {0, 4, 2, 1};
        static constexpr int step[] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4; ++pass) {
            for (int y = first_row[pass]; y < frame.Height; y += step[pass])
                if (!draw_row(y)) return false;
        }
    } else {
        for (int y = 0; y < frame.Height; ++y)
            if (!draw_row(y)) return false;
    }
    return true;
}

}  // namespace

std::optional<rgba_image> gif_decode_rgba(std::span<const std::uint8_t> bytes, std::string& why) {
    gif_source source{bytes};
    int error = 0;
    std::unique_ptr<GifFileType, gif_closer> gif(DGifOpen(&source, read_gif_bytes, &error));
    if (!gif) {
        why = gif_error(error);
        return std::nullopt;
    }
    int transparent = -1;
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR) {
            why = gif_error(gif->Error);
            return std::nullopt;
        }
        if (type == TERMINATE_RECORD_TYPE) {
            why = "GIF image without a picture";
            return std::nullopt;
        }
        if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif.get(), &code, &block) == GIF_ERROR) {
                why = gif_error(gif->Error);
                return std::nullopt;
            }
            if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr && block[0] >= 4) {
                GraphicsControlBlock control{};
                if (DGifExtensionToGCB(block[0], block + 1, &control) == GIF_OK)
                    transparent = control.TransparentColor;
            }
            while (block != nullptr) {
                if (DGifGetExtensionNext(gif.get(), &block) == GIF_ERROR) {
                    why = gif_error(gif->Error);
                    return std::nullopt;
                }
            }
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE) continue;
        if (DGifGetImageDesc(gif.get()) == GIF_ERROR) {
            why = gif_error(gif->Error);
            return std::nullopt;
        }
        const GifImageDesc& frame = gif->Image;
        if (!rgba_size_acceptable(frame.Width, frame.Height, why)) return std::nullopt;
        const ColorMapObject* colours = frame.ColorMap != nullptr ? frame.ColorMap : gif->SColorMap;
        if (colours == nullptr || colours->Colors == nullptr) {
            why = "GIF image without colours";
            return std::nullopt;
        }
        // The logical screen, grown to hold the frame where a writer made it too small.
        std::int64_t width =
            std::max<std::int64_t>(gif->SWidth, std::int64_t{frame.Left} + frame.Width);
        std::int64_t height =
            std::max<std::int64_t>(gif->SHeight, std::int64_t{frame.Top} + frame.Height);
        if (frame.Left < 0 || frame.Top < 0) {
            why = "damaged GIF image (frame outside the picture)";
            return std::nullopt;
        }
        auto picture = rgba_image_make(width, height, why);
        if (!picture) return std::nullopt;
        if (!draw_frame(gif.get(), *picture, *colours, transparent, why)) return std::nullopt;
        return picture;
    }
}

}  // namespace velmora
