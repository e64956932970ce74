#include "gpx/xml_scan.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace velmora {

namespace {

constexpr std::string_view cdata_open = "<![CDATA[";
constexpr std::string_view cdata_close = "]]>";
constexpr std::size_t npos = std::string_view::npos;

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The bytes that end a tag or attribute name, as a table: names are walked byte by byte.
constexpr std::array<bool, 256> name_stops = [] {
    std::array<bool, 256> stops{};
    for (char c : std::string_view(" \t\r\n>/=<\"'")) stops[static_cast<unsigned char>(c)] = true;
    return stops;
}();

std::size_t find_char(std::string_view text, char c, std::size_t from) {
    if (from >= text.size()) return npos;
#if defined(__SSE2__)
    // Markup lies a few dozen bytes apart, where a library call costs more than the
    // search: the first 64 bytes are searched here 16 at a time, the rest by memchr.
    const std::size_t near_end = std::min(text.size(), from + 64);
    const __m128i wanted = _mm_set1_epi8(c);
    for (; from + 16 <= near_end; from += 16) {
        __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + from));
        auto hits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, wanted)));
        if (hits != 0) return from + static_cast<std::size_t>(__builtin_ctz(hits));
    }
    if (from >= text.size()) return npos;
#endif
    const void* hit = std::memchr(text.data() + from, c, text.size() - from);
    return hit == nullptr ? npos
                          : static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
}

// The first of two bytes at or after from: its offset, and which one through
// first_is_a; npos when neither is there.  Used where text runs on to one byte and
// another must not come before it.
std::size_t find_either(std::string_view text, char a, char b, std::size_t from, bool& first_is_a) {
    std::size_t n = text.size();
#if defined(__SSE2__)
    const __m128i wanted_a = _mm_set1_epi8(a);
    const __m128i wanted_b = _mm_set1_epi8(b);
    for (; from + 16 <= n; from += 16) {
        __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + from));
        auto hits_a = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, wanted_a)));
        auto hits_b = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, wanted_b)));
        unsigned hits = hits_a | hits_b;
        if (hits != 0) {
            unsigned at = static_cast<unsigned>(__builtin_ctz(hits));
            first_is_a = ((hits_a >> at) & 1u) != 0;
            return from + at;
        }
    }
#endif
    for (; from < n; ++from) {
        if (text[from] == a || text[from] == b) {
            first_is_a = text[from] == a;
            return from;
        }
    }
    return npos;
}

// The first "<" at or after from, and whether an "&" comes before it (added to amp).
std::size_t find_markup_noting_references(std::string_view text, std::size_t from, bool& amp) {
    std::size_t n = text.size();
#if defined(__SSE2__)
    const __m128i lt = _mm_set1_epi8('<');
    const __m128i ampersand = _mm_set1_epi8('&');
    // 32 bytes a step: most texts of a waypoint end within one, so that the loop is
    // left the same way nearly every time.
    for (; from + 32 <= n; from += 32) {
        __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + from));
        __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + from + 16));
        auto hits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(low, lt))) |
                    (static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(high, lt))) << 16);
        auto amps =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(low, ampersand))) |
            (static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(high, ampersand))) << 16);
        if (hits != 0) {
            unsigned at = static_cast<unsigned>(__builtin_ctz(hits));
            if ((amps & ((1u << at) - 1u)) != 0) amp = true;
            return from + at;
        }
        if (amps != 0) amp = true;
    }
    for (; from + 16 <= n; from += 16) {
        __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + from));
        auto hits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, lt)));
        auto amps = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, ampersand)));
        if (hits != 0) {
            unsigned at = static_cast<unsigned>(__builtin_ctz(hits));
            if ((amps & ((1u << at) - 1u)) != 0) amp = true;
            return from + at;
        }
        if (amps != 0) amp = true;
    }
#endif
    for (; from < n; ++from) {
        if (text[from] == '<') return from;
        if (text[from] == '&') amp = true;
    }
    return npos;
}

// Equality of two element names, which are short: a byte loop beats a library call.
bool same_name(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i]) return false;
    }
    return true;
}

std::size_t skip_blanks(std::string_view text, std::size_t p) {
    while (p < text.size() && is_blank(text[p])) ++p;
    return p;
}

std::size_t name_end(std::string_view text, std::size_t p) {
    while (p < text.size() && !name_stops[static_cast<unsigned char>(text[p])]) ++p;
    return p;
}

