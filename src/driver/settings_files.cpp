#include "driver/settings_files.hpp"

#include <cstdlib>

#include "platform/messages.hpp"
#include "platform/paths.hpp"

namespace velmora {

void settings_files::locate(const std::string& program_dir) {
    files_ =
        runtime_files::for_program(program_dir, [](const char* var) { return std::getenv(var); });
}

std::string settings_files::find_settings_file(const char* name) const {
    auto found = files_.find_file(name);
    if (!found) return files_.beside_program(name);
    report("\n    settings: %s", shown_file_name(*found).c_str());
    return *found;
}

void settings_files::need_gpi_settings() {
    if (gpi_settings_) return;
    gpi_settings_path_ = find_settings_file("Velmora_gpi.ini");
    gpi_settings_ = read_gpi_settings(gpi_settings_path_);
}

const osm_mapping* settings_files::tag_mapping() {
    if (!osm_mapping_loaded_) {
        osm_mapping_ = read_osm_mapping(find_settings_file(osm_mapping_file_name));
        osm_mapping_loaded_ = true;
    }
    return osm_mapping_.get();
}

const osm_mapping* settings_files::tag_mapping_if_found() {
    if (!osm_mapping_loaded_ && !files_.find_file(osm_mapping_file_name)) return nullptr;
    return tag_mapping();
}

std::string settings_files::icon_pattern(icon_library library) const {
    const char* relative = library == icon_library::speedcam ? "icons/speedcam/" : "icons/";
    auto found = files_.find_directory(relative);
    if (!found) return files_.beside_program(relative) + "*.*";
    report("\n    icons: %s", shown_file_name(*found).c_str());
    return *found + "*.*";
}

}  // namespace velmora
