#include "driver/gpi_settings.hpp"

namespace velmora {

// The settings file reader comes with icon support; until then a run has no settings.
std::unique_ptr<gpi_settings> load_gpi_settings(const std::string& /*app_dir*/) {
    return nullptr;
}

}  // namespace velmora