// The end (just past it) of the markup "<!..." or "<?..." at lt: a comment, a CDATA
// section, a processing instruction or a declaration such as the document type (whose
// internal subset in brackets may hold ">").  npos when it does not end.
std::size_t special_markup_end(std::string_view text, std::size_t lt) {
    std::string_view rest = text.substr(lt);
    auto past = [&](std::string_view closing, std::size_t from) {
        std::size_t at = text.find(closing, from);
        return at == npos ? npos : at + closing.size();
    };
    if (rest.starts_with("<!--")) return past("-->", lt + 4);
    if (rest.starts_with(cdata_open)) return past(cdata_close, lt + cdata_open.size());
    if (rest.starts_with("<?")) return past("?>", lt + 2);
    // "<!DOCTYPE ...>" or another declaration; quoted parts and a bracketed subset may
    // hold ">".
    int brackets = 0;
    for (std::size_t p = lt + 2; p < text.size(); ++p) {
        char c = text[p];
        if (c == '"' || c == '\'') {
            p = find_char(text, c, p + 1);
            if (p == npos) return npos;
        } else if (c == '[') {
            ++brackets;
        } else if (c == ']') {
            if (brackets > 0) --brackets;
        } else if (c == '>' && brackets == 0) {
            return p + 1;
        } else if (c == '<' && brackets > 0 && text.substr(p).starts_with("<!--")) {
            p = text.find("-->", p + 4);
            if (p == npos) return npos;
            p += 2;
        }
    }
    return npos;
}

// Reads the attributes of a start tag from p (just after its name) to its end.  Gives
// the position just past the tag and whether it closes itself; npos when the tag is
// malformed.  Each attribute found is passed to seen(name, value).
template <typename Seen>
std::size_t read_attributes(std::string_view text, std::size_t p, bool& self_closing, Seen&& seen) {
    self_closing = false;
    for (;;) {
        std::size_t start = p;
        p = skip_blanks(text, p);
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
        std::size_t end = name_end(text, p);
        if (end == p) return npos;
        std::string_view name = text.substr(p, end - p);
        p = skip_blanks(text, end);
        if (p >= text.size() || text[p] != '=') return npos;
        p = skip_blanks(text, p + 1);
        if (p >= text.size() || (text[p] != '"' && text[p] != '\'')) return npos;
        // XML allows no "<" in a value: the closing quote must come before any.
        bool quote_first = false;
        std::size_t close = find_either(text, text[p], '<', p + 1, quote_first);
        if (close == npos || !quote_first) return npos;
        std::string_view value = text.substr(p + 1, close - p - 1);
        seen(name, value);
        p = close + 1;
    }
}

// Where decoded text goes straight into memory that has room for it.
struct byte_cursor {
    char* at;
    void push_back(char c) { *at++ = c; }
    void append(std::string_view bytes) {
        std::memcpy(at, bytes.data(), bytes.size());
        at += bytes.size();
    }
};

template <typename Out>
void append_utf8(Out& out, std::uint32_t cp) {
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

// Appends one character in the encoding, "?" when the encoding lacks it.
template <typename Out>
void append_character(Out& out, std::uint32_t cp, const xml_text_encoding& encoding) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (encoding.is_utf8) {
        append_utf8(out, cp);
    } else if (encoding.page != nullptr) {
        std::optional<unsigned char> byte;
        if (cp <= 0xFFFF) byte = encoding.page->encode(static_cast<char16_t>(cp));
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

// Appends character data with its references decoded (and forbidden bytes left out
// when the encoding says so).
template <typename Out>
void append_character_data(Out& out, std::string_view text, const xml_text_encoding& encoding) {
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t amp = find_char(text, '&', i);
        std::size_t next = amp == npos ? text.size() : amp;
        if (encoding.drop_forbidden) {
            for (std::size_t k = i; k < next; ++k) {
                if (!is_forbidden_byte(static_cast<unsigned char>(text[k]))) out.push_back(text[k]);
            }
        } else {
            out.append(text.substr(i, next - i));
        }
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
        if (!is_blank(c)) return false;
    }
    return true;
}

}  // namespace

std::optional<xml_start_tag> xml_read_start_tag(
    std::string_view text, std::size_t lt,
    const std::function<void(std::string_view, std::string_view)>& seen) {
    if (lt >= text.size() || text[lt] != '<') return std::nullopt;
    xml_start_tag tag;
    std::size_t end = name_end(text, lt + 1);
    tag.name = text.substr(lt + 1, end - lt - 1);
    if (tag.name.empty()) return std::nullopt;
    tag.end = read_attributes(text, end, tag.self_closing, seen);
    if (tag.end == npos) return std::nullopt;
    return tag;
}

