#include "platform/paths.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace velmora {

namespace {

std::optional<std::string> current_directory() {
    std::vector<char> buffer(4096);
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE || buffer.size() > (1u << 20)) return std::nullopt;
        buffer.resize(buffer.size() * 2);
    }
    return std::string(buffer.data());
}

// The path with every symbolic link, "." and ".." resolved by the file system; none
// when some component does not exist or can't be searched.
std::optional<std::string> real_directory(const std::string& path) {
    char* real = realpath(path.c_str(), nullptr);
    if (real == nullptr) return std::nullopt;
    std::string result(real);
    std::free(real);
    return result;
}

bool names_directory(std::string_view name) {
    return name.ends_with('/') || name == "." || name == ".." || name.ends_with("/.") ||
           name.ends_with("/..");
}

}  // namespace

std::optional<std::string> resolve_path(std::string_view name) {
    if (name.empty()) return std::nullopt;
    std::string absolute;
    if (!is_path_separator(name.front())) {
        auto cwd = current_directory();
        if (!cwd) return std::nullopt;
        absolute = *cwd;
        absolute += '/';
    }
    absolute += name;
    if (absolute.size() > max_path_length) return std::nullopt;

    // The directory is resolved by the file system, so that "link/../x" names what the
    // shell names; the last component stays as written (it may not exist yet).  A
    // directory that can't be resolved leaves the name as it is: opening it fails.
    std::string result;
    if (names_directory(name)) {
        auto real = real_directory(absolute);
        result = real ? *real : absolute;
        if (!is_path_separator(result.back())) result += '/';
    } else {
        std::size_t slash = absolute.rfind('/');
        std::string dir = absolute.substr(0, slash + 1);
        auto real = real_directory(dir);
        if (real) {
            result = *real;
            if (!is_path_separator(result.back())) result += '/';
            result.append(absolute, slash + 1);
        } else {
            result = absolute;
        }
    }
    if (result.size() > max_path_length) return std::nullopt;
    return result;
}

std::optional<path_parts> split_path(std::string_view path) {
    if (path.size() > max_path_length) return std::nullopt;
    path_parts parts;
    std::size_t name_start = 0;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (is_path_separator(path[i])) name_start = i + 1;
    }
    std::string_view name = path.substr(name_start);
    if (name.size() > max_name_component) return std::nullopt;
    parts.dir = std::string(path.substr(0, name_start));
    std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) {
        parts.fname = std::string(name);
    } else {
        parts.fname = std::string(name.substr(0, dot));
        parts.ext = std::string(name.substr(dot));
    }
    return parts;
}

std::optional<std::string> join_path(const path_parts& parts) {
    if (parts.fname.size() + parts.ext.size() > max_name_component) return std::nullopt;
    std::string result = parts.drive;
    result += parts.dir;
    if (!result.empty() && !is_path_separator(result.back()) &&
        !(parts.fname.empty() && parts.ext.empty())) {
        result += '/';
    }
    result += parts.fname;
    result += parts.ext;
    if (result.size() > max_path_length) return std::nullopt;
    return result;
}

bool equals_ignore_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

std::string ascii_lower(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return result;
}

}  // namespace velmora
