#pragma once
// One conversion run: command line, import of every input, export of the merged sets.

#include "platform/version.hpp"

namespace velmora {

// Runs the program and gives its exit code: 0 when every input was read and the output
// written; 1 after a fatal condition, and when no input could be read (the output is
// then left as it was); 2 when the output was written but some inputs were skipped or
// refused.  Messages go to the diagnostics sink.
[[nodiscard]] int run(int argc, const char* const* argv);

}  // namespace velmora
