#pragma once
// UTF-8: the one encoder, decoder and validator of the program.  Inline where readers
// and writers call them for every character.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace velmora {

// The character U+FFFD that stands for bytes or units that don't form a character.
inline constexpr char32_t replacement_character = 0xFFFD;

// One character decoded from UTF-8: its code point and the bytes it took.  A byte that
// does not start a well-formed sequence (a stray continuation byte, a truncated or
// overlong sequence, an encoded surrogate, a byte of 0xF5 or above) is invalid, takes
// one byte and stands for U+FFFD.
struct utf8_char {
    char32_t code_point;
    std::size_t length;
    bool valid;
};

[[nodiscard]] constexpr bool is_utf8_continuation(unsigned char byte) {
    return (byte & 0xC0u) == 0x80u;
}

// Decodes the character at p; p lies before end.
[[nodiscard]] inline utf8_char decode_utf8_char(const unsigned char* p, const unsigned char* end) {
    unsigned char lead = p[0];
    if (lead < 0x80u) return {lead, 1, true};
    std::size_t left = static_cast<std::size_t>(end - p);
    if (lead >= 0xC2u && lead <= 0xDFu) {
        if (left >= 2 && is_utf8_continuation(p[1])) {
            return {((lead & 0x1Fu) << 6) | (p[1] & 0x3Fu), 2, true};
        }
    } else if (lead >= 0xE0u && lead <= 0xEFu) {
        // The second byte's range excludes overlong forms (after E0) and surrogates
        // (after ED).
        unsigned char low = lead == 0xE0u ? 0xA0u : 0x80u;
        unsigned char high = lead == 0xEDu ? 0x9Fu : 0xBFu;
        if (left >= 3 && p[1] >= low && p[1] <= high && is_utf8_continuation(p[2])) {
            return {((lead & 0x0Fu) << 12) | ((p[1] & 0x3Fu) << 6) | (p[2] & 0x3Fu), 3, true};
        }
    } else if (lead >= 0xF0u && lead <= 0xF4u) {
        unsigned char low = lead == 0xF0u ? 0x90u : 0x80u;
        unsigned char high = lead == 0xF4u ? 0x8Fu : 0xBFu;
        if (left >= 4 && p[1] >= low && p[1] <= high && is_utf8_continuation(p[2]) &&
            is_utf8_continuation(p[3])) {
            return {((lead & 0x07u) << 18) | ((p[1] & 0x3Fu) << 12) | ((p[2] & 0x3Fu) << 6) |
                        (p[3] & 0x3Fu),
                    4, true};
        }
    }
    return {replacement_character, 1, false};
}

// Writes the UTF-8 form of a code point (at most U+10FFFF) through out.push_back, out
// being a string or any other sink of chars.
template <typename Out>
void put_utf8(Out& out, char32_t c) {
    if (c < 0x80u) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800u) {
        out.push_back(static_cast<char>(0xC0u | (c >> 6)));
        out.push_back(static_cast<char>(0x80u | (c & 0x3Fu)));
    } else if (c < 0x10000u) {
        out.push_back(static_cast<char>(0xE0u | (c >> 12)));
        out.push_back(static_cast<char>(0x80u | ((c >> 6) & 0x3Fu)));
        out.push_back(static_cast<char>(0x80u | (c & 0x3Fu)));
    } else {
        out.push_back(static_cast<char>(0xF0u | (c >> 18)));
        out.push_back(static_cast<char>(0x80u | ((c >> 12) & 0x3Fu)));
        out.push_back(static_cast<char>(0x80u | ((c >> 6) & 0x3Fu)));
        out.push_back(static_cast<char>(0x80u | (c & 0x3Fu)));
    }
}

// Appends the UTF-8 form of a code point.
inline void append_utf8_code_point(std::string& out, char32_t c) {
    put_utf8(out, c);
}

// Length of the run of ASCII bytes at the start of the text.  Inline, as the
// conversions call it for every text.
[[nodiscard]] inline std::size_t ascii_prefix(std::string_view text) {
    const char* p = text.data();
    std::size_t n = text.size();
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, p + i, 8);
        // The first byte with its top bit set ends the run.
        if (std::uint64_t high = word & 0x8080808080808080u; high != 0) {
            if constexpr (std::endian::native == std::endian::little) {
                return i + static_cast<std::size_t>(std::countr_zero(high)) / 8;
            } else {
                return i + static_cast<std::size_t>(std::countl_zero(high)) / 8;
            }
        }
    }
    while (i < n && static_cast<unsigned char>(p[i]) < 0x80u) ++i;
    return i;
}

// True when the whole text is well-formed UTF-8 (characters above U+FFFF included).
[[nodiscard]] bool is_valid_utf8(std::string_view text);

// Where a UTF-8 text longer than limit bytes is cut so that no character is split: limit,
// moved back to the start of the character that would be split.  Bytes that form no
// character are cut anywhere.
[[nodiscard]] std::size_t utf8_cut_point(std::string_view text, std::size_t limit);

// A text that was cut somewhere, without the start of a character at its end whose
// lead byte asks for more bytes than are left.
[[nodiscard]] std::string_view without_partial_utf8(std::string_view text);

}  // namespace velmora
