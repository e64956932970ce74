// libFuzzer entry point for the CSV reader: any bytes are read as a POI file in CSV
// form, under a base name that the first byte chooses, and what was read is written
// out again as GPX.  Every waypoint read must lie within the coordinate ranges.  The
// same bytes are also told apart as standard input's first bytes are, which finds the
// separator and header of CSV text too.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "csv/csv_reader.hpp"
#include "driver/input_kind.hpp"
#include "gpx/gpx_writer.hpp"
#include "platform/messages.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view names[] = {"Fuel", "RedLight@50", "a@b", "Zone @ 30.5"};
    std::string_view base_name = names[data[0] % 4];
    std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    velmora::message_capture quiet;
    velmora::poiset_list list;
    velmora::poiset* set = velmora::poiset_list_add(list);
    if (set == nullptr) return 0;
    (void)velmora::csv_read_text(text, base_name, *set);
    for (const auto& w : set->waypoints) {
        if (!(w.lat >= -90 && w.lat <= 90 && w.lon >= -180 && w.lon <= 180)) std::abort();
    }
    (void)velmora::gpx_document(list);
    (void)velmora::input_kind_of_bytes(text);
    return 0;
}
