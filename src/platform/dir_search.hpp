#pragma once
// Directory search by a wildcard pattern, such as "icons/*.*" or "/x/icons/*.bmp".
// "/" separates (a backslash is part of a name); "*.*" matches every entry, as on the
// platform the patterns were first written for; other wildcards follow shell rules
// (*, ?, [...]).
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

struct dir_entry {
    std::string name;  // without directory
    bool is_directory = false;
};

// The entries of the pattern's directory whose names match its last component, in
// byte order of their names ("." and ".." left out).  A missing or unreadable
// directory gives no entries.
[[nodiscard]] std::vector<dir_entry> find_entries(std::string_view pattern);

}  // namespace velmora
