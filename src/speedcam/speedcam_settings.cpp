#include "speedcam/speedcam_settings.hpp"

#include <cstring>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <new>
#include <utility>

#include "platform/c_numbers.hpp"
#include "platform/messages.hpp"
#include "platform/paths.hpp"
#include "text/line_text.hpp"

namespace velmora {

namespace {

constexpr const char* settings_file_name = "Velmora_speedcam.ini";

// Longest coordinate text, after quotes and degree signs are dropped, that is accepted.
constexpr std::size_t max_coordinate_text = 23;

// The degree sign in code page 1250.
constexpr char degree_sign = '\xB0';

struct file_closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

bool starts_with_ignore_case(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           equals_ignore_case(text.substr(0, prefix.size()), prefix);
}

// Sections of the file; lines outside a known section are ignored.
enum read_state { outside_sections = 0, in_conversion = 1, in_filter = 2 };

// "AlarmAt<label>=<value>": the label names the band, "130+" the last one.
void read_alarm_speed(std::string_view label, std::string_view value, speedcam_settings& settings) {
    long long band = 0;
    double nominal = 0.0;
    if (label == "130+") {
        band = speed_band_count - 1;
        nominal = 130.0;
    } else {
        long long n = c_leading_int(label);
        band = (n - 1) / 10;
        if (band >= speed_band_count - 1) {
            nominal = 130.0;
        } else if (band < 0) {
            nominal = 10.0;
        } else {
            nominal = 10.0 * static_cast<double>(band) + 10.0;
        }
        band = speed_band(n);
    }
    settings.alarm_speeds[static_cast<std::size_t>(band)] = speed_from_value(value, nominal);
}

void read_conversion_key(std::string_view key, std::string_view value, const std::string& path,
                         long long line_number, speedcam_settings& settings) {
    if (starts_with_ignore_case(key, "AlarmAt")) {
        read_alarm_speed(key.substr(7), value, settings);
    } else if (equals_ignore_case(key, "DifferentSpeedAlarm")) {
        settings.different_speed_alarm = !value.empty() && value.front() == '1' ? 1 : 0;
    } else if (equals_ignore_case(key, "Proximity")) {
        settings.proximity_factor = factor_from_value(value, 1.0);
    } else {
        report("\nWarning: Unexpected value=parameter in %s speedcam ini file at line %lli",
               path.c_str(), line_number);
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
                   path.c_str(), line_number);
        }
    } else {
        report("\nWarning: Unexpected parameter %s in %s speedcam ini file line %lli!",
               std::string(key).c_str(), path.c_str(), line_number);
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
    std::unique_ptr<std::FILE, file_closer> file(std::fopen(path.c_str(), "r"));
    if (!file) {
        report("\nError: Cant't open speedcam inin file (%s) (%s)", path.c_str(),
               std::strerror(errno));
        return nullptr;
    }
    std::unique_ptr<speedcam_settings> settings(new (std::nothrow) speedcam_settings);
    if (!settings) return nullptr;

    std::string line;
    long long line_number = 0;
    read_state state = outside_sections;
    for (;;) {
        ++line_number;
        if (!read_bounded_line(file.get(), line)) {
            if (std::ferror(file.get())) {
                report("\nError: read error at line %lli while reading %s. (%s)", line_number,
                       path.c_str(), std::strerror(errno));
            }
            break;
        }
        std::string_view text = clean_settings_line(line);
        if (text.empty()) continue;
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
                    "%lli!",
                    std::string(text).c_str(), path.c_str(), line_number);
            }
            continue;
        }
        if (state == outside_sections) continue;
        auto pieces = split_text(text, "=");
        if (!pieces || pieces->empty()) continue;
        std::string_view key = (*pieces)[0];
        std::string_view value = pieces->size() > 1 ? std::string_view((*pieces)[1]) : "";
        if (state == in_conversion) {
            read_conversion_key(key, value, path, line_number, *settings);
        } else {
            read_filter_key(key, value, path, line_number, *settings);
        }
    }
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

double speed_from_value(std::string_view value, double nominal) {
    bool percent = value.find('%') != std::string_view::npos;
    double result = 0.0;
    if (!value.empty() && value.front() == '+') {
        double added = c_leading_int(value.substr(1));
        result = percent ? nominal + nominal * added / 100.0 : nominal + added;
    } else {
        double given = c_leading_int(value);
        result = percent ? given * nominal / 100.0 : given;
    }
    return std::floor(result + 0.5);
}

double factor_from_value(std::string_view value, double default_factor) {
    if (value.empty()) return default_factor;
    std::string text(value);
    for (char& c : text) {
        if (c == ',') c = '.';
    }
    double factor = c_leading_double(text);
    // "inf" or "nan" would turn every distance into nonsense.
    if (!std::isfinite(factor)) return default_factor;
    if (value.find('%') != std::string_view::npos) factor /= 100.0;
    return factor;
}

bool parse_coordinate(std::string_view text, bool is_latitude, double& destination) {
    const char* kind = is_latitude ? "lat" : "lon";
    auto invalid = [&] {
        report("\nWarning: invalid %s value: %s", kind, std::string(text).c_str());
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
        cleaned.push_back(c == ',' ? '.' : c);
    }
    if (cleaned.size() > max_coordinate_text) return invalid();

    // Degrees, minutes and seconds separated by single blanks: each piece adds a
    // sixtieth of the pieces behind it.
    auto pieces = split_text(cleaned, " ");
    if (!pieces) return invalid();
    double value = 0.0;
    for (auto piece = pieces->rbegin(); piece != pieces->rend(); ++piece) {
        value = c_leading_double(*piece) + value / 60.0;
    }
    if (!std::isfinite(value)) return invalid();
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
