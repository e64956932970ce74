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

// Reads the text of a multilingual string whose total size was read just before: the
// first entry's text (any language code), cut at a zero byte; the further entries are
// skipped.  A text longer than the total size allows is reported and cut to that size.
[[nodiscard]] bool read_gpi_string(gpi_span_reader& in, std::uint32_t total_size,
                                   std::string& text);

// Reads every block of the bytes of a GPI file.  What was read before a failure stays
// in the list.
[[nodiscard]] bool read_gpi_bytes(std::span<const std::uint8_t> bytes, poiset_list& list);

// Reads an open GPI file (binary) to its end, then its blocks as read_gpi_bytes does.
[[nodiscard]] bool read_gpi_file(std::FILE* file, poiset_list& list);

}  // namespace velmora
