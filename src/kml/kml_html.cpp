#include "kml/kml_html.hpp"

#include <array>
#include <cstdint>

#include "text/encoding.hpp"

namespace velmora {

namespace {

bool is_letter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}
char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool holds_markup(std::string_view text) {
    for (std::size_t at = text.find('<'); at != std::string_view::npos;
         at = text.find('<', at + 1)) {
        if (at + 1 < text.size()) {
            char next = text[at + 1];
            if (is_letter(next) || next == '/' || next == '!') return true;
        }
    }
    return false;
}

struct named_reference {
    std::string_view name;
    char32_t code;
};

constexpr std::array named_references{
    named_reference{"amp", U'&'},         named_reference{"lt", U'<'},
    named_reference{"gt", U'>'},          named_reference{"quot", U'"'},
    named_reference{"apos", U'\''},       named_reference{"nbsp", U' '},
    named_reference{"copy", U'\u00A9'},   named_reference{"reg", U'\u00AE'},
    named_reference{"deg", U'\u00B0'},    named_reference{"euro", U'\u20AC'},
    named_reference{"ndash", U'\u2013'},  named_reference{"mdash", U'\u2014'},
    named_reference{"hellip", U'\u2026'}, named_reference{"laquo", U'\u00AB'},
    named_reference{"raquo", U'\u00BB'},  named_reference{"middot", U'\u00B7'},
    named_reference{"bull", U'\u2022'},   named_reference{"trade", U'\u2122'},
    named_reference{"times", U'\u00D7'},  named_reference{"shy", U'\u00AD'},
};

// The character of a reference at the text's start ("&amp;", "&#233;", "&#xE9;") and
// its length; length 0 when none is there.
struct decoded_reference {
    char32_t code = 0;
    std::size_t length = 0;
};

decoded_reference decode_reference(std::string_view text) {
    std::size_t end = text.substr(0, 13).find(';');
    if (end == std::string_view::npos || end < 2 || end > 12) return {};
    std::string_view body = text.substr(1, end - 1);
    if (body[0] == '#') {
        std::uint32_t value = 0;
        bool hex = body.size() > 1 && (body[1] == 'x' || body[1] == 'X');
        std::string_view digits = body.substr(hex ? 2 : 1);
        if (digits.empty()) return {};
        for (char c : digits) {
            std::uint32_t d;
            if (c >= '0' && c <= '9') {
                d = static_cast<std::uint32_t>(c - '0');
            } else if (hex && lower(c) >= 'a' && lower(c) <= 'f') {
                d = static_cast<std::uint32_t>(lower(c) - 'a' + 10);
            } else {
                return {};
            }
            value = value * (hex ? 16 : 10) + d;
            if (value > 0x10FFFF) return {};
        }
        // No control characters but tab and line end, no surrogates.
        if (value == 0 || (value < 0x20 && value != '\t' && value != '\n') ||
            (value >= 0xD800 && value <= 0xDFFF)) {
            return {};
        }
        return {static_cast<char32_t>(value), end + 1};
    }
    for (const named_reference& ref : named_references) {
        if (ref.name == body) return {ref.code, end + 1};
    }
    return {};
}

// Builds the text line by line: blanks at the ends of lines and blank lines beyond one
// in a row never reach the result.
class text_builder {
  public:
    text_builder(bool collapse_blanks, std::string& out) : out_(out), collapse_(collapse_blanks) {
        out_.clear();
    }

    void add_char(char c) {
        if (c == '\n') {
            line_break();
        } else if (is_blank(c)) {
            if (c == '\r') return;
            pending_blank_ = true;
        } else {
            if (pending_blank_ && !line_empty()) out_ += ' ';
            pending_blank_ = false;
            flush_breaks();
            out_ += c;
        }
    }
    // Characters that are neither blanks nor line ends, as add_char() adds them one by one.
    void add_run(std::string_view run) {
        if (run.empty()) return;
        if (pending_blank_ && !line_empty()) out_ += ' ';
        pending_blank_ = false;
        flush_breaks();
        out_.append(run);
    }
    void add_code(char32_t code) {
        if (code == U' ' || code == U'\t') {
            pending_blank_ = true;
            return;
        }
        if (code == U'\n') {
            line_break();
            return;
        }
        std::string bytes;
        append_utf8_code_point(bytes, code);
        for (char c : bytes) add_char(c);
    }
    // A forced line break (<br>, or a line end of plain text).
    void line_break() {
        pending_blank_ = false;
        if (out_.empty()) return;
        if (breaks_ < 2) ++breaks_;
    }
    // The end or start of a block: a line break unless the line is empty already.
    void block_edge() {
        pending_blank_ = false;
        if (breaks_ == 0 && !out_.empty()) breaks_ = 1;
    }
    [[nodiscard]] bool collapses() const { return collapse_; }

