#pragma once
// Settings for GPI output, from Velmora_gpi.ini beside the program.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/poiset.hpp"
#include "platform/split_policy.hpp"

namespace velmora {

// Largest default proximity, in metres: what the alert of a GPI file holds.
inline constexpr double max_default_proximity = 65535.0;

// Largest proximity time, in seconds.
inline constexpr long long max_proximity_time = 3600;

struct gpi_settings {
    std::optional<std::string> import_icon_spec;
    std::optional<std::string> export_icon_spec;
    std::int16_t icon_count_limit = 0;  // 0 or less: no limit
    bool icon_limit_is_percent = false;
    double default_proximity = 0.0;  // metres
    std::vector<std::string> proximity_symbols;
    std::optional<std::string> code_page;     // CodePage: the output code page, as written
    std::optional<long long> proximity_time;  // ProximityTime: seconds of a speed alert
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
// nothing done) without settings.  A large set is gone through by two threads as split
// says.
bool apply_default_proximity(const gpi_settings* settings, poiset& set,
                             const split_policy& split = {});

// A proximity time "30s" or "30": whole seconds from 1 to max_proximity_time; none for
// anything else.
[[nodiscard]] std::optional<long long> parse_proximity_time(std::string_view text);

// Gives every speed alert whose proximity comes from its speed the distance covered at
// that speed in the given seconds, in whole metres; proximities of their own stay.
void apply_proximity_time(long long seconds, poiset& set);

}  // namespace velmora