std::optional<std::size_t> xml_special_markup_end(std::string_view text, std::size_t lt) {
    std::size_t end = special_markup_end(text, lt);
    if (end == npos) return std::nullopt;
    return end;
}

std::optional<xml_inner_element> xml_find_child(std::string_view content, std::string_view name) {
    std::size_t depth = 0;
    std::size_t begin = npos;  // the content of the element found starts here
    bool plain = true;
    for (std::size_t p = content.find('<'); p != npos; p = content.find('<', p)) {
        char c = p + 1 < content.size() ? content[p + 1] : '\0';
        if (c == '!' || c == '?') {
            auto end = xml_special_markup_end(content, p);
            if (!end) return std::nullopt;
            if (begin != npos) plain = false;
            p = *end;
        } else if (c == '/') {
            std::size_t gt = content.find('>', p);
            if (gt == npos || depth == 0) return std::nullopt;
            if (--depth == 0 && begin != npos) {
                return xml_inner_element{content.substr(begin, p - begin), plain};
            }
            p = gt + 1;
        } else {
            auto tag = xml_read_start_tag(content, p, [](std::string_view, std::string_view) {});
            if (!tag) return std::nullopt;
            if (begin != npos) {
                plain = false;
            } else if (depth == 0 && tag->name == name) {
                if (tag->self_closing) return xml_inner_element{};
                begin = tag->end;
            }
            if (!tag->self_closing) ++depth;
            p = tag->end;
        }
    }
    return std::nullopt;
}

std::optional<std::string_view> xml_attribute(std::string_view name, std::string_view tag) {
    if (tag.empty() || tag.front() != '<') return std::nullopt;
    std::size_t p = name_end(tag, 1);
    if (tag.starts_with("<?")) p = name_end(tag, 2);
    std::optional<std::string_view> found;
    bool self_closing = false;
    // A declaration ends in "?>", which the attribute reader sees as a name without
    // value: what stands before it has been seen by then.
    (void)read_attributes(tag, p, self_closing, [&](std::string_view n, std::string_view v) {
        if (!found && n == name) found = v;
    });
    return found;
}

xml_wpt_scanner::xml_wpt_scanner(std::string_view text,
                                 std::span<const std::string_view> child_names, std::size_t from)
    : text_(text),
      child_names_(child_names.first(std::min(child_names.size(), xml_max_children))),
      pos_(std::min(from, text.size())) {
    static_assert(xml_max_children <= 16, "a child's bit in quick_first_");
    for (std::size_t k = 0; k < child_names_.size(); ++k) {
        std::string_view name = child_names_[k];
        if (name.empty() || name.size() >= sizeof(std::uint64_t) || name == "wpt") continue;
        if (std::any_of(name.begin(), name.end(),
                        [](char c) { return name_stops[static_cast<unsigned char>(c)]; })) {
            continue;
        }
        std::array<char, sizeof(std::uint64_t)> bytes{};
        std::array<unsigned char, sizeof(std::uint64_t)> mask{};
        std::copy(name.begin(), name.end(), bytes.begin());
        bytes[name.size()] = '>';
        std::fill_n(mask.begin(), name.size() + 1, 0xFF);
        std::memcpy(&quick_[k].bytes, bytes.data(), bytes.size());
        std::memcpy(&quick_[k].mask, mask.data(), mask.size());
        quick_first_[static_cast<unsigned char>(name.front())] |=
            static_cast<std::uint16_t>(1u << k);
    }
}

int xml_wpt_scanner::quick_child(std::size_t lt, const xml_wpt& wpt) const {
    if (lt + 1 + sizeof(std::uint64_t) > text_.size()) return -1;
    std::uint64_t word = 0;
    std::memcpy(&word, text_.data() + lt + 1, sizeof word);
    for (unsigned bits = quick_first_[static_cast<unsigned char>(text_[lt + 1])]; bits != 0;
         bits &= bits - 1) {
        auto k = static_cast<unsigned>(__builtin_ctz(bits));
        if ((word & quick_[k].mask) == quick_[k].bytes) {
            return wpt.children[k].present ? -1 : static_cast<int>(k);
        }
    }
    return -1;
}

