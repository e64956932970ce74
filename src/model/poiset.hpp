#pragma once
// The run's POI sets: what each input file contributes, in memory until the export.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "model/icon_list.hpp"
#include "model/poi_media.hpp"
#include "model/text_store.hpp"
#include "model/waypoint.hpp"
#include "model/waypoint_list.hpp"
#include "platform/code_page.hpp"
#include "text/output_code_page.hpp"

namespace velmora {

struct poiset {
    std::string name;
    waypoint_list waypoints;                // in reading order
    std::vector<waypoint_details> details;  // what waypoint::details refers to
    text_store texts;                       // the bytes of every text of the waypoints
    std::vector<stored_text> categories;    // category names, in the texts' encoding
    std::optional<std::string> icon_spec;
    std::unique_ptr<icon_list> icons;
    std::vector<poi_media> media;       // sound clips of the alerts, ids distinct
    std::vector<poi_picture> pictures;  // what waypoint_details::picture refers to
    bool is_utf8 = false;               // texts are UTF-8, else in the code page below
    std::optional<code_page> codepage;  // none: each byte is the character of its number
    bool name_is_utf8 = false;  // the name is UTF-8 (a file's name), else in the texts' encoding
    std::int32_t time = 0;      // seconds since 1970, from a GPI header
    // The data source (product) and copyright a GPI header names, in the texts' encoding;
    // empty for other inputs and for files that name none.
    std::string producer;
    std::string copyright;

    [[nodiscard]] int count() const { return static_cast<int>(waypoints.size()); }

    // The encoding of the waypoints' texts and category names.
    [[nodiscard]] text_encoding texts_encoding() const {
        return {is_utf8, codepage ? &*codepage : nullptr};
    }
    // The encoding of the set's name: UTF-8 for a name taken from a file's name (sets read
    // from GPX files or speed-camera lists), else that of the texts (a GPI group's name).
    [[nodiscard]] text_encoding name_encoding() const {
        return name_is_utf8 ? text_encoding{true, nullptr} : texts_encoding();
    }

    // A copy of the text in the set's store, for a waypoint of this set.
    [[nodiscard]] stored_text store(std::string_view text) { return texts.add(text); }
    [[nodiscard]] stored_text store_optional(std::optional<std::string_view> text) {
        return texts.add_optional(text);
    }

    // The details of the waypoint, when it has any.
    [[nodiscard]] const waypoint_details* details_of(const waypoint& w) const {
        return w.details == no_details ? nullptr : &details[w.details];
    }
    // The details of the waypoint to change, made empty when it has none yet; a waypoint
    // that shares a record gets a copy of its own first.  Throws std::bad_alloc.
    waypoint_details& details_for(waypoint& w);

    // A record of details that many waypoints hold alike (the category of a folder's
    // POIs, say), added once instead of once per waypoint; share_details() gives it to a
    // waypoint.  Throws std::bad_alloc.
    [[nodiscard]] std::uint32_t add_shared_details(waypoint_details shared);
    void share_details(waypoint& w, std::uint32_t index) const { w.details = index; }
    // True when the record at the index is one that add_shared_details() added.
    [[nodiscard]] bool details_are_shared(std::uint32_t index) const {
        return index < shared_details_.size() && shared_details_[index];
    }

    // The index of the category of that name (compared byte for byte), added to the
    // table when new; none when the table is full (max_categories), after a warning the
    // first time.  Categories are added only through this.  Throws std::bad_alloc.
    [[nodiscard]] std::optional<std::uint16_t> category_index(std::string_view category);
    // Puts the waypoint into the category of that name (once); false when the table is
    // full.  Throws std::bad_alloc.
    bool add_to_category(waypoint& w, std::string_view category);

  private:
    // The index of each category by its name, so that finding one costs the same
    // however many there are; the names as added, whatever a later step makes of the
    // stored texts.
    struct name_hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const {
            return std::hash<std::string_view>{}(text);
        }
    };
    std::unordered_map<std::string, std::uint16_t, name_hash, std::equal_to<>> category_numbers_;
    // Per record of details, up to the last shared one: whether it is shared.
    std::vector<bool> shared_details_;
    bool category_limit_reported_ = false;
};

// Category numbers are 16 bits wide in GPI files, and so are the model's.
inline constexpr std::size_t max_categories = 65536;

// The set's name as a message shows it (display_text).
[[nodiscard]] std::string shown_name(const poiset& set);

struct poiset_list {
    std::vector<std::unique_ptr<poiset>> poisets;

    [[nodiscard]] int count() const { return static_cast<int>(poisets.size()); }
};

// Appends a new empty set; none (after "\nFatal: Can't allocate one more poiset") when
// memory runs out.
[[nodiscard]] poiset* poiset_list_add(poiset_list& list);

// Appends a new empty waypoint; none (after "\nError: Can't allocate one waypoint!")
// when memory runs out, the set unchanged.  The reference stays valid until the next
// waypoint is added.
[[nodiscard]] waypoint* poiset_add_waypoint(poiset& set);

}  // namespace velmora
