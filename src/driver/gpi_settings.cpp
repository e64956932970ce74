#include "driver/gpi_settings.hpp"

#include <cstring>
#include <cerrno>
#include <cstdio>
#include <string_view>

#include "platform/c_numbers.hpp"
#include "platform/messages.hpp"
#include "platform/paths.hpp"
#include "text/line_text.hpp"

namespace velmora {

namespace {

enum class section { none, import_settings, export_settings };

struct file_closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// The leading integer of a value, kept to its low 16 bits as the limit field holds it.
std::int16_t low_16_bits(int value) {
    return static_cast<std::int16_t>(
        static_cast<std::uint16_t>(static_cast<unsigned>(value) & 0xFFFFu));
}

// Applies one key=value line of a known section; false when the key doesn't belong there.
bool apply_parameter(gpi_settings& settings, section where, std::string_view key,
                     std::string_view value) {
    if (equals_ignore_case(key, "IconSpec")) {
        if (!value.empty()) {
            (where == section::import_settings ? settings.import_icon_spec
                                               : settings.export_icon_spec) = std::string(value);
        }
        return true;
    }
    if (where != section::export_settings) return false;
    if (equals_ignore_case(key, "IconCountLimit")) {
        settings.icon_limit_is_percent = value.find('%') != std::string_view::npos;
        settings.icon_count_limit = low_16_bits(c_leading_int(value));
        return true;
    }
    if (equals_ignore_case(key, "DefaultProximity")) {
        if (!value.empty()) settings.default_proximity = c_leading_int(value);
        return true;
    }
    if (equals_ignore_case(key, "DefaultProximityForSym")) {
        if (!value.empty()) {
            if (auto symbols = split_text(value, ","))
                settings.proximity_symbols = std::move(*symbols);
        }
        return true;
    }
    return false;
}

}  // namespace

std::unique_ptr<gpi_settings> read_gpi_settings(const std::string& path) {
    std::unique_ptr<std::FILE, file_closer> file(std::fopen(path.c_str(), "r"));
    if (!file) {
        report("\nError: Cant't open gpi ini file (%s) (%s)", path.c_str(), std::strerror(errno));
        return nullptr;
    }
    auto settings = std::make_unique<gpi_settings>();
    section where = section::none;
    std::string line;
    for (int number = 1;; ++number) {
        if (!read_bounded_line(file.get(), line)) {
            if (std::ferror(file.get()) != 0) {
                report("\nError: read error at line %i while reading %s. (%s)", number,
                       path.c_str(), std::strerror(errno));
            }
            break;
        }
        std::string_view text = clean_settings_line(line);
        if (text.empty()) continue;
        if (text.front() == '[') {
            auto name = bracket_name(text);
            if (name && equals_ignore_case(*name, "GpiImportSettings")) {
                where = section::import_settings;
            } else if (name && equals_ignore_case(*name, "GpiExportSettings")) {
                where = section::export_settings;
            } else {
                where = section::none;
                std::string shown(text);
                report("\nWarning: Unexpected section name %s found in gpi ini file (%s) line %i!",
                       shown.c_str(), path.c_str(), number);
            }
            continue;
        }
        if (where == section::none) continue;
        auto pieces = split_text(text, "=");
        std::string key = pieces ? (*pieces)[0] : std::string(text);
        std::string value = pieces && pieces->size() > 1 ? (*pieces)[1] : std::string();
        if (!apply_parameter(*settings, where, key, value)) {
            report("\nWarning: Unexpected parameter %s in %s gpi ini file line %i!", key.c_str(),
                   path.c_str(), number);
        }
    }
    return settings;
}

std::unique_ptr<gpi_settings> load_gpi_settings(const std::string& app_dir) {
    return read_gpi_settings(app_dir + "Velmora_gpi.ini");
}

}  // namespace velmora
