#pragma once
// What an input holds, decided once: from the extension of a named file, from the first
// bytes of standard input.  Every format has one row in a table (input_kind.cpp), which
// names its reader (importers.hpp): a new format is its reader and its row.
#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace velmora {

enum class input_kind {
    unknown,  // bytes of no format known here
    xml,      // XML whose root is none of the formats below
    gpi,
    gpx,
    speedcam,  // speed-camera list (".txt")
    csv,
    osm,  // OpenStreetMap (XML whose root is "osm", or PBF)
    kml,
    kmz,      // a zip archive
    geojson,  // JSON
    gdb,
};

struct run_state;
struct input_request;

// Reads an open input into the run's sets; false when the reader refused it (reported).
using input_reader = bool (*)(run_state& run, std::FILE* file, const input_request& input);
// Whether a named input can be opened for its reader (false after the message).
using input_check = bool (*)(const std::string& path);

// Whether an input takes a tag filter (-tags:) after it.
enum class tag_filter_use { none, optional, required };

struct input_kind_row {
    input_kind kind;
    std::string_view name;       // as messages name it: "kml"
    std::string_view extension;  // the extension that chooses its reader: ".kml"
    std::string_view label;      // the format in the list of those read: "GPX (.gpx)"
    bool read;                   // this build has its reader
    bool from_stream;            // its reader also takes standard input
    tag_filter_use tags;         // whether -tags: may or must follow it
    input_reader reader;         // none: reported as a format not read
    input_check before_open;     // none: any input that opens is read
};

[[nodiscard]] const input_kind_row& input_kind_info(input_kind kind);

// The kind a file's extension names (any letter case); unknown for others.
[[nodiscard]] input_kind input_kind_of_extension(std::string_view ext);

// The kind that the first bytes of an input show: a GPI header, a zip archive (KMZ), an
// OpenStreetMap PBF header; after an optional UTF-8 byte order mark and blanks, XML by
// its root element (declaration, comments and document type passed over; XML whose
// root lies beyond the bytes given counts as GPX), JSON; text whose first line names the
// columns of a speed-camera list; other text is CSV (empty text too).  Bytes with a zero
// byte or a UTF-16 byte order mark are unknown.
[[nodiscard]] input_kind input_kind_of_bytes(std::string_view head);

// How many first bytes input_kind_of_bytes needs to see; it looks at no more than these
// for a zero byte, whatever it is given.
inline constexpr std::size_t input_kind_head_bytes = 4096;

// Reports that an input is not read: "Input file format (%s) not supported!" ("(yet)"
// for formats to come) with what shows the format ("(.kml)" for a file, "(kml)" for
// standard input), then the formats that are read and, where GPSBabel converts the
// format, the command that does.  The path is the input's ("-" for standard input).
void report_unsupported_input(input_kind kind, std::string_view shown, std::string_view path);

}  // namespace velmora
