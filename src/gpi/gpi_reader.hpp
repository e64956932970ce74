#pragma once
// Reading Garmin GPI files into the run's POI sets: one set per POI group, one
// waypoint per POI record, one icon per bitmap.  The file is read into memory and
// walked block by block through bounded readers.
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

#include "gpi/gpi_span_reader.hpp"
#include "model/poiset.hpp"

namespace velmora {

// Area blocks nested deeper than this make the file fail.  Trees written by this
// program and by others stay far below it.
inline constexpr int gpi_max_area_depth = 256;

// Choices for reading GPI files.
struct gpi_read_options {
    // Two ASCII letters naming the language taken from texts that hold several; empty,
    // or a language a text lacks: its first entry.
    std::string language;
};

// What reading one file gathers besides its POIs: the languages of its texts and the
// records it skips.  Kept by the reader for the file being read.
struct gpi_file_state;

// The record into which a block's content goes: the list at the top of the file, the
// set inside a POI group (and its areas), the waypoint inside a POI record.
struct gpi_record {
    poiset_list* list = nullptr;     // always set
    poiset* set = nullptr;           // inside a POI group
    waypoint* point = nullptr;       // inside a POI record
    gpi_file_state* file = nullptr;  // none: first entries, nothing counted
};

// Reads one block with everything nested in it and moves the reader past the block's
// end, also after a failure.  area_depth counts the area blocks around it.
[[nodiscard]] bool read_gpi_block(gpi_span_reader& in, const gpi_record& current,
                                  int area_depth = 0);

// Reads the text of a multilingual string whose total size was read just before: the
// first entry's text (any language code), cut at a zero byte; the further entries are
// skipped.  A text longer than the total size allows is reported and cut to that size.
[[nodiscard]] bool read_gpi_string(gpi_span_reader& in, std::uint32_t total_size, std::string& text,
                                   gpi_file_state* file = nullptr);

// Reads every block of the bytes of a GPI file.  What was read before a failure stays
// in the list.  A file that holds several languages, or records the model has no place
// for, is summarised in a line each.
[[nodiscard]] bool read_gpi_bytes(std::span<const std::uint8_t> bytes, poiset_list& list,
                                  const gpi_read_options& options = {});

// Reads an open GPI file (binary) to its end, then its blocks as read_gpi_bytes does.
[[nodiscard]] bool read_gpi_file(std::FILE* file, poiset_list& list,
                                 const gpi_read_options& options = {});

}  // namespace velmora
