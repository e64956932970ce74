#include "gpx/xml_out.hpp"

#include <array>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>

#include "text/encoding.hpp"
#include "text/xml_chars.hpp"

namespace velmora {

namespace {

// Bytes of a text that go into the document as they are, for each place: the ASCII
// characters that are neither markup there nor control characters.  A '>' in CDATA
// matters only behind "]]", and is looked at by itself.
using byte_set = std::array<bool, 256>;

constexpr byte_set plain_bytes(xml_place place) {
    byte_set plain{};
    for (unsigned c = 0x20; c < 0x80; ++c) plain[c] = true;
    if (place == xml_place::cdata) {
        plain['>'] = false;
    } else {
        plain['&'] = false;
        plain['<'] = false;
        plain[place == xml_place::element ? '>' : '"'] = false;
    }
    return plain;
}

constexpr std::array<byte_set, 3> plain_by_place = {plain_bytes(xml_place::element),
                                                    plain_bytes(xml_place::attribute),
                                                    plain_bytes(xml_place::cdata)};

// Writes one ASCII character of a text (not a zero byte) at out so that the document
// stays well-formed, and returns the end: markup characters are escaped (in element text
// and attribute values) or a "]]>" is split across two CDATA sections (behind_brackets:
// the two characters before it are "]]"); control characters other than tab, line feed
// and carriage return become "?".  At most 13 bytes.
char* put_ascii(char* out, char c, xml_place place, bool behind_brackets) {
    auto put = [out](std::string_view text) {
        std::memcpy(out, text.data(), text.size());
        return out + text.size();
    };
    switch (c) {
        case '&':
            if (place != xml_place::cdata) return put("&amp;");
            break;
        case '<':
            if (place != xml_place::cdata) return put("&lt;");
            break;
        case '>':
            if (place == xml_place::element) return put("&gt;");
            if (place == xml_place::cdata && behind_brackets) return put("]]><![CDATA[>");
            break;
        case '"':
            if (place == xml_place::attribute) return put("&quot;");
            break;
        default:
            if (is_forbidden_byte(static_cast<unsigned char>(c))) c = '?';
            break;
    }
    *out = c;
    return out + 1;
}

// How the texts of one encoding go into the document: UTF-8 texts are checked character by
// character; a code-page text's bytes are looked up in a table of their UTF-8 forms.
// Bytes that are not characters XML allows become "?", and each text ends at its first
// zero byte.
class xml_texts_impl {
  public:
    explicit xml_texts_impl(text_encoding encoding) : utf8_(encoding.is_utf8) {
        if (utf8_) {
            plain_ = plain_by_place;
            return;
        }
        forms_ = codepage_utf8_forms(
            encoding.page != nullptr ? std::optional<code_page>(*encoding.page) : std::nullopt);
        for (unsigned b = 1; b < 256; ++b) {
            utf8_form& form = forms_[b];
            auto lead = static_cast<unsigned char>(form.bytes[0]);
            ascii_[b] = form.length == 1 && lead < 0x80u;
            for (std::size_t place = 0; place < plain_.size(); ++place)
                plain_[place][b] = !ascii_[b] || plain_by_place[place][lead];
            // A character XML does not allow becomes one "?" per byte.
            const auto* p = reinterpret_cast<const unsigned char*>(form.bytes.data());
            if (!ascii_[b] && xml_utf8_char_length(p, p + form.length) != form.length) {
                for (std::uint8_t k = 0; k < form.length; ++k) form.bytes[k] = '?';
            }
        }
    }

    void append(std::string& out, std::string_view text, xml_place place) const {
        if (utf8_) {
            append_as<true>(out, text, place);
        } else {
            append_as<false>(out, text, place);
        }
    }

  private:
    // The text is written a slice at a time into a buffer on the stack, which one
    // character can grow by at most 13 bytes.  The bytes that go out as they are (as
    // their forms, in a code page) take the short way.
    template <bool utf8>
    void append_as(std::string& out, std::string_view text, xml_place place) const {
        constexpr std::size_t slice = 1024;
        char buffer[slice * 13 + 16];
        const auto* start = reinterpret_cast<const unsigned char*>(text.data());
        const auto* p = start;
        const auto* end = start + text.size();
        const byte_set& plain = plain_[static_cast<std::size_t>(place)];
        while (p < end) {
            const auto* slice_end = end - p > static_cast<std::ptrdiff_t>(slice) ? p + slice : end;
            char* w = buffer;
            while (p < slice_end) {
                unsigned char c = *p;
                if (plain[c]) {
                    if constexpr (utf8) {
                        *w++ = static_cast<char>(c);
                    } else {
                        // All three bytes, of which the form's length count.
                        std::memcpy(w, forms_[c].bytes.data(), forms_[c].bytes.size());
                        w += forms_[c].length;
                    }
                    ++p;
                    continue;
                }
                if (c == 0) {
                    out.append(buffer, static_cast<std::size_t>(w - buffer));
                    return;
                }
                if constexpr (utf8) {
                    p += put_utf8_char(w, p, start, end, place);
                } else {
                    w = put_codepage_byte(w, p, start, place);
                    ++p;
                }
            }
            out.append(buffer, static_cast<std::size_t>(w - buffer));
        }
    }

    // Writes the character at p of a UTF-8 text at w, which it moves on; the bytes it
    // took.
    static std::size_t put_utf8_char(char*& w, const unsigned char* p, const unsigned char* start,
                                     const unsigned char* end, xml_place place) {
        if (*p < 0x80u) {
            w = put_ascii(w, static_cast<char>(*p), place,
                          p - start >= 2 && p[-1] == ']' && p[-2] == ']');
            return 1;
        }
        std::size_t n = xml_utf8_char_length(p, end);
        if (n == 0) {
            *w++ = '?';
            return 1;
        }
        std::memcpy(w, p, n);
        w += n;
        return n;
    }

    char* put_codepage_byte(char* w, const unsigned char* p, const unsigned char* start,
                            xml_place place) const {
        const utf8_form& form = forms_[*p];
        if (!ascii_[*p]) {
            std::memcpy(w, form.bytes.data(), form.bytes.size());
            return w + form.length;
        }
        auto is_bracket = [this](unsigned char b) {
            return ascii_[b] && forms_[b].bytes[0] == ']';
        };
        return put_ascii(w, form.bytes[0], place,
                         p - start >= 2 && is_bracket(p[-1]) && is_bracket(p[-2]));
    }

    bool utf8_;
    std::array<utf8_form, 256> forms_{};  // of a code-page set
    byte_set ascii_{};                    // of a code-page set: the byte's form is ASCII
    std::array<byte_set, 3> plain_{};     // by place: bytes that go out as their forms
};

}  // namespace

struct xml_texts::impl : xml_texts_impl {
    using xml_texts_impl::xml_texts_impl;
};

xml_texts::xml_texts(text_encoding encoding) : impl_(std::make_unique<impl>(encoding)) {}
xml_texts::~xml_texts() = default;
xml_texts::xml_texts(xml_texts&&) noexcept = default;

void xml_texts::append(std::string& out, std::string_view text, xml_place place) const {
    impl_->append(out, text, place);
}

void xml_append_int(std::string& out, long long value) {
    char buffer[24];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

long long rounded_speed(double value) {
    double v = std::trunc(value + 0.5);
    if (std::isnan(v)) return 0;
    if (v >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (v <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<long long>(v);
}

}  // namespace velmora