bool xml_wpt_scanner::quick_end(std::size_t lt, std::size_t k) const {
    if (lt + 2 + sizeof(std::uint64_t) > text_.size() || text_[lt + 1] != '/') return false;
    std::uint64_t word = 0;
    std::memcpy(&word, text_.data() + lt + 2, sizeof word);
    return (word & quick_[k].mask) == quick_[k].bytes;
}

void xml_wpt_scanner::mark_malformed(std::size_t at) {
    if (!malformed_) malformed_ = at;
}

std::optional<std::size_t> xml_wpt_scanner::special_end(std::size_t lt) {
    std::size_t end = special_markup_end(text_, lt);
    if (end != npos) return end;
    mark_malformed(lt);
    pos_ = text_.size();
    return std::nullopt;
}

bool xml_wpt_scanner::next(xml_wpt& wpt, std::size_t limit) {
    for (;;) {
        std::size_t lt = find_char(text_, '<', pos_);
        if (lt == npos) {
            pos_ = text_.size();
            return false;
        }
        pos_ = lt;
        if (lt >= limit) return false;
        char c = lt + 1 < text_.size() ? text_[lt + 1] : '\0';
        if (c == '!' || c == '?') {
            auto end = special_end(lt);
            if (!end) return false;
            pos_ = *end;
            continue;
        }
        if (c == '/') {
            // An end tag: a name and blanks before its ">", nothing that could hold a "<".
            std::size_t end = skip_blanks(text_, name_end(text_, lt + 2));
            if (end >= text_.size() || text_[end] != '>') {
                mark_malformed(lt);
                pos_ = lt + 1;
                continue;
            }
            pos_ = end + 1;
            continue;
        }
        std::size_t end = name_end(text_, lt + 1);
        std::string_view name = text_.substr(lt + 1, end - lt - 1);
        if (name == "wpt") {
            if (read_wpt(lt, wpt)) return true;
            continue;
        }
        bool self_closing = false;
        std::size_t tag_end =
            read_attributes(text_, end, self_closing, [](std::string_view, std::string_view) {});
        if (tag_end == npos || name.empty()) {
            mark_malformed(lt);
            pos_ = lt + 1;
            continue;
        }
        if (name == "gpx" && !gpx_tag_) gpx_tag_ = text_.substr(lt, tag_end - lt);
        pos_ = tag_end;
    }
}

std::size_t xml_wpt_scanner::quick_position(std::size_t p, xml_wpt& wpt) const {
    // The value of `name="` at p, up to its closing quote; npos when it isn't there.
    auto value_of = [&](std::string_view name, std::optional<std::string_view>& value) {
        if (text_.size() - p < name.size() ||
            std::memcmp(text_.data() + p, name.data(), name.size()) != 0) {
            return npos;
        }
        bool quote_first = false;
        std::size_t close = find_either(text_, '"', '<', p + name.size(), quote_first);
        if (close == npos || !quote_first) return npos;
        value = text_.substr(p + name.size(), close - p - name.size());
        return close + 1;
    };
    if (p > text_.size()) return npos;
    p = value_of(" lat=\"", wpt.lat);
    if (p != npos) p = value_of(" lon=\"", wpt.lon);
    if (p == npos || p >= text_.size() || text_[p] != '>') {
        wpt.lat.reset();
        wpt.lon.reset();
        return npos;
    }
    return p + 1;
}

