#include "speedcam/speedcam_import.hpp"

#include <algorithm>
#include <cstring>
#include <cerrno>
#include <array>
#include <cmath>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "platform/c_numbers.hpp"
#include "platform/messages.hpp"
#include "platform/paths.hpp"
#include "text/line_text.hpp"
#include "text/output_code_page.hpp"
#include "text/strict_numbers.hpp"

namespace velmora {

namespace {

enum column : std::size_t { col_x, col_y, col_type, col_speed, col_dirtype, col_direction };
constexpr std::size_t column_count = 6;
constexpr std::array<std::string_view, column_count> column_names = {
    "X", "Y", "TYPE", "SPEED", "DIRTYPE", "DIRECTION"};

struct camera_type {
    std::string_view name;  // code page 1250
    std::string_view gpx_symbol;
};

// The names are code page 1250 bytes ("\xE9" is "é"; a hex escape would swallow a
// following "b", hence the split literal in the first name).
// clang-format off
constexpr std::array<camera_type, speedcam_type_count> camera_types = {{
    {"Egy\xE9" "b m\xE9r\xE9s",  "Flag, Red"},    // Egyéb mérés
    {"Sebess\xE9gm\xE9r\xE9s",   "Flag, Red"},    // Sebességmérés
    {"Be\xE9p\xEDtett cam.",     "Scenic Area"},  // Beépített cam.
    {"Piros l\xE1mpa \xE9rz.",   "Navaid, Red"},  // Piros lámpa érz.
    {"\xC1tl.seb.m\xE9r\xE9s",   "Scenic Area"},  // Átl.seb.mérés
    {"Mobil kamera",             "Tall Tower"},   // Mobil kamera
    {"Vas\xFAti \xE1tj\xE1r\xF3", "Wrecker"},      // Vasúti átjáró
    {"M\xE9r\xF5hely",           "Car"},          // Mérőhely
}};
// clang-format on

constexpr std::string_view gpi_symbol_prefix = "Speed_";

enum class naming { none, gpi, gpx };

naming naming_for(std::string_view output_ext) {
    if (equals_ignore_case(output_ext, ".gpi")) return naming::gpi;
    if (equals_ignore_case(output_ext, ".gpx")) return naming::gpx;
    return naming::none;
}

// The line without its line end: cut at its last line feed, then at its last carriage
// return.  A zero byte ends the text, so no stored string carries one.
std::string_view line_content(std::string_view line) {
    if (std::size_t zero = line.find('\0'); zero != std::string_view::npos) {
        line = line.substr(0, zero);
    }
    if (std::size_t lf = line.rfind('\n'); lf != std::string_view::npos) line = line.substr(0, lf);
    if (std::size_t cr = line.rfind('\r'); cr != std::string_view::npos) line = line.substr(0, cr);
    return line;
}

// Column indexes taken from the header row.
struct header_columns {
    std::array<std::size_t, column_count> index{};
    std::size_t fields_needed = 0;  // highest index + 1
};

// Finds each column (the last occurrence of a repeated name wins); none, after the error
// message, when one is missing.
std::optional<header_columns> read_header(const std::vector<std::string>& fields) {
    std::array<std::optional<std::size_t>, column_count> found;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        bool known = false;
        for (std::size_t c = 0; c < column_count; ++c) {
            if (equals_ignore_case(fields[i], column_names[c])) {
                found[c] = i;
                known = true;
                break;
            }
        }
        if (!known) report("\nWarning: Unexpected speedcam column name in speedcam file!");
    }
    header_columns columns;
    for (std::size_t c = 0; c < column_count; ++c) {
        if (!found[c]) {
            report("\nError: Undefined speedcam column name(s) in speedcam file!");
            return std::nullopt;
        }
        columns.index[c] = *found[c];
        if (*found[c] + 1 > columns.fields_needed) columns.fields_needed = *found[c] + 1;
    }
    return columns;
}

// Fills one camera's waypoint from the fields of its line.
void fill_camera(poiset& set, waypoint& w, double lat, double lon,
                 const std::vector<std::string>& fields,
                 const header_columns& columns, const speedcam_settings& settings, naming names,
                 long long line_number) {
    w.lat = lat;
    w.lon = lon;
    w.flags |= has_position;

    // Other TYPE values count as type 0.
    int type = c_leading_int(fields[columns.index[col_type]]);
    std::string_view type_name = speedcam_type_name(type);

    const std::string& speed_text = fields[columns.index[col_speed]];
    int alarm = alarm_speed_for(c_leading_int(speed_text), settings);
    w.flags |= has_proximity | has_speed;
    w.speed = alarm;
    w.proximity = alarm * 10.0 * settings.proximity_factor;

    switch (names) {
        case naming::gpi: {
            w.name = set.store(type_name);
            std::string symbol;
            symbol.reserve(gpi_symbol_prefix.size() + speed_text.size());
            symbol.append(gpi_symbol_prefix).append(speed_text);
            w.symbol = set.store(symbol);
            break;
        }
        case naming::gpx: {
            std::string name(type_name);
            name.append(" #").append(std::to_string(line_number));
            w.name = set.store(name);
            w.symbol = set.store(speedcam_gpx_symbol(type));
            break;
        }
        case naming::none:
            break;
    }
    std::string comment;
    comment.reserve(type_name.size() + 1 + speed_text.size());
    comment.append(type_name).append("@").append(speed_text);
    w.comment = set.store(comment);
}

}  // namespace

