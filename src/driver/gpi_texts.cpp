#include "driver/gpi_texts.hpp"

#include <cstring>
#include <span>
#include <string>

#include "gpi/gpi_format.hpp"
#include "gpi/gpi_units.hpp"
#include "platform/messages.hpp"
#include "platform/paths.hpp"
#include "platform/split_policy.hpp"
#include "text/encoding.hpp"
#include "text/output_code_page.hpp"

namespace velmora {

namespace {

// Calls visit on every text of the waypoint, and with details on every key and value of
// its details.  Every text the model gives a waypoint belongs here, so that each reaches
// the output code page.
template <class Waypoint, class Visit>
void for_each_text(Waypoint& w, Visit&& visit) {
    visit(w.name);
    visit(w.symbol);
    visit(w.comment);
    visit(w.description);
    visit(w.link);
}

// The link's text is left out: a GPI file has no place for it, so it neither chooses the
// code page nor counts among the characters the code page lacks.
template <class Details, class Visit>
void for_each_detail_text(Details& details, Visit&& visit) {
    for (auto* pairs : {&details.address, &details.phones}) {
        for (auto& pair : *pairs) {
            visit(pair.key);
            visit(pair.value);
        }
    }
}

// Converts texts of one set into the output code page.  A text that comes out no longer
// than it was keeps its place in the set's store; a longer one (into UTF-8) goes to the
// store given, so that two conversions of one set can run side by side.
class set_text_conversion {
  public:
    set_text_conversion(poiset& set, const output_code_page& output, text_store& longer)
        : set_(set), converter_(set.texts_encoding(), output), longer_(longer) {
        text_encoding from = set.texts_encoding();
        ascii_stays_ = from.is_utf8 || from.page == nullptr || from.page->keeps_ascii();
    }

    // False when every text of the set stays as it is.
    [[nodiscard]] bool needed() const { return !converter_.keeps_bytes(); }

    void operator()(stored_text& text) {
        if (!text) return;
        if (converter_.never_longer()) {
            set_.texts.edit_in_place(text, [this](char* bytes, std::size_t size) {
                std::size_t ascii = ascii_stays_ ? ascii_prefix({bytes, size}) : 0;
                if (ascii == size) return size;
                return ascii + converter_.convert_in_place(bytes + ascii, size - ascii);
            });
            return;
        }
        std::string_view bytes = *text;
        std::size_t ascii = ascii_stays_ ? ascii_prefix(bytes) : 0;
        if (ascii == bytes.size()) return;
        converted_.assign(bytes.substr(0, ascii));
        converter_.append(bytes.substr(ascii), converted_);
        if (converted_.size() > bytes.size()) {
            text = longer_.add(converted_);
            return;
        }
        set_.texts.edit_in_place(text, [this](char* out, std::size_t) {
            std::memcpy(out, converted_.data(), converted_.size());
            return converted_.size();
        });
    }

    // Converts the texts of the waypoints first..end-1.
    void convert(std::size_t first, std::size_t end) {
        for (std::size_t i = first; i < end; ++i) for_each_text(set_.waypoints[i], *this);
    }

    [[nodiscard]] std::uint64_t lost() const { return converter_.lost(); }

  private:
    poiset& set_;
    text_converter converter_;
    text_store& longer_;
    bool ascii_stays_ = true;
    std::string converted_;
};

}  // namespace

std::uint64_t convert_set_texts(poiset& set, const output_code_page& output,
                                const split_policy& split) {
    std::uint64_t lost = 0;
    if (!output.is_utf8() || !set.name_is_utf8 || !is_valid_utf8(set.name)) {
        text_converter name_converter(set.name_encoding(), output);
        std::string name;
        name_converter.append(set.name, name);
        set.name = std::move(name);
        lost += name_converter.lost();
    }
    set.name_is_utf8 = output.is_utf8();
    text_store first_longer;
    text_store second_longer;
    set_text_conversion first(set, output, first_longer);
    set_text_conversion second(set, output, second_longer);
    if (first.needed()) {
        std::size_t count = set.waypoints.size();
        std::size_t half = count / 2;
        if (!split.side_by_side(
                count, [&] { first.convert(0, half); }, [&] { second.convert(half, count); })) {
            first.convert(0, count);
        }
        for (waypoint_details& details : set.details) for_each_detail_text(details, first);
        for (stored_text& category : set.categories) first(category);
        set.texts.take_over(std::move(first_longer));
        set.texts.take_over(std::move(second_longer));
    }
    set.is_utf8 = output.is_utf8();
    set.codepage = output.page();
    return lost + first.lost() + second.lost();
}

namespace {

// Cuts the group name to what a multilingual string holds.  In UTF-8 the cut moves
// back to the start of a character that would be split.
bool cut_name(std::string& text, bool utf8) {
    if (text.size() <= gpi_max_text) return false;
    text.resize(utf8 ? utf8_cut_point(text, gpi_max_text) : gpi_max_text);
    return true;
}

// Makes a set fit the fields of the format: texts longer than 65535 bytes are cut, and
// alert values beyond 16 bits (which the encoder clamps) are reported.
class set_limits {
  public:
    explicit set_limits(poiset& set) : set_(set) {}

