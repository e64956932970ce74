// The GPI reader on arbitrary bytes (inputs of odd length pick English texts, as
// -lang:EN does, the others the first entry of each); what was read is written out again as GPX and
// its bitmaps are turned into BMP pictures, as the GPX and icon exports would; its clips and
// pictures are named as files beside the GPX and linked from it.
#include <cstddef>
#include <cstdint>
#include <span>

#include "gpi/gpi_reader.hpp"
#include "gpx/gpx_media.hpp"
#include "gpx/gpx_writer.hpp"
#include "icons/bmp_file.hpp"
#include "icons/icon_convert.hpp"
#include "platform/messages.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    velmora::message_capture quiet;
    velmora::poiset_list list;
    velmora::gpi_read_options options;
    if (size % 2 == 1) options.language = "EN";
    (void)velmora::read_gpi_bytes(std::span<const std::uint8_t>(data, size), list, options);
    velmora::gpx_media media = velmora::plan_gpx_media(list, "fuzz");
    (void)velmora::gpx_document(list, 0, {}, &media);
    for (const auto& set : list.poisets) {
        if (!set->icons) continue;
        for (const auto& entry : set->icons->entries) {
            auto copy = velmora::gpi_bitmap_copy(entry->bitmap.get());
            auto picture = velmora::gpi_bitmap_to_bmp(entry->bitmap.get());
            if (picture) {
                // Every picture is one a BMP file can hold, at a depth BMP files have.
                if (!velmora::bmp_image_is_savable(*picture)) __builtin_trap();
                int depth = picture->bits_per_pixel;
                if (velmora::bmp_file_depth(depth) != depth) __builtin_trap();
                auto bytes = velmora::bmp_file_bytes(*picture);
                if (!bytes || bytes->size() < 54) __builtin_trap();
            }
        }
        (void)velmora::build_bitmap_set(set->icons.get());
    }
    return 0;
}
