#pragma once
// Decimal numbers with a fixed count of digits behind the point, byte for byte as
// std::to_chars writes them with std::chars_format::fixed (the exact value of the double
// rounded half to even, a minus sign for every negative value and for -0), but without
// its general machinery for the coordinates and distances that fill a document.
#include <string>

namespace velmora {

// Appends the value with `decimals` digits behind the point (0 to 9; none and no point
// for 0).
void append_fixed(std::string& out, double value, int decimals);

}  // namespace velmora
