#pragma once
// Numbers read in the "C" conventions, whatever the user's locale: leading blanks are
// skipped, the longest valid prefix is taken, and a text without one reads as 0.
#include <string_view>

namespace velmora {

// Optional sign and decimal digits; clamped to the int range on overflow.
[[nodiscard]] int c_leading_int(std::string_view text);

// A decimal number with "." as the decimal point, an optional exponent, or "inf"/"nan".
[[nodiscard]] double c_leading_double(std::string_view text);

// Like c_leading_double, also telling how many characters the number took (0 when none).
[[nodiscard]] double c_leading_double(std::string_view text, std::size_t& consumed);

}  // namespace velmora
