#pragma once
// The texts of the run's sets for GPI output: every set, whatever its encoding, brought
// through Unicode into the output code page.
#include <cstdint>

#include "model/poiset.hpp"
#include "text/output_code_page.hpp"

namespace velmora {

// The code page that -codepage:auto takes: the first of auto_code_pages that holds every
// character of every text and group name of the sets, else 65001.  One pass over the
// texts.
[[nodiscard]] int choose_gpi_code_page(const poiset_list& list);

// Converts the group name and every text of every waypoint of every set into the output
// code page, which the sets then hold (is_utf8 and locale say so); gives the number of
// characters written as "?" because the code page lacks them.
std::uint64_t convert_texts_for_gpi(poiset_list& list, const output_code_page& output);

}  // namespace velmora
