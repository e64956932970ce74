#include "gpx/gpx_reader.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <iterator>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "gpx/byte_search.hpp"
#include "gpx/gpx_encoding.hpp"
#include "gpx/gpx_extensions.hpp"
#include "gpx/xml_markup.hpp"
#include "gpx/xml_scan.hpp"
#include "gpx/xml_text.hpp"
#include "platform/messages.hpp"
#include "platform/page_buffer.hpp"
#include "platform/paths.hpp"
#include "platform/side_by_side.hpp"
#include "platform/whole_input.hpp"
#include "text/encoding.hpp"
#include "text/line_text.hpp"
#include "text/output_code_page.hpp"
#include "text/strict_numbers.hpp"

namespace velmora {

namespace {

// The names of the wpt children the profiles read, in the order of gpx_element.
constexpr std::array<std::string_view, gpx_element_count> element_names{
    "name", "cmt", "desc", "sym", "type", "link", "time", "url", "urlname", "extensions"};

// Powers of ten that a double holds exactly.
constexpr std::array<double, 16> exact_powers_of_ten = {
    1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

// A number as GPX files write their coordinates: an optional minus, at most 15 digits
// with at most one decimal point among them, digits in front of it.  Such a number is
// read at once into value, to the double whole_decimal gives (the digits as a whole
// number, exact, divided by an exact power of ten); false for any other text, which
// whole_decimal reads.  (No optionals here: they cost a stall on every coordinate.)
bool quick_decimal(std::string_view raw, double& value) {
    const char* p = raw.data();
    const char* end = p + raw.size();
    bool negative = p != end && *p == '-';
    if (negative) ++p;
    const char* first = p;
    std::uint64_t digits = 0;
    auto digit_at = [&] { return p != end && static_cast<unsigned>(*p - '0') < 10u; };
    while (digit_at()) digits = digits * 10 + static_cast<unsigned>(*p++ - '0');
    std::size_t whole = static_cast<std::size_t>(p - first);
    std::size_t decimals = 0;
    if (p != end && *p == '.') {
        const char* point = ++p;
        while (digit_at()) digits = digits * 10 + static_cast<unsigned>(*p++ - '0');
        decimals = static_cast<std::size_t>(p - point);
    }
    if (p != end || whole == 0 || whole + decimals > 15) return false;
    double magnitude = static_cast<double>(digits) / exact_powers_of_ten[decimals];
    value = negative ? -magnitude : magnitude;
    return true;
}

// A coordinate into value: a whole decimal number (a decimal comma allowed) within the
// limit; false for anything else.
bool read_coordinate(std::string_view raw, double limit, const xml_text_encoding& encoding,
                     double& value) {
    if (!quick_decimal(raw, value)) {
        std::optional<double> read = raw.find('&') == std::string_view::npos
                                         ? whole_decimal(raw)
                                         : whole_decimal(xml_decode_references(raw, encoding));
        if (!read) return false;
        value = *read;
    }
    return std::fabs(value) <= limit;
}

// The text without the blanks around it; none when nothing else is left.
std::optional<std::string> trimmed(std::string_view text) {
    text = trim_white_space(text);
    if (text.empty()) return std::nullopt;
    return std::string(text);
}

// The first "<wpt" start tag at or after an offset, found by a plain search.
std::size_t find_wpt_tag(std::string_view text, std::size_t from) {
    for (std::size_t p = text.find("<wpt", from); p != std::string_view::npos;
         p = text.find("<wpt", p + 1)) {
        char c = p + 4 < text.size() ? text[p + 4] : '\0';
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '>' || c == '/') return p;
    }
    return std::string_view::npos;
}

// What one thread's reading noticed that the file's messages tell once at the end.
struct reading_notes {
    // Waypoints whose two Garmin extensions gave a field different values, and the
    // name of the first of them, as a message shows it.
    std::size_t differing_extensions = 0;
    std::string first_differing;

