#include "gpx/xml_markup.hpp"

#include <algorithm>

namespace velmora {

namespace {

constexpr std::size_t npos = std::string_view::npos;

}  // namespace

std::size_t xml_markup_end(std::string_view text, std::size_t lt) {
    std::string_view rest = text.substr(lt);
    auto past = [&](std::string_view closing, std::size_t from) {
        std::size_t at = text.find(closing, from);
        return at == npos ? npos : at + closing.size();
    };
    if (rest.starts_with("<!--")) return past("-->", lt + 4);
    if (rest.starts_with(xml_cdata_open)) return past(xml_cdata_close, lt + xml_cdata_open.size());
    if (rest.starts_with("<?")) return past("?>", lt + 2);
    // "<!DOCTYPE ...>" or another declaration; quoted parts and a bracketed subset may
    // hold ">".
    int brackets = 0;
    for (std::size_t p = lt + 2; p < text.size(); ++p) {
        char c = text[p];
        if (c == '"' || c == '\'') {
            p = find_byte(text, c, p + 1);
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

std::optional<std::size_t> xml_special_markup_end(std::string_view text, std::size_t lt) {
    std::size_t end = xml_markup_end(text, lt);
    if (end == npos) return std::nullopt;
    return end;
}

std::optional<xml_start_tag> xml_read_start_tag(
    std::string_view text, std::size_t lt,
    const std::function<void(std::string_view, std::string_view)>& seen) {
    if (lt >= text.size() || text[lt] != '<') return std::nullopt;
    xml_start_tag tag;
    std::size_t end = xml_name_end(text, lt + 1);
    tag.name = text.substr(lt + 1, end - lt - 1);
    if (tag.name.empty()) return std::nullopt;
    tag.end = xml_read_attributes(text, end, tag.self_closing, seen);
    if (tag.end == npos) return std::nullopt;
    return tag;
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
            auto tag = xml_read_start_tag(content, p, xml_ignore_attribute);
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
    std::size_t p = xml_name_end(tag, 1);
    if (tag.starts_with("<?")) p = xml_name_end(tag, 2);
    std::optional<std::string_view> found;
    bool self_closing = false;
    // A declaration ends in "?>", which the attribute reader sees as a name without
    // value: what stands before it has been seen by then.
    (void)xml_read_attributes(tag, p, self_closing, [&](std::string_view n, std::string_view v) {
        if (!found && n == name) found = v;
    });
    return found;
}

bool xml_markup_reaches(std::string_view text, std::size_t from, std::size_t to) {
    to = std::min(to, text.size());
    // "<!" and "<?" are found through their rarer second byte, both in one pass that
    // stops at to.
    std::string_view before = text.substr(0, std::min(text.size(), to + 1));
    std::size_t p = from + 1;
    for (;;) {
        bool bang = false;
        std::size_t second = find_either_byte(before, '!', '?', std::max<std::size_t>(p, 1), bang);
        while (second != npos && text[second - 1] != '<') {
            second = find_either_byte(before, '!', '?', second + 1, bang);
        }
        if (second == npos || second - 1 >= to) return true;
        std::size_t end = xml_markup_end(text, second - 1);
        if (end == npos || end > to) return false;
        p = end + 1;
    }
}

}  // namespace velmora
