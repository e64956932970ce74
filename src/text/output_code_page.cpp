#include "text/output_code_page.hpp"

#include <charconv>
#include <cstring>

#include "platform/messages.hpp"
#include "platform/paths.hpp"
#include "text/encoding.hpp"
#include "text/utf8.hpp"

namespace velmora {

namespace {

const unsigned char* bytes_of(std::string_view text) {
    return reinterpret_cast<const unsigned char*>(text.data());
}

constexpr std::string_view replacement_utf8 = "\xEF\xBF\xBD";

}  // namespace

std::optional<output_code_page> output_code_page::create(int number) {
    if (number == utf8_code_page) return output_code_page(number, std::nullopt);
    if (number < 1250 || number > 1258) return std::nullopt;
    auto page = code_page::create(number);
    if (!page) return std::nullopt;
    return output_code_page(number, page);
}

std::optional<code_page_choice> parse_code_page_choice(std::string_view value) {
    if (equals_ignore_case(value, "auto")) return code_page_choice{true, 0};
    if (equals_ignore_case(value, "utf8") || equals_ignore_case(value, "utf-8")) {
        return code_page_choice{false, utf8_code_page};
    }
    int number = 0;
    auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (ec != std::errc() || end != value.data() + value.size()) return std::nullopt;
    if (!output_code_page::create(number)) return std::nullopt;
    return code_page_choice{false, number};
}

text_converter::text_converter(text_encoding from, const output_code_page& to)
    : from_(from), to_(to) {
    if (from_.is_utf8) {
        same_page_ = to_.is_utf8();
        return;
    }
    for (int b = 0; b < 256; ++b) {
        units_[static_cast<std::size_t>(b)] =
            from_.page != nullptr ? from_.page->decode(static_cast<unsigned char>(b))
                                  : static_cast<char32_t>(b);
    }
    if (!to_.page()) return;
    same_page_ = from_.page != nullptr && from_.page->number() == to_.number();
    for (std::size_t b = 0; b < 256; ++b) {
        char32_t unit = units_[b];
        if (unit == replacement_character) {
            byte_map_[b] = -2;
        } else if (auto byte = to_.page()->encode(static_cast<char16_t>(unit))) {
            byte_map_[b] = *byte;
        } else {
            byte_map_[b] = -1;
        }
    }
}

void text_converter::append(std::string_view text, std::string& out) {
    if (same_page_ && !from_.is_utf8) {
        out.append(text);
    } else if (from_.is_utf8) {
        append_utf8_source(text, out);
    } else {
        append_byte_source(text, out);
    }
}

void text_converter::convert(std::string& text) {
    std::size_t ascii = ascii_prefix(text);
    if (ascii == text.size() || (same_page_ && !from_.is_utf8)) return;
    if (never_longer()) {
        text.resize(ascii + convert_in_place(text.data() + ascii, text.size() - ascii));
        return;
    }
    std::string out;
    out.reserve(text.size() + 8);
    out.append(text, 0, ascii);
    append(std::string_view(text).substr(ascii), out);
    text.swap(out);
}

void text_converter::append_utf8_source(std::string_view text, std::string& out) {
    const unsigned char* p = bytes_of(text);
    const unsigned char* end = p + text.size();
    const std::optional<code_page>& page = to_.page();
    while (p < end) {
        std::size_t ascii = ascii_prefix(
            std::string_view(reinterpret_cast<const char*>(p), static_cast<std::size_t>(end - p)));
        out.append(reinterpret_cast<const char*>(p), ascii);
        p += ascii;
        if (p == end) break;
        utf8_char c = decode_utf8_char(p, end);
        if (!page) {
            if (c.valid) {
                out.append(reinterpret_cast<const char*>(p), c.length);
            } else {
                out.append(replacement_utf8);
            }
        } else if (!c.valid || c.code_point == replacement_character) {
            out.push_back('?');
        } else if (auto byte = c.code_point <= 0xFFFFu
                                   ? page->encode(static_cast<char16_t>(c.code_point))
                                   : std::nullopt) {
            out.push_back(static_cast<char>(*byte));
        } else {
            out.push_back('?');
            ++lost_;
        }
        p += c.length;
    }
}

std::size_t text_converter::convert_in_place(char* text, std::size_t size) {
    // Every character read gives one byte, written behind the reading.
    auto* out = reinterpret_cast<unsigned char*>(text);
    const unsigned char* p = out;
    const unsigned char* end = p + size;
    if (same_page_ && !from_.is_utf8) return size;
    if (!from_.is_utf8) {
        for (; p < end; ++p) {
            std::int16_t byte = byte_map_[*p];
            *out++ = byte >= 0 ? static_cast<unsigned char>(byte) : '?';
            if (byte == -1) ++lost_;
        }
        return static_cast<std::size_t>(out - reinterpret_cast<unsigned char*>(text));
    }
    const code_page& page = *to_.page();
    while (p < end) {
        // A run of ASCII goes over a word at a time; the word is read before it is
        // written, so the overlap of reading and writing does no harm.
        while (end - p >= 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, p, 8);
            if ((word & 0x8080808080808080u) != 0) break;
            std::memcpy(out, &word, 8);
            p += 8;
            out += 8;
        }
        if (p == end) break;
        if (*p < 0x80u) {
            *out++ = *p++;
            continue;
        }
        utf8_char c = decode_utf8_char(p, end);
        if (!c.valid || c.code_point == replacement_character) {
            *out++ = '?';
        } else if (auto byte = c.code_point <= 0xFFFFu
                                   ? page.encode(static_cast<char16_t>(c.code_point))
                                   : std::nullopt) {
            *out++ = *byte;
        } else {
            *out++ = '?';
            ++lost_;
        }
        p += c.length;
    }
    return static_cast<std::size_t>(out - reinterpret_cast<unsigned char*>(text));
}

