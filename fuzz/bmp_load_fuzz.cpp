// The BMP loader and the conversions of what it loads, on arbitrary bytes.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "icons/bmp_file.hpp"
#include "icons/icon_convert.hpp"
#include "platform/messages.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = "/tmp/velmora-bmp-fuzz-" + std::to_string(getpid()) + ".bmp";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    velmora::message_capture quiet;
    auto image = velmora::bmp_load(path);
    if (image) {
        auto bitmap = velmora::gpi_bitmap_from_bmp(image.get());
        auto copy = velmora::gpi_bitmap_copy(bitmap.get());
        auto back = velmora::gpi_bitmap_to_bmp(copy.get());
        if (back && !velmora::bmp_image_is_savable(*back)) __builtin_trap();
    }
    return 0;
}
