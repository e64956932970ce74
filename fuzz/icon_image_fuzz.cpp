// The icon-image decoder (PNG, JPEG, GIF, BMP) and the reduction to an 8-bit icon, on
// arbitrary bytes.  Whatever it gives must go into a GPI file as it stands.
#include <cstddef>
#include <cstdint>
#include <string>

#include "icons/icon_convert.hpp"
#include "icons/icon_image.hpp"
#include "platform/little_endian.hpp"
#include "platform/messages.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    velmora::message_capture quiet;
    std::string why;
    auto image = velmora::icon_image_decode({data, size}, &why);
    if (!image) {
        if (why.empty() && !(size >= 2 && data[0] == 'B' && data[1] == 'M')) __builtin_trap();
        return 0;
    }
    // Every picture but a BMP file of 8 bits or fewer becomes an 8-bit icon of at most
    // 24x24 whose pixels all name a palette entry.
    bool shallow_bmp = size >= 30 && data[0] == 'B' && data[1] == 'M' &&
                       static_cast<std::int16_t>(velmora::load_le16(data + 28)) <= 8;
    if (!shallow_bmp) {
        if (velmora::gpi_conversion_problem(*image) != nullptr || image->bits_per_pixel != 8 ||
            image->width > velmora::icon_image_side || image->height > velmora::icon_image_side ||
            image->palette.size() > 256 ||
            image->colours_used != static_cast<std::int32_t>(image->palette.size())) {
            __builtin_trap();
        }
        auto row_size = static_cast<std::size_t>(velmora::bitmap_row_size(8, image->width));
        for (std::int32_t y = 0; y < image->height; ++y) {
            for (std::int32_t x = 0; x < image->width; ++x) {
                if (image->pixels[static_cast<std::size_t>(y) * row_size +
                                  static_cast<std::size_t>(x)] >= image->palette.size()) {
                    __builtin_trap();
                }
            }
        }
    }
    velmora::icon_image_tint(*image, 0x80FF8040);
    // A BMP file of 8 bits or fewer is checked by the icon library, as it always was.
    auto bitmap = velmora::gpi_bitmap_from_bmp(image.get());
    if (!bitmap && !shallow_bmp) __builtin_trap();
    return 0;
}
