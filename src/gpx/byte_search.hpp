#pragma once
// Byte searches of the XML readers, tuned for markup that lies a few dozen bytes apart,
// and the one pass that surveys a whole text before it is read.  Inline: the scanner
// calls them for every tag.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <optional>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace velmora {

// The first byte c at or after from; npos when there is none.
[[nodiscard]] inline std::size_t find_byte(std::string_view text, char c, std::size_t from) {
    constexpr std::size_t npos = std::string_view::npos;
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
[[nodiscard]] inline std::size_t find_either_byte(std::string_view text, char a, char b,
                                                  std::size_t from, bool& first_is_a) {
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
    return std::string_view::npos;
}

// The first "<" at or after from, and whether an "&" comes before it (added to amp).
[[nodiscard]] inline std::size_t find_markup_noting_references(std::string_view text,
                                                               std::size_t from, bool& amp) {
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
    return std::string_view::npos;
}

// Bytes that XML forbids in a document (control characters other than tab, line feed
// and carriage return): where the first one is and how many there are.
struct xml_forbidden_bytes {
    std::size_t first;
    std::size_t count;
    unsigned char byte;  // the first one
};
[[nodiscard]] std::optional<xml_forbidden_bytes> find_forbidden_bytes(std::string_view text);

// What one pass over a text tells before it is read: the bytes XML forbids, and where
// the last comment, CDATA section, processing instruction or declaration ("<!" or
// "<?") begins, npos when none does.
struct xml_text_survey {
    std::optional<xml_forbidden_bytes> forbidden;
    std::size_t last_special = std::string_view::npos;
};
[[nodiscard]] xml_text_survey survey_xml_text(std::string_view text);

}  // namespace velmora