std::string_view speedcam_type_name(int type) {
    if (type < 0 || type >= speedcam_type_count) type = 0;
    return camera_types[static_cast<std::size_t>(type)].name;
}

std::string_view speedcam_gpx_symbol(int type) {
    if (type < 0 || type >= speedcam_type_count) type = 0;
    return camera_types[static_cast<std::size_t>(type)].gpx_symbol;
}

bool import_speedcam_text(std::FILE* file, const speedcam_settings* settings, poiset& set,
                          std::string_view output_ext) {
    if (file == nullptr || settings == nullptr) return false;
    set.is_utf8 = false;
    set.codepage = code_page::create(1250);
    const naming names = naming_for(output_ext);
    const text_encoding held{false, &*set.codepage};

    std::string line;
    std::optional<header_columns> columns;
    for (long long line_number = 1;; ++line_number) {
        if (!read_bounded_line(file, line)) {
            if (std::ferror(file)) {
                report("\nError: read error at line %lli while reading txt file (%s)", line_number,
                       std::strerror(errno));
            }
            break;
        }
        std::string_view text = line_content(line);
        std::optional<std::vector<std::string>> fields;
        try {
            fields = split_text(text, ",");
        } catch (const std::bad_alloc&) {
            fields.reset();
        }
        if (!fields) {
            report("\nError: Can't allocalte memory for speedcam row %lli \"%s\"", line_number,
                   display_text(text, held, shown_text).c_str());
            break;
        }

        if (line_number == 1) {
            columns = read_header(*fields);
            if (!columns) break;
            continue;
        }

        // Reading by the header's indexes needs every column up to the last one.
        if (fields->size() < columns->fields_needed) {
            report(
                "\nWarning: Speedcam line %lli has fewer fields than the header, skipped: \"%s\"",
                line_number, display_text(text, held).c_str());
            continue;
        }
        const std::string& y_text = (*fields)[columns->index[col_y]];
        const std::string& x_text = (*fields)[columns->index[col_x]];
        std::optional<double> lat = whole_decimal(y_text);
        std::optional<double> lon = whole_decimal(x_text);
        if (!lat || !lon || std::fabs(*lat) > 90.0 || std::fabs(*lon) > 180.0) {
            report("\nWarning: Speedcam line %lli has an invalid position (X=\"%s\" Y=\"%s\"), "
                   "skipped",
                   line_number, display_text(x_text, held, shown_value).c_str(),
                   display_text(y_text, held, shown_value).c_str());
            continue;
        }
        if (!in_region_rect(*lat, *lon, *settings)) continue;

        waypoint* w = poiset_add_waypoint(set);
        if (w == nullptr) {
            report("\nError: Can't allocate waypoint in speedcam at line %lli", line_number);
            break;
        }
        fill_camera(set, *w, *lat, *lon, *fields, *columns, *settings, names, line_number);
    }
    return true;
}

}  // namespace velmora