    void add(reading_notes&& later) {
        if (differing_extensions == 0) first_differing = std::move(later.first_differing);
        differing_extensions += later.differing_extensions;
    }
};

// What a pass over the text told before it is read: the bytes XML forbids, and where
// the last comment or the like in the front part up to surveyed_to begins (npos: none).
struct text_survey {
    std::optional<xml_forbidden_bytes> forbidden;
    std::size_t surveyed_to = 0;
    std::size_t last_special = std::string_view::npos;
};

class gpx_text_reader {
  public:
    gpx_text_reader(std::string_view text, poiset& set, const text_survey& survey)
        : text_(text),
          set_(set),
          encoding_{set.is_utf8, set.codepage ? &*set.codepage : nullptr,
                    survey.forbidden.has_value()},
          scanner_(text, element_names),
          survey_(survey) {}

    // Reads every waypoint, on two threads when the text is at least parallel_from bytes
    // long and the machine has two processors.  The result and the messages are those
    // of one thread reading front to back.
    void read_all(const passed_text& passed, std::size_t parallel_from) {
        xml_wpt first;
        bool have_first = scanner_.next(first);
        choose_profile(have_first ? &first : nullptr);
        if (!have_first) return finish();
        waypoint_scratch scratch;
        read_waypoint(first, set_, scratch, notes_);
        if (text_.size() >= parallel_from) {
            std::size_t cut = find_wpt_tag(text_, std::max(scanner_.position(), text_.size() / 2));
            if (cut != std::string_view::npos && read_in_two(cut, passed)) return finish();
        }
        read_on(scanner_, xml_wpt_scanner::no_limit, set_, passed, released_, notes_);
        finish();
    }

  private:
    void choose_profile(const xml_wpt* first) {
        gpx_header header;
        if (auto tag = scanner_.gpx_tag()) {
            header.creator = xml_attribute("creator", *tag).value_or("");
            // The map views a copy of the tag: the text's pages are given back as the
            // reading goes on, and the tag lies on the first of them.
            gpx_tag_ = *tag;
            outer_namespaces_ = xml_namespace_map(gpx_tag_);
        }
        header.prologue = text_.substr(0, first != nullptr ? first->begin : text_.size());
        std::string links;
        std::optional<std::string> symbol;
        if (first != nullptr) {
            for (gpx_element e : {e_link, e_url}) {
                const xml_child& c = first->children[e];
                if (c.present)
                    links.append(text_.substr(c.element_begin, c.element_end - c.element_begin));
            }
            if (first->children[e_sym].present) symbol = text_of(*first, e_sym).value_or("");
        }
        header.first_link = links;
        if (symbol) header.first_symbol = *symbol;
        profile_ = choose_reading_profile(header);
    }

    // Whether the second thread's reading is taken: not known yet, taken, or dropped.
    enum reading_verdict : int { undecided, taken, dropped };

    // Reads waypoints with the scanner until the next markup lies at limit or after it,
    // or until the verdict drops the reading.  With passed, the bytes read are given
    // back as it goes (from released on; never those from the limit on, which the other
    // thread may be reading; with a verdict only once it is taken).
    void read_on(xml_wpt_scanner& scanner, std::size_t limit, poiset& into,
                 const passed_text& passed, std::size_t& released, reading_notes& notes,
                 const std::atomic<int>* second_verdict = nullptr) {
        xml_wpt wpt;
        waypoint_scratch scratch;
        while (scanner.next(wpt, limit)) {
            read_waypoint(wpt, into, scratch, notes);
            int state =
                second_verdict != nullptr ? second_verdict->load(std::memory_order_relaxed) : taken;
            if (state == dropped) return;
            std::size_t done = std::min(wpt.end, limit);
            if (state == taken) pass_bytes_up_to(passed, released, done);
        }
    }

