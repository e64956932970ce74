#include "text/fixed_decimal.hpp"

#include <array>
#include <bit>
#include <charconv>
#include <cstdint>

namespace velmora {

namespace {

__extension__ using uint128 = unsigned __int128;

constexpr std::array<std::uint64_t, 10> powers_of_ten = {
    1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000};

// Writes the value at out and returns the end, or nullptr for what it leaves to
// std::to_chars: infinities, NaNs and values of 2^52 or more.
char* write_fixed(char* out, double value, int decimals) {
    auto bits = std::bit_cast<std::uint64_t>(value);
    bool negative = (bits >> 63) != 0;
    int biased_exponent = static_cast<int>((bits >> 52) & 0x7FF);
    std::uint64_t significand = bits & ((std::uint64_t{1} << 52) - 1);
    if (biased_exponent == 0x7FF) return nullptr;
    int exponent = -1074;  // of the subnormals and zero
    if (biased_exponent != 0) {
        significand |= std::uint64_t{1} << 52;
        exponent = biased_exponent - 1075;
    }
    // value = significand * 2^exponent; the result is that times 10^decimals, rounded to
    // an integer, half to even.
    if (exponent >= 0) return nullptr;
    auto shift = static_cast<unsigned>(-exponent);
    uint128 scaled =
        static_cast<uint128>(significand) * powers_of_ten[static_cast<std::size_t>(decimals)];
    std::uint64_t units = 0;  // the value in units of 10^-decimals
    // scaled stays below 2^83: a shift past 84 leaves less than half a unit.
    if (shift <= 84) {
        uint128 whole = scaled >> shift;
        uint128 rest = scaled - (whole << shift);
        uint128 half = static_cast<uint128>(1) << (shift - 1);
        if (rest > half || (rest == half && (whole & 1) != 0)) ++whole;
        if (whole > UINT64_MAX) return nullptr;
        units = static_cast<std::uint64_t>(whole);
    }
    if (negative) *out++ = '-';
    std::uint64_t scale = powers_of_ten[static_cast<std::size_t>(decimals)];
    out = std::to_chars(out, out + 20, units / scale).ptr;
    if (decimals == 0) return out;
    *out++ = '.';
    std::uint64_t fraction = units % scale;
    for (int i = decimals - 1; i >= 0; --i) {
        out[i] = static_cast<char>('0' + fraction % 10);
        fraction /= 10;
    }
    return out + decimals;
}

}  // namespace

void append_fixed(std::string& out, double value, int decimals) {
    // Room for any double in this form: 309 digits before the point at most.
    char buffer[400];
    char* end = write_fixed(buffer, value, decimals);
    if (end == nullptr) {
        auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed,
                                    decimals);
        if (result.ec != std::errc()) return;
        end = result.ptr;
    }
    out.append(buffer, end);
}

}  // namespace velmora
