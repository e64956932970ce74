#pragma once
// Text encodings of POI sets: UTF-8 (and the UTF-16 of some GPX files), single-byte code
// pages, and the table that turns an XML encoding name into a code page.
//
// Every text ends at its first zero byte, as the strings of the files
// they come from do.  Nothing here touches the process-wide locale: each conversion is
// given its code page.
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "platform/code_page.hpp"

namespace velmora {

// ---- UTF-8 --------------------------------------------------------------------------

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

// Decodes the character at p; p lies before end.
[[nodiscard]] utf8_char decode_utf8_char(const unsigned char* p, const unsigned char* end);

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

// Appends the UTF-8 form of a code point.
void append_utf8_code_point(std::string& out, char32_t c);

// Decodes UTF-16 bytes (little- or big-endian, without a byte-order mark) into UTF-8;
// surrogate pairs give their character, a lone surrogate or a last odd byte U+FFFD.
[[nodiscard]] std::string utf16_to_utf8_text(std::string_view bytes, bool big_endian);

// ---- code pages ----------------------------------------------------------------------

// A code-page text as UTF-8: its bytes decoded through the code page (or read as U+0000
// to U+00FF without one; a byte the code page leaves undefined gives U+FFFD), control
// characters below 0x20 other than tab, line feed and carriage return as "?".  None
// (after "\nError: Can't allocate string(%i)") when memory runs out.
[[nodiscard]] std::optional<std::string> codepage_text_to_utf8(std::string_view text,
                                                               const std::optional<code_page>& page);

// The UTF-8 form that codepage_text_to_utf8 gives one byte of a code-page text (a
// single-byte code page's characters take at most three bytes).
struct utf8_form {
    std::array<char, 3> bytes;
    std::uint8_t length;

    [[nodiscard]] std::string_view view() const { return {bytes.data(), length}; }
};

// The forms of all 256 bytes through the code page (or without one), so that a long
// text is converted by looking each byte up.  Byte 0 ends a text and has no form.
[[nodiscard]] std::array<utf8_form, 256> codepage_utf8_forms(const std::optional<code_page>& page);

// ---- encoding names ------------------------------------------------------------------

struct code_page_row {
    std::string_view name;         // squeezed encoding name, lower case
    std::string_view number;       // code page number as text
    std::string_view description;  // for the reader of the table only
};

inline constexpr std::array<code_page_row, 30> code_page_table{{
    {"iso88591", "28591", "Latin 1"},    {"iso88592", "28592", "Latin 2"},
    {"iso88593", "28593", "Latin 3"},    {"iso88594", "28594", "Baltic"},
    {"iso88595", "28595", "Cyrillic"},   {"iso88596", "28596", "Arabic"},
    {"iso88598", "28598", "Hebrew"},     {"iso88599", "28599", "Turkish"},
    {"iso885915", "28605", "Latin 9"},   {"windows1250", "1250", "Central Europe"},
    {"windows1251", "1251", "Cyrillic"}, {"windows1252", "1252", "Latin I"},
    {"windows1253", "1253", "Greek"},    {"windows1254", "1254", "Turkish"},
    {"windows1255", "1255", "Hebrew"},   {"windows1256", "1256", "Arabic"},
    {"windows1257", "1257", "Baltic"},   {"windows1258", "1258", "Vietnam"},
    {"windows874", "874", "Thai"},       {"oem437", "437", "US"},
    {"oem720", "720", "Arabic"},         {"oem737", "737", "Greek"},
    {"oem775", "775", "Baltic"},         {"oem850", "850", "Multilingual Latin"},
    {"oem852", "852", "Latin II"},       {"oem855", "855", "Cyrillic"},
    {"oem857", "857", "Turkish"},        {"oem858", "858", "Multilingual Latin I + Euro"},
    {"oem862", "862", "Hebrew"},         {"oem866", "866", "Russian"},
}};

// The name without any "-", " ", ",", ".", "_", "'" or double quote.
[[nodiscard]] std::string squeeze_encoding_name(std::string_view name);

// The locale name ("." and the code page number) of an encoding name found in
// code_page_table, as written or squeezed, without regard to ASCII case; none when no
// row matches.
[[nodiscard]] std::optional<std::string> code_page_locale_name(std::string_view name);

}  // namespace velmora
