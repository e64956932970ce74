#pragma once
// The tag filter of an OpenStreetMap input: "amenity=fuel|charging_station,tourism=camp_site"
// (terms separated by ",", each a key with optional values separated by "|"; an object
// matches when any term matches).  Every value of a term, or a term without values, is
// one category of the POIs that come from the input.
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

struct osm_tag_term {
    std::string key;
    std::vector<std::string> values;  // empty: any value of the key
    int first_category = 0;           // category of values[0], or of the whole term
};

struct osm_tag_filter {
    std::vector<osm_tag_term> terms;
    std::vector<std::string> categories;  // "key=value", or "key" for a term without values
};

// What matched: the category and the tag that made it.
struct osm_tag_match {
    int category = -1;  // -1: no match
    const char* key = nullptr;
    const char* value = nullptr;
    // The symbol of the tag, when whoever matched it has looked it up already.
    const std::string* symbol = nullptr;
};

// Parses a filter text; none with the reason in `error` when a term has no key, a value
// is empty, or the text is empty.
[[nodiscard]] std::optional<osm_tag_filter> parse_osm_tag_filter(std::string_view text,
                                                                 std::string& error);

// The first term, in filter order, that the tags match.  Tags is anything with
// get_value_by_key(const char*) giving the value or null (osmium::TagList).
template <class Tags>
[[nodiscard]] osm_tag_match match_osm_tags(const osm_tag_filter& filter, const Tags& tags) {
    for (const osm_tag_term& term : filter.terms) {
        const char* value = tags.get_value_by_key(term.key.c_str());
        if (value == nullptr) continue;
        if (term.values.empty()) return {term.first_category, term.key.c_str(), value};
        for (std::size_t i = 0; i < term.values.size(); ++i) {
            if (std::strcmp(value, term.values[i].c_str()) == 0) {
                return {term.first_category + static_cast<int>(i), term.key.c_str(), value};
            }
        }
    }
    return {};
}

}  // namespace velmora
