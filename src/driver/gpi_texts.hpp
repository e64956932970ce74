#pragma once
// The texts of the sets as a GPI file holds them: in the output code page, and no
// longer than its fields.
#include <cstdint>

#include "model/poiset.hpp"
#include "platform/split_policy.hpp"
#include "text/output_code_page.hpp"

namespace velmora {

// Converts the set's name and every text of its waypoints, whatever its encoding,
// through Unicode into the output code page, which the set then holds; gives the number
// of characters the code page lacks, written as "?".  A large set is converted by two
// threads, as split says.
std::uint64_t convert_set_texts(poiset& set, const output_code_page& output,
                                const split_policy& split = {});

// Makes a set (its texts in the output code page, UTF-8 or not) fit the fields of the
// format: texts longer than a GPI text holds are cut, and alert values beyond 16 bits
// (which the encoder clamps) are reported, each with a warning naming the waypoint.
void fit_set_to_gpi(poiset& set, bool utf8, const split_policy& split = {});

// The code page that -codepage:auto takes: the first of auto_code_pages that holds every
// character of every text and group name of the sets, else 65001.  One pass over the
// texts.
[[nodiscard]] int choose_gpi_code_page(const poiset_list& list);

}  // namespace velmora