    void apply(bool name_is_utf8, bool utf8_texts, const split_policy& split) {
        utf8_texts_ = utf8_texts;
        if (cut_name(set_.name, name_is_utf8)) {
            report("\nWarning: Name of poi set (%s) is longer than 65535 bytes, cut to %zu bytes",
                   shown_name(set_).c_str(), set_.name.size());
        }
        // A large set is gone through by two threads, a half each; the messages of the
        // second half follow those of the first, as in one pass.
        std::size_t count = set_.waypoints.size();
        auto apply_range = [this](std::size_t first, std::size_t end) {
            for (std::size_t i = first; i < end; ++i) apply(set_.waypoints[i], i + 1);
        };
        split.in_halves(count, count / 2, apply_range);
        for (stored_text& category : set_.categories) {
            if (!category || category->size() <= gpi_max_text) continue;
            category.cut_to(cut_point(*category));
            report(
                "\nWarning: A category of poi set (%s) is longer than 65535 bytes, cut to %zu "
                "bytes",
                shown_name(set_).c_str(), category->size());
        }
    }

  private:
    void apply(waypoint& w, std::size_t number) {
        cut(w.name, "Name", w, number);
        cut(w.comment, "Comment", w, number);
        cut(w.description, "Description", w, number);
        if (w.details != no_details) {
            waypoint_details& details = set_.details[w.details];
            for (auto* pairs : {&details.address, &details.phones}) {
                for (text_pair& pair : *pairs) cut_field(pair, w, number);
            }
        }
        if ((w.flags & has_proximity) != 0) {
            clamped_u16 proximity = gpi_distance_clamped(w.proximity);
            if (proximity.clamped) {
                report(
                    "\nWarning: Proximity (%.1f m) of poi %zu (%s) in set (%s) does not fit a "
                    "gpi file, written as %u m",
                    w.proximity, number, name_of(w).c_str(), shown_name(set_).c_str(),
                    static_cast<unsigned>(proximity.value));
            }
        }
        if ((w.flags & has_speed) != 0) {
            clamped_u16 speed = gpi_speed_clamped(w.speed);
            if (speed.clamped) {
                report(
                    "\nWarning: Speed (%.1f km/h) of poi %zu (%s) in set (%s) does not fit a gpi "
                    "file, written as %.1f km/h",
                    w.speed, number, name_of(w).c_str(), shown_name(set_).c_str(),
                    speed.value * 0.036);
            }
        }
    }

    // Texts are in the output code page here; a cut of UTF-8 never splits a character.
    void cut(stored_text& text, const char* what, const waypoint& w, std::size_t number) {
        if (!text || text->size() <= gpi_max_text) return;
        text.cut_to(cut_point(*text));
        report(
            "\nWarning: %s of poi %zu (%s) in set (%s) is longer than 65535 bytes, cut to %zu "
            "bytes",
            what, number, name_of(w).c_str(), shown_name(set_).c_str(), text->size());
    }

    void cut_field(text_pair& pair, const waypoint& w, std::size_t number) {
        std::string what(pair.key.value_or("Field"));
        cut(pair.value, what.c_str(), w, number);
    }

    // Where a text longer than a GPI text holds is cut; a cut of UTF-8 never splits a
    // character.
    [[nodiscard]] std::size_t cut_point(std::string_view text) const {
        return utf8_texts_ ? utf8_cut_point(text, gpi_max_text) : gpi_max_text;
    }

    // The name as a message shows it: up to its first zero byte.
    [[nodiscard]] std::string name_of(const waypoint& w) const {
        std::string_view name = w.name.value_or_empty();
        return display_text(name.substr(0, name.find('\0')), set_.texts_encoding(), shown_text);
    }

    poiset& set_;
    bool utf8_texts_ = false;
};

}  // namespace

int choose_gpi_code_page(const poiset_list& list) {
    code_page_chooser chooser;
    for (const std::unique_ptr<poiset>& set : list.poisets) {
        chooser.add(set->name, set->name_encoding());
        text_encoding encoding = set->texts_encoding();
        auto add = [&](const stored_text& text) {
            if (text) chooser.add(*text, encoding);
        };
        for (const waypoint& w : set->waypoints) for_each_text(w, add);
        for (const waypoint_details& details : set->details) for_each_detail_text(details, add);
        for (const stored_text& category : set->categories) add(category);
    }
    return chooser.choice();
}

void fit_set_to_gpi(poiset& set, bool utf8, const split_policy& split) {
    set_limits(set).apply(utf8, utf8, split);
}

}  // namespace velmora
