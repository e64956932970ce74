#pragma once
// Numbers read whole: a text is a number only when nothing but the number (and blanks
// around it) stands in it, so that "47.5abc", "0x1p4" or an empty value are refused
// instead of being read as a part or as 0.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// A decimal number such as "47.5", "-19,25" or " 3 ": an optional sign, digits with at
// most one decimal point or decimal comma, spaces, tabs and line ends around it.  No
// exponent, no "inf" or "nan", no hexadecimal form.  None for anything else.
[[nodiscard]] std::optional<double> whole_decimal(std::string_view text);

// Makes every decimal comma of a number's text a decimal point.
void decimal_commas_to_points(std::string& text);

// A whole number such as "20" or " -5 ": an optional sign and decimal digits, blanks
// around them.  None for anything else or beyond the range of long long.
[[nodiscard]] std::optional<long long> whole_integer(std::string_view text);

// Fastest speed a name may carry, in km/h.
inline constexpr double max_speed_in_name = 1000.0;

// A speed written at the end of a waypoint name, as "Radar@50".
struct name_speed {
    std::size_t name_length;  // bytes of the name before the "@"
    double speed;             // km/h
};

// The speed after the last "@" of a name, when the text after it is a plain positive
// number (digits with an optional decimal point or comma, no sign, no blanks) of at
// most max_speed_in_name; none otherwise, and then the whole name stands as written.
// "Cafe @ Mall@50" gives "Cafe @ Mall" and 50; "LAN@Work" and "Radar@-5" give none.
[[nodiscard]] std::optional<name_speed> speed_in_name(std::string_view name);

}  // namespace velmora
