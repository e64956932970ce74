#include "gpi/gpi_settings.hpp"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "platform/messages.hpp"
#include "platform/paths.hpp"
#include "platform/split_policy.hpp"
#include "platform/stdio_file.hpp"
#include "text/line_text.hpp"
#include "text/strict_numbers.hpp"

namespace velmora {

namespace {

enum class section { none, import_settings, export_settings };

// An icon limit: a whole number within the field's 16 bits, or a percentage "20%".
bool read_icon_limit(std::string_view value, gpi_settings& settings) {
    if (value.empty()) {
        settings.icon_count_limit = 0;
        settings.icon_limit_is_percent = false;
        return true;
    }
    std::string_view number = trim_blanks(value);
    bool percent = number.ends_with('%');
    if (percent) number.remove_suffix(1);
    std::optional<long long> limit = whole_integer(number);
    if (!limit || *limit < INT16_MIN || *limit > INT16_MAX) return false;
    settings.icon_count_limit = static_cast<std::int16_t>(*limit);
    settings.icon_limit_is_percent = percent;
    return true;
}

// A default proximity: a number of metres within what a GPI alert holds, taken whole.
bool read_default_proximity(std::string_view value, gpi_settings& settings) {
    if (value.empty()) return true;
    std::optional<double> metres = whole_decimal(value);
    if (!metres || *metres < 0.0 || *metres > max_default_proximity) return false;
    settings.default_proximity = std::trunc(*metres);
    return true;
}

// The symbols of a list "flag, red,car": blanks around the commas belong to no symbol,
// and an empty entry names none.
void read_proximity_symbols(std::string_view value, gpi_settings& settings) {
    if (value.empty()) return;
    auto pieces = split_text(value, ",");
    if (!pieces) return;
    std::vector<std::string> symbols;
    for (const std::string& piece : *pieces) {
        std::string_view symbol = trim_blanks(piece);
        if (!symbol.empty()) symbols.emplace_back(symbol);
    }
    settings.proximity_symbols = std::move(symbols);
}

enum class applied { done, invalid_value, unexpected_key };

// Applies one key=value line of a known section.
applied apply_parameter(gpi_settings& settings, section where, std::string_view key,
                        std::string_view value) {
    if (equals_ignore_case(key, "IconSpec")) {
        if (!value.empty()) {
            (where == section::import_settings ? settings.import_icon_spec
                                               : settings.export_icon_spec) = std::string(value);
        }
        return applied::done;
    }
    if (where != section::export_settings) return applied::unexpected_key;
    bool valid = true;
    if (equals_ignore_case(key, "IconCountLimit")) {
        valid = read_icon_limit(value, settings);
    } else if (equals_ignore_case(key, "DefaultProximity")) {
        valid = read_default_proximity(value, settings);
    } else if (equals_ignore_case(key, "DefaultProximityForSym")) {
        read_proximity_symbols(value, settings);
    } else if (equals_ignore_case(key, "ProximityTime")) {
        if (!value.empty()) {
            auto seconds = parse_proximity_time(trim_blanks(value));
            if (seconds) settings.proximity_time = seconds;
            valid = seconds.has_value();
        }
    } else if (equals_ignore_case(key, "CodePage")) {
        // Checked by the run, which refuses an unknown value before any input is read.
        if (!value.empty()) settings.code_page = std::string(value);
    } else {
        return applied::unexpected_key;
    }
    return valid ? applied::done : applied::invalid_value;
}

}  // namespace

std::unique_ptr<gpi_settings> read_gpi_settings(const std::string& path) {
    unique_file file(std::fopen(path.c_str(), "r"));
    if (!file) {
        report("\nError: Cant't open gpi ini file (%s) (%s)", shown_file_name(path).c_str(),
               std::strerror(errno));
        return nullptr;
    }
    auto settings = std::make_unique<gpi_settings>();
    section where = section::none;
    for_each_settings_line(file.get(), path, [&](std::string_view text, int number) {
        if (text.front() == '[') {
            auto name = bracket_name(text);
            if (name && equals_ignore_case(*name, "GpiImportSettings")) {
                where = section::import_settings;
            } else if (name && equals_ignore_case(*name, "GpiExportSettings")) {
                where = section::export_settings;
            } else {
                where = section::none;
                std::string shown = escape_controls(text, terminal_is_utf8());
                report("\nWarning: Unexpected section name %s found in gpi ini file (%s) line %i!",
                       shown.c_str(), shown_file_name(path).c_str(), number);
            }
            return;
        }
        if (where == section::none) return;
        auto pieces = split_text(text, "=");
        std::string key = pieces ? (*pieces)[0] : std::string(text);
        std::string value = pieces && pieces->size() > 1 ? (*pieces)[1] : std::string();
        switch (apply_parameter(*settings, where, key, value)) {
            case applied::done:
                break;
            case applied::invalid_value:
                report("\nWarning: Invalid value \"%s\" of %s in %s gpi ini file line %i, ignored",
                       escape_controls(value, terminal_is_utf8()).c_str(),
                       escape_controls(key, terminal_is_utf8()).c_str(),
                       shown_file_name(path).c_str(), number);
                break;
            case applied::unexpected_key:
                report("\nWarning: Unexpected parameter %s in %s gpi ini file line %i!",
                       escape_controls(key, terminal_is_utf8()).c_str(),
                       shown_file_name(path).c_str(), number);
                break;
        }
    });
    return settings;
}

std::unique_ptr<gpi_settings> load_gpi_settings(const std::string& app_dir) {
    return read_gpi_settings(app_dir + "Velmora_gpi.ini");
}

bool apply_default_proximity(const gpi_settings* settings, poiset& set, const split_policy& split) {
    if (settings == nullptr) return false;
    if (!(settings->default_proximity > 0)) return true;
    const auto& symbols = settings->proximity_symbols;
    // Lengths of the listed symbols, so that most symbols are passed over without a
    // comparison; the last bit stands for every length beyond the others.
    constexpr std::size_t long_symbol = 63;
    std::uint64_t listed_lengths = 0;
    for (const std::string& s : symbols)
        listed_lengths |= std::uint64_t{1} << std::min(s.size(), long_symbol);
    auto listed = [&](std::string_view symbol) {
        if ((listed_lengths >> std::min(symbol.size(), long_symbol) & 1u) == 0) return false;
        return std::any_of(symbols.begin(), symbols.end(),
                           [&](const std::string& s) { return equals_ignore_case(s, symbol); });
    };
    auto apply = [&](std::size_t first, std::size_t end) {
        for (std::size_t i = first; i < end; ++i) {
            waypoint& w = set.waypoints[i];
            if ((w.flags & (has_proximity | has_speed)) != 0) continue;
            if (!symbols.empty() && (!w.symbol || !listed(*w.symbol))) continue;
            w.flags |= has_proximity;
            w.proximity = settings->default_proximity;
        }
    };
    // A large set is gone through by two threads, a half each.
    split.in_halves(set.waypoints.size(), set.waypoints.size() / 2, apply);
    return true;
}

std::optional<long long> parse_proximity_time(std::string_view text) {
    if (text.ends_with('s') || text.ends_with('S')) text.remove_suffix(1);
    std::optional<long long> seconds = whole_integer(text);
    if (!seconds || *seconds < 1 || *seconds > max_proximity_time) return std::nullopt;
    return seconds;
}

void apply_proximity_time(long long seconds, poiset& set) {
    constexpr double kmh_per_metre_per_second = 3.6;
    for (waypoint& w : set.waypoints) {
        if ((w.flags & (has_speed | proximity_from_speed)) != (has_speed | proximity_from_speed))
            continue;
        w.proximity = std::round(w.speed / kmh_per_metre_per_second * static_cast<double>(seconds));
    }
}

}  // namespace velmora