void text_converter::append_byte_source(std::string_view text, std::string& out) {
    const unsigned char* p = bytes_of(text);
    const bool to_utf8 = to_.is_utf8();
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned char b = p[i];
        if (b < 0x80u && units_[b] == b) {
            out.push_back(static_cast<char>(b));
        } else if (to_utf8) {
            append_utf8_code_point(out, units_[b]);
        } else if (byte_map_[b] >= 0) {
            out.push_back(static_cast<char>(byte_map_[b]));
        } else {
            out.push_back('?');
            if (byte_map_[b] == -1) ++lost_;
        }
    }
}

code_page_chooser::code_page_chooser() {
    for (std::size_t i = 0; i < auto_code_pages.size(); ++i) {
        pages_[i] = code_page::create(auto_code_pages[i]);
        if (!pages_[i]) candidates_ &= ~(1u << i);
    }
}

void code_page_chooser::rule_out_missing(char32_t character) {
    if (character == last_checked_ || character == replacement_character) return;
    last_checked_ = character;
    if (character > 0xFFFFu) {
        candidates_ = 0;
        return;
    }
    for (std::size_t i = 0; i < pages_.size(); ++i) {
        if ((candidates_ & (1u << i)) != 0 &&
            !pages_[i]->encode(static_cast<char16_t>(character))) {
            candidates_ &= ~(1u << i);
        }
    }
}

void code_page_chooser::add(std::string_view text, text_encoding from) {
    std::size_t i = ascii_prefix(text);
    const unsigned char* p = bytes_of(text);
    const unsigned char* end = p + text.size();
    p += i;
    while (p < end && candidates_ != 0) {
        if (*p < 0x80u) {
            ++p;
            continue;
        }
        if (from.is_utf8) {
            utf8_char c = decode_utf8_char(p, end);
            if (c.valid) rule_out_missing(c.code_point);
            p += c.length;
        } else {
            rule_out_missing(from.page != nullptr ? from.page->decode(*p) : char32_t{*p});
            ++p;
        }
    }
}

int code_page_chooser::choice() const {
    for (std::size_t i = 0; i < auto_code_pages.size(); ++i) {
        if ((candidates_ & (1u << i)) != 0) return auto_code_pages[i];
    }
    return utf8_code_page;
}

std::string display_text(std::string_view text, text_encoding from, std::size_t limit) {
    if (text.size() > limit) {
        text = text.substr(0, from.is_utf8 ? utf8_cut_point(text, limit) : limit);
    }
    if (!terminal_is_utf8()) return escape_controls(text, false);
    static const output_code_page utf8 = *output_code_page::create(utf8_code_page);
    std::string converted;
    text_converter(from, utf8).append(text, converted);
    return escape_controls(converted, true);
}

}  // namespace velmora
