#pragma once
// One conversion run: command line, import of every input, export of the merged sets.

#include "platform/version.hpp"

namespace velmora {

// Runs the program and gives its exit code: 0 after a finished export, 1 after a fatal
// condition.  Messages go to the diagnostics sink.
[[nodiscard]] int run(int argc, const char* const* argv);

}  // namespace velmora
