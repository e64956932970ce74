#include "icons/icon_library.hpp"

#include <new>
#include <string>

#include "icons/icon_convert.hpp"
#include "icons/icon_image.hpp"
#include "platform/dir_search.hpp"
#include "platform/messages.hpp"
#include "platform/paths.hpp"

namespace velmora {

namespace {

// True for the extensions of the pictures taken as icons.
bool is_picture_extension(const std::string& ext) {
    for (const char* known : {".bmp", ".png", ".jpg", ".jpeg", ".gif"}) {
        if (equals_ignore_case(ext, known)) return true;
    }
    return false;
}

// Loads one picture file as the icon of the symbol name and appends it; a file that can't
// be decoded or used in a GPI file is reported and left out.  BMP files of 8 bits or
// fewer are taken as they are, other pictures converted to 8-bit icons of at most 24x24.
void load_icon_file(icon_list& list, const std::string& file_path, const std::string& name,
                    const std::string& ext) {
    std::string why;
    auto image = icon_image_load(file_path, &why);
    if (image) {
        // Keep only icons that can go into a GPI file as they are.
        if (const char* problem = gpi_conversion_problem(*image)) {
            report("\nError: BMP icon can't be used: %s", problem);
            image.reset();
        }
    }
    if (!image) {
        const char* kind = equals_ignore_case(ext, ".bmp") ? "bmp" : "image";
        if (why.empty()) {
            report("\nWarning: Can't load %s file(%s%s)", kind, name.c_str(), ext.c_str());
        } else {
            report("\nWarning: Can't load %s file(%s%s): %s", kind, name.c_str(), ext.c_str(),
                   why.c_str());
        }
        report("\nTeszt: Not loaded! (%s%s)", name.c_str(), ext.c_str());
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
            report("\nTeszt: Not loaded! (%s)", found.name.c_str());
            continue;
        }
        std::string name = ascii_lower(parts->fname);
        const char* ext = parts->ext.c_str();
        if (is_picture_extension(parts->ext)) {
            load_icon_file(*list, file_path, name, parts->ext);
        } else if (equals_ignore_case(parts->ext, ".ico")) {
            report("\nWarning: type not supported (yet): (%s)!", ext);
            report("\nTeszt: Not loaded! (%s%s)", name.c_str(), ext);
        } else {
            report("\nWarning: type not supported: (%s)!", ext);
            report("\nTeszt: Not loaded! (%s%s)", name.c_str(), ext);
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
        if (!candidate || !is_picture_extension(candidate->ext) ||
            !equals_ignore_case(candidate->fname, parts->fname)) {
            continue;
        }
        load_icon_file(*list, parts->drive + parts->dir + found.name, ascii_lower(candidate->fname),
                       candidate->ext);
        break;
    }
    return list;
}

}  // namespace velmora