    // Reads the text before the cut on this thread and the rest on another one, which
    // starts at the "<wpt" found at the cut.  That is where this thread's reading arrives
    // unless the tag lies inside a comment, a CDATA section or the like, which a quick
    // walk over such markup tells first; then the other thread's work is dropped and
    // this one reads on.  False, with nothing read, when the two can't run side by side.
    bool read_in_two(std::size_t cut, const passed_text& passed) {
        poiset rest;
        rest.is_utf8 = set_.is_utf8;
        rest.codepage = set_.codepage;
        xml_wpt_scanner second(text_, element_names, cut);
        std::string second_messages;
        reading_notes second_notes;
        std::string second_problem;
        std::atomic<int> verdict{undecided};
        std::size_t second_released = cut;
        if (!run_side_by_side(
                [&] {
                    bool clear = xml_markup_reaches(text_, walk_from(), cut);
                    verdict.store(clear ? taken : dropped, std::memory_order_relaxed);
                    read_on(scanner_, cut, set_, passed, released_, notes_);
                },
                [&] {
                    message_capture capture;
                    read_on(second, xml_wpt_scanner::no_limit, rest, passed, second_released,
                            second_notes, &verdict);
                    second_messages = capture.text();
                    second_problem = capture.first_problem();
                })) {
            return false;
        }
        if (verdict.load() != taken || scanner_.position() != cut) {
            // The second thread gave nothing back before the verdict, so every byte it
            // saw is still there.
            read_on(scanner_, xml_wpt_scanner::no_limit, set_, passed, released_, notes_);
            return true;
        }
        report_text(second_messages, second_problem);
        notes_.add(std::move(second_notes));
        if (!scanner_.first_malformed()) second_malformed_ = second.first_malformed();
        take_rest(rest);
        return true;
    }

    // Appends the waypoints the second thread read, with their details.  Their category
    // numbers become the set's, which numbers the rest's new categories in the order of
    // their first use, as one thread reading front to back does.
    void take_rest(poiset& rest) {
        std::vector<std::optional<std::uint16_t>> numbers;
        numbers.reserve(rest.categories.size());
        for (const stored_text& category : rest.categories) {
            numbers.push_back(set_.category_index(*category));
        }
        auto offset = static_cast<std::uint32_t>(set_.details.size());
        set_.details.reserve(set_.details.size() + rest.details.size());
        for (waypoint_details& details : rest.details) {
            // Renumbered in place: a number never moves behind its place.
            std::vector<std::uint16_t>& categories = details.categories;
            std::size_t kept = 0;
            for (std::uint16_t c : categories) {
                if (numbers[c]) categories[kept++] = *numbers[c];
            }
            categories.resize(kept);
            set_.details.push_back(std::move(details));
        }
        if (!rest.details.empty()) {
            for (waypoint& w : rest.waypoints) {
                if (w.details != no_details) w.details += offset;
            }
        }
        // The rest's waypoints view texts in the rest's store, whose blocks move along.
        set_.waypoints.append(std::move(rest.waypoints));
        set_.texts.take_over(std::move(rest.texts));
    }

    // Where the walk over comments and the like up to the second thread's start begins:
    // where this thread stands, or the end of the part surveyed when no such markup
    // begins in the part before it.
    [[nodiscard]] std::size_t walk_from() const {
        std::size_t from = scanner_.position();
        bool none_after =
            survey_.last_special == std::string_view::npos || survey_.last_special < from;
        if (none_after && survey_.surveyed_to > from + 1) from = survey_.surveyed_to - 1;
        return from;
    }

    void finish() const {
        auto malformed = scanner_.first_malformed();
        if (!malformed) malformed = second_malformed_;
        if (malformed) {
            report_problem(
                "\nWarning: Malformed XML at offset %zu of the gpx file; reading went on at the "
                "next waypoint",
                *malformed);
        }
        if (notes_.differing_extensions > 0) {
            report(
                "\nWarning: %zu waypoint(s) carry Garmin's waypoint extension twice, as "
                "GpxExtensions v3 and as WaypointExtension v1, with different values (first: "
                "%s); the v3 values were taken",
                notes_.differing_extensions, notes_.first_differing.c_str());
        }
    }

