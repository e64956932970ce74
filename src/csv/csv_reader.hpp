#pragma once
// Import of POI files in CSV form, one category per file, named after the file: the
// form of the navigators' own loader, "lon,lat,name[,comment]" per line, or a first line
// that names the columns as spreadsheets write it ("No,Latitude,Longitude,Name,...").
// Fields are separated by ",", ";" or a tab, as the first line shows.
#include <cstddef>
#include <cstdio>
#include <optional>
#include <string_view>
#include <vector>

#include "model/field_names.hpp"
#include "model/poiset.hpp"

namespace velmora {

// Most columns a header names that are read; those after them are not.
inline constexpr std::size_t csv_max_columns = 256;

// What the first line of a CSV text says about all of it.
struct csv_layout {
    char separator = ',';             // ",", ";" or a tab
    std::size_t body = 0;             // where the records begin, after a "sep=" line
    long long first_line = 1;         // the number of the line there
    bool header = false;              // the first record names the columns
    std::vector<field_kind> columns;  // the kinds the header names, column by column
    std::size_t header_fields = 0;    // fields of the header, read or not
};

// The layout of a text (after an optional UTF-8 byte order mark; the offsets count from
// behind it), from its first line: the separator that a first line "sep=;" names (as
// Excel writes it), else the one that splits the line into two numbers, else the one
// under which it names the most known columns, else the one that gives the most fields
// (a comma on equal terms).  The first record is a header when its first two fields
// are no numbers and its other fields printable names.
[[nodiscard]] csv_layout csv_layout_of(std::string_view text);

// A file's base name split into the set's name and the speed that "@<speed>" at its
// end gives every POI of the file without a speed of its own ("RedLight@50").
struct csv_file_name {
    std::string_view set_name;
    std::optional<double> speed;
};

[[nodiscard]] csv_file_name split_csv_file_name(std::string_view base_name);

// Appends a waypoint for every line of the text with a longitude and latitude in range,
// its name (a speed after its last "@" becomes a speed and proximity alert) and its
// other fields.  Sets the set's name from the base name and its encoding from the text:
// UTF-8 after a byte order mark or when every byte is valid UTF-8, else code page 1252.
// A header decides what each column is (field_kind_of), case-insensitively; a "WKT"
// column of points ("POINT (19.04 47.49)") gives the position where no latitude and
// longitude columns do.  Without a header the columns are longitude, latitude, name
// and comment.  With ";" or a tab between
// the fields a number may have a decimal comma.  Bad lines are reported with their line
// number.  False (after a message, nothing imported) when the header names no position.
[[nodiscard]] bool csv_read_text(std::string_view text, std::string_view base_name, poiset& set);

// The same for a whole file.  False (after a message, nothing imported) when its bytes
// can't be held in memory or can't be read.  Throws input_changed when the file changes
// while it is read.
[[nodiscard]] bool csv_read(std::FILE* file, std::string_view base_name, poiset& set);

}  // namespace velmora
