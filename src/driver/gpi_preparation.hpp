#pragma once
// The run's preparation for GPI output: the work that the GPI writer needs done by other
// subsystems (texts into the output code page, icons into GPI bitmaps, the area order).
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "gpi/gpi_group.hpp"
#include "model/poiset.hpp"
#include "platform/split_policy.hpp"
#include "text/output_code_page.hpp"

namespace velmora {

// Makes every set of the list that has waypoints ready for the GPI writer, in order:
// - the group name and every text of every set, whatever its encoding, are converted
//   through Unicode into the output code page, which the set then holds; the characters
//   the code page lacks are written as "?" and counted in one warning;
// - texts longer than a GPI text holds are cut, and alert values beyond 16 bits are
//   reported, each with a warning naming the waypoint;
// - the set's icons are converted into GPI bitmaps and its area index is built.
// Large sets are gone through by two threads as split says.  Sets without waypoints are
// left out with a warning.  None when a set's area index could not be built (reported).
// Throws std::bad_alloc when memory runs out.
[[nodiscard]] std::optional<std::vector<gpi_group>> prepare_for_gpi(poiset_list& list,
                                                                    const output_code_page& output,
                                                                    const split_policy& split = {});

// The code page that -codepage:auto takes: the first of auto_code_pages that holds every
// character of every text and group name of the sets, else 65001.  One pass over the
// texts.
[[nodiscard]] int choose_gpi_code_page(const poiset_list& list);

// The header time of a GPI file about to be written to the output path.
struct gpi_header_time {
    std::int64_t time = 0;  // seconds since 1970
    std::string after;      // when moved: the file whose time is one second before it
};

// The wanted time, moved forward to the first second that no other .gpi file of the
// output's directory holds in its header (navigators tell GPI files apart by that time).
// Files that can't be read or are no GPI files are passed over, and so is the output
// itself.  The same files give the same time.
[[nodiscard]] gpi_header_time distinct_header_time(const std::string& output_path,
                                                   std::int64_t wanted);

}  // namespace velmora
