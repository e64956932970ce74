#pragma once
// One conversion run: command line, import of every input, export of the merged sets.

namespace velmora {

inline constexpr const char* program_name = "Velmora";
inline constexpr const char* program_version = "v0.0.15";

// Runs the program and gives its exit code: 0 after a finished export, 1 after a fatal
// condition.  Messages go to the diagnostics sink.
[[nodiscard]] int run(int argc, const char* const* argv);

}  // namespace velmora
