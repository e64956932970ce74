#include "text/json_text.hpp"

#include <algorithm>
#include <optional>

#include "text/encoding.hpp"
#include "text/utf8.hpp"

namespace velmora {

json_texts::json_texts(text_encoding encoding, const json_ascii_forms& ascii)
    : utf8_(encoding.is_utf8) {
    if (utf8_) {
        std::copy_n(ascii.begin() + 1, 127, forms_.begin() + 1);
    } else {
        std::optional<code_page> page;
        if (encoding.page != nullptr) page = *encoding.page;
        const std::array<utf8_form, 256> utf8 = codepage_utf8_forms(page);
        for (unsigned b = 1; b < 256; ++b) {
            const utf8_form& form = utf8[b];
            auto lead = static_cast<unsigned char>(form.bytes[0]);
            if (form.length == 1 && lead < 0x80u) {
                forms_[b] = ascii[lead];
            } else {
                std::copy_n(form.bytes.begin(), form.length, forms_[b].bytes.begin());
                forms_[b].length = form.length;
            }
        }
    }
    for (unsigned b = 1; b < 256; ++b) {
        plain_[b] = forms_[b].length == 1 && static_cast<unsigned char>(forms_[b].bytes[0]) == b;
    }
}

void json_texts::append(std::string& out, std::string_view text) const {
    using namespace std::string_view_literals;
    out += '"';
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        const auto* run = p;
        while (p < end && plain_[*p]) ++p;
        out.append(reinterpret_cast<const char*>(run), static_cast<std::size_t>(p - run));
        if (p == end || *p == 0) break;
        if (utf8_ && *p >= 0x80u) {
            utf8_char c = decode_utf8_char(p, end);
            if (c.valid) {
                out.append(reinterpret_cast<const char*>(p), c.length);
                p += c.length;
            } else {
                out += "\xEF\xBF\xBD"sv;
                ++p;
            }
            continue;
        }
        out.append(forms_[*p].bytes.data(), forms_[*p].length);
        ++p;
    }
    out += '"';
}

}  // namespace velmora
