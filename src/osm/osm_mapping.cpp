#include "osm/osm_mapping.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/messages.hpp"
#include "platform/paths.hpp"
#include "text/line_text.hpp"

namespace velmora {

namespace {

struct file_closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

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

const std::string& osm_category_name(const osm_mapping& mapping, const std::string& category) {
    auto it = mapping.categories.find(category);
    return it != mapping.categories.end() ? it->second : category;
}

std::unique_ptr<osm_mapping> read_osm_mapping(const std::string& path) {
    std::unique_ptr<std::FILE, file_closer> file(std::fopen(path.c_str(), "r"));
    if (!file) {
        report("\nWarning: Can't open the OSM mapping file (%s): %s; POIs get no symbols",
               path.c_str(), std::strerror(errno));
        return nullptr;
    }
    auto mapping = std::make_unique<osm_mapping>();
    std::unordered_map<std::string, std::string>* target = nullptr;
    std::string line;
    for (int number = 1; read_bounded_line(file.get(), line); ++number) {
        std::string_view text = clean_settings_line(line);
        if (text.empty()) continue;
        if (text.front() == '[') {
            auto name = bracket_name(text);
            if (name && equals_ignore_case(*name, "OsmSymbols")) {
                target = &mapping->symbols;
            } else if (name && equals_ignore_case(*name, "OsmCategories")) {
                target = &mapping->categories;
            } else {
                target = nullptr;
                std::string shown(text);
                report("\nWarning: Unexpected section name %s in %s line %i!", shown.c_str(),
                       path.c_str(), number);
            }
            continue;
        }
        if (target == nullptr) continue;
        std::size_t last = text.rfind('=');
        if (last == std::string_view::npos || last == 0 || last + 1 == text.size()) {
            std::string shown(text);
            report("\nWarning: Unexpected line %s in %s line %i!", shown.c_str(), path.c_str(),
                   number);
            continue;
        }
        (*target)[std::string(text.substr(0, last))] = std::string(text.substr(last + 1));
    }
    if (std::ferror(file.get()) != 0) {
        report("\nError: read error while reading %s.", path.c_str());
    }
    return mapping;
}

}  // namespace velmora
