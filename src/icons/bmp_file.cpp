#include "icons/bmp_file.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "platform/atomic_output.hpp"
#include "platform/file_kind.hpp"
#include "platform/messages.hpp"
#include "platform/stdio_file.hpp"

namespace velmora {

namespace {

constexpr std::size_t file_header_bytes = 14;
constexpr std::size_t info_header_bytes = 40;
constexpr std::size_t header_bytes = file_header_bytes + info_header_bytes;  // 54
// The longest information header in use (BITMAPV5HEADER); longer ones are refused.
constexpr std::uint32_t max_info_header_bytes = 124;

std::uint16_t get16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t get32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void put16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void put32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

bool read_at(std::span<const std::uint8_t> bytes, std::uint64_t offset, std::uint8_t* dest,
             std::size_t count) {
    if (offset > bytes.size() || count > bytes.size() - offset) return false;
    std::copy_n(bytes.data() + offset, count, dest);
    return true;
}

// The file name after the last directory separator.
std::string file_name_of(const std::string& path) {
    std::size_t sep = path.rfind('/');
    return sep == std::string::npos ? path : path.substr(sep + 1);
}

bool is_indexed_depth(int bits) {
    return bits == 1 || bits == 2 || bits == 4 || bits == 8;
}

}  // namespace

std::unique_ptr<bmp_image> bmp_load(const std::string& path) {
    unique_file file(std::fopen(path.c_str(), "rb"));
    if (!file) return nullptr;
    // Only a regular file tells a size that bounds what is read and allocated.
    auto regular_size = regular_file_size(file.get());
    if (!regular_size || *regular_size > std::numeric_limits<std::size_t>::max()) return nullptr;
    std::vector<std::uint8_t> bytes;
    try {
        // The signature first, so that a large file of another kind is not read whole.
        bytes.resize(std::min<std::uint64_t>(*regular_size, 2));
        if (std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) return nullptr;
        if (bytes.size() < 2 || bytes[0] != 'B' || bytes[1] != 'M') return nullptr;
        bytes.resize(static_cast<std::size_t>(*regular_size));
        std::size_t rest = bytes.size() - 2;
        if (std::fread(bytes.data() + 2, 1, rest, file.get()) != rest) return nullptr;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    auto image = bmp_decode(bytes);
    if (image) image->name = file_name_of(path);
    return image;
}

std::unique_ptr<bmp_image> bmp_decode(std::span<const std::uint8_t> bytes) {
    std::uint64_t file_size = bytes.size();

    std::array<std::uint8_t, header_bytes> header{};
    if (file_size < 2 || !read_at(bytes, 0, header.data(), 2)) return nullptr;
    if (header[0] != 'B' || header[1] != 'M') return nullptr;
    if (file_size < header_bytes || !read_at(bytes, 0, header.data(), header_bytes)) {
        return nullptr;
    }

    std::uint32_t pixel_offset = get32(&header[10]);
    std::uint32_t info_size = get32(&header[14]);
    if (info_size < info_header_bytes || info_size > max_info_header_bytes) {
        // The 12-byte header of OS/2 files keeps its fields elsewhere.
        report("\nError: BMP header of %u bytes is not supported. Ignore it", info_size);
        return nullptr;
    }
    if (file_header_bytes + info_size > file_size) return nullptr;

    auto width = static_cast<std::int32_t>(get32(&header[18]));
    auto height = static_cast<std::int32_t>(get32(&header[22]));
    auto bits = static_cast<std::int16_t>(get16(&header[28]));
    if (bits > 8) {
        report("\nError: BMP color bits must be 8 or less");
        return nullptr;
    }
    if (get32(&header[30]) != 0) {
        report("\nError: Compressed BMP detected. Ignore it");
        return nullptr;
    }
    if (!is_indexed_depth(bits) || width <= 0 || height == 0 ||
        height == std::numeric_limits<std::int32_t>::min()) {
        return nullptr;
    }

    auto image = std::make_unique<bmp_image>();
    image->width = width;
    image->height = height < 0 ? -height : height;
    image->bits_per_pixel = bits;
    image->x_pixels_per_metre = static_cast<std::int32_t>(get32(&header[38]));
    image->y_pixels_per_metre = static_cast<std::int32_t>(get32(&header[42]));

    // The palette follows the information header, whatever its version.  A colours-used
    // field of 0 stands for the full palette of the depth; when the pixel data begin
    // inside that palette, the palette is what lies before them.
    auto colours_field = static_cast<std::int32_t>(get32(&header[46]));
    if (colours_field < 0) return nullptr;
    std::uint64_t palette_start = file_header_bytes + info_size;
    std::uint64_t colours =
        colours_field == 0 ? (std::uint64_t{1} << bits) : static_cast<std::uint64_t>(colours_field);
    if (pixel_offset != 0 && pixel_offset < palette_start + 4 * colours) {
        if (colours_field != 0 || pixel_offset < palette_start) return nullptr;
        colours = (pixel_offset - palette_start) / 4;
        if (colours == 0) return nullptr;
    }
    std::uint64_t palette_end = palette_start + 4 * colours;
    if (palette_end > file_size) return nullptr;
    std::uint64_t pixel_start = pixel_offset == 0 ? palette_end : pixel_offset;

    // As many pixel bytes as the rows need; the image-size field may be 0 or wrong.
    auto row_size = static_cast<std::uint64_t>(bitmap_row_size(bits, width));
    auto rows = static_cast<std::uint64_t>(image->height);
    std::uint64_t pixel_bytes = row_size * rows;
    if (pixel_start > file_size || pixel_bytes > file_size - pixel_start) return nullptr;

    try {
        std::vector<std::uint8_t> palette_bytes(static_cast<std::size_t>(4 * colours));
        if (!read_at(bytes, palette_start, palette_bytes.data(), palette_bytes.size())) {
            return nullptr;
        }
        image->colours_used = static_cast<std::int32_t>(colours);
        image->palette.resize(static_cast<std::size_t>(colours));
        for (std::size_t i = 0; i < image->palette.size(); ++i) {
            image->palette[i] = get32(&palette_bytes[4 * i]);
        }
        image->pixels.resize(static_cast<std::size_t>(pixel_bytes));
        if (!read_at(bytes, pixel_start, image->pixels.data(), image->pixels.size())) {
            return nullptr;
        }
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    if (height < 0) {
        // Stored top row first: keep the rows bottom first, as the rest expects.
        auto* data = image->pixels.data();
        for (std::uint64_t top = 0, bottom = rows - 1; top < bottom; ++top, --bottom) {
            std::swap_ranges(data + top * row_size, data + (top + 1) * row_size,
                             data + bottom * row_size);
        }
    }
    return image;
}

bool bmp_image_is_savable(const bmp_image& image) {
    if (image.width <= 0 || image.height <= 0 || image.bits_per_pixel <= 0) return false;
    if (image.colours_used < 0) return false;
    if (image.bits_per_pixel <= 8 && image.colours_used == 0) return false;
    if (image.palette.size() < static_cast<std::size_t>(image.colours_used)) return false;
    std::int64_t row_size = bitmap_row_size(image.bits_per_pixel, image.width);
    std::int64_t image_size = row_size * image.height;
    std::int64_t file_size =
        static_cast<std::int64_t>(header_bytes) + 4 * std::int64_t{image.colours_used} + image_size;
    if (file_size > std::int64_t{std::numeric_limits<std::uint32_t>::max()}) return false;
    return image.pixels.size() >= static_cast<std::uint64_t>(image_size);
}

bool bmp_save(const bmp_image& image, const std::string& path, std::string* why) {
    if (!bmp_image_is_savable(image)) return false;
    auto row_size = static_cast<std::uint32_t>(bitmap_row_size(image.bits_per_pixel, image.width));
    std::uint32_t image_size = row_size * static_cast<std::uint32_t>(image.height);
    auto colours = static_cast<std::uint32_t>(image.colours_used);
    std::uint32_t data_offset = static_cast<std::uint32_t>(header_bytes) + 4 * colours;

    std::vector<std::uint8_t> head(header_bytes + 4 * std::size_t{colours});
    std::uint8_t* h = head.data();
    h[0] = 'B';
    h[1] = 'M';
    put32(h + 2, data_offset + image_size);
    put32(h + 10, data_offset);
    put32(h + 14, info_header_bytes);
    put32(h + 18, static_cast<std::uint32_t>(image.width));
    put32(h + 22, static_cast<std::uint32_t>(image.height));
    put16(h + 26, 1);
    put16(h + 28, static_cast<std::uint16_t>(image.bits_per_pixel));
    put32(h + 34, image_size);
    put32(h + 38, static_cast<std::uint32_t>(image.x_pixels_per_metre));
    put32(h + 42, static_cast<std::uint32_t>(image.y_pixels_per_metre));
    put32(h + 46, colours);
    put32(h + 50, colours);
    for (std::size_t i = 0; i < colours; ++i) put32(h + header_bytes + 4 * i, image.palette[i]);

    auto output = atomic_output::open(path, why);
    if (!output) return false;
    if (std::fwrite(head.data(), 1, head.size(), output->stream()) != head.size() ||
        std::fwrite(image.pixels.data(), 1, image_size, output->stream()) != image_size) {
        if (why != nullptr) *why = std::strerror(errno);
        output->discard();
        return false;
    }
    if (output->commit()) return true;
    if (why != nullptr) *why = output->error();
    return false;
}

}  // namespace velmora
