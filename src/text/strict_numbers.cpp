#include "text/strict_numbers.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "text/line_text.hpp"

namespace velmora {

namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// Digits with at most one "." or ",", at least one digit: the unsigned part of a
// decimal number.
bool is_plain_decimal(std::string_view text) {
    bool digit = false;
    bool point = false;
    for (char c : text) {
        if (is_digit(c)) {
            digit = true;
        } else if ((c == '.' || c == ',') && !point) {
            point = true;
        } else {
            return false;
        }
    }
    return digit;
}

// The value of a text that is_plain_decimal accepted.
std::optional<double> plain_decimal_value(std::string_view text) {
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
    if (!is_plain_decimal(text)) return std::nullopt;
    auto value = plain_decimal_value(text);
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
    if (!is_plain_decimal(number)) return std::nullopt;
    auto speed = plain_decimal_value(number);
    if (!speed || *speed <= 0.0 || *speed > max_speed_in_name) return std::nullopt;
    return name_speed{at, *speed};
}

}  // namespace velmora
