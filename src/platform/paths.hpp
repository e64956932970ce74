#pragma once
// File names: resolving against the current directory, splitting into parts and
// joining them again.  Only "/" separates; a backslash is an ordinary character of a
// name.  The drive part is always empty on this platform.
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// Longest file-name component (name and extension) and longest whole path.
inline constexpr std::size_t max_name_component = 255;
inline constexpr std::size_t max_path_length = 4095;

// True for the character that separates the components of a path.
[[nodiscard]] constexpr bool is_path_separator(char c) {
    return c == '/';
}

struct path_parts {
    std::string drive;  // always empty here
    std::string dir;    // with its trailing separator, or empty
    std::string fname;  // file name without extension
    std::string ext;    // from the last "." of the file name on, or empty
};

// The absolute path of a name.  Its directory is resolved by the file system (links,
// "." and ".." as the shell sees them); the last component is kept as written, or
// resolved too when it is "." or "..", and a name ending in "/" keeps that "/".  A
// directory that does not exist leaves the name unresolved.  None for an empty name,
// a result longer than max_path_length, or when the current directory is unknown.
[[nodiscard]] std::optional<std::string> resolve_path(std::string_view name);

// Splits a path; none when a part exceeds the limits above.
[[nodiscard]] std::optional<path_parts> split_path(std::string_view path);

// Joins the parts; none when the file-name component or the whole path exceeds the limits.
[[nodiscard]] std::optional<std::string> join_path(const path_parts& parts);

// True when the two texts are equal without regard to ASCII letter case.
[[nodiscard]] bool equals_ignore_case(std::string_view a, std::string_view b);

// The text with ASCII letters folded to lower case.
[[nodiscard]] std::string ascii_lower(std::string_view text);

}  // namespace velmora
