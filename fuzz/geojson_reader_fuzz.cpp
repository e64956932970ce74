// libFuzzer entry point for the GeoJSON reader: any bytes are read as a GeoJSON file or
// uMap document, with or without a tag filter and with uMap layers as categories or as
// sets (the first byte chooses), and what was read is written out again as GPX.  Every
// waypoint read must lie within the coordinate ranges.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "geojson/geojson_reader.hpp"
#include "gpx/gpx_writer.hpp"
#include "platform/messages.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    static const velmora::osm_tag_filter filter = [] {
        std::string error;
        return *velmora::parse_osm_tag_filter("amenity=fuel|parking,tourism,name", error);
    }();
    static const velmora::osm_mapping mapping = [] {
        velmora::osm_mapping m;
        m.symbols["amenity=fuel"] = "Gas Station";
        m.symbols["tourism"] = "Campground";
        m.categories["tourism"] = "Tourism";
        m.maki["fuel"] = "Gas Station";
        return m;
    }();
    velmora::geojson_options options;
    options.filter = (data[0] & 1) != 0 ? &filter : nullptr;
    options.layers_as_sets = (data[0] & 2) != 0;
    options.osm = {(data[0] & 4) != 0 ? "de" : "", &mapping};
    // The bytes are copied, so that the sanitizer sees a read past the room given.
    std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    velmora::message_capture quiet;
    velmora::poiset_list list;
    (void)velmora::geojson_read(std::move(bytes), "fuzz.geojson", "fuzz", options, list);
    for (const auto& set : list.poisets) {
        for (const auto& w : set->waypoints) {
            if (!(w.lat >= -90 && w.lat <= 90 && w.lon >= -180 && w.lon <= 180)) std::abort();
        }
    }
    (void)velmora::gpx_document(list);
    return 0;
}
