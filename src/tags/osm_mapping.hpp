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
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
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

// The symbols of a mapping arranged by tag key, for a reader that looks up the tags of
// millions of objects: nothing is put together for a lookup, and a tag whose key no
// line names costs one lookup of the key.  Finds what osm_symbol_for finds; valid while
// the mapping lives unchanged.
class osm_symbol_index {
  public:
    explicit osm_symbol_index(const osm_mapping& mapping);
    [[nodiscard]] const std::string* find(std::string_view key, std::string_view value) const;

  private:
    // Whether a key may be one of the index's: its first byte and length are looked up
    // first, so that most keys without a line cost no lookup.
    [[nodiscard]] bool may_hold(std::string_view key) const {
        return (key_shapes_[shape_row(key)] >> shape_bit(key) & 1U) != 0;
    }
    static std::size_t shape_row(std::string_view key) {
        return key.empty() ? 0 : static_cast<unsigned char>(key.front());
    }
    static unsigned shape_bit(std::string_view key) {
        return key.size() < 32 ? static_cast<unsigned>(key.size()) : 0U;  // 0: long or empty
    }

    struct text_hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const {
            return std::hash<std::string_view>{}(text);
        }
    };
    template <class T>
    using by_text = std::unordered_map<std::string, T, text_hash, std::equal_to<>>;
    struct key_symbols {
        const std::string* any_value = nullptr;  // the line of the key alone
        by_text<const std::string*> values;      // the lines of the key with a value
    };
    by_text<key_symbols> keys_;
    std::array<std::uint32_t, 256> key_shapes_{};  // by first byte, a bit for each length
};

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
