#pragma once
// Import of POI files in the comma-separated form of the navigators' own loader:
// "lon,lat,name[,comment]" per line, one category per file, named after the file.
#include <cstdio>
#include <optional>
#include <string_view>

#include "model/poiset.hpp"

namespace velmora {

// A file's base name split into the set's name and the speed that "@<speed>" at its
// end gives every POI of the file without a speed of its own ("RedLight@50").
struct csv_file_name {
    std::string_view set_name;
    std::optional<double> speed;
};

[[nodiscard]] csv_file_name split_csv_file_name(std::string_view base_name);

// Appends a waypoint for every line of the text with a longitude and latitude in range,
// its name (a speed after its last "@" becomes a speed and proximity alert) and its
// comment.  Sets the set's name from the base name and its encoding from the text: UTF-8
// after a byte order mark or when every byte is valid UTF-8, else code page 1252.  A
// first line without coordinates is a header and passed over; other bad lines are
// reported with their line number.
void csv_read_text(std::string_view text, std::string_view base_name, poiset& set);

// The same for a whole file.  False (after a message, nothing imported) when its bytes
// can't be held in memory or can't be read.  Throws input_changed when the file changes
// while it is read.
[[nodiscard]] bool csv_read(std::FILE* file, std::string_view base_name, poiset& set);

}  // namespace velmora
