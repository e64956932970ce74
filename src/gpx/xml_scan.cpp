#include "gpx/xml_scan.hpp"

#include <algorithm>
#include <cstring>

#include "gpx/byte_search.hpp"
#include "gpx/xml_markup.hpp"

namespace velmora {

namespace {

constexpr std::size_t npos = std::string_view::npos;

}  // namespace

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
                        [](char c) { return xml_name_stops[static_cast<unsigned char>(c)]; })) {
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
    std::size_t end = xml_markup_end(text_, lt);
    if (end != npos) return end;
    mark_malformed(lt);
    pos_ = text_.size();
    return std::nullopt;
}

bool xml_wpt_scanner::next(xml_wpt& wpt, std::size_t limit) {
    for (;;) {
        std::size_t lt = find_byte(text_, '<', pos_);
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
            std::size_t end = xml_skip_blanks(text_, xml_name_end(text_, lt + 2));
            if (end >= text_.size() || text_[end] != '>') {
                mark_malformed(lt);
                pos_ = lt + 1;
                continue;
            }
            pos_ = end + 1;
            continue;
        }
        std::size_t end = xml_name_end(text_, lt + 1);
        std::string_view name = text_.substr(lt + 1, end - lt - 1);
        if (name == "wpt") {
            if (read_wpt(lt, wpt)) return true;
            continue;
        }
        bool self_closing = false;
        std::size_t tag_end = xml_read_attributes(text_, end, self_closing, xml_ignore_attribute);
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
        std::size_t close = find_either_byte(text_, '"', '<', p + name.size(), quote_first);
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
    bool self_closing = false;
    std::size_t p = read_wpt_start(lt, wpt, self_closing);
    if (p == npos) return false;
    if (self_closing) {
        wpt.end = pos_ = p;
        return true;
    }
    open_.clear();
    wpt_walk walk{p, nullptr};
    for (;;) {
        std::size_t q = find_byte(text_, '<', walk.p);
        if (q == npos) {
            mark_malformed(lt);  // never closed
            pos_ = text_.size();
            return false;
        }
        char c = q + 1 < text_.size() ? text_[q + 1] : '\0';
        wpt_step step = c == '!' || c == '?' ? wpt_special(q, walk)
                        : c == '/'           ? wpt_end_tag(q, wpt, walk)
                                             : wpt_start_tag(q, wpt, walk);
        if (step != wpt_step::go_on) return step == wpt_step::complete;
    }
}

inline std::size_t xml_wpt_scanner::read_wpt_start(std::size_t lt, xml_wpt& wpt,
                                                   bool& self_closing) {
    // Only what tells a child's presence is reset: a child's other fields are set when
    // it is found, and the element is read for every waypoint of the file.
    wpt.begin = lt;
    wpt.end = 0;
    wpt.lat.reset();
    wpt.lon.reset();
    for (xml_child& child : wpt.children) child.present = false;
    std::size_t p = quick_position(lt + 4, wpt);
    if (p == npos) {
        p = xml_read_attributes(text_, lt + 4, self_closing,
                                [&](std::string_view name, std::string_view value) {
                                    if (name == "lat" && !wpt.lat) wpt.lat = value;
                                    if (name == "lon" && !wpt.lon) wpt.lon = value;
                                });
    }
    if (p == npos) {
        mark_malformed(lt);
        pos_ = lt + 1;
    }
    return p;
}

inline xml_wpt_scanner::wpt_step xml_wpt_scanner::wpt_special(std::size_t lt, wpt_walk& walk) {
    auto end = special_end(lt);
    if (!end) return wpt_step::broken;
    if (walk.current != nullptr) walk.current->plain = false;
    walk.p = *end;
    return wpt_step::go_on;
}

