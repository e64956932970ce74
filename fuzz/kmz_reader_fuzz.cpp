// libFuzzer entry point for the KMZ reader: any bytes are read as a zip archive holding
// a KML document and its images.  Nothing may be read beyond the archive's bounds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "kml/kml_reader.hpp"
#include "platform/messages.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    velmora::message_capture quiet;
    velmora::poiset_list list;
    auto result = velmora::kml_read(bytes, {"fuzz", {}}, list, {});
    if (result) {
        for (const auto& icon : result->icons) {
            if (icon.image && icon.image->size() > 100 * size) std::abort();
        }
    }
    return 0;
}
