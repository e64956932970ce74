#pragma once
// The mapping file of OpenStreetMap tags (Velmora_osm.ini): which Garmin symbol a tag
// gets, optionally which category name a filter term gets, and which Garmin symbol a
// Maki icon name (GeoJSON's marker-symbol) gets.
//
//   [OsmSymbols]
//   amenity=fuel=Gas Station       ; a tag with its value ...
//   shop=Shopping Center           ; ... or a key alone, for any value
//   [OsmCategories]
//   amenity=fuel=Fuel stations
//   [MakiSymbols]
//   fuel=Gas Station
//
// The text after the last "=" of a line is the symbol or the name.
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

namespace velmora {

struct osm_mapping {
    std::unordered_map<std::string, std::string> symbols;     // "key=value" or "key"
    std::unordered_map<std::string, std::string> categories;  // filter category text
    std::unordered_map<std::string, std::string> maki;        // Maki icon name
};

// The symbol for a tag: that of "key=value", else that of "key"; none when neither is
// mapped.
[[nodiscard]] const std::string* osm_symbol_for(const osm_mapping& mapping, std::string_view key,
                                                std::string_view value);

// The category name of a filter category ("amenity=fuel"): the mapped name or the text
// itself.
[[nodiscard]] const std::string& osm_category_name(const osm_mapping& mapping,
                                                   const std::string& category);

// The Garmin symbol of a Maki icon name ("fuel", compared without regard to ASCII case);
// none when it is not mapped.
[[nodiscard]] const std::string* maki_symbol_for(const osm_mapping& mapping,
                                                 std::string_view maki_name);

// Reads a mapping file; none (after a warning) when it can't be opened.  Unknown
// sections and lines without "=" are reported with their line numbers and passed over.
[[nodiscard]] std::unique_ptr<osm_mapping> read_osm_mapping(const std::string& path);

// The settings-file name looked up beside the program.
inline constexpr const char* osm_mapping_file_name = "Velmora_osm.ini";

}  // namespace velmora
