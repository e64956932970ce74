#pragma once
// The run's preparation for GPI output: the work that the GPI writer needs done by other
// subsystems (texts into the output code page, icons into GPI bitmaps, the area order).
#include <optional>
#include <vector>

#include "gpi/gpi_group.hpp"
#include "model/poiset.hpp"
#include "platform/code_page.hpp"

namespace velmora {

// Makes every set of the list that has waypoints ready for the GPI writer, in order:
// - the texts of a UTF-8 set are converted into the output code page, which the set then
//   holds (its own name stays as it is: the group name is written unconverted);
// - texts longer than a GPI text holds are cut, and alert values beyond 16 bits are
//   reported, each with a warning naming the waypoint;
// - the set's icons are converted into GPI bitmaps and its area index is built.
// Sets without waypoints are left out with a warning.  None when a set's area index
// could not be built (reported) or memory ran out (reported).
[[nodiscard]] std::optional<std::vector<gpi_group>> prepare_for_gpi(poiset_list& list,
                                                                   const code_page& output_page);

}  // namespace velmora