    // Room for the decoded texts of one waypoint; each thread reads with its own.
    struct waypoint_scratch {
        std::string name;
        std::string comment;
        std::string description;
        std::string symbol;
        std::string type;
        std::string dated_comment;
    };

    // An element's text as a view of the file's text, or of scratch where references
    // had to be decoded.
    std::optional<std::string_view> text_view(const xml_wpt& wpt, gpx_element e,
                                              std::string& scratch) const {
        const xml_child& c = wpt.children[e];
        if (!c.present) return std::nullopt;
        std::string_view content = text_.substr(c.content_begin, c.content_end - c.content_begin);
        if (c.plain && !c.references && !encoding_.drop_forbidden) {
            if (content.empty()) return std::nullopt;
            return content;  // nothing to decode
        }
        return xml_content_view(content, c.plain, encoding_, scratch);
    }

    // An element's text on its way into the store: none, a view ready as it is, or plain
    // content whose references are decoded as it is stored, without a copy between.
    // (Plain members, not optionals: the fields of every waypoint pass through here.)
    struct field_text {
        enum kind_type : unsigned char { none, ready, to_decode };
        std::string_view text;  // ready: the text; to_decode: the content
        kind_type kind = none;
    };

    field_text field(const xml_wpt& wpt, gpx_element e, std::string& scratch) const {
        const xml_child& c = wpt.children[e];
        if (!c.present || c.content_end == c.content_begin) return {};
        std::string_view content = text_.substr(c.content_begin, c.content_end - c.content_begin);
        if (c.plain) {
            bool decode = c.references || encoding_.drop_forbidden;
            return {content, decode ? field_text::to_decode : field_text::ready};
        }
        std::optional<std::string_view> text = xml_content_view(content, false, encoding_, scratch);
        if (!text) return {};
        return {*text, field_text::ready};
    }

    // The field's text, decoded into scratch where it has to be; empty when none.
    std::string_view view_of(const field_text& f, std::string& scratch) const {
        if (f.kind != field_text::to_decode) return f.text;
        scratch.resize(f.text.size());
        scratch.resize(xml_decode_plain(f.text, encoding_, scratch.data()));
        return scratch;
    }

    // The same, none when the field has no text.
    std::optional<std::string_view> optional_view_of(const field_text& f,
                                                     std::string& scratch) const {
        std::string_view text = view_of(f, scratch);
        if (text.empty()) return std::nullopt;
        return text;
    }

    // The field's text in the set's store (an empty text when it has none).
    stored_text stored(poiset& into, const field_text& f) const {
        if (f.kind != field_text::to_decode) return into.store(f.text);
        return into.texts.add_written(
            f.text.size(), [&](char* out) { return xml_decode_plain(f.text, encoding_, out); });
    }

    // The same, absent when the field has no text.
    stored_text stored_optional(poiset& into, const field_text& f) const {
        if (f.kind == field_text::none) return stored_text();
        if (f.kind == field_text::ready) return into.store(f.text);
        stored_text text = stored(into, f);
        return text->empty() ? stored_text() : text;  // nothing left once decoded
    }

    std::optional<std::string> text_of(const xml_wpt& wpt, gpx_element e) const {
        const xml_child& c = wpt.children[e];
        if (!c.present) return std::nullopt;
        return xml_content_text(text_.substr(c.content_begin, c.content_end - c.content_begin),
                                c.plain, encoding_);
    }

    // Reads one element into the set; the reading state is never written, so that two
    // threads can read at once.
    void read_waypoint(const xml_wpt& wpt, poiset& into, waypoint_scratch& scratch,
                       reading_notes& notes) const;

    // A waypoint's link and the text shown for it.
    struct link_texts {
        std::optional<std::string> address;
        std::optional<std::string> text;
    };
    // The link of GPX 1.1 (its href, else its content, and the content of its text
    // child), else that of GPX 1.0 (the url and the urlname).
    [[nodiscard]] link_texts link_of(const xml_wpt& wpt) const;

