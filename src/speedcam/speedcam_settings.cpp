#include "speedcam/speedcam_settings.hpp"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <utility>

#include "platform/messages.hpp"
#include "platform/paths.hpp"
#include "platform/stdio_file.hpp"
#include "text/line_text.hpp"
#include "text/strict_numbers.hpp"

namespace velmora {

namespace {

constexpr const char* settings_file_name = "Velmora_speedcam.ini";

// Longest coordinate text, after quotes and degree signs are dropped, that is accepted.
constexpr std::size_t max_coordinate_text = 23;

// The degree sign in code page 1250.
constexpr char degree_sign = '\xB0';

bool starts_with_ignore_case(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           equals_ignore_case(text.substr(0, prefix.size()), prefix);
}

// Sections of the file; lines outside a known section are ignored.
enum read_state { outside_sections = 0, in_conversion = 1, in_filter = 2 };

// Warns of a value that is no number or out of range; the setting keeps its value.
void invalid_value(std::string_view key, std::string_view value, const std::string& path,
                   long long line_number) {
    report("\nWarning: Invalid value \"%s\" of %s in %s speedcam ini file line %lli, ignored",
           escape_controls(value, terminal_is_utf8()).c_str(),
           escape_controls(key, terminal_is_utf8()).c_str(), shown_file_name(path).c_str(),
           line_number);
}

// "AlarmAt<label>=<value>": the label names the band, "130+" the last one.  False for
// a label or value that is no number, or a speed out of range.
bool read_alarm_speed(std::string_view label, std::string_view value, speedcam_settings& settings) {
    long long band = 0;
    double nominal = 0.0;
    if (label == "130+") {
        band = speed_band_count - 1;
        nominal = 130.0;
    } else {
        std::optional<long long> n = whole_integer(label);
        if (!n || *n < -max_alarm_speed || *n > max_alarm_speed) return false;
        band = (*n - 1) / 10;
        if (band >= speed_band_count - 1) {
            nominal = 130.0;
        } else if (band < 0) {
            nominal = 10.0;
        } else {
            nominal = 10.0 * static_cast<double>(band) + 10.0;
        }
        band = speed_band(*n);
    }
    std::optional<double> speed = speed_from_value(value, nominal);
    if (!speed) return false;
    settings.alarm_speeds[static_cast<std::size_t>(band)] = *speed;
    return true;
}

void read_conversion_key(std::string_view key, std::string_view value, const std::string& path,
                         long long line_number, speedcam_settings& settings) {
    if (starts_with_ignore_case(key, "AlarmAt")) {
        if (!read_alarm_speed(key.substr(7), value, settings)) {
            invalid_value(key, value, path, line_number);
        }
    } else if (equals_ignore_case(key, "DifferentSpeedAlarm")) {
        settings.different_speed_alarm = !value.empty() && value.front() == '1' ? 1 : 0;
    } else if (equals_ignore_case(key, "Proximity")) {
        if (auto factor = factor_from_value(value, 1.0)) {
            settings.proximity_factor = *factor;
        } else {
            invalid_value(key, value, path, line_number);
        }
    } else {
        report("\nWarning: Unexpected value=parameter in %s speedcam ini file at line %lli",
               shown_file_name(path).c_str(), line_number);
    }
}

void read_filter_key(std::string_view key, std::string_view value, const std::string& path,
                     long long line_number, speedcam_settings& settings) {
    bool value_is_one = !value.empty() && value.front() == '1';
    bool rect_chosen = settings.region_filter == 1;
    if (equals_ignore_case(key, "FilterByRegionRect")) {
        if (value_is_one) settings.region_filter = 1;
    } else if (equals_ignore_case(key, "FilterByRegionNames")) {
        if (value_is_one) settings.region_filter = 2;
    } else if (equals_ignore_case(key, "RegionRectMaxLat")) {
        if (rect_chosen) (void)parse_coordinate(value, true, settings.region_max_lat);
    } else if (equals_ignore_case(key, "RegionRectMinLat")) {
        if (rect_chosen) (void)parse_coordinate(value, true, settings.region_min_lat);
    } else if (equals_ignore_case(key, "RegionRectMaxLon")) {
        if (rect_chosen) (void)parse_coordinate(value, false, settings.region_max_lon);
    } else if (equals_ignore_case(key, "RegionRectMinLon")) {
        if (rect_chosen) (void)parse_coordinate(value, false, settings.region_min_lon);
    } else if (equals_ignore_case(key, "RegionNames")) {
        if (settings.region_filter == 2 && !value.empty()) {
            report("\nWarning: Region names not _yet_ supported in %s speedcam ini file line %lli!",
                   shown_file_name(path).c_str(), line_number);
        }
    } else {
        report("\nWarning: Unexpected parameter %s in %s speedcam ini file line %lli!",
               escape_controls(key, terminal_is_utf8()).c_str(), shown_file_name(path).c_str(),
               line_number);
    }
}

// Puts the rectangle's corners in order and shows it.
void finish_region_rect(speedcam_settings& settings) {
    if (settings.region_filter != 1) return;
    if (settings.region_min_lat > settings.region_max_lat) {
        std::swap(settings.region_min_lat, settings.region_max_lat);
    }
    if (settings.region_min_lon > settings.region_max_lon) {
        std::swap(settings.region_min_lon, settings.region_max_lon);
    }
    report("\nSpeedcam filter rect: ");
    report("%s ", format_coordinate(true, settings.region_max_lat).c_str());
    report("%s - ", format_coordinate(false, settings.region_max_lon).c_str());
    report("%s ", format_coordinate(true, settings.region_min_lat).c_str());
    report("%s ", format_coordinate(false, settings.region_min_lon).c_str());
}

}  // namespace

std::unique_ptr<speedcam_settings> load_speedcam_settings(const std::string& app_dir) {
    return read_speedcam_settings(app_dir + settings_file_name);
}

std::unique_ptr<speedcam_settings> read_speedcam_settings(const std::string& path) {
    unique_file file(std::fopen(path.c_str(), "r"));
    if (!file) {
        report("\nError: Cant't open speedcam inin file (%s) (%s)", shown_file_name(path).c_str(),
               std::strerror(errno));
        return nullptr;
    }
    std::unique_ptr<speedcam_settings> settings(new (std::nothrow) speedcam_settings);
    if (!settings) return nullptr;

    read_state state = outside_sections;
    for_each_settings_line(file.get(), path, [&](std::string_view text, int line_number) {
        if (text.front() == '[') {
            auto name = bracket_name(text);
            if (name && equals_ignore_case(*name, "SpeedcamConversion")) {
                state = in_conversion;
            } else if (name && equals_ignore_case(*name, "SpeedcamFilter")) {
                state = in_filter;
            } else {
                state = outside_sections;
                report(
                    "\nWarning: Unexpected section name %s found in %s speedcam ini file line "
                    "%i!",
                    std::string(text).c_str(), shown_file_name(path).c_str(), line_number);
            }
            return;
        }
        if (state == outside_sections) return;
        auto pieces = split_text(text, "=");
        if (!pieces || pieces->empty()) return;
        std::string_view key = (*pieces)[0];
        std::string_view value = pieces->size() > 1 ? std::string_view((*pieces)[1]) : "";
        if (state == in_conversion) {
            read_conversion_key(key, value, path, line_number, *settings);
        } else {
            read_filter_key(key, value, path, line_number, *settings);
        }
    });
    finish_region_rect(*settings);
    return settings;
}

int speed_band(long long speed) {
    long long band = (speed - 1) / 10;
    if (band < 0) return 0;
    if (band > speed_band_count - 1) return speed_band_count - 1;
    return static_cast<int>(band);
}

int alarm_speed_for(int speed_limit, const speedcam_settings& settings) {
    if (settings.different_speed_alarm == 0) return speed_limit;
    double alarm = settings.alarm_speeds[static_cast<std::size_t>(speed_band(speed_limit))];
    // Truncated toward zero; a value beyond the int range gives the nearest int.
    if (std::isnan(alarm)) return 0;
    if (alarm >= 2147483647.0) return INT_MAX;
    if (alarm <= -2147483648.0) return INT_MIN;
    return static_cast<int>(alarm);
}

bool in_region_rect(double lat, double lon, const speedcam_settings& settings) {
    return settings.region_min_lat <= lat && lat <= settings.region_max_lat &&
           settings.region_min_lon <= lon && lon <= settings.region_max_lon;
}

namespace {

// A value "<number>" or "<number>%" (blanks allowed before the "%"): the number and
// whether it is a percentage.
std::optional<std::pair<std::string_view, bool>> split_percent(std::string_view value) {
    std::size_t percent = value.find('%');
    if (percent == std::string_view::npos) return std::pair{value, false};
    for (char c : value.substr(percent + 1)) {
        if (c != ' ' && c != '\t') return std::nullopt;
    }
    return std::pair{value.substr(0, percent), true};
}

}  // namespace

std::optional<double> speed_from_value(std::string_view value, double nominal) {
    if (value.empty()) return 0.0;
    bool added = value.front() == '+';
    if (added) value.remove_prefix(1);
    auto parts = split_percent(value);
    if (!parts || parts->first.empty() || parts->first.front() == '+' ||
        parts->first.front() == '-') {
        return std::nullopt;
    }
    std::optional<long long> number = whole_integer(parts->first);
    if (!number || *number > 100 * max_alarm_speed) return std::nullopt;
    auto given = static_cast<double>(*number);
    double result = 0.0;
    if (added) {
        result = parts->second ? nominal + nominal * given / 100.0 : nominal + given;
    } else {
        result = parts->second ? given * nominal / 100.0 : given;
    }
    result = std::floor(result + 0.5);
    if (result > max_alarm_speed) return std::nullopt;
    return result;
}

std::optional<double> factor_from_value(std::string_view value, double default_factor) {
    if (value.empty()) return default_factor;
    auto parts = split_percent(value);
    if (!parts) return std::nullopt;
    std::optional<double> factor = whole_decimal(parts->first);
    if (!factor) return std::nullopt;
    if (parts->second) *factor /= 100.0;
    if (*factor < 0.0 || *factor > max_proximity_factor) return std::nullopt;
    return factor;
}

bool parse_coordinate(std::string_view text, bool is_latitude, double& destination) {
    const char* kind = is_latitude ? "lat" : "lon";
    auto invalid = [&] {
        report("\nWarning: invalid %s value: %s", kind,
               escape_controls(text, terminal_is_utf8()).c_str());
        return false;
    };
    if (text.empty()) return invalid();
    char first = text.front();
    bool digit = first >= '0' && first <= '9';
    bool hemisphere = is_latitude ? (first == 'N' || first == 'S') : (first == 'E' || first == 'W');
    if (!digit && !hemisphere) return invalid();

    // The hemisphere letter only decorates the text; it doesn't change the sign.
    std::string_view rest = hemisphere ? text.substr(1) : text;
    std::string cleaned;
    cleaned.reserve(rest.size());
    for (char c : rest) {
        if (c == '"' || c == '\'' || c == degree_sign) continue;
        cleaned.push_back(c);
    }
    decimal_commas_to_points(cleaned);
    if (cleaned.size() > max_coordinate_text) return invalid();

    // Degrees, minutes and seconds separated by single blanks: each piece adds a
    // sixtieth of the pieces behind it.
    auto pieces = split_text(cleaned, " ");
    if (!pieces) return invalid();
    double value = 0.0;
    for (auto piece = pieces->rbegin(); piece != pieces->rend(); ++piece) {
        // An empty piece (two blanks in a row) counts as 0.
        std::optional<double> part = piece->empty() ? 0.0 : whole_decimal(*piece);
        if (!part) return invalid();
        value = *part + value / 60.0;
    }
    if (!std::isfinite(value) || std::fabs(value) > (is_latitude ? 90.0 : 180.0)) return invalid();
    destination = value;
    return true;
}

std::string format_coordinate(bool is_latitude, double value) {
    char hemisphere = 0;
    if (is_latitude) {
        hemisphere = value < 0 ? 'S' : 'N';
    } else {
        hemisphere = value < 0 ? 'W' : 'E';
    }
    double whole = std::trunc(value);
    double minutes = (value - whole) * 60.0;
    // Room for the widest double printed without exponent.
    char buffer[512];
    if (std::fabs(whole) < 2147483648.0) {
        std::snprintf(buffer, sizeof buffer, "%c%i %.3f", hemisphere, static_cast<int>(whole),
                      minutes);
    } else {
        std::snprintf(buffer, sizeof buffer, "%c%.0f %.3f", hemisphere, whole, minutes);
    }
    return buffer;
}

}  // namespace velmora
