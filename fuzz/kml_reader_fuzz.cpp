// libFuzzer entry point for the KML reader: any bytes are read as a KML document (the
// first byte chooses whether folders become sets of their own), and what was read is
// written out again as GPX.  Every waypoint read must lie within the coordinate ranges.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "gpx/gpx_writer.hpp"
#include "kml/kml_reader.hpp"
#include "platform/messages.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    velmora::kml_read_options options;
    options.folders_as_sets = (data[0] & 1) != 0;
    std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    // Zip archives are the other target's.
    if (velmora::is_zip_archive(text)) return 0;
    velmora::message_capture quiet;
    velmora::poiset_list list;
    (void)velmora::kml_read(text, {"fuzz", {}}, list, options);
    for (const auto& set : list.poisets) {
        for (const auto& w : set->waypoints) {
            if (!(w.lat >= -90 && w.lat <= 90 && w.lon >= -180 && w.lon <= 180)) std::abort();
        }
    }
    (void)velmora::gpx_document(list);
    return 0;
}
