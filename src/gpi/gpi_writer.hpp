#pragma once
// The GPI writer: the run's POI sets as one Garmin GPI file, written front to back in
// one pass with every length computed beforehand.
#include <cstdint>
#include <cstdio>
#include <string>

#include "gpi/area_tree.hpp"
#include "gpi/byte_sink.hpp"
#include "model/icon_list.hpp"
#include "model/poiset.hpp"
#include "platform/code_page.hpp"

namespace velmora {

// Writes the whole file: the file header with the time stamp (seconds since 1970), the
// POI header naming the output code page, one POI group per set that has waypoints,
// the end block.  Texts of UTF-8 sets are converted to the output code page in place,
// and each set's waypoint array is reordered by its area tree.  False when anything
// could not be written (the file is then incomplete) or a set is too large for the
// format's 32-bit lengths.
[[nodiscard]] bool write_gpi(std::FILE* file, poiset_list& list, const code_page& output_locale,
                             std::int64_t time_stamp);

// The same for sets whose texts (group names included) are already in the code page of
// that number (65001: UTF-8), as the run's preparation for GPI output leaves them.
[[nodiscard]] bool write_gpi(std::FILE* file, poiset_list& list, int code_page_number,
                             std::int64_t time_stamp);

// Converts every text of every waypoint of a UTF-8 set to the code page, in place.
void convert_poiset_strings(poiset& set, const code_page& output_locale);

// Sets the waypoint's gpi_size: the bytes of its POI block.
void compute_poi_size(waypoint& w);

// Fills record_size and flags of the node and of every node below it; returns the
// node's record_size, 0 for a missing node.  Waypoints whose gpi_size is 0 get it
// computed.
std::int64_t compute_area_sizes(area_node* node);

// Writes one POI group: its header with the name, the area blocks below the top node
// (whose sizes are computed) and the bitmap blocks of the bitmap set.  False on a
// write error or when the group is too large for its 32-bit length.
[[nodiscard]] bool write_poi_set_header(file_sink& sink, const std::string& name,
                                        const area_node& top, const icon_list& bitmap_set);

// Writes the bitmap block of every usable entry of the bitmap set; false on a write error.
[[nodiscard]] bool write_bitmap_blocks(file_sink& sink, const icon_list& bitmap_set);

}  // namespace velmora
