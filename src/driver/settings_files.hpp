#pragma once
// The files a run reads besides its inputs: the settings files and the icons
// directories, found in the lookup order of runtime_files, each read once when first
// needed and reported as it is chosen.
#include <memory>
#include <optional>
#include <string>

#include "driver/gpi_preparation.hpp"
#include "driver/runtime_files.hpp"
#include "gpi/gpi_settings.hpp"
#include "tags/osm_mapping.hpp"

namespace velmora {

class settings_files {
  public:
    // Looks the files up from the program's directory (ending in "/").
    void locate(const std::string& program_dir);

    // The settings file where the lookup order finds it, reported as it is chosen; the
    // path beside the program when none is found, so that its reader names that one.
    [[nodiscard]] std::string find_settings_file(const char* name) const;

    // Reads Velmora_gpi.ini the first time it is needed.
    void need_gpi_settings();
    // None until needed, or when it could not be read.
    [[nodiscard]] const gpi_settings* gpi() const { return gpi_settings_.get(); }
    [[nodiscard]] const std::string& gpi_settings_path() const { return gpi_settings_path_; }

    // The mapping file of OpenStreetMap tags (and Maki symbol names), read once when the
    // first input needs it; none when it can't be read.
    [[nodiscard]] const osm_mapping* tag_mapping();
    // The same for a use that can do without it (an output's symbol names): none,
    // without a warning, when the lookup finds no such file.
    [[nodiscard]] const osm_mapping* tag_mapping_if_found();

    // The pattern of the icons directory, from the first directory of the lookup order
    // that has it (reported as chosen), else beside the program.
    [[nodiscard]] std::string icon_pattern(icon_library library) const;

  private:
    runtime_files files_;
    std::string gpi_settings_path_;
    std::unique_ptr<gpi_settings> gpi_settings_;
    std::unique_ptr<osm_mapping> osm_mapping_;
    bool osm_mapping_loaded_ = false;
};

}  // namespace velmora
