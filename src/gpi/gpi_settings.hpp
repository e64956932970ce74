#pragma once
// Settings for GPI output, from Velmora_gpi.ini beside the program.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/poiset.hpp"

namespace velmora {

// Largest default proximity, in metres: what the alert of a GPI file holds.
inline constexpr double max_default_proximity = 65535.0;

struct gpi_settings {
    std::optional<std::string> import_icon_spec;
    std::optional<std::string> export_icon_spec;
    std::int16_t icon_count_limit = 0;  // 0 or less: no limit
    bool icon_limit_is_percent = false;
    double default_proximity = 0.0;  // metres
    std::vector<std::string> proximity_symbols;
    std::optional<std::string> code_page;  // CodePage: the output code page, as written
};

// Reads a settings file: sections [GpiImportSettings] and [GpiExportSettings] with
// key=value lines, ";" starting a comment.  Unknown sections and keys are reported and
// ignored, and so are values that are no number or out of range (the setting keeps its
// value).  None (after "\nError: Cant't open gpi ini file (%s)") when the file can't be
// opened.
[[nodiscard]] std::unique_ptr<gpi_settings> read_gpi_settings(const std::string& path);

// Reads app_dir + "Velmora_gpi.ini"; none when it can't be read.
[[nodiscard]] std::unique_ptr<gpi_settings> load_gpi_settings(const std::string& app_dir);

// Gives every waypoint without an alert the settings' default proximity, when that is
// above 0; with proximity symbols named, only waypoints of those symbols.  False (and
// nothing done) without settings.
bool apply_default_proximity(const gpi_settings* settings, poiset& set);

}  // namespace velmora
