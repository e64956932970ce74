#pragma once
// What the steps of a run share: the request, the settings files, the sets read so far
// and, for GPI output, the preparation that takes each set as it is read.
#include <optional>

#include "driver/gpi_preparation.hpp"
#include "driver/request.hpp"
#include "driver/settings_files.hpp"
#include "model/poiset.hpp"
#include "platform/split_policy.hpp"

namespace velmora {

struct run_state {
    const run_request& request;
    settings_files& files;
    poiset_list list;
    std::optional<gpi_preparation> gpi;  // for GPI, KML and KMZ output
    double mark_time = 0.0;              // when the step being timed began
    split_policy split;                  // when the readers and writers use two threads

    // Starts timing a step.
    void mark_start();
    // Reports the time since the step began (" 12.3 msec") and starts the next.
    void mark_elapsed();
};

}  // namespace velmora
