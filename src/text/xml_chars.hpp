#pragma once
// Which characters XML allows in a document, the one list of the program: tab, line
// feed and carriage return, and from U+0020 on every character but the surrogates,
// U+FFFE and U+FFFF.  Readers leave out or report what it forbids; writers put "?" in
// its place.
#include <array>
#include <cstddef>

#include "text/utf8.hpp"

namespace velmora {

// The control characters (below U+0020) that XML allows.
inline constexpr std::array<char, 3> xml_allowed_controls{'\t', '\n', '\r'};

// True for a code point that XML allows.
[[nodiscard]] constexpr bool is_xml_char(char32_t c) {
    if (c < 0x20u) {
        for (char allowed : xml_allowed_controls) {
            if (c == static_cast<char32_t>(allowed)) return true;
        }
        return false;
    }
    if (c >= 0xD800u && c <= 0xDFFFu) return false;
    if (c == 0xFFFEu || c == 0xFFFFu) return false;
    return c <= 0x10FFFFu;
}

// True for a byte that XML forbids wherever it stands for itself (in UTF-8 and in the
// code pages alike): a control character that is not allowed.
[[nodiscard]] constexpr bool is_forbidden_byte(unsigned char c) {
    return !is_xml_char(c);
}

// The length of the well-formed UTF-8 character at p (before end) when it is one that
// XML allows; 0 otherwise.
[[nodiscard]] inline std::size_t xml_utf8_char_length(const unsigned char* p,
                                                      const unsigned char* end) {
    utf8_char c = decode_utf8_char(p, end);
    return c.valid && is_xml_char(c.code_point) ? c.length : 0;
}

}  // namespace velmora
