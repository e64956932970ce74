#pragma once
// Text encodings of POI sets: the UTF-16 of some GPX files, single-byte code pages, and
// the table that turns an XML encoding name into a code page.  UTF-8 itself is in
// text/utf8.hpp.
//
// Every text ends at its first zero byte, as the strings of the files
// they come from do.  Nothing here touches the process-wide locale: each conversion is
// given its code page.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/code_page.hpp"
#include "text/utf8.hpp"

namespace velmora {

// ---- UTF-16 ---------------------------------------------------------------------

// Decodes UTF-16 bytes (little- or big-endian, without a byte-order mark) into UTF-8;
// surrogate pairs give their character, a lone surrogate or a last odd byte U+FFFD.
[[nodiscard]] std::string utf16_to_utf8_text(std::string_view bytes, bool big_endian);

// ---- code pages ----------------------------------------------------------------------

// A code-page text as UTF-8: its bytes decoded through the code page (or read as U+0000
// to U+00FF without one; a byte the code page leaves undefined gives U+FFFD), control
// characters below 0x20 other than tab, line feed and carriage return as "?".  None
// (after "\nError: Can't allocate string(%i)") when memory runs out.
[[nodiscard]] std::optional<std::string> codepage_text_to_utf8(
    std::string_view text, const std::optional<code_page>& page);

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
