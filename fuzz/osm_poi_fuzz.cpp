// OpenStreetMap XML through libosmium's reader into POIs and the model: the filter, the
// tag fields, way centres and the sets made from them, on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "model/poiset.hpp"
#include "osm/osm_import.hpp"
#include "osm/osm_reader.hpp"
#include "platform/messages.hpp"
#include "tags/osm_filter.hpp"
#include "tags/osm_mapping.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const velmora::osm_tag_filter filter = [] {
        std::string error;
        return *velmora::parse_osm_tag_filter(
            "amenity=fuel|parking|charging_station,tourism,highway=speed_camera", error);
    }();
    static const velmora::osm_mapping mapping = [] {
        velmora::osm_mapping m;
        m.symbols["amenity=fuel"] = "Gas Station";
        m.symbols["tourism"] = "Campground";
        m.categories["tourism"] = "Tourism";
        return m;
    }();
    velmora::message_capture quiet;
    velmora::osm_read_options options{filter, {"de", &mapping}};
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    auto result = velmora::read_osm_bytes(bytes, "osm", "fuzz.osm", options);
    if (!result) return 0;
    velmora::poiset_list list;
    (void)velmora::add_osm_pois(list, *result, filter, &mapping, "fuzz");
    return 0;
}