inline xml_wpt_scanner::wpt_step xml_wpt_scanner::wpt_end_tag(std::size_t lt, xml_wpt& wpt,
                                                              wpt_walk& walk) {
    if (open_.empty() && lt + 6 <= text_.size() &&
        std::memcmp(text_.data() + lt + 2, "wpt>", 4) == 0) {
        wpt.end = pos_ = lt + 6;
        return wpt_step::complete;
    }
    std::size_t end = xml_name_end(text_, lt + 2);
    std::string_view name = text_.substr(lt + 2, end - lt - 2);
    end = xml_skip_blanks(text_, end);
    bool matches = xml_same_name(name, open_.empty() ? std::string_view("wpt") : open_.back());
    if (end >= text_.size() || text_[end] != '>' || !matches) {
        mark_malformed(lt);
        pos_ = lt + 1;
        return wpt_step::broken;
    }
    walk.p = end + 1;
    if (open_.empty()) {
        wpt.end = pos_ = walk.p;
        return wpt_step::complete;
    }
    open_.pop_back();
    if (open_.empty() && walk.current != nullptr) {
        walk.current->content_end = lt;
        walk.current->element_end = walk.p;
        walk.current = nullptr;
    }
    return wpt_step::go_on;
}

inline xml_wpt_scanner::wpt_step xml_wpt_scanner::wpt_start_tag(std::size_t lt, xml_wpt& wpt,
                                                                wpt_walk& walk) {
    inner_tag tag;
    tag.quick = open_.empty() ? quick_child(lt, wpt) : -1;
    if (tag.quick >= 0) {
        auto k = static_cast<std::size_t>(tag.quick);
        tag.name = child_names_[k];
        tag.after = lt + 2 + tag.name.size();
        tag.child = &wpt.children[k];
    } else {
        if (wpt_step step = read_inner_tag(lt, tag); step != wpt_step::go_on) return step;
        if (!open_.empty()) {
            // A tag inside a child: that child holds markup.
            if (walk.current != nullptr) walk.current->plain = false;
            if (!tag.closes) open_.push_back(tag.name);
            walk.p = tag.after;
            return wpt_step::go_on;
        }
        for (std::size_t k = 0; k < child_names_.size(); ++k) {
            if (!wpt.children[k].present && xml_same_name(tag.name, child_names_[k])) {
                tag.child = &wpt.children[k];
                break;
            }
        }
    }
    walk.p = tag.after;
    if (xml_child* found = tag.child; found != nullptr) {
        found->present = true;
        found->plain = true;
        found->references = false;
        found->element_begin = lt;
        found->content_begin = found->content_end = found->element_end = tag.after;
    }
    if (tag.closes || read_plain_content(tag, walk)) return wpt_step::go_on;
    // Any other content is read markup by markup.
    if (tag.child != nullptr) {
        tag.child->references = true;
        walk.current = tag.child;
    }
    open_.push_back(tag.name);
    return wpt_step::go_on;
}

inline xml_wpt_scanner::wpt_step xml_wpt_scanner::read_inner_tag(std::size_t lt, inner_tag& tag) {
    std::size_t end = xml_name_end(text_, lt + 1);
    tag.name = text_.substr(lt + 1, end - lt - 1);
    if (xml_same_name(tag.name, "wpt")) {
        // A waypoint never holds another one: this one is broken, the new one is read
        // on its own.
        mark_malformed(lt);
        pos_ = lt;
        return wpt_step::broken;
    }
    if (end < text_.size() && text_[end] == '>') {
        tag.after = end + 1;  // no attributes
    } else {
        tag.after = xml_read_attributes(text_, end, tag.closes, xml_ignore_attribute);
    }
    if (tag.after == npos || tag.name.empty()) {
        mark_malformed(lt);
        pos_ = lt + 1;
        return wpt_step::broken;
    }
    return wpt_step::go_on;
}

inline bool xml_wpt_scanner::read_plain_content(const inner_tag& tag, wpt_walk& walk) {
    // Most children hold nothing but character data up to their end tag, written
    // "</name>": such a child is read in one pass, which also tells whether it holds a
    // reference.
    bool amp = false;
    std::size_t close = find_markup_noting_references(text_, tag.after, amp);
    if (close == npos) return false;
    std::size_t close_end = close + 3 + tag.name.size();
    bool ends =
        (tag.quick >= 0 && quick_end(close, static_cast<std::size_t>(tag.quick))) ||
        (close_end <= text_.size() && text_[close + 1] == '/' && text_[close_end - 1] == '>' &&
         xml_same_name(text_.substr(close + 2, tag.name.size()), tag.name));
    if (!ends) return false;
    if (tag.child != nullptr) {
        tag.child->references = amp;
        tag.child->content_end = close;
        tag.child->element_end = close_end;
    }
    walk.p = close_end;
    return true;
}
}  // namespace velmora
