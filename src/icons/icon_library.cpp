#include "icons/icon_library.hpp"

#include <new>
#include <string>

#include "icons/bmp_file.hpp"
#include "icons/icon_convert.hpp"
#include "platform/dir_search.hpp"
#include "platform/messages.hpp"
#include "platform/paths.hpp"

namespace velmora {

namespace {

// Loads one BMP file as the icon of the symbol name and appends it; a file that can't be
// loaded or used in a GPI file is reported and left out.
void load_bmp_icon(icon_list& list, const std::string& file_path, const std::string& name,
                   const std::string& ext) {
    auto image = bmp_load(file_path);
    if (image) {
        // Keep only icons that can go into a GPI file as they are.
        if (const char* problem = gpi_conversion_problem(*image)) {
            report("\nError: BMP icon can't be used: %s", problem);
            image.reset();
        }
    }
    if (!image) {
        report("\nWarning: Can't load bmp file(%s)", shown_file_name(name + ext).c_str());
        report("\nTeszt: Not loaded! (%s)", shown_file_name(name + ext).c_str());
        return;
    }
    auto entry = std::make_unique<icon_entry>();
    entry->symbol = name;
    entry->icon_id = 0;
    entry->usage = 0;
    entry->format = icon_format_bmp;
    entry->bmp = std::move(image);
    (void)icon_list_append(list, std::move(entry));
}

}  // namespace

bool icon_list_append(icon_list& list, std::unique_ptr<icon_entry> entry) {
    if (!entry) return false;
    try {
        std::size_t capacity = list.entries.capacity();
        if (list.entries.size() + 1 >= capacity)
            list.entries.reserve(capacity < 16 ? 32 : capacity * 2);
        list.entries.push_back(std::move(entry));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

std::unique_ptr<icon_list> icon_library_load(std::string_view pattern) {
    auto list = std::make_unique<icon_list>();
    auto resolved = resolve_path(pattern);
    if (!resolved) return list;

    std::string search;
    std::string dir;
    if (is_path_separator(resolved->back())) {
        search = *resolved + "*.*";
        dir = *resolved;
    } else {
        search = *resolved;
        std::size_t sep = resolved->rfind('/');
        if (sep != std::string::npos) dir = resolved->substr(0, sep + 1);
    }

    for (const dir_entry& found : find_entries(search)) {
        if (found.is_directory) continue;
        std::string file_path = dir + found.name;
        auto parts = split_path(file_path);
        if (!parts) {
            report("\nTeszt: Not loaded! (%s)", shown_file_name(found.name).c_str());
            continue;
        }
        std::string name = ascii_lower(parts->fname);
        const char* ext = parts->ext.c_str();
        if (equals_ignore_case(parts->ext, ".bmp")) {
            load_bmp_icon(*list, file_path, name, parts->ext);
        } else if (equals_ignore_case(parts->ext, ".gif") ||
                   equals_ignore_case(parts->ext, ".ico")) {
            report("\nWarning: type not supported (yet): (%s)!", shown_file_name(ext).c_str());
            report("\nTeszt: Not loaded! (%s)", shown_file_name(name + ext).c_str());
        } else {
            report("\nWarning: type not supported: (%s)!", shown_file_name(ext).c_str());
            report("\nTeszt: Not loaded! (%s)", shown_file_name(name + ext).c_str());
        }
    }
    return list;
}

std::unique_ptr<icon_list> icon_load_beside(std::string_view file_path) {
    auto list = std::make_unique<icon_list>();
    auto parts = split_path(file_path);
    if (!parts) return list;
    // The first such file in name order, so that every run takes the same one.
    for (const dir_entry& found : find_entries(parts->drive + parts->dir + "*.*")) {
        if (found.is_directory) continue;
        auto candidate = split_path(found.name);
        if (!candidate || !equals_ignore_case(candidate->ext, ".bmp") ||
            !equals_ignore_case(candidate->fname, parts->fname)) {
            continue;
        }
        load_bmp_icon(*list, parts->drive + parts->dir + found.name, ascii_lower(candidate->fname),
                      candidate->ext);
        break;
    }
    return list;
}

}  // namespace velmora
