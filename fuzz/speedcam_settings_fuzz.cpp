// The speedcam settings reader on arbitrary bytes.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/messages.hpp"
#include "speedcam/speedcam_settings.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path =
        "/tmp/velmora-speedcam-fuzz-" + std::to_string(getpid()) + ".ini";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    velmora::message_capture quiet;
    auto settings = velmora::read_speedcam_settings(path);
    if (settings) {
        (void)velmora::alarm_speed_for(static_cast<int>(size) - 100, *settings);
        (void)velmora::format_coordinate(true, settings->region_max_lat);
        (void)velmora::format_coordinate(false, settings->region_min_lon);
    }
    return 0;
}
