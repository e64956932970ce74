// Speed-camera list import on arbitrary bytes, for every kind of output naming.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "model/poiset.hpp"
#include "platform/messages.hpp"
#include "speedcam/speedcam_import.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // The first byte chooses the output extension and whether the alert table is used.
    const char* exts[] = {".gpi", ".gpx", ".kml"};
    const char* ext = exts[data[0] % 3];
    velmora::speedcam_settings settings;
    settings.different_speed_alarm = data[0] & 4 ? 1 : 0;
    if (data[0] & 8) {
        settings.region_filter = 1;
        settings.region_min_lat = 40;
        settings.region_max_lat = 50;
    }
    std::FILE* file = fmemopen(const_cast<std::uint8_t*>(data + 1), size - 1, "rb");
    if (file == nullptr) return 0;
    velmora::message_capture quiet;
    velmora::poiset set;
    (void)velmora::import_speedcam_text(file, &settings, set, ext);
    std::fclose(file);
    return 0;
}
