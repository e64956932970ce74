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
#include "platform/little_endian.hpp"
#include "platform/messages.hpp"
#include "platform/stdio_file.hpp"

namespace velmora {

namespace {

constexpr std::size_t file_header_bytes = 14;
constexpr std::size_t info_header_bytes = 40;
constexpr std::size_t header_bytes = file_header_bytes + info_header_bytes;  // 54
// The longest information header in use (BITMAPV5HEADER); longer ones are refused.
constexpr std::uint32_t max_info_header_bytes = 124;

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

    std::uint32_t pixel_offset = load_le32(&header[10]);
    std::uint32_t info_size = load_le32(&header[14]);
    if (info_size < info_header_bytes || info_size > max_info_header_bytes) {
        // The 12-byte header of OS/2 files keeps its fields elsewhere.
        report("\nError: BMP header of %u bytes is not supported. Ignore it", info_size);
        return nullptr;
    }
    if (file_header_bytes + info_size > file_size) return nullptr;

    auto width = static_cast<std::int32_t>(load_le32(&header[18]));
    auto height = static_cast<std::int32_t>(load_le32(&header[22]));
    auto bits = static_cast<std::int16_t>(load_le16(&header[28]));
    if (bits > 8) {
        report("\nError: BMP color bits must be 8 or less");
        return nullptr;
    }
    if (load_le32(&header[30]) != 0) {
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
    image->x_pixels_per_metre = static_cast<std::int32_t>(load_le32(&header[38]));
    image->y_pixels_per_metre = static_cast<std::int32_t>(load_le32(&header[42]));

    // The palette follows the information header, whatever its version.  A colours-used
    // field of 0 stands for the full palette of the depth; when the pixel data begin
    // inside that palette, the palette is what lies before them.
    auto colours_field = static_cast<std::int32_t>(load_le32(&header[46]));
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
            image->palette[i] = load_le32(&palette_bytes[4 * i]);
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

namespace {

// The bits of a row read as one stream: indexes from the high bit of each byte down,
// wider values from the low bit up.
std::uint32_t read_pixel(const std::uint8_t* row, std::int64_t index, int bits) {
    auto first = static_cast<std::uint64_t>(index) * static_cast<std::uint64_t>(bits);
    std::uint32_t value = 0;
    if (bits <= 8) {
        for (int i = 0; i < bits; ++i) {
            std::uint64_t bit = first + static_cast<std::uint64_t>(i);
            value = (value << 1) | ((row[bit >> 3] >> (7 - (bit & 7))) & 1u);
        }
        return value;
    }
    for (int i = 0; i < std::min(bits, 32); ++i) {
        std::uint64_t bit = first + static_cast<std::uint64_t>(i);
        value |= static_cast<std::uint32_t>((row[bit >> 3] >> (bit & 7)) & 1u) << i;
    }
    return value;
}

// Writes a pixel of a BMP depth (1, 4, 8, 16, 24 or 32 bits).
void write_pixel(std::uint8_t* row, std::int64_t index, int bits, std::uint32_t value) {
    if (bits <= 8) {
        auto first = static_cast<std::uint64_t>(index) * static_cast<std::uint64_t>(bits);
        int shift = 8 - bits - static_cast<int>(first & 7);
        value &= (1u << bits) - 1;
        row[first >> 3] = static_cast<std::uint8_t>(row[first >> 3] | (value << shift));
        return;
    }
    std::uint8_t* at = row + index * (bits / 8);
    for (int i = 0; i < bits / 8; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

std::vector<std::uint8_t> repack_pixel_rows(std::span<const std::uint8_t> rows, int from_bits,
                                            int to_bits, std::int64_t width, std::int64_t height) {
    auto from_row = static_cast<std::size_t>(bitmap_row_size(from_bits, width));
    auto to_row = static_cast<std::size_t>(bitmap_row_size(to_bits, width));
    std::vector<std::uint8_t> result(to_row * static_cast<std::size_t>(height), 0);
    if (rows.size() < from_row * static_cast<std::size_t>(height)) return result;
    for (std::int64_t y = 0; y < height; ++y) {
        const std::uint8_t* source = rows.data() + static_cast<std::size_t>(y) * from_row;
        std::uint8_t* dest = result.data() + static_cast<std::size_t>(y) * to_row;
        for (std::int64_t x = 0; x < width; ++x) {
            write_pixel(dest, x, to_bits, read_pixel(source, x, from_bits));
        }
    }
    return result;
}

bool bmp_image_is_savable(const bmp_image& image) {
    if (image.width <= 0 || image.height <= 0 || image.bits_per_pixel <= 0) return false;
    if (image.colours_used < 0) return false;
    if (image.bits_per_pixel <= 8 && image.colours_used == 0) return false;
    if (image.palette.size() < static_cast<std::size_t>(image.colours_used)) return false;
    std::int64_t row_size = bitmap_row_size(image.bits_per_pixel, image.width);
    std::int64_t image_size = row_size * image.height;
    int depth = bmp_file_depth(image.bits_per_pixel);
    std::int64_t file_size = static_cast<std::int64_t>(header_bytes) +
                             4 * std::int64_t{image.colours_used} +
                             bitmap_row_size(depth, image.width) * image.height;
    if (file_size > std::int64_t{std::numeric_limits<std::uint32_t>::max()}) return false;
    return image.pixels.size() >= static_cast<std::uint64_t>(image_size);
}

std::optional<std::vector<std::uint8_t>> bmp_file_bytes(const bmp_image& image) {
    if (!bmp_image_is_savable(image)) return std::nullopt;
    int depth = bmp_file_depth(image.bits_per_pixel);
    auto row_size = static_cast<std::uint32_t>(bitmap_row_size(depth, image.width));
    std::uint32_t image_size = row_size * static_cast<std::uint32_t>(image.height);
    auto colours = static_cast<std::uint32_t>(image.colours_used);
    if (depth <= 8) colours = std::min(colours, std::uint32_t{1} << depth);
    std::uint32_t data_offset = static_cast<std::uint32_t>(header_bytes) + 4 * colours;

    std::vector<std::uint8_t> bytes(std::size_t{data_offset} + image_size);
    std::uint8_t* h = bytes.data();
    h[0] = 'B';
    h[1] = 'M';
    store_le32(h + 2, data_offset + image_size);
    store_le32(h + 10, data_offset);
    store_le32(h + 14, info_header_bytes);
    store_le32(h + 18, static_cast<std::uint32_t>(image.width));
    store_le32(h + 22, static_cast<std::uint32_t>(image.height));
    store_le16(h + 26, 1);
    store_le16(h + 28, static_cast<std::uint16_t>(depth));
    store_le32(h + 34, image_size);
    store_le32(h + 38, static_cast<std::uint32_t>(image.x_pixels_per_metre));
    store_le32(h + 42, static_cast<std::uint32_t>(image.y_pixels_per_metre));
    store_le32(h + 46, colours);
    store_le32(h + 50, colours);
    for (std::size_t i = 0; i < colours; ++i)
        store_le32(h + header_bytes + 4 * i, image.palette[i]);
    std::uint8_t* pixels = h + data_offset;
    if (depth == image.bits_per_pixel) {
        std::copy_n(image.pixels.begin(), image_size, pixels);
    } else {
        auto repacked =
            repack_pixel_rows(image.pixels, image.bits_per_pixel, depth, image.width, image.height);
        std::copy(repacked.begin(), repacked.end(), pixels);
    }
    return bytes;
}

bool bmp_save(const bmp_image& image, const std::string& path, std::string* why) {
    auto bytes = bmp_file_bytes(image);
    if (!bytes) {
        if (why != nullptr) *why = "not a picture a BMP file can hold";
        return false;
    }
    auto output = atomic_output::open(path, why);
    if (!output) return false;
    if (std::fwrite(bytes->data(), 1, bytes->size(), output->stream()) != bytes->size()) {
        if (why != nullptr) *why = std::strerror(errno);
        output->discard();
        return false;
    }
    if (output->commit()) return true;
    if (why != nullptr) *why = output->error();
    return false;
}

}  // namespace velmora
