#include "gpx/xml_scan.hpp"

#include <array>
#include <cstdint>

#include "platform/paths.hpp"

namespace velmora {

namespace {

constexpr std::string_view cdata_open = "<![CDATA[";
constexpr std::string_view cdata_close = "]]>";

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// True when the tag name at pos (just after "<" or "</") is exactly name, that is,
// followed by one of the given delimiters.
bool name_at(std::string_view text, std::size_t pos, std::string_view name,
             std::string_view delimiters) {
    if (text.size() - pos <= name.size()) return false;  // a delimiter must follow
    if (text.compare(pos, name.size(), name) != 0) return false;
    return delimiters.find(text[pos + name.size()]) != std::string_view::npos;
}

constexpr std::string_view start_tag_end = std::string_view(" \t\r\n>/", 6);
constexpr std::string_view end_tag_end = std::string_view(" \t\r\n>", 5);

// Position of the first "<name" (a whole name) at or after from.
std::size_t find_start_tag(std::string_view text, std::string_view name, std::size_t from) {
    for (std::size_t p = text.find('<', from); p != std::string_view::npos;
         p = text.find('<', p + 1)) {
        if (name_at(text, p + 1, name, start_tag_end)) return p;
    }
    return std::string_view::npos;
}

// Position of the first "</name" (a whole name) at or after from.
std::size_t find_end_tag(std::string_view text, std::string_view name, std::size_t from) {
    for (std::size_t p = text.find("</", from); p != std::string_view::npos;
         p = text.find("</", p + 1)) {
        if (name_at(text, p + 2, name, end_tag_end)) return p;
    }
    return std::string_view::npos;
}

// Position of the exact closing tag "</name>" at or after from.
std::size_t find_closing_tag(std::string_view text, std::string_view name, std::size_t from) {
    for (std::size_t p = text.find("</", from); p != std::string_view::npos;
         p = text.find("</", p + 1)) {
        if (name_at(text, p + 2, name, ">")) return p;
    }
    return std::string_view::npos;
}

void append_utf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// Appends one character in the set's encoding, "?" when the encoding lacks it.
void append_character(std::string& out, std::uint32_t cp, const poiset& set) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (set.is_utf8) {
        append_utf8(out, cp);
    } else if (set.codepage) {
        std::optional<unsigned char> byte;
        if (cp <= 0xFFFF) byte = set.codepage->encode(static_cast<char16_t>(cp));
        out.push_back(byte ? static_cast<char>(*byte) : '?');
    } else {
        out.push_back(cp <= 0xFF ? static_cast<char>(cp) : '?');
    }
}

bool is_xml_char(std::uint32_t cp) {
    if (cp < 0x20) return cp == 0x09 || cp == 0x0A || cp == 0x0D;
    if (cp >= 0xD800 && cp <= 0xDFFF) return false;
    if (cp == 0xFFFE || cp == 0xFFFF) return false;
    return cp <= 0x10FFFF;
}

int digit_value(char c, bool hex) {
    if (c >= '0' && c <= '9') return c - '0';
    if (!hex) return -1;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The character of the reference "&...;" at text[0]; none when it is not a well-formed
// reference to a character.  length receives the length of the reference.
std::optional<std::uint32_t> read_reference(std::string_view text, std::size_t& length) {
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
                return static_cast<std::uint32_t>(n.value);
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

}  // namespace

std::optional<std::size_t> xml_quoted_value_end(std::string_view text, std::size_t pos,
                                                char quote) {
    // An empty value ends at once: the quote at pos closes it.
    while (pos < text.size()) {
        std::size_t q = text.find(quote, pos);
        if (q == std::string_view::npos) return std::nullopt;
        pos = q + 1;
        if (pos >= text.size() || text[pos] != quote) return pos;
        ++pos;  // two quotes in a row stand for one quote inside the value
    }
    return pos;
}

std::optional<std::string_view> xml_attribute(std::string_view name, std::string_view text) {
    std::size_t tag_end = text.find('>');
    if (tag_end == std::string_view::npos || name.empty()) return std::nullopt;
    for (std::size_t at = text.find(name); at != std::string_view::npos && at < tag_end;
         at = text.find(name, at + 1)) {
        std::size_t eq = at + name.size();
        if (at == 0 || !is_blank(text[at - 1]) || eq >= text.size() || text[eq] != '=') continue;
        std::size_t start = eq + 2;
        if (start > tag_end) return std::nullopt;
        char quote = text[eq + 1] == '\'' ? '\'' : '"';
        auto end = xml_quoted_value_end(text, start, quote);
        if (!end || *end <= start) return std::nullopt;
        return text.substr(start, *end - start - 1);
    }
    return std::nullopt;
}

std::optional<std::string_view> xml_element_at(std::string_view name, std::string_view text,
                                               std::size_t start) {
    std::size_t end = 0;
    std::size_t gt = text.find('>', start + 1);
    if (gt != std::string_view::npos && text[gt - 1] == '/') {
        end = gt + 1;
    } else {
        std::size_t close = find_closing_tag(text, name, start + 1);
        if (close == std::string_view::npos) return std::nullopt;
        end = close + name.size() + 3;
    }
    return text.substr(start, end - start);
}

std::optional<std::string_view> xml_next_element(std::string_view name, std::string_view text,
                                                 std::size_t& cursor) {
    if (name.empty() || cursor > text.size()) return std::nullopt;
    std::size_t start = find_start_tag(text, name, cursor);
    if (start == std::string_view::npos) return std::nullopt;
    auto element = xml_element_at(name, text, start);
    if (element) cursor = start + element->size();
    return element;
}

std::optional<std::string_view> xml_element_text(std::optional<std::string_view> element,
                                                 std::optional<std::string_view> fallback) {
    if (!element) return std::nullopt;
    std::string_view e = *element;
    std::size_t lt = e.find('<');
    if (lt == std::string_view::npos || lt + 1 >= e.size()) return std::nullopt;
    std::size_t name_end = e.find_first_of(std::string_view(" \t\r\n>/\0", 7), lt + 1);
    if (name_end == std::string_view::npos) return std::nullopt;
    std::string_view name = e.substr(lt + 1, name_end - lt - 1);
    std::size_t gt = e.find('>', lt + 1);
    if (gt == std::string_view::npos || e[gt - 1] == '/') return std::nullopt;
    std::size_t text_start = gt + 1;
    std::size_t close = find_end_tag(e, name, text_start);
    if (close == std::string_view::npos) return std::nullopt;
    if (close == text_start) return fallback;
    return e.substr(text_start, close - text_start);
}

std::optional<std::string> cdata_unwrap(std::string_view text) {
    std::size_t open = text.find(cdata_open);
    if (open == std::string_view::npos) return std::string(text);
    std::string payload;
    bool complete = false;
    while (open != std::string_view::npos) {
        std::size_t start = open + cdata_open.size();
        std::size_t close = text.find(cdata_close, start);
        if (close == std::string_view::npos) break;
        payload.append(text.substr(start, close - start));
        complete = true;
        open = text.find(cdata_open, close + cdata_close.size());
    }
    if (!complete) return std::string(text);
    if (payload.empty()) return std::nullopt;
    return payload;
}

std::string xml_decode_references(std::string_view text, const poiset& set) {
    if (text.find('&') == std::string_view::npos) return std::string(text);
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t next = text.find_first_of("&<", i);
        if (next == std::string_view::npos) next = text.size();
        out.append(text.substr(i, next - i));
        i = next;
        if (i >= text.size()) break;
        if (text[i] == '<') {
            std::size_t end = i + 1;
            if (text.substr(i).starts_with(cdata_open)) {
                std::size_t close = text.find(cdata_close, i + cdata_open.size());
                end = close == std::string_view::npos ? text.size() : close + cdata_close.size();
            }
            out.append(text.substr(i, end - i));
            i = end;
            continue;
        }
        std::size_t length = 0;
        if (auto cp = read_reference(text.substr(i), length)) {
            append_character(out, *cp, set);
            i += length;
        } else {
            out.push_back('&');
            ++i;
        }
    }
    return out;
}

std::optional<std::string> xml_text_value(std::string_view text, const poiset& set) {
    std::size_t open = text.find(cdata_open);
    if (open != std::string_view::npos &&
        text.find(cdata_close, open + cdata_open.size()) != std::string_view::npos) {
        return cdata_unwrap(text);
    }
    return xml_decode_references(text, set);
}

field_list geocache_type_table_build() {
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 7> pairs{{
        {"Final Location", "Waypoint"},
        {"Geocache", "Geocache"},
        {"Parking Area", "Parking Area"},
        {"Question to Answer", "Puzzle Cache"},
        {"Reference Point", "Waypoint"},
        {"Stages of a Multicache", "Multi-Cache"},
        {"Trailhead", "Trail Head"},
    }};
    field_list table;
    for (const auto& [type, symbol] : pairs) field_list_append(table, type, symbol);
    return table;
}

std::optional<std::string> geocache_symbol(std::optional<std::string> current,
                                           const field_list& table,
                                           std::optional<std::string_view> type,
                                           std::optional<std::string_view> comment) {
    if (!type) return current;
    int index = field_list_find(table, *type);
    std::string symbol;
    if (index >= 0 && table.values[static_cast<std::size_t>(index)]) {
        symbol = *table.values[static_cast<std::size_t>(index)];
    } else {
        symbol = std::string(*type);
    }
    if (comment && equals_ignore_case(symbol, "geocache")) {
        char first = comment->empty() ? '\0' : comment->front();
        if (first == 'L') {
            symbol = "Multi-Cache";
        } else if (first == 'M') {
            symbol = "Letterbox Cache";
        } else if (first != 'T') {
            symbol = "Puzzle Cache";
        }
    }
    return symbol;
}

}  // namespace velmora
