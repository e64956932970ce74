#include "tags/osm_mapping.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/messages.hpp"
#include "platform/paths.hpp"
#include "platform/stdio_file.hpp"
#include "text/line_text.hpp"

namespace velmora {

const std::string* osm_symbol_for(const osm_mapping& mapping, std::string_view key,
                                  std::string_view value) {
    std::string tag;
    tag.reserve(key.size() + 1 + value.size());
    tag.append(key).append("=").append(value);
    if (auto it = mapping.symbols.find(tag); it != mapping.symbols.end()) return &it->second;
    tag.resize(key.size());
    if (auto it = mapping.symbols.find(tag); it != mapping.symbols.end()) return &it->second;
    return nullptr;
}

osm_symbol_index::osm_symbol_index(const osm_mapping& mapping) {
    for (const auto& [tag, symbol] : mapping.symbols) {
        keys_[tag].any_value = &symbol;
        // "key=value" joins a key and a value at its "=": at any of them, as a key or a
        // value may hold one itself.
        for (std::size_t at = tag.find('='); at != std::string::npos; at = tag.find('=', at + 1))
            keys_[tag.substr(0, at)].values[tag.substr(at + 1)] = &symbol;
    }
    for (const auto& entry : keys_)
        key_shapes_[shape_row(entry.first)] |= std::uint32_t{1} << shape_bit(entry.first);
}

const std::string* osm_symbol_index::find(std::string_view key, std::string_view value) const {
    if (!may_hold(key)) return nullptr;
    auto it = keys_.find(key);
    if (it == keys_.end()) return nullptr;
    const key_symbols& symbols = it->second;
    if (!symbols.values.empty()) {
        if (auto v = symbols.values.find(value); v != symbols.values.end()) return v->second;
    }
    return symbols.any_value;
}

const std::string* maki_symbol_for(const osm_mapping& mapping, std::string_view maki_name) {
    if (mapping.maki.empty()) return nullptr;
    auto it = mapping.maki.find(ascii_lower(maki_name));
    return it != mapping.maki.end() ? &it->second : nullptr;
}

const std::string& osm_category_name(const osm_mapping& mapping, const std::string& category) {
    auto it = mapping.categories.find(category);
    return it != mapping.categories.end() ? it->second : category;
}

std::unique_ptr<osm_mapping> read_osm_mapping(const std::string& path) {
    unique_file file(std::fopen(path.c_str(), "r"));
    if (!file) {
        report("\nWarning: Can't open the OSM mapping file (%s): %s; POIs get no symbols",
               shown_file_name(path).c_str(), std::strerror(errno));
        return nullptr;
    }
    auto mapping = std::make_unique<osm_mapping>();
    std::unordered_map<std::string, std::string>* target = nullptr;
    for_each_settings_line(file.get(), path, [&](std::string_view text, int number) {
        if (text.front() == '[') {
            auto name = bracket_name(text);
            if (name && equals_ignore_case(*name, "OsmSymbols")) {
                target = &mapping->symbols;
            } else if (name && equals_ignore_case(*name, "OsmCategories")) {
                target = &mapping->categories;
            } else if (name && equals_ignore_case(*name, "MakiSymbols")) {
                target = &mapping->maki;
            } else {
                target = nullptr;
                std::string shown(text);
                report("\nWarning: Unexpected section name %s in %s line %i!", shown.c_str(),
                       shown_file_name(path).c_str(), number);
            }
            return;
        }
        if (target == nullptr) return;
        std::size_t last = text.rfind('=');
        if (last == std::string_view::npos || last == 0 || last + 1 == text.size()) {
            std::string shown(text);
            report("\nWarning: Unexpected line %s in %s line %i!", shown.c_str(),
                   shown_file_name(path).c_str(), number);
            return;
        }
        std::string key(text.substr(0, last));
        if (target == &mapping->maki) key = ascii_lower(key);
        (*target)[std::move(key)] = std::string(text.substr(last + 1));
    });
    return mapping;
}

}  // namespace velmora
