#include "text/encoding.hpp"

#include <cstdint>
#include <cstring>
#include <new>

#include "platform/messages.hpp"
#include "platform/paths.hpp"
#include "text/xml_chars.hpp"

namespace velmora {

namespace {

// The text up to, not including, its first zero byte.
std::string_view until_terminator(std::string_view text) {
    const void* zero = std::memchr(text.data(), 0, text.size());
    if (zero == nullptr) return text;
    return text.substr(0, static_cast<std::size_t>(static_cast<const char*>(zero) - text.data()));
}

const unsigned char* bytes_of(std::string_view text) {
    return reinterpret_cast<const unsigned char*>(text.data());
}

// Appends the UTF-8 form of one unit; a character XML does not allow (of a code page:
// a control character other than tab, line feed and carriage return) becomes "?".
void append_utf8(std::string& out, char16_t u) {
    if (!is_xml_char(u)) u = u'?';
    append_utf8_code_point(out, u);
}

char16_t decode_byte(unsigned char byte, const std::optional<code_page>& page) {
    return page ? page->decode(byte) : static_cast<char16_t>(byte);
}

bool is_squeezed_out(char c) {
    return c == '-' || c == ' ' || c == ',' || c == '.' || c == '_' || c == '\'' || c == '"';
}

}  // namespace

std::string utf16_to_utf8_text(std::string_view bytes, bool big_endian) {
    const unsigned char* p = bytes_of(bytes);
    std::size_t units = bytes.size() / 2;
    auto unit_at = [&](std::size_t i) -> char32_t {
        unsigned char first = p[2 * i];
        unsigned char second = p[2 * i + 1];
        return big_endian ? (char32_t{first} << 8) | second : (char32_t{second} << 8) | first;
    };
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < units; ++i) {
        char32_t u = unit_at(i);
        if (u >= 0xD800u && u <= 0xDBFFu && i + 1 < units) {
            char32_t low = unit_at(i + 1);
            if (low >= 0xDC00u && low <= 0xDFFFu) {
                append_utf8_code_point(out, 0x10000u + ((u - 0xD800u) << 10) + (low - 0xDC00u));
                ++i;
                continue;
            }
        }
        if (u >= 0xD800u && u <= 0xDFFFu) u = replacement_character;
        append_utf8_code_point(out, u);
    }
    if (bytes.size() % 2 != 0) append_utf8_code_point(out, replacement_character);
    return out;
}

std::array<utf8_form, 256> codepage_utf8_forms(const std::optional<code_page>& page) {
    std::array<utf8_form, 256> forms{};
    std::string bytes;
    for (unsigned b = 1; b < 256; ++b) {
        bytes.clear();
        append_utf8(bytes, decode_byte(static_cast<unsigned char>(b), page));
        utf8_form& form = forms[b];
        form.length = static_cast<std::uint8_t>(bytes.size());
        std::memcpy(form.bytes.data(), bytes.data(), bytes.size());
    }
    return forms;
}

std::optional<std::string> codepage_text_to_utf8(std::string_view text,
                                                 const std::optional<code_page>& page) {
    text = until_terminator(text);
    const std::array<utf8_form, 256> forms = codepage_utf8_forms(page);
    const unsigned char* p = bytes_of(text);
    std::size_t length = 0;
    for (std::size_t i = 0; i < text.size(); ++i) length += forms[p[i]].length;
    std::string out;
    try {
        out.reserve(length);
    } catch (const std::bad_alloc&) {
        report("\nError: Can't allocate string(%zu)", length + 1);
        return std::nullopt;
    }
    for (std::size_t i = 0; i < text.size(); ++i) out += forms[p[i]].view();
    return out;
}

std::string squeeze_encoding_name(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    for (char c : name) {
        if (!is_squeezed_out(c)) out.push_back(c);
    }
    return out;
}

std::optional<std::string> code_page_locale_name(std::string_view name) {
    std::string squeezed = squeeze_encoding_name(name);
    for (const code_page_row& row : code_page_table) {
        if (equals_ignore_case(row.name, name) || equals_ignore_case(row.name, squeezed)) {
            // Appended piece by piece: "." + std::string(...) sets off a false
            // -Wrestrict warning of GCC 12 in optimised builds.
            std::string locale_name(1, '.');
            locale_name.append(row.number);
            return locale_name;
        }
    }
    return std::nullopt;
}

}  // namespace velmora
