#pragma once
// The markup of XML text, read forward without building a tree: names, start tags and
// their attributes, end tags, and the comments, CDATA sections, processing instructions
// and declarations that the readers step over.  Attribute values may have blanks
// around "=" and either quote.  Namespace prefixes are not understood.
#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string_view>

#include "gpx/byte_search.hpp"

namespace velmora {

inline constexpr std::string_view xml_cdata_open = "<![CDATA[";
inline constexpr std::string_view xml_cdata_close = "]]>";

[[nodiscard]] constexpr bool xml_is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The bytes that end a tag or attribute name, as a table: names are walked byte by byte.
inline constexpr std::array<bool, 256> xml_name_stops = [] {
    std::array<bool, 256> stops{};
    for (char c : std::string_view(" \t\r\n>/=<\"'")) stops[static_cast<unsigned char>(c)] = true;
    return stops;
}();

[[nodiscard]] inline std::size_t xml_skip_blanks(std::string_view text, std::size_t p) {
    while (p < text.size() && xml_is_blank(text[p])) ++p;
    return p;
}

// The end of the name that begins at p.
[[nodiscard]] inline std::size_t xml_name_end(std::string_view text, std::size_t p) {
    while (p < text.size() && !xml_name_stops[static_cast<unsigned char>(text[p])]) ++p;
    return p;
}

// Equality of two element names, which are short: a byte loop beats a library call.
[[nodiscard]] inline bool xml_same_name(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i]) return false;
    }
    return true;
}

// Reads the attributes of a start tag from p (just after its name) to its end.  Gives
// the position just past the tag and whether it closes itself; npos when the tag is
// malformed.  Each attribute found is passed to seen(name, raw value).
template <typename Seen>
std::size_t xml_read_attributes(std::string_view text, std::size_t p, bool& self_closing,
                                Seen&& seen) {
    constexpr std::size_t npos = std::string_view::npos;
    self_closing = false;
    for (;;) {
        std::size_t start = p;
        p = xml_skip_blanks(text, p);
        if (p >= text.size()) return npos;
        char c = text[p];
        if (c == '>') return p + 1;
        if (c == '/') {
            if (p + 1 < text.size() && text[p + 1] == '>') {
                self_closing = true;
                return p + 2;
            }
            return npos;
        }
        if (p == start) return npos;  // attributes are separated by blanks
        std::size_t end = xml_name_end(text, p);
        if (end == p) return npos;
        std::string_view name = text.substr(p, end - p);
        p = xml_skip_blanks(text, end);
        if (p >= text.size() || text[p] != '=') return npos;
        p = xml_skip_blanks(text, p + 1);
        if (p >= text.size() || (text[p] != '"' && text[p] != '\'')) return npos;
        // XML allows no "<" in a value: the closing quote must come before any.
        bool quote_first = false;
        std::size_t close = find_either_byte(text, text[p], '<', p + 1, quote_first);
        if (close == npos || !quote_first) return npos;
        std::string_view value = text.substr(p + 1, close - p - 1);
        seen(name, value);
        p = close + 1;
    }
}

// The attributes of a start tag when only its end matters.
inline constexpr auto xml_ignore_attribute = [](std::string_view, std::string_view) {};

// The end (just past it) of the markup "<!..." or "<?..." at lt: a comment, a CDATA
// section, a processing instruction or a declaration such as the document type (whose
// internal subset in brackets may hold ">").  npos when it does not end.
[[nodiscard]] std::size_t xml_markup_end(std::string_view text, std::size_t lt);

// The same, none when it never ends.
[[nodiscard]] std::optional<std::size_t> xml_special_markup_end(std::string_view text,
                                                                std::size_t lt);

// The raw value of the attribute name of the start tag at the front of tag; none when
// the tag has no such attribute or is malformed before it.  References are not decoded.
[[nodiscard]] std::optional<std::string_view> xml_attribute(std::string_view name,
                                                            std::string_view tag);

// A start tag read from its "<": its name, where it ends (just past its ">") and
// whether it closes itself.
struct xml_start_tag {
    std::string_view name;
    std::size_t end = 0;
    bool self_closing = false;
};

// Reads the start tag whose "<" is at lt in text, passing each attribute (name, raw
// value) to seen; none when the tag is malformed.
[[nodiscard]] std::optional<xml_start_tag> xml_read_start_tag(
    std::string_view text, std::size_t lt,
    const std::function<void(std::string_view, std::string_view)>& seen);

// An element found inside another one's content.
struct xml_inner_element {
    std::string_view content;
    bool plain = true;  // its content holds no markup
};

// The first element of that name (compared byte for byte) directly inside an element's
// content; none when there is none, or when the markup before its end is malformed.
[[nodiscard]] std::optional<xml_inner_element> xml_find_child(std::string_view content,
                                                              std::string_view name);

// True when a scan, standing at a markup boundary at from, comes to the "<" at to as
// the start of markup: no comment, CDATA section, processing instruction or declaration
// that begins between the two runs over it.  (Tags can't: they hold no "<".)  Only such
// markup is walked, so this is much quicker than a scan of the tags.
[[nodiscard]] bool xml_markup_reaches(std::string_view text, std::size_t from, std::size_t to);

}  // namespace velmora
