// Speed-camera list import on arbitrary bytes, for every kind of output naming.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "model/poiset.hpp"
#include "platform/messages.hpp"
#include "speedcam/speedcam_import.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // The first byte chooses the naming of the cameras, whether the alert table and the
    // rectangle are used, and whether the list is read from a stream or from memory.
    const velmora::speedcam_naming namings[] = {velmora::speedcam_naming::gpi,
                                                velmora::speedcam_naming::gpx,
                                                velmora::speedcam_naming::none};
    velmora::speedcam_naming naming = namings[data[0] % 3];
    velmora::speedcam_settings settings;
    settings.different_speed_alarm = data[0] & 4 ? 1 : 0;
    if (data[0] & 8) {
        settings.region_filter = 1;
        settings.region_min_lat = 40;
        settings.region_max_lat = 50;
    }
    velmora::message_capture quiet;
    if (data[0] & 16) {
        // A list held in memory, its halves read side by side from a few bytes on.
        std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
        velmora::poiset set;
        velmora::import_speedcam_list(text, settings, set, naming, data[0] & 32 ? 1 : 64);
        return 0;
    }
    std::FILE* file = fmemopen(const_cast<std::uint8_t*>(data + 1), size - 1, "rb");
    if (file == nullptr) return 0;
    velmora::poiset set;
    (void)velmora::import_speedcam_text(file, &settings, set, naming);
    std::fclose(file);
    return 0;
}