bool xml_wpt_scanner::read_wpt(std::size_t lt, xml_wpt& wpt) {
    // Only what tells a child's presence is reset: a child's other fields are set when
    // it is found, and the element is read for every waypoint of the file.
    wpt.begin = lt;
    wpt.end = 0;
    wpt.lat.reset();
    wpt.lon.reset();
    for (xml_child& child : wpt.children) child.present = false;
    bool self_closing = false;
    std::size_t p = quick_position(lt + 4, wpt);
    if (p == npos) {
        p = read_attributes(text_, lt + 4, self_closing,
                            [&](std::string_view name, std::string_view value) {
                                if (name == "lat" && !wpt.lat) wpt.lat = value;
                                if (name == "lon" && !wpt.lon) wpt.lon = value;
                            });
    }
    if (p == npos) {
        mark_malformed(lt);
        pos_ = lt + 1;
        return false;
    }
    if (self_closing) {
        wpt.end = pos_ = p;
        return true;
    }
    open_.clear();
    xml_child* current = nullptr;  // the child being read, while the depth is above 0
    for (;;) {
        std::size_t q = find_char(text_, '<', p);
        if (q == npos) {
            mark_malformed(lt);  // never closed
            pos_ = text_.size();
            return false;
        }
        char c = q + 1 < text_.size() ? text_[q + 1] : '\0';
        if (c == '!' || c == '?') {
            auto end = special_end(q);
            if (!end) return false;
            if (current != nullptr) current->plain = false;
            p = *end;
            continue;
        }
        if (c == '/') {
            if (open_.empty() && q + 6 <= text_.size() &&
                std::memcmp(text_.data() + q + 2, "wpt>", 4) == 0) {
                wpt.end = pos_ = q + 6;
                return true;
            }
            std::size_t end = name_end(text_, q + 2);
            std::string_view name = text_.substr(q + 2, end - q - 2);
            end = skip_blanks(text_, end);
            bool matches = same_name(name, open_.empty() ? std::string_view("wpt") : open_.back());
            if (end >= text_.size() || text_[end] != '>' || !matches) {
                mark_malformed(q);
                pos_ = q + 1;
                return false;
            }
            p = end + 1;
            if (open_.empty()) {
                wpt.end = pos_ = p;
                return true;
            }
            open_.pop_back();
            if (open_.empty() && current != nullptr) {
                current->content_end = q;
                current->element_end = p;
                current = nullptr;
            }
            continue;
        }
        // A start tag.
        int quick = open_.empty() ? quick_child(q, wpt) : -1;
        std::string_view name;
        std::size_t after = npos;
        bool closes = false;
        xml_child* found = nullptr;
        if (quick >= 0) {
            name = child_names_[static_cast<std::size_t>(quick)];
            after = q + 2 + name.size();
            found = &wpt.children[static_cast<std::size_t>(quick)];
        } else {
            std::size_t end = name_end(text_, q + 1);
            name = text_.substr(q + 1, end - q - 1);
            if (same_name(name, "wpt")) {
                // A waypoint never holds another one: this one is broken, the new one is
                // read on its own.
                mark_malformed(q);
                pos_ = q;
                return false;
            }
            if (end < text_.size() && text_[end] == '>') {
                after = end + 1;  // no attributes
            } else {
                after =
                    read_attributes(text_, end, closes, [](std::string_view, std::string_view) {});
            }
            if (after == npos || name.empty()) {
                mark_malformed(q);
                pos_ = q + 1;
                return false;
            }
            if (!open_.empty()) {
                if (current != nullptr) current->plain = false;
                if (!closes) open_.push_back(name);
                p = after;
                continue;
            }
            for (std::size_t k = 0; k < child_names_.size(); ++k) {
                if (!wpt.children[k].present && same_name(name, child_names_[k])) {
                    found = &wpt.children[k];
                    break;
                }
            }
        }
        p = after;
        if (found != nullptr) {
            found->present = true;
            found->plain = true;
            found->references = false;
            found->element_begin = q;
            found->content_begin = found->content_end = found->element_end = after;
        }
        if (closes) continue;
        // Most children hold nothing but character data up to their end tag, written
        // as "</name>": such a child is read in one pass, which also tells whether it
        // holds a reference.  Any other content is read markup by markup.
        bool amp = false;
        std::size_t close = find_markup_noting_references(text_, after, amp);
        std::size_t close_end = close + 3 + name.size();
        bool ends =
            close != npos &&
            ((quick >= 0 && quick_end(close, static_cast<std::size_t>(quick))) ||
             (close_end <= text_.size() && text_[close + 1] == '/' && text_[close_end - 1] == '>' &&
              same_name(text_.substr(close + 2, name.size()), name)));
        if (ends) {
            if (found != nullptr) {
                found->references = amp;
                found->content_end = close;
                found->element_end = close_end;
            }
            p = close_end;
            continue;
        }
        if (found != nullptr) {
            found->references = true;
            current = found;
        }
        open_.push_back(name);
    }
}

bool xml_markup_reaches(std::string_view text, std::size_t from, std::size_t to) {
    to = std::min(to, text.size());
    // "<!" and "<?" are found through their rarer second byte, both in one pass that
    // stops at to.
    std::string_view before = text.substr(0, std::min(text.size(), to + 1));
    std::size_t p = from + 1;
    for (;;) {
        bool bang = false;
        std::size_t second = find_either(before, '!', '?', std::max<std::size_t>(p, 1), bang);
        while (second != npos && text[second - 1] != '<') {
            second = find_either(before, '!', '?', second + 1, bang);
        }
        if (second == npos || second - 1 >= to) return true;
        std::size_t end = special_markup_end(text, second - 1);
        if (end == npos || end > to) return false;
        p = end + 1;
    }
}

