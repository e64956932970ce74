#include "driver/input_kind.hpp"

#include <array>
#include <string>

#include "driver/importers.hpp"
#include "platform/messages.hpp"
#include "platform/paths.hpp"

namespace velmora {

namespace {

#ifdef VELMORA_WITH_OSM
constexpr bool osm_read = true;
#else
constexpr bool osm_read = false;
#endif

// One row per format, in the order the list of formats read names them.
constexpr auto none = tag_filter_use::none;
constexpr std::array<input_kind_row, 11> rows{{
    {input_kind::gpx, "gpx", ".gpx", "GPX (.gpx)", true, true, none, read_gpx_input, nullptr},
    {input_kind::gpi, "gpi", ".gpi", "GPI (.gpi)", true, true, none, read_gpi_input, nullptr},
    {input_kind::csv, "csv", ".csv", "CSV (.csv)", true, true, none, read_csv_input, nullptr},
    {input_kind::speedcam, "speed-camera list", ".txt", "speed-camera lists (.txt)", true, true,
     none, read_speedcam_input, nullptr},
    {input_kind::osm, "osm", ".osm", "OpenStreetMap (.osm.pbf, .osm, .osm.bz2, .osm.gz, .o5m)",
     osm_read, false, tag_filter_use::required, read_osm_input, osm_input_opens},
    {input_kind::kml, "kml", ".kml", "KML (.kml)", true, true, none, read_kml_input, nullptr},
    {input_kind::kmz, "kmz", ".kmz", "KMZ (.kmz)", true, true, none, read_kml_input, nullptr},
    {input_kind::geojson, "geojson", ".geojson", "GeoJSON (.geojson, .json, .umap)", true, true,
     tag_filter_use::optional, read_geojson_input, nullptr},
    {input_kind::gdb, "gdb", ".gdb", "", false, false, none, nullptr, nullptr},
    {input_kind::xml, "xml", "", "", false, false, none, nullptr, nullptr},
    {input_kind::unknown, "unknown", "", "", false, false, none, nullptr, nullptr},
}};

// Extensions besides each row's own.
struct extension_alias {
    std::string_view extension;
    input_kind kind;
};
constexpr std::array<extension_alias, 6> aliases{{
    {".json", input_kind::geojson},
    {".umap", input_kind::geojson},
    {".pbf", input_kind::osm},
    {".o5m", input_kind::osm},
    {".gz", input_kind::osm},  // .osm.gz; the reader tells the format from the whole name
    {".bz2", input_kind::osm},
}};

// How GPSBabel turns a format it reads into GPX, for those read later or never.
struct conversion {
    input_kind kind;
    std::string_view gpsbabel_format;
    // The command for a named file reads the file; that for standard input sits in the
    // pipe before velmora.
    std::string_view unpack_file;    // a command whose output GPSBabel reads, or empty
    std::string_view unpack_stream;  // the same in a pipe
};
constexpr std::array<conversion, 1> conversions{{
    {input_kind::gdb, "gdb", "", ""},
}};

constexpr std::string_view utf8_bom = "\xEF\xBB\xBF";

bool is_xml_space(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view skip_xml_space(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size() && is_xml_space(text[at])) ++at;
    return text.substr(at);
}

// The text after the first occurrence of the end mark; empty when it has none.
std::string_view after(std::string_view text, std::string_view end) {
    std::size_t at = text.find(end);
    return at == std::string_view::npos ? std::string_view() : text.substr(at + end.size());
}

// The kind of an XML text by the local name of its root element; GPX when the root lies
// beyond the text.
input_kind xml_kind(std::string_view text) {
    for (;;) {
        text = skip_xml_space(text);
        if (text.empty()) return input_kind::gpx;
        if (text.starts_with("<?")) {
            text = after(text, "?>");
        } else if (text.starts_with("<!--")) {
            text = after(text, "-->");
        } else if (text.starts_with("<!")) {
            // A document type, with its internal subset in brackets.
            std::size_t bracket = text.find('[');
            std::size_t close = text.find('>');
            if (bracket != std::string_view::npos && bracket < close) text = after(text, "]");
            text = after(text, ">");
        } else if (text.starts_with("<")) {
            std::size_t end = 1;
            while (end < text.size() && !is_xml_space(text[end]) && text[end] != '>' &&
                   text[end] != '/') {
                ++end;
            }
            if (end == text.size()) return input_kind::gpx;
            std::string_view name = text.substr(1, end - 1);
            if (std::size_t colon = name.rfind(':'); colon != std::string_view::npos) {
                name = name.substr(colon + 1);
            }
            if (equals_ignore_case(name, "gpx")) return input_kind::gpx;
            if (equals_ignore_case(name, "kml")) return input_kind::kml;
            if (equals_ignore_case(name, "osm")) return input_kind::osm;
            return input_kind::xml;
        } else {
            return input_kind::xml;
        }
    }
}

// Whether the first line names the columns of a speed-camera list: its type and the
// direction columns that no other list has.
bool names_speedcam_columns(std::string_view text) {
    std::string_view line = text.substr(0, text.find_first_of("\r\n"));
    bool type = false;
    bool direction = false;
    while (true) {
        std::size_t comma = line.find(',');
        std::string_view name = line.substr(0, comma);
        while (!name.empty() && (name.front() == ' ' || name.front() == '\t'))
            name.remove_prefix(1);
        while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
        type = type || equals_ignore_case(name, "type");
        direction = direction || equals_ignore_case(name, "dirtype") ||
                    equals_ignore_case(name, "direction");
        if (comma == std::string_view::npos) break;
        line.remove_prefix(comma + 1);
    }
    return type && direction;
}

// The path as a shell command takes it.
std::string shell_word(std::string_view path) {
    bool plain = !path.empty();
    for (char c : path) {
        bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '.' || c == '/' || c == '_' || c == '-' || c == '+' || c == '@';
        plain = plain && safe;
    }
    if (plain) return std::string(path);
    std::string quoted = "'";
    for (char c : path) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

// The path with its extension replaced by ".gpx".
std::string gpx_beside(std::string_view path) {
    std::size_t slash = path.rfind('/');
    std::size_t dot = path.rfind('.');
    if (dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash + 1)) {
        path = path.substr(0, dot);
    }
    return std::string(path) + ".gpx";
}

}  // namespace

const input_kind_row& input_kind_info(input_kind kind) {
    for (const input_kind_row& row : rows) {
        if (row.kind == kind) return row;
    }
    return rows.back();
}

input_kind input_kind_of_extension(std::string_view ext) {
    if (ext.empty()) return input_kind::unknown;
    for (const input_kind_row& row : rows) {
        if (!row.extension.empty() && equals_ignore_case(ext, row.extension)) return row.kind;
    }
    for (const extension_alias& alias : aliases) {
        if (equals_ignore_case(ext, alias.extension)) return alias.kind;
    }
    return input_kind::unknown;
}

input_kind input_kind_of_bytes(std::string_view head) {
    // A GPI file begins with its header block: type, flags, length, then "GRMREC".
    if (head.size() >= 14 && head.substr(8, 6) == "GRMREC") return input_kind::gpi;
    if (head.starts_with("PK\x03\x04") || head.starts_with("PK\x05\x06")) return input_kind::kmz;
    // An OpenStreetMap PBF file begins with the length of its first block header, whose
    // type is "OSMHeader".
    if (head.size() >= 15 && head[4] == '\x0A' && head.substr(6, 9) == "OSMHeader") {
        return input_kind::osm;
    }
    if (head.starts_with("\xFF\xFE") || head.starts_with("\xFE\xFF")) return input_kind::unknown;
    if (head.substr(0, input_kind_head_bytes).find('\0') != std::string_view::npos) {
        return input_kind::unknown;
    }
    std::string_view text = head;
    if (text.starts_with(utf8_bom)) text.remove_prefix(utf8_bom.size());
    std::string_view start = skip_xml_space(text);
    if (start.starts_with("<")) return xml_kind(start);
    if (start.starts_with("{") || start.starts_with("[")) return input_kind::geojson;
    if (names_speedcam_columns(text)) return input_kind::speedcam;
    return input_kind::csv;
}

void report_unsupported_input(input_kind kind, std::string_view shown, std::string_view path) {
    const input_kind_row& row = input_kind_info(kind);
    const std::string shown_format(shown);
    if (row.read && !row.from_stream) {
        report("\nInput file format (%s) not supported on standard input: name the file!",
               shown_format.c_str());
        return;
    }
    const conversion* convert = nullptr;
    for (const conversion& c : conversions) {
        if (c.kind == kind) convert = &c;
    }
    report(convert != nullptr ? "\nInput file format (%s) not supported (yet)!"
                              : "\nInput file format (%s) not supported!",
           shown_format.c_str());
    std::string formats;
    for (const input_kind_row& known : rows) {
        if (!known.read) continue;
        if (!formats.empty()) formats += ", ";
        formats += known.label;
    }
    report("\n    Velmora reads %s.", formats.c_str());
    if (convert == nullptr) return;
    const std::string format(convert->gpsbabel_format);
    if (path == "-") {
        std::string pipe = "... | ";
        if (!convert->unpack_stream.empty()) pipe += std::string(convert->unpack_stream) + " | ";
        report(
            "\n    GPSBabel converts it to GPX on the way: %sgpsbabel -i %s -f - -o gpx -F - | "
            "velmora - -o OUTPUT",
            pipe.c_str(), format.c_str());
        return;
    }
    std::string input = shell_word(path);
    std::string output = shell_word(gpx_beside(path));
    if (!convert->unpack_file.empty()) {
        std::string unpack(convert->unpack_file);
        unpack.replace(unpack.find("%s"), 2, input);
        report("\n    GPSBabel converts it to GPX: %s | gpsbabel -i %s -f - -o gpx -F %s",
               unpack.c_str(), format.c_str(), output.c_str());
    } else {
        report("\n    GPSBabel converts it to GPX: gpsbabel -i %s -f %s -o gpx -F %s",
               format.c_str(), input.c_str(), output.c_str());
    }
}

}  // namespace velmora
