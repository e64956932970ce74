#include "driver/runtime_files.hpp"

#include <sys/stat.h>

#include "platform/paths.hpp"

namespace velmora {

namespace {

std::string with_slash(std::string dir) {
    if (dir.empty() || dir.back() != '/') dir += '/';
    return dir;
}

// An XDG variable's value counts only when it is an absolute path.
bool is_absolute(std::string_view dir) {
    return !dir.empty() && dir.front() == '/';
}

bool has_kind(const std::string& path, mode_t kind) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && (info.st_mode & S_IFMT) == kind;
}

}  // namespace

runtime_files runtime_files::for_program(const std::string& program_dir,
                                         const environment_lookup& getenv) {
    runtime_files files;
    std::string own = with_slash(program_dir);
    files.dirs_.push_back(own);

    const char* config_home = getenv("XDG_CONFIG_HOME");
    if (config_home != nullptr && is_absolute(config_home)) {
        files.dirs_.push_back(with_slash(config_home) + "velmora/");
    } else if (const char* home = getenv("HOME"); home != nullptr && is_absolute(home)) {
        files.dirs_.push_back(with_slash(home) + ".config/velmora/");
    }

    const char* config_dirs = getenv("XDG_CONFIG_DIRS");
    std::string_view list =
        config_dirs != nullptr && *config_dirs != '\0' ? config_dirs : "/etc/xdg";
    while (!list.empty()) {
        std::size_t colon = list.find(':');
        std::string_view dir = list.substr(0, colon);
        if (is_absolute(dir)) files.dirs_.push_back(with_slash(std::string(dir)) + "velmora/");
        list.remove_prefix(colon == std::string_view::npos ? list.size() : colon + 1);
    }

    // The installed layout: <prefix>/bin/velmora and <prefix>/share/velmora.  Resolved,
    // so that a relocated prefix and a program reached through a link both work.
    std::string share = own + "../share/velmora/";
    files.dirs_.push_back(resolve_path(share).value_or(share));
    return files;
}

std::optional<std::string> runtime_files::find_file(std::string_view name) const {
    for (const std::string& dir : dirs_) {
        std::string path = dir + std::string(name);
        if (has_kind(path, S_IFREG)) return path;
    }
    return std::nullopt;
}

std::optional<std::string> runtime_files::find_directory(std::string_view name) const {
    for (const std::string& dir : dirs_) {
        std::string path = with_slash(dir + std::string(name));
        if (has_kind(path, S_IFDIR)) return path;
    }
    return std::nullopt;
}

std::string runtime_files::beside_program(std::string_view name) const {
    return dirs_.front() + std::string(name);
}

}  // namespace velmora
