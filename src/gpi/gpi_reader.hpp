#pragma once
// Reading Garmin GPI files into the run's POI sets: one set per POI group, one
// waypoint per POI record (with its address, contacts and categories), one icon per
// bitmap.  The file is read into memory and walked block by block through bounded
// readers.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>

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

// The header time of the GPI file at the path (seconds since 1970, as written), read
// from its first bytes only; none when the file can't be read or is no GPI file.
[[nodiscard]] std::optional<std::uint32_t> read_gpi_header_time(const std::string& path);

// Reads every block of the bytes of a GPI file.  What was read before a failure stays
// in the list.  A file that holds several languages, or records the model has no place
// for, is summarised in a line each.  Each set's bounds are the extent of its waypoints.
[[nodiscard]] bool read_gpi_bytes(std::span<const std::uint8_t> bytes, poiset_list& list,
                                  const gpi_read_options& options = {});

// Reads an open GPI file (binary) to its end, then its blocks as read_gpi_bytes does.
// Throws input_changed when the file changes while it is read.
[[nodiscard]] bool read_gpi_file(std::FILE* file, poiset_list& list,
                                 const gpi_read_options& options = {});

}  // namespace velmora
