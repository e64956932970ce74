#include "tags/osm_filter.hpp"

#include <algorithm>

#include "text/line_text.hpp"

namespace velmora {

std::optional<osm_tag_filter> parse_osm_tag_filter(std::string_view text, std::string& error) {
    osm_tag_filter filter;
    if (trim_blanks(text).empty()) {
        error = "the filter is empty";
        return std::nullopt;
    }
    auto terms = split_text(text, ",");
    for (const std::string& piece : *terms) {
        std::string_view term_text = trim_blanks(piece);
        std::size_t equals = term_text.find('=');
        osm_tag_term term;
        term.key = std::string(trim_blanks(term_text.substr(0, equals)));
        if (term.key.empty()) {
            error = "a term has no key (\"" + std::string(term_text) + "\")";
            return std::nullopt;
        }
        if (equals != std::string_view::npos) {
            auto values = split_text(term_text.substr(equals + 1), "|");
            for (const std::string& value : *values) {
                std::string_view v = trim_blanks(value);
                if (v.empty()) {
                    error = "the key \"" + term.key + "\" has an empty value";
                    return std::nullopt;
                }
                term.values.emplace_back(v);
            }
        }
        term.first_category = static_cast<int>(filter.categories.size());
        if (term.values.empty()) {
            filter.categories.push_back(term.key);
        } else {
            for (const std::string& v : term.values)
                filter.categories.push_back(term.key + "=" + v);
        }
        filter.terms.push_back(std::move(term));
    }
    return filter;
}

}  // namespace velmora
