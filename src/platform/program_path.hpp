#pragma once
// Where the running program lies.
#include <optional>
#include <string>

namespace velmora {

// The full path of the running executable as the system knows it (/proc/self/exe),
// whatever name it was started by; none when the system can't tell.
[[nodiscard]] std::optional<std::string> running_program_path();

}  // namespace velmora
