#include "icons/icon_convert.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "icons/bmp_file.hpp"
#include "icons/icon_library.hpp"
#include "platform/atomic_output.hpp"
#include "platform/messages.hpp"
#include "platform/paths.hpp"

namespace velmora {

namespace {

constexpr std::int32_t export_pixels_per_metre = 3780;
constexpr std::int64_t max_gpi_dimension = 0xFFFF;  // 16-bit height, width and row size

std::int64_t gpi_palette_count(std::int64_t bits) {
    return bits <= 8 ? std::int64_t{1} << bits : 0;
}

// Copies the rows in reverse order: row i of the result is row (height - 1 - i) of the
// source.  Both layouts keep each row's bytes and padding.
void copy_rows_reversed(const std::uint8_t* source, std::uint8_t* dest, std::size_t row_size,
                        std::size_t height) {
    for (std::size_t i = 0; i < height; ++i) {
        const std::uint8_t* row = source + (height - 1 - i) * row_size;
        std::copy(row, row + row_size, dest + i * row_size);
    }
}

// The refusals of a copy that pass in silence: nothing to draw, or an indexed bitmap
// without colours.
bool copy_refused(const gpi_bitmap& b) {
    return b.pixels.empty() || b.bits_per_pixel == 0 || b.width == 0 || b.height == 0 ||
           (b.bits_per_pixel <= 8 && (b.palette_count == 0 || b.palette.empty()));
}

std::unique_ptr<gpi_bitmap> convert_entry(const icon_entry& source) {
    const char* problem = nullptr;
    std::unique_ptr<gpi_bitmap> converted;
    if (source.format == icon_format_bmp) {
        if (!source.bmp) return nullptr;
        problem = gpi_conversion_problem(*source.bmp);
        if (problem == nullptr) converted = gpi_bitmap_from_bmp(source.bmp.get());
    } else {
        if (!source.bitmap || copy_refused(*source.bitmap)) return nullptr;
        problem = gpi_bitmap_problem(*source.bitmap);
        if (problem == nullptr) converted = gpi_bitmap_copy(source.bitmap.get());
    }
    // An icon without a number is not written anyway; only a numbered one is missed.
    if (problem != nullptr && source.icon_id != no_icon_id) {
        report("\nWarning: Icon '%s' left out of the gpi file: %s!",
               source.symbol ? source.symbol->c_str() : "", problem);
    }
    return converted;
}

}  // namespace

const char* gpi_conversion_problem(const bmp_image& image) {
    if (image.width <= 0 || image.width > max_gpi_dimension || image.height <= 0 ||
        image.height > max_gpi_dimension) {
        return "width and height must be 1 to 65535";
    }
    if (image.bits_per_pixel <= 0) return "no colour depth";
    if (image.bits_per_pixel <= 8 && (image.colours_used <= 0 || image.palette.empty())) {
        return "no palette";
    }
    std::int64_t row_size = bitmap_row_size(image.bits_per_pixel, image.width);
    if (row_size > max_gpi_dimension) return "pixel rows too long";
    std::int64_t image_size = row_size * image.height;
    if (image.pixels.size() < static_cast<std::uint64_t>(image_size)) return "pixel bytes missing";
    if (image_size + 4 * gpi_palette_count(image.bits_per_pixel) + gpi_bitmap_header_size >
        std::numeric_limits<std::int32_t>::max()) {
        return "picture too large";
    }
    return nullptr;
}

const char* gpi_bitmap_problem(const gpi_bitmap& bitmap) {
    std::int64_t row_size = bitmap_row_size(bitmap.bits_per_pixel, bitmap.width);
    if (row_size > max_gpi_dimension) return "pixel rows too long";
    std::int64_t image_size = row_size * bitmap.height;
    if (bitmap.pixels.size() < static_cast<std::uint64_t>(image_size)) return "pixel bytes missing";
    if (bitmap.palette.size() < bitmap.palette_count) return "palette entries missing";
    std::int64_t block_size =
        image_size + 4 * std::int64_t{bitmap.palette_count} + gpi_bitmap_header_size;
    if (block_size > std::numeric_limits<std::int32_t>::max()) return "bitmap too large";
    return nullptr;
}

std::unique_ptr<gpi_bitmap> gpi_bitmap_from_bmp(const bmp_image* image) {
    if (image == nullptr || gpi_conversion_problem(*image) != nullptr) return nullptr;
    try {
        auto bitmap = std::make_unique<gpi_bitmap>();
        bitmap->icon_id = no_icon_id;
        bitmap->bits_per_pixel = static_cast<std::uint16_t>(image->bits_per_pixel);
        bitmap->height = static_cast<std::uint16_t>(image->height);
        bitmap->width = static_cast<std::uint16_t>(image->width);
        bitmap->transparent_colour = gpi_transparent_magenta;
        if (!image->name.empty()) bitmap->name = image->name;

        auto palette_count = static_cast<std::size_t>(gpi_palette_count(image->bits_per_pixel));
        bitmap->palette_count = static_cast<std::uint32_t>(palette_count);
        if (palette_count > 0) {
            bitmap->palette.assign(palette_count, 0);
            std::size_t filled = std::min({palette_count, image->palette.size(),
                                           static_cast<std::size_t>(image->colours_used)});
            for (std::size_t i = 0; i < filled; ++i) {
                bitmap->palette[i] = convert_palette_entry(image->palette[i]);
            }
        }

        auto row_size =
            static_cast<std::size_t>(bitmap_row_size(bitmap->bits_per_pixel, bitmap->width));
        std::size_t image_size = row_size * bitmap->height;
        bitmap->pixels.resize(image_size);
        copy_rows_reversed(image->pixels.data(), bitmap->pixels.data(), row_size, bitmap->height);
        return bitmap;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

std::unique_ptr<gpi_bitmap> gpi_bitmap_copy(const gpi_bitmap* bitmap) {
    if (bitmap == nullptr || copy_refused(*bitmap) || gpi_bitmap_problem(*bitmap) != nullptr) {
        return nullptr;
    }
    try {
        auto copy = std::make_unique<gpi_bitmap>();
        copy->name = bitmap->name;
        copy->icon_id = bitmap->icon_id;
        copy->height = bitmap->height;
        copy->width = bitmap->width;
        copy->bits_per_pixel = bitmap->bits_per_pixel;
        copy->palette_count = bitmap->palette_count;
        copy->transparent_colour = bitmap->transparent_colour;
        auto image_size = static_cast<std::size_t>(
            bitmap_row_size(bitmap->bits_per_pixel, bitmap->width) * bitmap->height);
        copy->pixels.assign(bitmap->pixels.begin(),
                            bitmap->pixels.begin() + static_cast<std::ptrdiff_t>(image_size));
        copy->palette.assign(
            bitmap->palette.begin(),
            bitmap->palette.begin() + static_cast<std::ptrdiff_t>(bitmap->palette_count));
        return copy;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

namespace {

// Why a bitmap can't become a picture that bmp_save writes, or nullptr when it can.
const char* bmp_conversion_problem(const gpi_bitmap& bitmap) {
    if (bitmap.pixels.empty() || bitmap.bits_per_pixel == 0 || bitmap.width == 0 ||
        bitmap.height == 0) {
        return "no picture";
    }
    if (bitmap.bits_per_pixel <= 8 &&
        (bitmap.palette_count == 0 || bitmap.palette.size() < bitmap.palette_count ||
         bitmap.palette_count >
             static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max()))) {
        return "no palette";
    }
    auto image_size = bitmap_row_size(bitmap.bits_per_pixel, bitmap.width) * bitmap.height;
    if (bitmap.pixels.size() < static_cast<std::uint64_t>(image_size)) return "pixel bytes missing";
    return nullptr;
}

}  // namespace

std::unique_ptr<bmp_image> gpi_bitmap_to_bmp(const gpi_bitmap* bitmap) {
    if (bitmap == nullptr || bmp_conversion_problem(*bitmap) != nullptr) return nullptr;
    // A depth that BMP files lack becomes the next one they have.
    int depth = bmp_file_depth(bitmap->bits_per_pixel);
    auto row_size =
        static_cast<std::size_t>(bitmap_row_size(bitmap->bits_per_pixel, bitmap->width));
    std::size_t image_size = row_size * bitmap->height;
    try {
        auto image = std::make_unique<bmp_image>();
        image->bits_per_pixel = static_cast<std::int16_t>(depth);
        image->height = bitmap->height;
        image->width = bitmap->width;
        image->x_pixels_per_metre = export_pixels_per_metre;
        image->y_pixels_per_metre = export_pixels_per_metre;
        if (bitmap->name) image->name = *bitmap->name;
        if (depth <= 8) {
            // Above 8 bits a BMP has no colour table; one held by the bitmap is dropped.
            // Below, the table holds no more entries than the depth can use.
            image->colours_used = static_cast<std::int32_t>(
                std::min(bitmap->palette_count, std::uint32_t{1} << depth));
            image->palette.resize(static_cast<std::size_t>(image->colours_used));
            for (std::size_t i = 0; i < image->palette.size(); ++i) {
                image->palette[i] = convert_palette_entry(bitmap->palette[i]);
            }
        }
        image->pixels.resize(image_size);
        copy_rows_reversed(bitmap->pixels.data(), image->pixels.data(), row_size, bitmap->height);
        if (depth != bitmap->bits_per_pixel) {
            image->pixels = repack_pixel_rows(image->pixels, bitmap->bits_per_pixel, depth,
                                              bitmap->width, bitmap->height);
        }
        return image;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

std::unique_ptr<icon_list> build_bitmap_set(const icon_list* icons) {
    if (icons == nullptr) return nullptr;
    auto result = std::make_unique<icon_list>();
    for (const auto& source : icons->entries) {
        if (!source) continue;
        if (source->format != icon_format_bmp && source->format != icon_format_gpi) {
            report("\nWarning: Unexpected bitmap type (%i) while converting to gpi! (ignored)",
                   source->format);
            continue;
        }
        auto converted = convert_entry(*source);
        if (!converted) continue;
        auto entry = std::make_unique<icon_entry>();
        entry->format = icon_format_gpi;
        entry->symbol = source->symbol;
        entry->usage = source->usage;
        if (source->icon_id != no_icon_id) {
            entry->icon_id = source->icon_id;
            converted->icon_id = source->icon_id;
        }
        entry->bitmap = std::move(converted);
        (void)icon_list_append(*result, std::move(entry));
    }
    return result;
}

namespace {

// An icon file of the export: the entry it shows and where it goes.
struct icon_file {
    const icon_entry* entry;
    std::string name;  // "<base>_<set>_<entry>"
    std::string path;
};

// Whether an entry can be exported; a warning says why not.
bool exportable(const icon_entry& entry, const std::string& name, const std::string& path) {
    if (entry.format == icon_format_bmp) {
        if (entry.bmp && bmp_image_is_savable(*entry.bmp)) return true;
        report("\nWarning: Problem saving bmp file (%s)! (ignored)", shown_file_name(path).c_str());
        return false;
    }
    if (entry.format == icon_format_gpi) {
        if (entry.bitmap && bmp_conversion_problem(*entry.bitmap) == nullptr) return true;
        report("\nWarning: Problem converting to bmp file (%s)! (ignored)", name.c_str());
        return false;
    }
    report("\nWarning: Unexpected bitmap type (%i) while converting to bmp! (ignored)",
           entry.format);
    return false;
}

// The bytes of an exportable entry's BMP file; none when memory ran out.
std::optional<std::vector<std::uint8_t>> icon_file_bytes(const icon_entry& entry) {
    try {
        if (entry.format == icon_format_bmp) return bmp_file_bytes(*entry.bmp);
        auto image = gpi_bitmap_to_bmp(entry.bitmap.get());
        if (!image) return std::nullopt;
        return bmp_file_bytes(*image);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

}  // namespace

bool export_icons(const std::string& output_path, const poiset_list& list) {
    auto parts = split_path(output_path);
    if (!parts) {
        report("FATAL: Error splitting output filespec!");
        return false;
    }
    // Every file is named and its place checked before the first is written.
    std::vector<icon_file> files;
    for (std::size_t i = 0; i < list.poisets.size(); ++i) {
        const poiset* set = list.poisets[i].get();
        if (set == nullptr || !set->icons) continue;
        const auto& entries = set->icons->entries;
        for (std::size_t j = 0; j < entries.size(); ++j) {
            const icon_entry* entry = entries[j].get();
            if (entry == nullptr) continue;
            std::string name = parts->fname + "_" + std::to_string(i) + "_" + std::to_string(j);
            auto path = join_path({parts->drive, parts->dir, name, parts->ext});
            if (!path) {
                report("\nError: The icon file name (%s%s) is too long; no icon file was written.",
                       name.c_str(), parts->ext.c_str());
                return false;
            }
            if (!exportable(*entry, name, *path)) continue;
            files.push_back({entry, std::move(name), std::move(*path)});
        }
    }
    std::vector<std::string> targets;
    targets.reserve(files.size());
    for (const auto& file : files) targets.push_back(file.path);
    atomic_output_group output(targets);
    if (!output.ok()) {
        report("\nError opening output file (%s). Aborting! (%s)", output.failed_target().c_str(),
               output.error().c_str());
        return false;
    }
    // All of the files are written before any replaces its target; the first that can't
    // be written ends the export, and none is replaced.
    for (std::size_t k = 0; k < files.size(); ++k) {
        auto bytes = icon_file_bytes(*files[k].entry);
        if (!bytes) {
            report("\nError: Converting the icon file (%s) failed (%s); no icon file was changed.",
                   shown_file_name(files[k].path).c_str(), std::strerror(ENOMEM));
            output.discard();
            return false;
        }
        if (!output.write(k, *bytes)) {
            report("\nError: Writing the icon file (%s) failed (%s); no icon file was changed.",
                   shown_file_name(files[k].path).c_str(), output.error().c_str());
            output.discard();
            return false;
        }
    }
    if (!output.commit()) {
        if (output.renamed() == 0) {
            report("\nError: Writing the icon file (%s) failed (%s); no icon file was changed.",
                   output.failed_target().c_str(), output.error().c_str());
        } else {
            report(
                "\nError: Replacing the icon file (%s) failed (%s); %zu icon files were "
                "replaced before it.",
                output.failed_target().c_str(), output.error().c_str(), output.renamed());
        }
        return false;
    }
    if (!output.warning().empty()) {
        report("\nWarning: The icon files were written, but syncing their directory failed (%s).",
               output.warning().c_str());
    }
    return true;
}

}  // namespace velmora
