#include "gpx/xml_text.hpp"

#include <array>
#include <cstdint>
#include <cstring>

#include "gpx/byte_search.hpp"
#include "gpx/xml_markup.hpp"
#include "text/utf8.hpp"
#include "text/xml_chars.hpp"

namespace velmora {

namespace {

constexpr std::size_t npos = std::string_view::npos;

// Where decoded text goes straight into memory that has room for it.
struct byte_cursor {
    char* at;
    void push_back(char c) { *at++ = c; }
    void append(std::string_view bytes) {
        std::memcpy(at, bytes.data(), bytes.size());
        at += bytes.size();
    }
};

// Appends one character in the encoding, "?" when the encoding lacks it.
template <typename Out>
void append_character(Out& out, char32_t cp, const xml_text_encoding& encoding) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (encoding.is_utf8) {
        put_utf8(out, cp);
    } else if (encoding.page != nullptr) {
        std::optional<unsigned char> byte;
        if (cp <= 0xFFFF) byte = encoding.page->encode(static_cast<char16_t>(cp));
        out.push_back(byte ? static_cast<char>(*byte) : '?');
    } else {
        out.push_back(cp <= 0xFF ? static_cast<char>(cp) : '?');
    }
}

int digit_value(char c, bool hex) {
    if (c >= '0' && c <= '9') return c - '0';
    if (!hex) return -1;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The character of the reference "&...;" at text[0]; none when it is not a well-formed
// reference to a character XML allows.  length receives the length of the reference.
std::optional<char32_t> read_reference(std::string_view text, std::size_t& length) {
    struct named {
        std::string_view name;
        char value;
    };
    static constexpr std::array<named, 5> names{
        {{"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}}};
    if (text.size() >= 2 && text[1] != '#') {
        for (const named& n : names) {
            if (text.starts_with(n.name)) {
                length = n.name.size();
                return static_cast<char32_t>(n.value);
            }
        }
        return std::nullopt;
    }
    std::size_t i = 2;
    bool hex = i < text.size() && text[i] == 'x';
    if (hex) ++i;
    std::size_t first_digit = i;
    std::uint32_t cp = 0;
    for (; i < text.size(); ++i) {
        int d = digit_value(text[i], hex);
        if (d < 0) break;
        cp = cp * (hex ? 16u : 10u) + static_cast<std::uint32_t>(d);
        if (cp > 0x10FFFF) return std::nullopt;
    }
    if (i == first_digit || i >= text.size() || text[i] != ';') return std::nullopt;
    if (!is_xml_char(cp)) return std::nullopt;
    length = i + 1;
    return cp;
}

// Appends bytes of character data as they are, or without those XML forbids when the
// encoding says so.
template <typename Out>
[[gnu::always_inline]] inline void append_bytes(Out& out, std::string_view bytes,
                                                const xml_text_encoding& encoding) {
    if (encoding.drop_forbidden) {
        for (char c : bytes) {
            if (!is_forbidden_byte(static_cast<unsigned char>(c))) out.push_back(c);
        }
    } else {
        out.append(bytes);
    }
}

// Appends character data with its references decoded (and forbidden bytes left out
// when the encoding says so).
template <typename Out>
void append_character_data(Out& out, std::string_view text, const xml_text_encoding& encoding) {
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t amp = find_byte(text, '&', i);
        std::size_t next = amp == npos ? text.size() : amp;
        append_bytes(out, text.substr(i, next - i), encoding);
        i = next;
        if (i >= text.size()) break;
        std::size_t length = 0;
        if (text.size() - i >= 5 && std::memcmp(text.data() + i, "&amp;", 5) == 0) {
            out.push_back('&');  // by far the most common one
            i += 5;
        } else if (auto cp = read_reference(text.substr(i), length)) {
            append_character(out, *cp, encoding);
            i += length;
        } else {
            out.push_back('&');
            ++i;
        }
    }
}

bool only_blanks(std::string_view text) {
    for (char c : text) {
        if (!xml_is_blank(c)) return false;
    }
    return true;
}

// The end of the markup at lt inside content that is not plain, after the payload of
// a CDATA section there has gone to out; npos when the markup does not end.
std::size_t take_markup(std::string& out, std::string_view content, std::size_t lt,
                        const xml_text_encoding& encoding) {
    if (content.substr(lt).starts_with(xml_cdata_open)) {
        std::size_t close = content.find(xml_cdata_close, lt + xml_cdata_open.size());
        std::size_t start = lt + xml_cdata_open.size();
        append_bytes(out, content.substr(start, (close == npos ? content.size() : close) - start),
                     encoding);
        return close == npos ? npos : close + xml_cdata_close.size();
    }
    if (lt + 1 < content.size() && (content[lt + 1] == '!' || content[lt + 1] == '?')) {
        return xml_markup_end(content, lt);
    }
    if (content.substr(lt).starts_with("</")) {
        std::size_t gt = find_byte(content, '>', lt);
        return gt == npos ? npos : gt + 1;
    }
    bool closes = false;
    return xml_read_attributes(content, xml_name_end(content, lt + 1), closes,
                               xml_ignore_attribute);
}

// The text of content that holds markup, into out.
void append_mixed_content(std::string& out, std::string_view content,
                          const xml_text_encoding& encoding) {
    bool has_cdata = content.find(xml_cdata_open) != npos;
    std::size_t i = 0;
    while (i < content.size()) {
        std::size_t lt = find_byte(content, '<', i);
        std::string_view data = content.substr(i, (lt == npos ? content.size() : lt) - i);
        if (!has_cdata || !only_blanks(data)) append_character_data(out, data, encoding);
        if (lt == npos) break;
        std::size_t end = take_markup(out, content, lt, encoding);
        if (end == npos) break;
        i = end;
    }
}

}  // namespace

std::string xml_decode_references(std::string_view text, const xml_text_encoding& encoding) {
    std::string out;
    out.reserve(text.size());
    append_character_data(out, text, encoding);
    return out;
}

std::size_t xml_decode_plain(std::string_view content, const xml_text_encoding& encoding,
                             char* out) {
    byte_cursor cursor{out};
    append_character_data(cursor, content, encoding);
    return static_cast<std::size_t>(cursor.at - out);
}

std::optional<std::string_view> xml_content_view(std::string_view content, bool plain,
                                                 const xml_text_encoding& encoding,
                                                 std::string& out) {
    if (content.empty()) return std::nullopt;
    if (plain && !encoding.drop_forbidden && find_byte(content, '&', 0) == npos) {
        return content;
    }
    out.clear();
    out.reserve(content.size());
    if (plain) {
        append_character_data(out, content, encoding);
    } else {
        append_mixed_content(out, content, encoding);
    }
    if (out.empty()) return std::nullopt;
    return std::string_view(out);
}

std::optional<std::string> xml_content_text(std::string_view content, bool plain,
                                            const xml_text_encoding& encoding) {
    std::string scratch;
    std::optional<std::string_view> text = xml_content_view(content, plain, encoding, scratch);
    if (!text) return std::nullopt;
    if (text->data() == scratch.data()) return scratch;
    return std::string(*text);
}

}  // namespace velmora
