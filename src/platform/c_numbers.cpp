#include "platform/c_numbers.hpp"

#include <charconv>
#include <climits>
#include <cmath>

namespace velmora {

namespace {

bool is_c_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::size_t skip_space(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && is_c_space(text[i])) ++i;
    return i;
}

}  // namespace

int c_leading_int(std::string_view text) {
    std::size_t i = skip_space(text);
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    bool saturated = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (!saturated) {
            value = value * 10 + (text[i] - '0');
            if (value > static_cast<long long>(INT_MAX) + 1) saturated = true;
        }
    }
    if (negative) value = -value;
    if (saturated || value > INT_MAX) return negative ? INT_MIN : INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

double c_leading_double(std::string_view text, std::size_t& consumed) {
    consumed = 0;
    std::size_t i = skip_space(text);
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // from_chars takes no "+" and no second sign: a sign followed by another sign is no number.
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) return 0.0;
    double value = 0.0;
    auto [end, ec] = std::from_chars(text.data() + i, text.data() + text.size(), value);
    if (end == text.data() + i) return 0.0;  // no number at all
    if (ec == std::errc::result_out_of_range) {
        // from_chars leaves the value alone on range errors; keep strtod's answers.
        bool tiny = false;
        for (const char* p = text.data() + i; p < end; ++p) {
            if (*p == 'e' || *p == 'E') {
                tiny = p + 1 < end && p[1] == '-';
                break;
            }
        }
        value = tiny ? 0.0 : HUGE_VAL;
    }
    consumed = static_cast<std::size_t>(end - text.data());
    return negative ? -value : value;
}

double c_leading_double(std::string_view text) {
    std::size_t consumed = 0;
    return c_leading_double(text, consumed);
}

}  // namespace velmora