    // What one of Garmin's waypoint extensions gives, decoded.
    struct extension_values {
        std::optional<double> proximity;  // above 0
        std::vector<std::string> categories;
        std::vector<std::string> street_lines;
        std::optional<std::string> house_number;
        std::optional<std::string> city;
        std::optional<std::string> state;
        std::optional<std::string> postcode;
        std::optional<std::string> country;
        std::vector<std::pair<std::string, std::string>> phones;  // kind, number
    };
    [[nodiscard]] extension_values decoded(const garmin_waypoint_extension& found) const;
    // Garmin's waypoint extensions of the waypoint, into w.
    void read_extensions(const xml_wpt& wpt, waypoint& w, poiset& into, reading_notes& notes) const;
    // An element's text of the extension, decoded, blanks around it dropped; none when
    // nothing is left.
    [[nodiscard]] std::optional<std::string> extension_text(std::string_view raw) const;

    std::string_view text_;
    poiset& set_;
    xml_text_encoding encoding_;
    xml_wpt_scanner scanner_;
    text_survey survey_;
    reading_profile profile_ = reading_profile::plain;
    std::optional<std::size_t> second_malformed_;
    // The namespace declarations of the gpx element, by prefix, and the element's start
    // tag that they view.
    std::string gpx_tag_;
    std::unordered_map<std::string_view, std::string_view> outer_namespaces_;
    std::size_t released_ = 0;  // bytes in front of this offset have been given back
    reading_notes notes_;       // of this thread
};

void gpx_text_reader::read_waypoint(const xml_wpt& wpt, poiset& into, waypoint_scratch& scratch,
                                    reading_notes& notes) const {
    if (!wpt.lat || !wpt.lon) return;
    field_sources from = sources_of(profile_);
    std::string_view name = view_of(field(wpt, from.name, scratch.name), scratch.name);
    field_text comment = field(wpt, from.comment, scratch.comment);
    field_text description = field(wpt, from.description, scratch.description);
    field_text symbol = field(wpt, e_sym, scratch.symbol);
    if (profile_ != reading_profile::plain) {
        // The profiles of other tools' files make the symbol, and the comment, of parts.
        std::optional<std::string_view> comment_text = optional_view_of(comment, scratch.comment);
        std::optional<std::string> sym;
        if (wpt.children[e_sym].present) sym = view_of(symbol, scratch.symbol);
        std::optional<std::string_view> type;
        if (profile_ == reading_profile::typed_geocaches)
            type = text_view(wpt, e_type, scratch.type);
        std::optional<std::string> made =
            profile_symbol(profile_, std::move(sym), type, comment_text);
        symbol = {};
        if (made) symbol = {scratch.symbol.assign(*made), field_text::ready};
        if (profile_ == reading_profile::dated_monuments && comment_text) {
            if (auto description_text = optional_view_of(description, scratch.description)) {
                comment_text = scratch.dated_comment =
                    dated_comment(std::string(*comment_text), std::string(*description_text));
            }
        }
        comment = {};
        if (comment_text) comment = {*comment_text, field_text::ready};
    }

    double lat = 0.0;
    double lon = 0.0;
    bool valid = read_coordinate(*wpt.lat, 90.0, encoding_, lat);
    valid = read_coordinate(*wpt.lon, 180.0, encoding_, lon) && valid;
    if (!valid) {
        const text_encoding held{encoding_.is_utf8, encoding_.page};
        report_problem(
            "\nWarning: Waypoint (%s) has an invalid position (lat=\"%s\" lon=\"%s\"), ignored",
            display_text(name, held, shown_text).c_str(),
            display_text(*wpt.lat, held, shown_value).c_str(),
            display_text(*wpt.lon, held, shown_value).c_str());
        return;
    }

    waypoint* w = poiset_add_waypoint(into);
    if (w == nullptr) {
        report("\nError: Can't allocate waypoint! Ignoring");
        return;
    }
    w->lat = lat;
    w->lon = lon;
    w->flags |= has_position;
    if (auto speed = speed_in_name(name)) {
        name = name.substr(0, speed->name_length);
        w->speed = speed->speed;
        w->proximity = speed->speed * 10.0;
        w->flags |= has_proximity | has_speed | proximity_from_speed;
    }
    w->name = into.store(name);
    w->comment = stored_optional(into, comment);
    w->description = stored_optional(into, description);
    w->symbol = stored(into, symbol);
    if (wpt.children[e_link].present || wpt.children[e_url].present) [[unlikely]] {
        link_texts link = link_of(wpt);
        w->link = into.store_optional(link.address);
        if (link.address && link.text) into.details_for(*w).link_text = into.store(*link.text);
    }
    if (wpt.children[e_extensions].present) read_extensions(wpt, *w, into, notes);
}

gpx_text_reader::link_texts gpx_text_reader::link_of(const xml_wpt& wpt) const {
    link_texts found;
    if (const xml_child& link = wpt.children[e_link]; link.present) {
        std::optional<std::string_view> href;
        (void)xml_read_start_tag(text_, link.element_begin,
                                 [&href](std::string_view name, std::string_view value) {
                                     if (name == "href" && !href) href = value;
                                 });
        found.address =
            href && !href->empty() ? xml_decode_references(*href, encoding_) : text_of(wpt, e_link);
        std::string_view content =
            text_.substr(link.content_begin, link.content_end - link.content_begin);
        if (!link.plain) {
            if (auto text = xml_find_child(content, "text")) {
                found.text = xml_content_text(text->content, text->plain, encoding_);
            }
        }
        if (found.address) return found;
    }
    // GPX 1.0: the address in url, the text shown for it in urlname.
    if (auto url = text_of(wpt, e_url)) found.address = trimmed(*url);
    if (found.address) {
        found.text = text_of(wpt, e_urlname);
    } else {
        found.text.reset();
    }
    return found;
}

std::optional<std::string> gpx_text_reader::extension_text(std::string_view raw) const {
    std::optional<std::string> text =
        xml_content_text(raw, raw.find('<') == std::string_view::npos, encoding_);
    if (!text) return text;
    return trimmed(*text);
}

gpx_text_reader::extension_values gpx_text_reader::decoded(
    const garmin_waypoint_extension& found) const {
    extension_values values;
    if (found.proximity) {
        std::optional<double> metres;
        if (auto text = extension_text(*found.proximity)) metres = whole_decimal(*text);
        if (metres && *metres > 0.0 && std::isfinite(*metres)) values.proximity = metres;
    }
    for (std::string_view raw : found.categories) {
        if (auto name = extension_text(raw)) values.categories.push_back(std::move(*name));
    }
    for (std::string_view raw : found.street_addresses) {
        if (auto line = extension_text(raw)) values.street_lines.push_back(std::move(*line));
    }
    auto text_of_field = [this](const std::optional<std::string_view>& raw) {
        return raw ? extension_text(*raw) : std::nullopt;
    };
    values.house_number = text_of_field(found.house_number);
    values.city = text_of_field(found.city);
    values.state = text_of_field(found.state);
    values.postcode = text_of_field(found.postal_code);
    values.country = text_of_field(found.country);
    for (const auto& phone : found.phones) {
        auto number = extension_text(phone.number);
        if (!number) continue;
        std::optional<std::string> kind;
        if (phone.category) kind = trimmed(xml_decode_references(*phone.category, encoding_));
        values.phones.emplace_back(kind ? std::move(*kind) : std::string(contact_phone),
                                   std::move(*number));
    }
    return values;
}

// Takes a field that the first extension lacks from the second; true when both give it,
// with different values.
template <class Field>
bool take_missing(Field& first, Field& second) {
    if (!second || (first && *first == *second)) return false;
    if (first) return true;
    first = std::move(second);
    return false;
}

template <class Item>
bool take_missing(std::vector<Item>& first, std::vector<Item>& second) {
    if (second.empty() || first == second) return false;
    if (!first.empty()) return true;
    first = std::move(second);
    return false;
}

// The phone numbers of one kind are one field: the first extension's where both give
// numbers of a kind (true when they differ), else the second's, in their order.
bool take_missing_phones(std::vector<std::pair<std::string, std::string>>& first,
                         std::vector<std::pair<std::string, std::string>>& second) {
    if (second.empty()) return false;
    if (first.empty()) {
        first = std::move(second);
        return false;
    }
    using numbers_by_kind = std::unordered_map<std::string_view, std::vector<std::string_view>>;
    auto by_kind = [](const std::vector<std::pair<std::string, std::string>>& phones) {
        numbers_by_kind numbers;
        for (const auto& [kind, number] : phones) numbers[kind].push_back(number);
        return numbers;
    };
    const numbers_by_kind mine = by_kind(first);
    const numbers_by_kind theirs = by_kind(second);
    bool differ = false;
    for (const auto& [kind, numbers] : theirs) {
        auto it = mine.find(kind);
        if (it != mine.end() && it->second != numbers) differ = true;
    }
    std::vector<std::pair<std::string, std::string>> added;
    for (const auto& phone : second) {
        if (!mine.contains(phone.first)) added.push_back(phone);
    }
    // Only now, as the views of mine look into first.
    first.insert(first.end(), std::make_move_iterator(added.begin()),
                 std::make_move_iterator(added.end()));
    return differ;
}

void gpx_text_reader::read_extensions(const xml_wpt& wpt, waypoint& w, poiset& into,
                                      reading_notes& notes) const {
    const xml_child& ext = wpt.children[e_extensions];
    xml_namespaces scope;
    scope.set_outer(&outer_namespaces_);
    scope.add_from_tag(text_.substr(wpt.begin, ext.element_begin - wpt.begin));
    scope.add_from_tag(text_.substr(ext.element_begin, ext.content_begin - ext.element_begin));
    garmin_extensions found;
    read_garmin_extension(text_.substr(ext.content_begin, ext.content_end - ext.content_begin),
                          std::move(scope), found);

    // The two extensions describe one waypoint: a field that both give is taken once,
    // from GpxExtensions v3 where they differ.
    extension_values values = decoded(found.v3);
    extension_values other = decoded(found.v1);
    bool differ = take_missing(values.proximity, other.proximity);
    differ = take_missing(values.categories, other.categories) || differ;
    differ = take_missing(values.street_lines, other.street_lines) || differ;
    differ = take_missing(values.house_number, other.house_number) || differ;
    differ = take_missing(values.city, other.city) || differ;
    differ = take_missing(values.state, other.state) || differ;
    differ = take_missing(values.postcode, other.postcode) || differ;
    differ = take_missing(values.country, other.country) || differ;
    differ = take_missing_phones(values.phones, other.phones) || differ;
    if (differ) {
        if (notes.differing_extensions++ == 0) {
            const text_encoding held{encoding_.is_utf8, encoding_.page};
            notes.first_differing = display_text(w.name.value_or_empty(), held, shown_text);
        }
    }

    if (values.proximity && (w.flags & has_proximity) == 0) {
        w.proximity = *values.proximity;
        w.flags |= has_proximity;
    } else if (values.proximity) {
        // The speed's alert distance stands, but the file named one: it is no longer
        // the speed's alone to derive.
        w.flags &= ~proximity_from_speed;
    }
    for (const std::string& name : values.categories) (void)into.add_to_category(w, name);
    // The street's lines (two at most in Garmin's address) are kept as one text with a
    // line feed between them, which the GPX writer splits again.
    std::optional<std::string> street;
    for (std::string& line : values.street_lines) {
        if (street) {
            *street += '\n';
            *street += line;
        } else {
            street = std::move(line);
        }
    }
    const std::pair<std::string_view, std::optional<std::string>*> address[] = {
        {address_street, &street},
        {address_house_number, &values.house_number},
        {address_city, &values.city},
        {address_state, &values.state},
        {address_postcode, &values.postcode},
        {address_country, &values.country},
    };
    for (const auto& [key, value] : address) {
        if (*value) into.details_for(w).address.push_back({into.store(key), into.store(**value)});
    }
    for (const auto& [kind, number] : values.phones) {
        into.details_for(w).phones.push_back({into.store(kind), into.store(number)});
    }
}

// The bytes XML forbids in the text, looked for in two halves side by side when the
// text is at least parallel_from bytes long, and where comments and the like begin in
// the front part.
text_survey survey_text(std::string_view text, std::size_t parallel_from) {
    std::size_t half = text.size() / 2;
    xml_text_survey front;
    xml_text_survey back;
    if (text.size() < parallel_from ||
        !run_side_by_side([&] { front = survey_xml_text(text.substr(0, half)); },
                          [&] { back = survey_xml_text(text.substr(half)); })) {
        xml_text_survey whole = survey_xml_text(text);
        return {whole.forbidden, text.size(), whole.last_special};
    }
    text_survey survey{front.forbidden, half, front.last_special};
    if (back.forbidden) {
        if (survey.forbidden) {
            survey.forbidden->count += back.forbidden->count;
        } else {
            survey.forbidden = xml_forbidden_bytes{half + back.forbidden->first,
                                                   back.forbidden->count, back.forbidden->byte};
        }
    }
    return survey;
}

void read_text(std::string_view text, poiset& set, const passed_text& passed,
               std::size_t parallel_from) {
    gpx_encoding encoding = detect_gpx_encoding(text);
    set.is_utf8 = encoding.is_utf8;
    set.codepage = encoding.page;
    // The pages given back are those of the file's buffer, not of a decoded copy.
    const passed_text no_pages;
    const passed_text& pages = encoding.decoded ? no_pages : passed;
    if (encoding.decoded) text = *encoding.decoded;
    text_survey survey = survey_text(text, parallel_from);
    const std::optional<xml_forbidden_bytes>& forbidden = survey.forbidden;
    if (forbidden) {
        report(
            "\nWarning: Byte 0x%02X at offset %zu of the gpx file is not allowed in XML; "
            "%zu such byte(s) left out",
            static_cast<unsigned>(forbidden->byte), forbidden->first, forbidden->count);
    }
    gpx_text_reader reader(text, set, survey);
    reader.read_all(pages, parallel_from);
}

// Whether a text that gave no waypoint is a GPX document at all, and not, say, an HTML
// error page saved under a .gpx name.  An empty text is an empty file.  The pages of a
// mapped file that were given back are read from the file again.
bool holds_gpx_element(std::string_view text) {
    if (trim_white_space(text).empty()) return true;
    std::optional<std::string> decoded;
    {
        message_capture said_before;  // what the encoding gave to say was said
        decoded = detect_gpx_encoding(text).decoded;
    }
    if (decoded) text = *decoded;
    return text.find("<gpx") != std::string_view::npos ||
           text.find(":gpx") != std::string_view::npos;
}

}  // namespace

void gpx_read_text(std::string_view text, poiset& set, std::size_t parallel_from) {
    read_text(text, set, nullptr, parallel_from);
}

void gpx_read_buffer(const page_buffer& buffer, std::size_t size, poiset& set,
                     std::size_t parallel_from) {
    read_text(
        std::string_view(buffer.data(), size), set,
        [&buffer](std::size_t from, std::size_t to) { buffer.release_between(from, to); },
        parallel_from);
}

bool gpx_read(std::FILE* file, poiset& set, const split_policy& split) {
    // The text is mapped from the file (or read whole) and given back page by page as
    // the waypoints are built from it, so that the file and its waypoints never take
    // memory together.
    std::optional<whole_input> input = whole_input::load(file, "xml");
    if (!input) return false;
    read_text(input->text(), set, input->passer(), split.bytes_from(gpx_bytes_per_waypoint));
    input->check_unchanged();
    if (set.count() == 0 && !holds_gpx_element(input->text())) {
        report("\nError: The xml file holds no gpx element; nothing imported.");
        return false;
    }
    return true;
}

}  // namespace velmora
