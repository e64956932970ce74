#pragma once
// Where the settings files and the icons directories are found.  Each is looked up in
// these directories, in order, and the first that holds it wins:
//   1. the program's own directory (the running executable's, never the working one);
//   2. $XDG_CONFIG_HOME/velmora (by default ~/.config/velmora);
//   3. each directory of $XDG_CONFIG_DIRS followed by /velmora (by default
//      /etc/xdg/velmora);
//   4. the installed share/velmora, beside the program's bin directory.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// Reads an environment variable; none when it is not set.
using environment_lookup = std::function<const char*(const char*)>;

class runtime_files {
  public:
    // The directories for a program in program_dir (ending in "/").  Relative or empty
    // values of the XDG variables are passed over, as the XDG rules ask.
    [[nodiscard]] static runtime_files for_program(const std::string& program_dir,
                                                   const environment_lookup& getenv);

    // Every directory in lookup order, each ending in "/".
    [[nodiscard]] const std::vector<std::string>& dirs() const { return dirs_; }

    // The path of the first regular file of that name; none when no directory has it.
    [[nodiscard]] std::optional<std::string> find_file(std::string_view name) const;
    // The path (ending in "/") of the first directory of that relative name.
    [[nodiscard]] std::optional<std::string> find_directory(std::string_view name) const;

    // The path of the name in the program's directory, where it is looked up first.
    [[nodiscard]] std::string beside_program(std::string_view name) const;

  private:
    std::vector<std::string> dirs_;
};

}  // namespace velmora