  private:
    [[nodiscard]] bool line_empty() const {
        return out_.empty() || out_.back() == '\n' || breaks_ > 0;
    }
    void flush_breaks() {
        if (out_.empty()) {
            breaks_ = 0;
            return;
        }
        out_.append(static_cast<std::size_t>(breaks_), '\n');
        breaks_ = 0;
    }

    std::string& out_;
    int breaks_ = 0;  // line breaks waiting for the next visible character (at most 2)
    bool pending_blank_ = false;
    bool collapse_;
};

const std::array block_tags{
    std::string_view("p"),      std::string_view("div"),        std::string_view("li"),
    std::string_view("tr"),     std::string_view("table"),      std::string_view("ul"),
    std::string_view("ol"),     std::string_view("h1"),         std::string_view("h2"),
    std::string_view("h3"),     std::string_view("h4"),         std::string_view("h5"),
    std::string_view("h6"),     std::string_view("blockquote"), std::string_view("pre"),
    std::string_view("dt"),     std::string_view("dd"),         std::string_view("dl"),
    std::string_view("hr"),     std::string_view("section"),    std::string_view("article"),
    std::string_view("header"), std::string_view("footer"),     std::string_view("address"),
    std::string_view("center"), std::string_view("tbody"),      std::string_view("thead"),
};

bool is_block(std::string_view name) {
    for (std::string_view tag : block_tags)
        if (tag == name) return true;
    return false;
}

// The end of a tag that starts at `at` (after its ">"), quoted attribute values passed
// over; the text's end when it is not closed.
std::size_t tag_end(std::string_view text, std::size_t at) {
    char quote = 0;
    for (std::size_t i = at + 1; i < text.size(); ++i) {
        char c = text[i];
        if (quote != 0) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            return i + 1;
        }
    }
    return text.size();
}

// Where the text of a script or style element ends: at its end tag, or the text's end.
std::size_t raw_text_end(std::string_view text, std::size_t from, std::string_view name) {
    for (std::size_t at = text.find("</", from); at != std::string_view::npos;
         at = text.find("</", at + 2)) {
        std::string_view rest = text.substr(at + 2);
        if (rest.size() < name.size()) break;
        bool same = true;
        for (std::size_t i = 0; i < name.size(); ++i) same = same && lower(rest[i]) == name[i];
        if (same) return at;
    }
    return text.size();
}

}  // namespace

std::string html_to_text(std::string_view html) {
    std::string text;
    html_to_text(html, text);
    return text;
}

void html_to_text(std::string_view html, std::string& text) {
    text_builder out(holds_markup(html), text);
    std::size_t i = 0;
    while (i < html.size()) {
        std::size_t plain = i;
        while (plain < html.size() && html[plain] != '&' && html[plain] != '<' &&
               !is_blank(html[plain])) {
            ++plain;
        }
        if (plain > i) {
            out.add_run(html.substr(i, plain - i));
            i = plain;
            continue;
        }
        char c = html[i];
        if (c == '&') {
            decoded_reference ref = decode_reference(html.substr(i));
            if (ref.length > 0) {
                out.add_code(ref.code);
                i += ref.length;
                continue;
            }
            out.add_char(c);
            ++i;
            continue;
        }
        if (!out.collapses() || c != '<' || i + 1 >= html.size()) {
            if (out.collapses() && is_blank(c)) c = ' ';
            out.add_char(c);
            ++i;
            continue;
        }
        std::string_view rest = html.substr(i);
        if (rest.starts_with("<!--")) {
            std::size_t end = html.find("-->", i + 4);
            i = end == std::string_view::npos ? html.size() : end + 3;
            continue;
        }
        if (rest.starts_with("<![CDATA[")) {
            std::size_t end = html.find("]]>", i + 9);
            std::size_t stop = end == std::string_view::npos ? html.size() : end;
            for (char d : html.substr(i + 9, stop - (i + 9))) out.add_char(is_blank(d) ? ' ' : d);
            i = end == std::string_view::npos ? html.size() : end + 3;
            continue;
        }
        char next = html[i + 1];
        if (!is_letter(next) && next != '/' && next != '!' && next != '?') {
            out.add_char(c);
            ++i;
            continue;
        }
        std::size_t end = tag_end(html, i);
        bool closing = next == '/';
        std::size_t name_from = i + (closing ? 2 : 1);
        std::string name;
        for (std::size_t k = name_from;
             k < end && (is_letter(html[k]) || (html[k] >= '0' && html[k] <= '9')); ++k) {
            name += lower(html[k]);
        }
        i = end;
        if (name == "br") {
            // "</br>" ends a <br> written as an XML element; it breaks no line again.
            if (!closing) out.line_break();
        } else if (is_block(name)) {
            out.block_edge();
        } else if (!closing && (name == "script" || name == "style")) {
            std::size_t stop = raw_text_end(html, i, name);
            i = stop < html.size() ? tag_end(html, stop) : stop;
        }
    }
}

}  // namespace velmora
