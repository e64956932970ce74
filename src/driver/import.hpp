#pragma once
// One input imported into the run's sets by the reader that its kind names.
#include "driver/request.hpp"
#include "driver/run_state.hpp"

namespace velmora {

// Imports the input (numbered from 1 as the command line names it); false when it was
// skipped or refused, or gave no POI though it held lines or records (its first problem
// is quoted then).  The empty sets of an input left out go again.  Throws fatal_exit
// when the input changed while it was read.
[[nodiscard]] bool import_input(run_state& run, int number, const input_request& input);

}  // namespace velmora
