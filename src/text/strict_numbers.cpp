#include "text/strict_numbers.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "text/line_text.hpp"

namespace velmora {

namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// Powers of ten that a double holds exactly.
constexpr std::array<double, 23> exact_powers_of_ten = {
    1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The value of digits with at most one "." or ",", by the library's exact conversion.
std::optional<double> converted_decimal(std::string_view text) {
    double value = 0.0;
    const char* first = text.data();
    const char* last = text.data() + text.size();
    std::string copy;
    if (text.find(',') != std::string_view::npos) {
        copy.assign(text);
        decimal_commas_to_points(copy);
        first = copy.data();
        last = copy.data() + copy.size();
    }
    auto [end, ec] = std::from_chars(first, last, value, std::chars_format::fixed);
    if (ec != std::errc() || end != last || !std::isfinite(value)) return std::nullopt;
    return value;
}

// The unsigned part of a decimal number: digits with at most one "." or ",", at least
// one digit; none for anything else.
std::optional<double> plain_decimal(std::string_view text) {
    constexpr std::uint64_t room_for_digit = (std::numeric_limits<std::uint64_t>::max() - 9) / 10;
    std::uint64_t digits = 0;  // the digits read as a whole number
    bool all_digits = true;    // digits holds every digit
    bool any_digit = false;
    std::size_t point = std::string_view::npos;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (is_digit(c)) {
            any_digit = true;
            if (digits <= room_for_digit) {
                digits = digits * 10 + static_cast<std::uint64_t>(c - '0');
            } else {
                all_digits = false;
            }
        } else if ((c == '.' || c == ',') && point == std::string_view::npos) {
            point = i;
        } else {
            return std::nullopt;
        }
    }
    if (!any_digit) return std::nullopt;
    std::size_t decimals = point == std::string_view::npos ? 0 : text.size() - point - 1;
    // A whole number of at most 53 bits and a power of ten are both exact, so their
    // quotient is the correctly rounded value, as the library's conversion gives it.
    if (all_digits && digits <= (std::uint64_t{1} << 53) && decimals < exact_powers_of_ten.size()) {
        return static_cast<double>(digits) / exact_powers_of_ten[decimals];
    }
    return converted_decimal(text);
}

}  // namespace

void decimal_commas_to_points(std::string& text) {
    std::replace(text.begin(), text.end(), ',', '.');
}

std::optional<double> whole_decimal(std::string_view text) {
    text = trim_white_space(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    auto value = plain_decimal(text);
    if (!value) return std::nullopt;
    return negative ? -*value : *value;
}

std::optional<long long> whole_integer(std::string_view text) {
    text = trim_white_space(text);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && (text.front() == '+' || text.front() == '-')) return std::nullopt;
    }
    if (text.empty()) return std::nullopt;
    long long value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<name_speed> speed_in_name(std::string_view name) {
    std::size_t at = name.rfind('@');
    if (at == std::string_view::npos) return std::nullopt;
    std::string_view number = name.substr(at + 1);
    auto speed = plain_decimal(number);
    if (!speed || *speed <= 0.0 || *speed > max_speed_in_name) return std::nullopt;
    return name_speed{at, *speed};
}

}  // namespace velmora
