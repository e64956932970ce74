#include "driver/gpi_preparation.hpp"

#include <new>
#include <span>
#include <string>

#include "gpi/gpi_blocks.hpp"
#include "gpi/gpi_format.hpp"
#include "gpi/gpi_units.hpp"
#include "icons/icon_convert.hpp"
#include "platform/messages.hpp"
#include "platform/side_by_side.hpp"
#include "text/encoding.hpp"

namespace velmora {

namespace {

void convert_text(text_store& texts, stored_text& text, const code_page& page) {
    texts.edit_in_place(text, [&page](char* bytes, std::size_t size) {
        return utf8_to_codepage_in_place(bytes, size, page);
    });
}

void convert_pairs(text_store& texts, std::vector<text_pair>& pairs, const code_page& page) {
    for (text_pair& pair : pairs) {
        convert_text(texts, pair.key, page);
        convert_text(texts, pair.value, page);
    }
}

// Each waypoint's texts are converted in place and on their own, so ranges of
// waypoints can be converted side by side.
void convert_waypoints(poiset& set, std::span<waypoint> waypoints, const code_page& page) {
    for (waypoint& w : waypoints) {
        convert_text(set.texts, w.name, page);
        convert_text(set.texts, w.description, page);
        convert_text(set.texts, w.comment, page);
        convert_text(set.texts, w.symbol, page);
        convert_text(set.texts, w.link, page);
    }
}

// Sets of at least this many waypoints are converted by two threads.
constexpr std::size_t parallel_conversion_from = 65536;

// Converts every text of the UTF-8 set's waypoints into the code page, which the set
// then holds.
void convert_set_texts(poiset& set, const code_page& page) {
    std::span<waypoint> all(set.waypoints);
    auto half = all.size() / 2;
    if (all.size() < parallel_conversion_from ||
        !run_side_by_side([&] { convert_waypoints(set, all.first(half), page); },
                          [&] { convert_waypoints(set, all.subspan(half), page); })) {
        convert_waypoints(set, all, page);
    }
    for (waypoint_details& details : set.details) {
        convert_pairs(set.texts, details.address, page);
        convert_pairs(set.texts, details.phones, page);
    }
    set.is_utf8 = false;
    set.codepage = page;
}

// At most this much of a name goes into a message.
constexpr int shown_name = 64;

// Cuts the group name to what a multilingual string holds.  In UTF-8 the cut moves
// back to the start of a character that would be split.
bool cut_name(std::string& text, bool utf8) {
    if (text.size() <= gpi_max_text) return false;
    std::size_t end = gpi_max_text;
    if (utf8) {
        std::size_t lead = end;
        while (lead > 0 && end - lead < 3 &&
               (static_cast<unsigned char>(text[lead]) & 0xC0) == 0x80) {
            --lead;
        }
        if (lead < end && (static_cast<unsigned char>(text[lead]) & 0xC0) == 0xC0) end = lead;
    }
    text.resize(end);
    return true;
}

// Makes a set fit the fields of the format: texts longer than 65535 bytes are cut, and
// alert values beyond 16 bits (which the encoder clamps) are reported.
class set_limits {
  public:
    explicit set_limits(poiset& set) : set_(set) {}

    void apply(bool name_is_utf8) {
        if (cut_name(set_.name, name_is_utf8)) {
            report("\nWarning: Name of poi set (%.*s) is longer than 65535 bytes, cut to %zu bytes",
                   shown_name, set_.name.c_str(), set_.name.size());
        }
        for (std::size_t i = 0; i < set_.waypoints.size(); ++i) apply(set_.waypoints[i], i + 1);
    }

  private:
    void apply(waypoint& w, std::size_t number) {
        cut(w.name, "Name", w, number);
        cut(w.comment, "Comment", w, number);
        cut(w.description, "Description", w, number);
        if (w.details != no_details) {
            waypoint_details& details = set_.details[w.details];
            for (std::string_view key : gpi_address_keys) cut_field(details.address, key, w, number);
            cut_field(details.phones, gpi_phone_key, w, number);
        }
        if ((w.flags & has_proximity) != 0) {
            clamped_u16 proximity = gpi_distance_clamped(w.proximity);
            if (proximity.clamped) {
                report(
                    "\nWarning: Proximity (%.1f m) of poi %zu (%.*s) in set (%s) does not fit a "
                    "gpi file, written as %u m",
                    w.proximity, number, shown_name, name_of(w).c_str(), set_.name.c_str(),
                    static_cast<unsigned>(proximity.value));
            }
        }
        if ((w.flags & has_speed) != 0) {
            clamped_u16 speed = gpi_speed_clamped(w.speed);
            if (speed.clamped) {
                report(
                    "\nWarning: Speed (%.1f km/h) of poi %zu (%.*s) in set (%s) does not fit a gpi "
                    "file, written as %.1f km/h",
                    w.speed, number, shown_name, name_of(w).c_str(), set_.name.c_str(),
                    speed.value * 0.036);
            }
        }
    }

    // Texts are in a single-byte code page here: those of UTF-8 sets were converted.
    void cut(stored_text& text, const char* what, const waypoint& w, std::size_t number) {
        if (!text || text->size() <= gpi_max_text) return;
        text.cut_to(gpi_max_text);
        report(
            "\nWarning: %s of poi %zu (%.*s) in set (%s) is longer than 65535 bytes, cut to %zu "
            "bytes",
            what, number, shown_name, name_of(w).c_str(), set_.name.c_str(), text->size());
    }

    void cut_field(std::vector<text_pair>& pairs, std::string_view key, const waypoint& w,
                   std::size_t number) {
        for (text_pair& pair : pairs) {
            if (!pair.key || *pair.key != key) continue;
            std::string what(key);
            cut(pair.value, what.c_str(), w, number);
            return;
        }
    }

    // The name as a message shows it: up to its first zero byte.
    static std::string name_of(const waypoint& w) {
        std::string_view name = w.name.value_or_empty();
        return std::string(name.substr(0, name.find('\0')));
    }

    poiset& set_;
};

}  // namespace

std::optional<std::vector<gpi_group>> prepare_for_gpi(poiset_list& list,
                                                     const code_page& output_page) {
    std::vector<gpi_group> groups;
    for (const std::unique_ptr<poiset>& set : list.poisets) {
        if (set->waypoints.empty()) {
            report("\nWarning: Poi set (%s) has no pois; it is left out of the gpi file",
                   set->name.c_str());
            continue;
        }
        try {
            bool name_is_utf8 = set->is_utf8;
            if (set->is_utf8) convert_set_texts(*set, output_page);
            set_limits(*set).apply(name_is_utf8);
            gpi_group group;
            group.set = set.get();
            group.bitmaps = build_bitmap_set(set->icons.get());
            if (!group.bitmaps) group.bitmaps = std::make_unique<icon_list>();
            auto areas = area_index_build(set->waypoints);
            if (!areas) {
                report("\nError: No area index for poi set (%s)", set->name.c_str());
                return std::nullopt;
            }
            group.areas = std::move(*areas);
            groups.push_back(std::move(group));
        } catch (const std::bad_alloc&) {
            report("\nError: Out of memory while writing poi set (%s) into the gpi file",
                   set->name.c_str());
            return std::nullopt;
        }
    }
    return groups;
}

}  // namespace velmora
