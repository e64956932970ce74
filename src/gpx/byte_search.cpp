#include "gpx/byte_search.hpp"

#include "text/xml_chars.hpp"

namespace velmora {

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
    // forbidden byte ends this part, the rest is counted byte by byte.  The bytes XML
    // forbids are control characters, below 0x20, other than the allowed ones.
    static_assert(!is_xml_char(0x1F) && is_xml_char(0x20));
    constexpr std::size_t block = 64;
    const __m128i control_top = _mm_set1_epi8(0x1F);
    const __m128i bang = _mm_set1_epi8('!');
    const __m128i question = _mm_set1_epi8('?');
    for (; i + block <= n; i += block) {
        __m128i forbidden = _mm_setzero_si128();
        __m128i marks = _mm_setzero_si128();
        for (std::size_t k = 0; k < block; k += 16) {
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i + k));
            __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(v, control_top), v);
            __m128i allowed = _mm_setzero_si128();
            for (char c : xml_allowed_controls)
                allowed = _mm_or_si128(allowed, _mm_cmpeq_epi8(v, _mm_set1_epi8(c)));
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

}  // namespace velmora
