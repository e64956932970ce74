#include "text/utf8.hpp"

namespace velmora {

bool is_valid_utf8(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const unsigned char* end = p + text.size();
    while (p < end) {
        p += ascii_prefix(
            std::string_view(reinterpret_cast<const char*>(p), static_cast<std::size_t>(end - p)));
        if (p == end) break;
        utf8_char c = decode_utf8_char(p, end);
        if (!c.valid) return false;
        p += c.length;
    }
    return true;
}

std::size_t utf8_cut_point(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) return text.size();
    std::size_t lead = limit;
    while (lead > 0 && limit - lead < 3 &&
           is_utf8_continuation(static_cast<unsigned char>(text[lead]))) {
        --lead;
    }
    bool splits_a_character =
        lead < limit && (static_cast<unsigned char>(text[lead]) & 0xC0u) == 0xC0u;
    return splits_a_character ? lead : limit;
}

std::string_view without_partial_utf8(std::string_view text) {
    std::size_t lead = text.size();
    for (std::size_t back = 0; back < 4 && lead > 0; ++back) {
        auto byte = static_cast<unsigned char>(text[--lead]);
        if (is_utf8_continuation(byte)) continue;
        std::size_t length = byte >= 0xF0u ? 4 : byte >= 0xE0u ? 3 : byte >= 0xC0u ? 2 : 1;
        return text.size() - lead < length ? text.substr(0, lead) : text;
    }
    return text;
}

}  // namespace velmora
