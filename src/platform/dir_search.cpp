#include "platform/dir_search.hpp"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>

namespace velmora {

std::vector<dir_entry> find_entries(std::string_view pattern) {
    std::string native(pattern);
    std::size_t slash = native.rfind('/');
    std::string dir = slash == std::string::npos ? std::string(".") : native.substr(0, slash + 1);
    std::string mask = slash == std::string::npos ? native : native.substr(slash + 1);
    bool match_all = mask.empty() || mask == "*.*" || mask == "*";

    std::vector<dir_entry> entries;
    DIR* handle = opendir(dir.c_str());
    if (handle == nullptr) return entries;
    while (const dirent* ent = readdir(handle)) {
        std::string name = ent->d_name;
        if (name == "." || name == "..") continue;
        if (!match_all && fnmatch(mask.c_str(), name.c_str(), FNM_PERIOD) != 0) continue;
        std::string full = dir;
        if (full.back() != '/') full += '/';
        full += name;
        struct stat info {};
        bool is_dir = stat(full.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
        entries.push_back({std::move(name), is_dir});
    }
    closedir(handle);
    std::sort(entries.begin(), entries.end(),
              [](const dir_entry& a, const dir_entry& b) { return a.name < b.name; });
    return entries;
}

}  // namespace velmora
