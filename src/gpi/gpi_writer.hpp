#pragma once
// The GPI writer: POI groups made ready for GPI output as one Garmin GPI file, written
// front to back in one pass with every length measured beforehand.  The writer reads
// its input and changes nothing of it.
#include <cstdint>
#include <cstdio>
#include <span>

#include "gpi/byte_sink.hpp"
#include "gpi/gpi_group.hpp"
#include "model/icon_list.hpp"
#include "model/poiset.hpp"
#include "platform/split_policy.hpp"

namespace velmora {

// Writes the whole file: the file header with the time stamp (seconds since 1970), the
// POI header naming the code page of the texts, one POI group per group, the end block.
// False when anything could not be written (the file is then incomplete) or a group is
// too large for the format's 32-bit lengths.  Throws std::bad_alloc when memory runs out.
// Large groups are measured and encoded by two threads as split says.
[[nodiscard]] bool write_gpi(std::FILE* file, std::span<const gpi_group> groups,
                             int code_page_number, std::int64_t time_stamp,
                             const split_policy& split = {});

// Bytes of the POI block of a waypoint of the set.
[[nodiscard]] std::uint32_t poi_block_size(const waypoint& w, const poiset& set);

// Writes one POI group: its header with the set's name, the area blocks of its area
// index and the bitmap blocks of its bitmaps.  False on a write error or when the group
// is too large for its 32-bit length.
[[nodiscard]] bool write_poi_group(file_sink& sink, const gpi_group& group,
                                   const split_policy& split = {});

}  // namespace velmora