std::optional<xml_forbidden_bytes> find_forbidden_bytes(std::string_view text) {
    return survey_xml_text(text).forbidden;
}

xml_text_survey survey_xml_text(std::string_view text) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t n = text.size();
    xml_text_survey survey;
    // "<!" and "<?" are looked for only in blocks that hold a "!" or a "?".
    auto note_specials = [&](std::size_t from, std::size_t to) {
        for (std::size_t k = std::max<std::size_t>(from, 1); k < to; ++k) {
            if ((bytes[k] == '!' || bytes[k] == '?') && bytes[k - 1] == '<')
                survey.last_special = k - 1;
        }
    };
    std::size_t i = 0;
#if defined(__SSE2__)
    // Blocks of 64 bytes are tested 16 at a time without branches; a block that holds a
    // forbidden byte ends this part, the rest is counted byte by byte.
    constexpr std::size_t block = 64;
    const __m128i control_top = _mm_set1_epi8(0x1F);
    const __m128i tab = _mm_set1_epi8('\t');
    const __m128i line_feed = _mm_set1_epi8('\n');
    const __m128i carriage_return = _mm_set1_epi8('\r');
    const __m128i bang = _mm_set1_epi8('!');
    const __m128i question = _mm_set1_epi8('?');
    for (; i + block <= n; i += block) {
        __m128i forbidden = _mm_setzero_si128();
        __m128i marks = _mm_setzero_si128();
        for (std::size_t k = 0; k < block; k += 16) {
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i + k));
            __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(v, control_top), v);
            __m128i allowed =
                _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, tab), _mm_cmpeq_epi8(v, line_feed)),
                             _mm_cmpeq_epi8(v, carriage_return));
            forbidden = _mm_or_si128(forbidden, _mm_andnot_si128(allowed, control));
            marks = _mm_or_si128(
                marks, _mm_or_si128(_mm_cmpeq_epi8(v, bang), _mm_cmpeq_epi8(v, question)));
        }
        if (_mm_movemask_epi8(marks) != 0) note_specials(i, i + block);
        if (_mm_movemask_epi8(forbidden) != 0) break;
    }
#endif
    std::size_t checked = i;
    for (; i < n; ++i) {
        if (!is_forbidden_byte(bytes[i])) continue;
        if (!survey.forbidden) survey.forbidden = xml_forbidden_bytes{i, 0, bytes[i]};
        ++survey.forbidden->count;
    }
    // The specials of the block that held the first forbidden byte were noted already;
    // noting them again changes nothing.
    note_specials(checked, n);
    return survey;
}

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
    if (plain && !encoding.drop_forbidden && find_char(content, '&', 0) == npos) {
        return content;
    }
    out.clear();
    out.reserve(content.size());
    if (plain) {
        append_character_data(out, content, encoding);
    } else {
        bool has_cdata = content.find(cdata_open) != npos;
        std::size_t i = 0;
        while (i < content.size()) {
            std::size_t lt = find_char(content, '<', i);
            std::string_view data = content.substr(i, (lt == npos ? content.size() : lt) - i);
            if (!has_cdata || !only_blanks(data)) append_character_data(out, data, encoding);
            if (lt == npos) break;
            std::size_t end = npos;
            if (content.substr(lt).starts_with(cdata_open)) {
                std::size_t close = content.find(cdata_close, lt + cdata_open.size());
                std::size_t start = lt + cdata_open.size();
                std::string_view payload =
                    content.substr(start, (close == npos ? content.size() : close) - start);
                if (encoding.drop_forbidden) {
                    for (char c : payload) {
                        if (!is_forbidden_byte(static_cast<unsigned char>(c))) out.push_back(c);
                    }
                } else {
                    out.append(payload);
                }
                end = close == npos ? npos : close + cdata_close.size();
            } else if (lt + 1 < content.size() &&
                       (content[lt + 1] == '!' || content[lt + 1] == '?')) {
                end = special_markup_end(content, lt);
            } else if (content.substr(lt).starts_with("</")) {
                std::size_t gt = find_char(content, '>', lt);
                end = gt == npos ? npos : gt + 1;
            } else {
                bool closes = false;
                end = read_attributes(content, name_end(content, lt + 1), closes,
                                      [](std::string_view, std::string_view) {});
            }
            if (end == npos) break;
            i = end;
        }
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
