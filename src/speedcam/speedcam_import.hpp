#pragma once
// Import of speed-camera lists: comma-separated text with a header row naming the
// columns X, Y, TYPE, SPEED, DIRTYPE and DIRECTION, one camera per following line.
#include <cstddef>
#include <cstdio>
#include <string_view>

#include "model/poiset.hpp"
#include "platform/split_policy.hpp"
#include "speedcam/speedcam_settings.hpp"

namespace velmora {

// Number of camera types; other TYPE values count as type 0.
inline constexpr int speedcam_type_count = 8;

// The name of a camera type in code page 1250 ("Egyéb mérés" for 0 ... "Mérőhely" for 7).
[[nodiscard]] std::string_view speedcam_type_name(int type);

// The GPX symbol shown for a camera type ("Flag, Red", "Scenic Area", ...).
[[nodiscard]] std::string_view speedcam_gpx_symbol(int type);

// How cameras are named: for a GPI file, the type's name and the symbol "Speed_<speed>"
// (the icon of the speed-camera icons); for a GPX file, the type's name with the line
// number and the symbol its type shows in GPX; for any other output, neither.
enum class speedcam_naming { none, gpi, gpx };

// Appends every camera of the list that lies in the settings' filter rectangle to the
// set, with position, speed and proximity alerts, comment and, by the naming, name and
// symbol.  The set's texts are in code page 1250.  False
// when the list was refused: the file or the settings are missing, the file can't be
// read, its header lacks a column, or an error stopped the import early (what was read
// before stays).  A line left out is reported with report_problem().  A large file is
// read by two threads when split shares it (a camera taken as speedcam_bytes_per_camera
// bytes).  Throws input_changed when the file changes while it is read.
[[nodiscard]] bool import_speedcam_text(std::FILE* file, const speedcam_settings* settings,
                                        poiset& set, speedcam_naming naming,
                                        const split_policy& split = {});

// About what a camera takes of a list, for sharing a list by its length.
inline constexpr std::size_t speedcam_bytes_per_camera = 16;

// Lists of at least this many bytes are read by two threads by default.
inline constexpr std::size_t speedcam_parallel_from =
    split_policy{}.bytes_from(speedcam_bytes_per_camera);

// As import_speedcam_text, for a list held in memory; from parallel_from bytes on, its
// halves are read side by side, with the result and messages of one reading.
bool import_speedcam_list(std::string_view text, const speedcam_settings& settings, poiset& set,
                          speedcam_naming naming,
                          std::size_t parallel_from = speedcam_parallel_from);

}  // namespace velmora
