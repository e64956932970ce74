#include "gpi/gpi_reader.hpp"

#include <algorithm>
#include <array>
#include <bitset>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "gpi/gpi_bitmap.hpp"
#include "gpi/gpi_format.hpp"
#include "gpi/gpi_span_reader.hpp"
#include "gpi/gpi_units.hpp"
#include "platform/code_page.hpp"
#include "platform/file_kind.hpp"
#include "platform/little_endian.hpp"
#include "platform/messages.hpp"
#include "platform/page_buffer.hpp"
#include "platform/stdio_file.hpp"
#include "platform/whole_input.hpp"
#include "text/output_code_page.hpp"

namespace velmora {

namespace {

using bytes_view = std::span<const std::uint8_t>;

char upper_ascii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// The text of one string entry: its bytes up to the first zero byte, viewed where the
// file's bytes lie.
std::string_view text_of(bytes_view bytes) {
    std::size_t count = bytes.size();
    if (count == 0) return {};
    if (const void* zero = std::memchr(bytes.data(), 0, count); zero != nullptr) {
        count = static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - bytes.data());
    }
    return {reinterpret_cast<const char*>(bytes.data()), count};
}

// Kinds of records that are skipped and counted, in the order of the summary.
enum class skipped_kind {
    picture,
    media,
    alert_circles,
    trigger_options,
    speed_camera,
    damaged,
    unknown
};
constexpr std::size_t skipped_kind_count = 7;

using language_code = std::array<char, 2>;

// What reading one file gathers besides its POIs: the header values that apply to the
// groups after them, the languages of its texts, the records it skips, and the
// categories of the group being read.
struct file_state {
    std::int32_t code_page = 0;  // of the last POI header, for the groups after it
    std::int32_t time = 0;       // of the last file header
    std::string producer;        // of the last POI header's copyright record
    std::string copyright;
    std::string wanted;  // upper case; texts' codes have two letters, so longer ones match none
    std::vector<language_code> languages;  // of the texts, in order of first appearance
    bool header_seen = false;
    std::array<long long, skipped_kind_count> skipped{};
    // The category records of the group being read: the file's number and the name.
    std::vector<std::pair<std::uint16_t, std::string>> categories;
    // The keys of the address and contact fields, stored once in the group's set.
    std::array<stored_text, gpi_address_fields.size()> address_keys;
    std::array<stored_text, gpi_contact_fields.size()> contact_keys;
    // The alerts of the group being read that name a media record, which follow the POIs:
    // the waypoint's number, the id, and whether the alert has a speed.
    struct named_sound {
        std::size_t point = 0;
        std::uint16_t id = 0;
        bool speed = false;
    };
    std::vector<named_sound> sounds;
    // The ids of the media records the group holds, to find a repeated one at once
    // however many records it has.
    std::bitset<65536> media_ids;

    void saw_language(language_code code) {
        for (char& c : code) c = upper_ascii(c);
        // Most files hold a single language, so the one noted last is tried first.
        auto same = [&code](const language_code& seen) {
            return seen[0] == code[0] && seen[1] == code[1];
        };
        if (!languages.empty() && same(languages.back())) return;
        if (std::none_of(languages.begin(), languages.end(), same)) languages.push_back(code);
    }
    [[nodiscard]] bool is_wanted(language_code code) const {
        return wanted.size() == 2 && upper_ascii(code[0]) == wanted[0] &&
               upper_ascii(code[1]) == wanted[1];
    }
    void skip(skipped_kind kind) { ++skipped[static_cast<std::size_t>(kind)]; }

    // Gives the bytes of the file before the position back to the system, a stretch at a
    // time, once every record in them is read and copied where it belongs.
    passed_text give_back;
    std::size_t given_back = 0;
    void read_up_to(std::size_t position) { pass_bytes_up_to(give_back, given_back, position); }
};

// The record into which a block's content goes: the list at the top of the file, the
// set inside a POI group (and its areas), the waypoint inside a POI record.
struct gpi_record {
    poiset_list* list = nullptr;  // always set
    poiset* set = nullptr;        // inside a POI group
    waypoint* point = nullptr;    // inside a POI record
    file_state* file = nullptr;   // always set
};

// Bit of the file header's flags byte: the publisher has scrambled the file.
constexpr std::uint8_t file_scrambled = 0x04;

constexpr std::uint32_t utf8_code_page = 65001;

enum class record_kind { list, set, point };

record_kind kind_of(const gpi_record& record) {
    if (record.point != nullptr) return record_kind::point;
    if (record.set != nullptr) return record_kind::set;
    return record_kind::list;
}

const char* where_name(record_kind kind) {
    switch (kind) {
        case record_kind::list:
            return "the file";
        case record_kind::set:
            return "a poi group";
        case record_kind::point:
            return "a poi";
    }
    return "";
}

// File positions in messages are printed with %X.
unsigned file_pos(std::size_t position) {
    return static_cast<unsigned>(position);
}

// Fixed header bytes quoted in a message: up to the first zero byte, control
// characters shown as '?' so that a file can't send terminal sequences.
std::string quoted_bytes(bytes_view bytes) {
    std::string text;
    for (std::uint8_t c : bytes) {
        if (c == 0) break;
        text.push_back((c < 0x20 || c == 0x7F) ? '?' : static_cast<char>(c));
    }
    return text;
}

// One block being read: its bytes behind the header (and behind the main_size field of
// a flagged block) and its type.
struct block_in {
    gpi_span_reader body;
    std::uint16_t type = 0;
    std::uint16_t flags = 0;
    std::size_t data_pos = 0;                // file position behind the 8-byte header
    std::optional<std::uint32_t> main_size;  // of a flagged block

    [[nodiscard]] bool is(gpi_block_type t) const { return type == gpi_type_number(t); }
};

// Reports a block whose fields run past its data; 'in' is the reader that ran out.
bool cut_short(const block_in& block, const gpi_span_reader& in) {
    report("\nError: gpi structure. Block type 0x%X ends inside its data! (File pos:0x%X)",
           static_cast<unsigned>(block.type), file_pos(in.position()));
    return false;
}

bool out_of_place(const block_in& block, record_kind kind) {
    report("\nError: gpi structure. Block type 0x%X not expected in %s! (File pos:0x%X)",
           static_cast<unsigned>(block.type), where_name(kind), file_pos(block.data_pos));
    return false;
}

// The own data of a block: the main_size bytes of a flagged block, else all of it.  The
// body keeps what follows, the records nested in the block.  A failed reader when the
// main_size is larger than the block.
gpi_span_reader own_data(block_in& block) {
    if (!block.main_size) return block.body.rest();
    return block.body.child(*block.main_size);
}

// Why a multilingual string could not be read: the size or length found and where.
enum class string_fault { none, too_small, past_block };
struct string_outcome {
    string_fault fault = string_fault::none;
    std::uint32_t size = 0;
    std::size_t position = 0;
};

// The entries behind the first one: each language is noted, and the text of the
// wanted language replaces the first entry's.  Entries that don't fit are ignored.
void read_further_entries(gpi_span_reader entries, std::string_view& text, file_state& file,
                          bool have_wanted) {
    while (entries.remaining() >= 4) {
        bytes_view code = entries.bytes(2);
        std::uint16_t length = entries.u16();
        bytes_view bytes = entries.bytes(length);
        if (entries.failed()) return;
        language_code language{static_cast<char>(code[0]), static_cast<char>(code[1])};
        file.saw_language(language);
        if (!have_wanted && file.is_wanted(language)) {
            text = text_of(bytes);
            have_wanted = true;
        }
    }
}

// Reads a multilingual string: its uint32 total size, then the first entry's text (any
// language code), cut at a zero byte, or the entry of the wanted language; the reader
// ends behind the string.  An entry longer than the total size allows is reported
// (when 'report_cut') and cut to that size.
string_outcome read_multilingual(gpi_span_reader& in, std::string_view& text, file_state& file,
                                 bool report_cut) {
    std::uint32_t total_size = in.u32();
    if (in.failed()) return {string_fault::past_block, 4, in.position()};
    if (total_size < 4) return {string_fault::too_small, total_size, in.position()};
    if (total_size > in.remaining()) return {string_fault::past_block, total_size, in.position()};
    gpi_span_reader entry = in;
    bytes_view code = entry.bytes(2);
    std::uint16_t length = entry.u16();
    std::size_t text_pos = entry.position();
    bytes_view bytes = entry.bytes(length);
    if (entry.failed()) return {string_fault::past_block, length, text_pos};
    std::size_t bound = total_size - 4;
    if (length > bound) {
        if (report_cut) {
            report("\nError: string to read is longer than buffer size! (File pos:%X)",
                   file_pos(text_pos));
        }
        bytes = bytes.first(bound);
    }
    text = text_of(bytes);
    language_code first{static_cast<char>(code[0]), static_cast<char>(code[1])};
    file.saw_language(first);
    if (length < bound) {
        read_further_entries(entry.child(bound - length), text, file, file.is_wanted(first));
    }
    in = entry;
    return {};
}

// Reads a multilingual string of a block's own data: the names and texts a block can't
// do without, so a fault fails the block with a message.
bool read_string(gpi_span_reader& in, std::string_view& text, file_state& file) {
    string_outcome outcome = read_multilingual(in, text, file, true);
    switch (outcome.fault) {
        case string_fault::none:
            return true;
        case string_fault::too_small:
            report("\nError: gpi structure. String size %u is below 4! (File pos:0x%X)",
                   static_cast<unsigned>(outcome.size), file_pos(outcome.position));
            return false;
        case string_fault::past_block:
            report(
                "\nError: gpi structure. String of %u bytes runs past its block! (File "
                "pos:0x%X)",
                static_cast<unsigned>(outcome.size), file_pos(outcome.position));
            return false;
    }
    return false;
}

bool next_block(gpi_span_reader& in, block_in& block, const file_state& file);
bool skip_gpi_block(gpi_span_reader& in, file_state& file);
bool read_gpi_block(gpi_span_reader& in, const gpi_record& current, int area_depth);

// The records nested in a block whose own data is all the model keeps of it (the
// product and copyright records of a header, the alert circles and trigger options of
// an alert, the icon of a category); each is skipped by its length.
bool skip_nested_records(block_in& block, file_state& file) {
    while (block.body.remaining() > 0) {
        if (!skip_gpi_block(block.body, file)) return false;
    }
    return true;
}

// Reads the nested blocks up to the end of the block.
bool read_children(block_in& block, const gpi_record& current, int area_depth) {
    while (block.body.remaining() > 0) {
        if (!read_gpi_block(block.body, current, area_depth)) return false;
    }
    return true;
}

// "GRMREC00" or "GRMREC01", the time stamp, the flags that tell a scrambled file, and a
// file name of any length; nested records are skipped.
bool read_file_header(block_in& block, file_state& file) {
    gpi_span_reader in = own_data(block);
    bytes_view magic = in.bytes(8);
    if (in.failed()) return cut_short(block, in);
    if (std::memcmp(magic.data(), "GRMREC00", 8) != 0 &&
        std::memcmp(magic.data(), "GRMREC01", 8) != 0) {
        report("\nError: gpi structure. \"GRMREC00\" expected but \"%s\" found! (File pos:0x%X)",
               quoted_bytes(magic).c_str(), file_pos(in.position()));
        return false;
    }
    std::uint32_t time = in.u32();
    std::uint8_t flags = in.u8();
    in.skip(1);         // the size of the scrambled pieces
    in.skip(in.u16());  // the file name
    if (in.failed()) return cut_short(block, in);
    if ((flags & file_scrambled) != 0) {
        report(
            "\nError: The gpi file is locked: its publisher has scrambled its contents, and "
            "Velmora does not read locked files. (File pos:0x%X)",
            file_pos(block.data_pos));
        return false;
    }
    file.time = static_cast<std::int32_t>(time);
    file.header_seen = true;
    return skip_nested_records(block, file);
}

// The data source and copyright of a copyright record: flags and two zero words, then
// two multilingual strings.  They only tell the reader of a report where the file comes
// from, so a record that does not hold them is passed over, and their languages are not
// counted among the file's.
void read_copyright(block_in& block, file_state& file) {
    gpi_span_reader in = own_data(block);
    in.skip(8);
    if (in.failed()) return;
    file_state strings;
    strings.wanted = file.wanted;
    std::string_view producer;
    std::string_view copyright;
    if (read_multilingual(in, producer, strings, false).fault != string_fault::none) return;
    if (read_multilingual(in, copyright, strings, false).fault != string_fault::none) {
        copyright = {};
    }
    file.producer = producer;
    file.copyright = copyright;
}

// "POI", three zero bytes and the version, then the code page in 16 bits: the two bytes
// behind it hold flags in files of the newer layout.
bool read_poi_header(block_in& block, file_state& file) {
    gpi_span_reader in = own_data(block);
    bytes_view magic = in.bytes(3);
    if (in.failed()) return cut_short(block, in);
    if (std::memcmp(magic.data(), "POI", 3) != 0) {
        report("\nError: gpi structure. \"POI\" expected but \"%s\" found! (File pos:0x%X)",
               quoted_bytes(magic).c_str(), file_pos(in.position()));
        return false;
    }
    in.skip(3 + 2);
    std::uint16_t code_page_number = in.u16();
    if (in.failed()) return cut_short(block, in);
    file.code_page = code_page_number;
    file.producer.clear();
    file.copyright.clear();
    while (block.body.remaining() > 0) {
        gpi_span_reader at = block.body;
        if (!skip_gpi_block(block.body, file)) return false;
        block_in nested;
        if (next_block(at, nested, file) && nested.is(gpi_block_type::copyright_block)) {
            read_copyright(nested, file);
        }
    }
    return true;
}

// Gives the set the categories of its group, once the group is read (its category
// records follow the POIs): the waypoints' references, which hold the file's numbers
// while the group is read, become indexes into the set's categories.  A reference to a
// number the group does not define is dropped; of two definitions of a number the first
// counts.
void resolve_categories(poiset& set, file_state& file) {
    std::vector<std::pair<std::uint16_t, std::string>>& defined = file.categories;
    std::stable_sort(defined.begin(), defined.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::pair<std::uint16_t, std::uint16_t>> index_of;  // file number, index
    for (std::size_t i = 0; i < defined.size(); ++i) {
        if (i > 0 && defined[i].first == defined[i - 1].first) continue;
        if (auto index = set.category_index(defined[i].second)) {
            index_of.emplace_back(defined[i].first, *index);
        }
    }
    // last_seen[index]: the last waypoint's details that took the category, so that a
    // repeated reference is dropped in one pass however many a POI holds.
    std::vector<std::size_t> last_seen(set.categories.size(), set.details.size());
    for (std::size_t d = 0; d < set.details.size(); ++d) {
        std::vector<std::uint16_t>& refs = set.details[d].categories;
        std::size_t kept = 0;
        for (std::uint16_t number : refs) {
            auto found = std::lower_bound(index_of.begin(), index_of.end(),
                                          std::pair<std::uint16_t, std::uint16_t>{number, 0});
            if (found == index_of.end() || found->first != number) continue;
            if (last_seen[found->second] == d) continue;
            last_seen[found->second] = d;
            refs[kept++] = found->second;
        }
        refs.resize(kept);
    }
    defined.clear();
}

// Drops the icon references of the group's POIs to icons the group does not hold (its
// bitmaps follow the POIs), with one warning for the group: no output could show them.
void drop_dangling_icon_refs(poiset& set) {
    std::vector<std::uint16_t> held;
    if (set.icons) {
        for (const auto& entry : set.icons->entries) {
            // The writers leave out a bitmap of the number that means none.
            if (entry->icon_id != no_icon_id) held.push_back(entry->icon_id);
        }
    }
    std::sort(held.begin(), held.end());
    long long dropped = 0;
    std::uint16_t first_missing = 0;
    for (waypoint& w : set.waypoints) {
        if ((w.flags & has_icon) == 0 || std::binary_search(held.begin(), held.end(), w.icon_id))
            continue;
        if (dropped++ == 0) first_missing = w.icon_id;
        w.flags &= ~has_icon;
        w.icon_id = 0;
    }
    if (dropped == 0) return;
    report(
        "\nWarning: %lli poi%s of the group %s refer%s to an icon the group lacks (icon %u "
        "first); the reference%s dropped",
        dropped, dropped == 1 ? "" : "s", shown_name(set).c_str(), dropped == 1 ? "s" : "",
        static_cast<unsigned>(first_missing), dropped == 1 ? " was" : "s were");
}

// Gives the alerts of the group that name a media record their sound, once the group is
// read (its media records follow the POIs).  Such an alert is a proximity alert, and a
// speed alert too when it has a speed: the byte that holds the alert kinds in others
// holds a part of the id.  An alert naming an id the group lacks stays as read, with
// one warning for the group.
void resolve_sounds(poiset& set, file_state& file) {
    std::vector<std::uint16_t> ids;
    ids.reserve(set.media.size());
    for (const poi_media& record : set.media) ids.push_back(record.id);
    std::sort(ids.begin(), ids.end());
    long long missing = 0;
    std::uint16_t first_missing = 0;
    for (const file_state::named_sound& sound : file.sounds) {
        if (!std::binary_search(ids.begin(), ids.end(), sound.id)) {
            if (missing++ == 0) first_missing = sound.id;
            continue;
        }
        waypoint& w = set.waypoints[sound.point];
        w.flags = (w.flags & ~(has_proximity | has_speed)) | has_proximity |
                  (sound.speed ? has_speed : 0u);
        set.details_for(w).sound = sound.id;
    }
    file.sounds.clear();
    if (missing == 0) return;
    report(
        "\nWarning: %lli alert%s of the group %s name%s a sound clip the group lacks (media id "
        "%u first); %s plain alert%s",
        missing, missing == 1 ? "" : "s", shown_name(set).c_str(), missing == 1 ? "s" : "",
        static_cast<unsigned>(first_missing), missing == 1 ? "it stays a" : "they stay",
        missing == 1 ? "" : "s");
}

// The group's name, then its areas, categories and bitmaps, whichever part of the block
// they lie in.
bool read_poi_set_header(block_in& block, poiset_list& list, file_state& file) {
    std::string_view name;
    if (!read_string(block.body, name, file)) return false;
    poiset* set = poiset_list_add(list);
    if (set == nullptr) return false;
    set->name = name;
    set->is_utf8 = static_cast<std::uint32_t>(file.code_page) == utf8_code_page;
    set->codepage = code_page::create(file.code_page);
    set->time = file.time;
    set->producer = file.producer;
    set->copyright = file.copyright;
    set->icons = std::make_unique<icon_list>();
    file.categories.clear();
    file.address_keys = {};
    file.contact_keys = {};
    file.sounds.clear();
    file.media_ids.reset();
    bool ok = read_children(block, gpi_record{&list, set, nullptr, &file}, 0);
    resolve_categories(*set, file);
    resolve_sounds(*set, file);
    drop_dangling_icon_refs(*set);
    return ok;
}

// An area's own data (its bounds, which the set's are computed without) ends where its
// main_size says, whatever its flags; the areas or POIs in it follow.
bool read_area_block(block_in& block, const gpi_record& current, int area_depth) {
    if (area_depth >= gpi_max_area_depth) {
        report("\nError: gpi structure. Areas nested deeper than %i levels! (File pos:0x%X)",
               gpi_max_area_depth, file_pos(block.data_pos));
        return false;
    }
    if (!block.main_size) block.main_size = block.body.u32();
    gpi_span_reader own = own_data(block);
    if (own.failed() || block.body.failed()) return cut_short(block, block.body);
    return read_children(block, current, area_depth + 1);
}

// Whether a position lies on the earth: semicircles reach -180 degrees of latitude,
// which no other format takes.  Else the POI is left out with the warning other readers
// give for an invalid position.
bool position_is_valid(double lat, double lon, std::string_view name, const poiset& set) {
    if (std::fabs(lat) <= 90.0 && std::fabs(lon) <= 180.0) return true;
    report("\nWarning: Waypoint (%s) has an invalid position (lat=\"%.7f\" lon=\"%.7f\"), ignored",
           display_text(name, set.texts_encoding(), shown_text).c_str(), lat, lon);
    return false;
}

bool read_poi_block(block_in& block, const gpi_record& current) {
    gpi_span_reader in = own_data(block);
    std::int32_t lat = in.i32();
    std::int32_t lon = in.i32();
    in.skip(in.u16());  // flag bytes
    if (in.failed()) return cut_short(block, in);
    std::string_view name;
    if (!read_string(in, name, *current.file)) return false;
    double lat_degrees = semicircles_to_degrees(lat);
    double lon_degrees = semicircles_to_degrees(lon);
    if (!position_is_valid(lat_degrees, lon_degrees, name, *current.set)) return true;
    waypoint* point = poiset_add_waypoint(*current.set);
    if (point == nullptr) return false;
    point->lat = lat_degrees;
    point->lon = lon_degrees;
    point->flags |= has_position;
    point->name = current.set->store(name);
    if (!read_children(block, gpi_record{current.list, current.set, point, current.file}, 0))
        return false;
    current.file->read_up_to(block.body.position());
    return true;
}

// An alert: distance, speed, four reserved bytes, on, its kind, then either the alert
// kinds (proximity, speed) and the mark of a built-in sound, or the 16-bit id of a media
// record of the group, which the group's end resolves (resolve_sounds).
bool read_alert_block(block_in& block, poiset& set, waypoint& point, file_state& file) {
    gpi_span_reader in = own_data(block);
    std::uint16_t proximity = in.u16();
    std::uint16_t speed = in.u16();
    in.skip(4 + 1);  // reserved, on
    std::uint8_t kind = in.u8();
    std::uint8_t kinds = in.u8();
    if (in.failed()) return cut_short(block, in);
    // An alert that ends before its last byte has a built-in sound, as it always had.
    std::uint8_t sound_mark = in.remaining() > 0 ? in.u8() : gpi_alert_builtin_sound;
    point.proximity = proximity;
    point.speed = gpi_speed_to_kmh(speed);
    if ((kinds & gpi_alert_kind_proximity) != 0) point.flags |= has_proximity;
    if ((kinds & gpi_alert_kind_speed) != 0) point.flags |= has_speed;
    if (kind == gpi_alert_tour_guide) point.flags |= tour_guide_alert;
    if (sound_mark != gpi_alert_builtin_sound) {
        auto id = static_cast<std::uint16_t>(kinds | (sound_mark << 8));
        // The POI being read is the set's last waypoint.
        file.sounds.push_back({set.waypoints.size() - 1, id, speed != 0});
    }
    return skip_nested_records(block, file);
}

// A POI's picture: a byte (0), the JPEG's length and its bytes, taken as they are.  A
// picture whose length disagrees with its record, that is empty, too large or not a
// JPEG, or a second one of a POI, is left out with a message and counted.
bool read_picture_block(block_in& block, poiset& set, waypoint& point, file_state& file) {
    auto drop = [&](const std::string& why) {
        report(
            "\nWarning: gpi picture record of the poi %s %s; the picture is left out (File "
            "pos:0x%X)",
            display_text(point.name.value_or_empty(), set.texts_encoding(), shown_text).c_str(),
            why.c_str(), file_pos(block.data_pos));
        file.skip(skipped_kind::picture);
        return true;
    };
    using std::to_string;
    gpi_span_reader in = own_data(block);
    in.skip(1);
    std::uint32_t length = in.u32();
    if (in.failed()) return drop("is cut short, 5 bytes needed before the picture");
    if (length != in.remaining()) {
        return drop("says the picture has " + to_string(length) + " bytes where it has " +
                    to_string(in.remaining()));
    }
    if (length == 0) return drop("holds a picture of 0 bytes");
    if (length > gpi_max_picture) {
        return drop("holds a picture of " + to_string(length) + " bytes, more than the " +
                    to_string(gpi_max_picture) + " Velmora keeps");
    }
    bytes_view jpeg = in.bytes(length);
    static constexpr std::array<std::uint8_t, 3> jpeg_start = {0xFF, 0xD8, 0xFF};
    if (length < jpeg_start.size() ||
        !std::equal(jpeg_start.begin(), jpeg_start.end(), jpeg.begin())) {
        return drop("holds no JPEG picture (it lacks the bytes FF D8 FF at its start)");
    }
    const waypoint_details* details = set.details_of(point);
    if (details != nullptr && details->picture) return drop("is the POI's second one");
    if (set.pictures.size() >= std::numeric_limits<std::uint32_t>::max()) {
        return drop("is one more than a set holds");
    }
    set.pictures.push_back(poi_picture{{jpeg.begin(), jpeg.end()}});
    set.details_for(point).picture = static_cast<std::uint32_t>(set.pictures.size() - 1);
    return true;
}

bool read_icon_ref_block(block_in& block, waypoint& point) {
    std::uint16_t icon_id = block.body.u16();
    if (block.body.failed()) return cut_short(block, block.body);
    point.icon_id = icon_id;
    point.flags |= has_icon;
    return true;
}

bool read_bitmap_block(block_in& block, poiset& set) {
    gpi_span_reader& in = block.body;
    std::uint16_t icon_id = in.u16();
    std::uint16_t height = in.u16();
    std::uint16_t width = in.u16();
    in.skip(2);  // row size
    std::uint16_t bits_per_pixel = in.u16();
    in.skip(2);  // reserved
    std::uint32_t image_size = in.u32();
    in.skip(4);  // pixel offset
    std::uint32_t palette_count = in.u32();
    std::uint32_t transparent_colour = in.u32();
    in.skip(4 + 4);  // reserved, palette offset
    if (in.failed()) return cut_short(block, in);
    // Both sizes are checked against the block before anything is allocated.
    std::uint64_t palette_bytes = 4ull * palette_count;
    std::uint64_t needed = image_size + palette_bytes;
    std::uint64_t block_size = needed + gpi_bitmap_header_size;
    if (needed > in.remaining() ||
        block_size > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
        report(
            "\nError: gpi structure. Bitmap %u needs %llu bytes but its block has %llu left! "
            "(File pos:0x%X)",
            static_cast<unsigned>(icon_id), static_cast<unsigned long long>(needed),
            static_cast<unsigned long long>(in.remaining()), file_pos(in.position()));
        return false;
    }
    auto bitmap = std::make_unique<gpi_bitmap>();
    bitmap->icon_id = icon_id;
    bitmap->height = height;
    bitmap->width = width;
    bitmap->bits_per_pixel = bits_per_pixel;
    bitmap->palette_count = palette_count;
    bitmap->transparent_colour = transparent_colour;
    bytes_view pixels = in.bytes(image_size);
    bitmap->pixels.assign(pixels.begin(), pixels.end());
    bitmap->palette.resize(palette_count);
    for (std::uint32_t& colour : bitmap->palette) colour = in.u32();

    auto entry = std::make_unique<icon_entry>();
    entry->symbol = "gpi_icon_" + std::to_string(icon_id);
    entry->format = icon_format_gpi;
    entry->icon_id = icon_id;
    entry->usage = 0;
    entry->bitmap = std::move(bitmap);
    if (!set.icons) set.icons = std::make_unique<icon_list>();
    set.icons->entries.push_back(std::move(entry));
    return true;
}

bool read_comment_block(block_in& block, poiset& set, waypoint& point, file_state& file) {
    gpi_span_reader in = own_data(block);
    std::string_view text;
    if (!read_string(in, text, file)) return false;
    point.comment = set.store(text);
    return true;
}

// Bits of a description's first byte: the text is a multilingual string, or a plain
// one (a 16-bit length and the bytes).
constexpr std::uint8_t description_multilingual = 0x01;
constexpr std::uint8_t description_plain = 0x02;

bool read_description_block(block_in& block, poiset& set, waypoint& point, file_state& file) {
    gpi_span_reader in = own_data(block);
    std::uint8_t kind = in.u8();
    if (in.failed()) return cut_short(block, in);
    std::string_view text;
    if ((kind & description_multilingual) != 0 || (kind & description_plain) == 0) {
        if (!read_string(in, text, file)) return false;
    } else {
        bytes_view bytes = in.bytes(in.u16());
        if (in.failed()) return cut_short(block, in);
        text = text_of(bytes);
    }
    point.description = set.store(text);
    return true;
}

// One field of an address or contact record.  Producers differ in which fields they
// write as multilingual strings and which as plain ones, so the field tells by itself:
// a multilingual string begins with a total size below 65536 and a two-letter language
// code, where a plain string's text begins behind its 16-bit length.
bool read_field(gpi_span_reader& in, std::string_view& text, file_state& file) {
    bytes_view head = in.peek(6);
    bool multilingual = !head.empty() && head[2] == 0 && head[3] == 0 && (head[0] | head[1]) != 0 &&
                        std::isalpha(head[4]) != 0 && std::isalpha(head[5]) != 0;
    if (multilingual) {
        return read_multilingual(in, text, file, false).fault == string_fault::none;
    }
    bytes_view bytes = in.bytes(in.u16());
    if (in.failed()) return false;
    text = text_of(bytes);
    return true;
}

// The mask and the fields of an address or contact record, read across the whole record
// whichever way it is framed (the fields in its main part, or a main part of the mask
// alone with the fields behind it).  The fields become pairs of the waypoint's list, each
// keyed by its kind, but the web address becomes its link; empty ones are left out.  A record that
// does not fit its layout keeps the fields read before the fault and is counted.
template <std::size_t N>
void read_field_record(block_in& block, poiset& set, waypoint& point,
                       const std::array<gpi_field, N>& fields, std::array<stored_text, N>& keys,
                       std::vector<text_pair> waypoint_details::*list, file_state& file) {
    gpi_span_reader& in = block.body;
    std::uint16_t mask = in.u16();
    std::string_view text;
    for (std::size_t i = 0; i < N && !in.failed(); ++i) {
        if ((mask & (1u << i)) == 0) continue;
        if (!read_field(in, text, file)) {
            file.skip(skipped_kind::damaged);
            return;
        }
        if (text.empty()) continue;
        // The web address is the waypoint's link, as other readers take it.
        if (fields[i].key == contact_web) {
            point.link = set.store(text);
            continue;
        }
        if (!keys[i]) keys[i] = set.store(fields[i].key);
        (set.details_for(point).*list).push_back(text_pair{keys[i], set.store(text)});
    }
    // Fields of bits beyond these are left unread.
    if (in.failed()) file.skip(skipped_kind::damaged);
}

// A category of the group: its number and its name; the icon nested in it is skipped.
void read_category_block(block_in& block, file_state& file) {
    gpi_span_reader in = own_data(block);
    std::uint16_t number = in.u16();
    std::string_view name;
    if (in.failed() || read_multilingual(in, name, file, false).fault != string_fault::none) {
        file.skip(skipped_kind::damaged);
        return;
    }
    file.categories.emplace_back(number, std::string(name));
}

// A reference to a category of the group, by the file's number.
void read_category_ref_block(block_in& block, poiset& set, waypoint& point, file_state& file) {
    std::uint16_t number = block.body.u16();
    if (block.body.failed()) {
        file.skip(skipped_kind::damaged);
        return;
    }
    set.details_for(point).categories.push_back(number);
}

// A record of sound clips: its id and format in the main part, then the size of the
// clips and, for each, a two-letter language, a 32-bit length and the bytes.  A record
// whose sizes don't agree with its length, that holds no clip, has an id already taken
// or a format other than WAV or MP3 is left out with a message and counted; nothing is
// read past it.
bool read_media_block(block_in& block, poiset& set, file_state& file) {
    auto drop = [&file](unsigned id, const std::string& why, std::size_t position) {
        report("\nWarning: gpi media record %u %s; the record is left out (File pos:0x%X)", id,
               why.c_str(), file_pos(position));
        file.skip(skipped_kind::media);
        return true;
    };
    using std::to_string;
    if (!block.main_size) return drop(0, "has no main part size", block.data_pos);
    gpi_span_reader own = own_data(block);
    std::uint16_t id = own.u16();
    std::uint8_t format = own.u8();
    if (own.failed()) {
        return drop(0, "has a main part of " + to_string(*block.main_size) + " bytes, 3 needed",
                    block.data_pos);
    }
    if (format != static_cast<std::uint8_t>(media_format::wav) &&
        format != static_cast<std::uint8_t>(media_format::mp3)) {
        return drop(id, "is of format " + to_string(format) + ", neither WAV (0) nor MP3 (1)",
                    block.data_pos);
    }
    gpi_span_reader& in = block.body;
    std::size_t size_pos = in.position();
    std::uint32_t total = in.u32();
    if (in.failed()) return drop(id, "lacks the size of its clips", size_pos);
    if (total != in.remaining()) {
        return drop(id,
                    "says its clips take " + to_string(total) + " bytes where it has " +
                        to_string(in.remaining()),
                    size_pos);
    }
    if (total == 0) return drop(id, "holds no clip", size_pos);
    if (file.media_ids.test(id)) {
        return drop(id, "repeats the id of an earlier record of its group", block.data_pos);
    }
    poi_media media;
    media.id = id;
    media.format = static_cast<media_format>(format);
    while (in.remaining() > 0) {
        std::size_t clip_pos = in.position();
        std::size_t left = in.remaining();
        bytes_view code = in.bytes(2);
        std::uint32_t length = in.u32();
        if (in.failed()) {
            return drop(id, "has a clip header cut short, " + to_string(left) + " of 6 bytes left",
                        clip_pos);
        }
        if (length > in.remaining()) {
            return drop(id,
                        "has a clip of " + to_string(length) + " bytes where " +
                            to_string(in.remaining()) + " are left",
                        clip_pos);
        }
        bytes_view bytes = in.bytes(length);
        media.clips.push_back(media_clip{{static_cast<char>(code[0]), static_cast<char>(code[1])},
                                         {bytes.begin(), bytes.end()}});
    }
    set.media.push_back(std::move(media));
    file.media_ids.set(id);
    return true;
}

// A speed camera stands in an area in place of a POI: its trigger zone, flags, a block
// whose size the bytes behind the flags give, and its position.  Positions are 24-bit
// numbers in units of 360 / 2^24 degrees.
double read_degrees24(gpi_span_reader& in) {
    std::uint32_t raw = in.u24();
    std::int32_t value = (raw & 0x800000u) != 0 ? static_cast<std::int32_t>(raw) - 0x1000000
                                                : static_cast<std::int32_t>(raw);
    return value * (360.0 / 16777216.0);
}

// Bits of a speed camera's flags.
constexpr std::uint16_t camera_plus_five = 0x0004;
constexpr std::uint16_t camera_kmh = 0x0100;
constexpr std::uint16_t camera_red_light = 0x0200;
constexpr double km_per_mile = 1.609344;

// The camera's position, or none when the record does not fit the known layout: a
// field runs past the record, or the position lies outside the trigger zone.
std::optional<std::pair<double, double>> speed_camera_position(gpi_span_reader in,
                                                               std::uint16_t& flags) {
    double north = read_degrees24(in);
    double east = read_degrees24(in);
    double south = read_degrees24(in);
    double west = read_degrees24(in);
    flags = in.u16();
    std::uint8_t size = in.u8();
    if (size != 0) {
        in.skip(size + 2u + size / 4u);
    } else {
        in.skip(9);
        std::uint8_t inner = in.u8();
        in.skip(3u + inner + inner / 4u);
    }
    double lat = read_degrees24(in);
    double lon = read_degrees24(in);
    if (in.failed()) return std::nullopt;
    if (lat > north || lat < south || lon > east || lon < west) return std::nullopt;
    return std::pair{lat, lon};
}

bool read_speed_camera(block_in& block, poiset& set, file_state& file) {
    std::uint16_t flags = 0;
    auto position = speed_camera_position(block.body, flags);
    if (!position) {
        file.skip(skipped_kind::speed_camera);
        return true;
    }
    bool red_light = (flags & camera_red_light) != 0;
    const char* name = red_light ? "Red-light camera" : "Speed camera";
    if (!position_is_valid(position->first, position->second, name, set)) return true;
    waypoint* point = poiset_add_waypoint(set);
    if (point == nullptr) return false;
    point->lat = position->first;
    point->lon = position->second;
    point->flags |= has_position;
    point->name = set.store(name);
    double speed = ((flags >> 3) & 0x0F) * 10.0 + ((flags & camera_plus_five) != 0 ? 5.0 : 0.0);
    if ((flags & camera_kmh) == 0) speed = std::floor(speed * km_per_mile + 0.5);
    if (speed > 0.0) {
        point->speed = speed;
        point->flags |= has_speed;
    }
    return true;
}

// How the reader treats a block of one type: which record it needs around it, whether a
// block found elsewhere fails the file (the records the model has always held) or is
// skipped (the categories, addresses and contacts, which files of other layouts may
// place differently; the media, counted for the summary), and what reads it.  A type
// without a reader is skipped: quietly (the product and copyright records of a header,
// the end) or counted for the summary.
struct block_rule {
    gpi_block_type type{};
    record_kind needs = record_kind::point;
    bool strict = true;
    std::optional<skipped_kind> counted;
    // Reads the block into the record around it; false fails the file.
    bool (*read)(block_in& block, const gpi_record& current, int area_depth) = nullptr;
};

using t = gpi_block_type;
using rk = record_kind;

// One row per block type this program knows.
constexpr std::array block_rules = {
    block_rule{t::file_header, rk::list, true, std::nullopt,
               [](block_in& block, const gpi_record& current, int) {
                   return read_file_header(block, *current.file);
               }},
    block_rule{t::poi_header, rk::list, true, std::nullopt,
               [](block_in& block, const gpi_record& current, int) {
                   return read_poi_header(block, *current.file);
               }},
    block_rule{t::poi_set_header, rk::list, true, std::nullopt,
               [](block_in& block, const gpi_record& current, int) {
                   return read_poi_set_header(block, *current.list, *current.file);
               }},
    block_rule{t::area_block, rk::set, true, std::nullopt, read_area_block},
    block_rule{t::poi_block, rk::set, true, std::nullopt,
               [](block_in& block, const gpi_record& current, int) {
                   return read_poi_block(block, current);
               }},
    block_rule{t::bitmap_block, rk::set, true, std::nullopt,
               [](block_in& block, const gpi_record& current, int) {
                   return read_bitmap_block(block, *current.set);
               }},
    block_rule{t::speed_camera_block, rk::set, true, std::nullopt,
               [](block_in& block, const gpi_record& current, int) {
                   return read_speed_camera(block, *current.set, *current.file);
               }},
    block_rule{t::category_block, rk::set, false, std::nullopt,
               [](block_in& block, const gpi_record& current, int) {
                   read_category_block(block, *current.file);
                   return true;
               }},
    block_rule{t::alert_block, rk::point, true, std::nullopt,
               [](block_in& block, const gpi_record& current, int) {
                   return read_alert_block(block, *current.set, *current.point, *current.file);
               }},
    block_rule{t::icon_ref_block, rk::point, true, std::nullopt,
               [](block_in& block, const gpi_record& current, int) {
                   return read_icon_ref_block(block, *current.point);
               }},
    block_rule{t::comment_block, rk::point, true, std::nullopt,
               [](block_in& block, const gpi_record& current, int) {
                   return read_comment_block(block, *current.set, *current.point, *current.file);
               }},
    block_rule{t::description_block, rk::point, true, std::nullopt,
               [](block_in& block, const gpi_record& current, int) {
                   return read_description_block(block, *current.set, *current.point,
                                                 *current.file);
               }},
    block_rule{t::category_ref_block, rk::point, false, std::nullopt,
               [](block_in& block, const gpi_record& current, int) {
                   read_category_ref_block(block, *current.set, *current.point, *current.file);
                   return true;
               }},
    block_rule{t::address_block, rk::point, false, std::nullopt,
               [](block_in& block, const gpi_record& current, int) {
                   file_state& file = *current.file;
                   read_field_record(block, *current.set, *current.point, gpi_address_fields,
                                     file.address_keys, &waypoint_details::address, file);
                   return true;
               }},
    block_rule{t::phone_block, rk::point, false, std::nullopt,
               [](block_in& block, const gpi_record& current, int) {
                   file_state& file = *current.file;
                   read_field_record(block, *current.set, *current.point, gpi_contact_fields,
                                     file.contact_keys, &waypoint_details::phones, file);
                   return true;
               }},
    block_rule{t::picture_block, rk::point, false, skipped_kind::picture,
               [](block_in& block, const gpi_record& current, int) {
                   return read_picture_block(block, *current.set, *current.point, *current.file);
               }},
    block_rule{t::media_block, rk::set, false, skipped_kind::media,
               [](block_in& block, const gpi_record& current, int) {
                   return read_media_block(block, *current.set, *current.file);
               }},
    block_rule{t::alert_circles_block, rk::point, true, skipped_kind::alert_circles, nullptr},
    block_rule{t::trigger_options_block, rk::point, true, skipped_kind::trigger_options, nullptr},
    block_rule{t::product_block, rk::point, true, std::nullopt, nullptr},
    block_rule{t::copyright_block, rk::point, true, std::nullopt, nullptr},
    block_rule{t::end_block, rk::point, true, std::nullopt, nullptr},
};

// The rule of a type that no row names: skipped, and counted unless the type is known.
constexpr block_rule unknown_type_rule{t::end_block, rk::point, true, skipped_kind::unknown,
                                       nullptr};

// The row of each type number below this, for a lookup without a search.
constexpr std::size_t rule_index_size = gpi_type_number(t::trigger_options_block) + 1;
constexpr std::uint8_t no_row = 0xFF;

constexpr std::array<std::uint8_t, rule_index_size> rule_index = [] {
    std::array<std::uint8_t, rule_index_size> index{};
    index.fill(no_row);
    for (std::size_t row = 0; row < block_rules.size(); ++row) {
        std::uint16_t number = gpi_type_number(block_rules[row].type);
        if (number < rule_index_size) index[number] = static_cast<std::uint8_t>(row);
    }
    return index;
}();

// The end block is the one row beyond the index.
constexpr std::size_t end_row = [] {
    for (std::size_t row = 0; row < block_rules.size(); ++row) {
        if (block_rules[row].type == t::end_block) return row;
    }
    return block_rules.size();
}();

constexpr bool every_known_type_has_a_row = [] {
    for (std::uint16_t number = 0; number < rule_index_size; ++number) {
        if (gpi_is_known_type(number) != (rule_index[number] != no_row)) return false;
    }
    return end_row < block_rules.size();
}();
static_assert(every_known_type_has_a_row);

const block_rule& rule_of(std::uint16_t number) {
    if (number < rule_index_size && rule_index[number] != no_row) {
        return block_rules[rule_index[number]];
    }
    if (number == gpi_type_number(t::end_block)) return block_rules[end_row];
    return unknown_type_rule;
}

// Reads a block whose rule has a reader, where its rule lets it lie.
bool read_by_rule(block_in& block, const block_rule& rule, const gpi_record& current,
                  int area_depth) {
    record_kind kind = kind_of(current);
    if (rule.needs != kind) {
        if (!rule.strict) {
            if (rule.counted) current.file->skip(*rule.counted);
            return true;
        }
        if (block.is(gpi_block_type::poi_block)) {
            report("\nError: poi_plock before poi_set_header!!! filepos: 0x%X",
                   file_pos(block.data_pos));
            return false;
        }
        return out_of_place(block, kind);
    }
    return rule.read(block, current, area_depth);
}

// Reads a block's header and takes its bytes from in.  Fails after a message when the
// header is cut short, when the block runs past its parent or the file, and for a type
// the reader does not know before a file header was read (so that other files are not
// taken for GPI files).
bool next_block(gpi_span_reader& in, block_in& block, const file_state& file) {
    std::size_t block_pos = in.position();
    if (in.remaining() < gpi_block_header_size) {
        report(
            "\nError: gpi structure. Block header cut short, %u of 8 bytes left! (File pos:0x%X)",
            static_cast<unsigned>(in.remaining()), file_pos(block_pos));
        in.skip(in.remaining());
        return false;
    }
    block.type = in.u16();
    block.flags = in.u16();
    std::uint32_t length = in.u32();
    block.data_pos = in.position();

    // A flagged block's length leaves out its 4-byte main_size field, whatever the type:
    // so do POI records, areas and groups here, and the address and phone records and the
    // headers of other producers' files.
    std::uint64_t body_size =
        static_cast<std::uint64_t>(length) + (block.flags != 0 ? gpi_main_size_field : 0);
    if (!gpi_is_known_type(block.type) && !file.header_seen) {
        report("\nError: illegal block type: 0x%X,0x%X! (File pos:0x%X)",
               static_cast<unsigned>(block.type), static_cast<unsigned>(block.flags),
               file_pos(block.data_pos));
        in.skip(std::min<std::uint64_t>(body_size, in.remaining()));
        return false;
    }
    if (body_size > in.remaining()) {
        report(
            "\nError: gpi structure. Block type 0x%X of %llu bytes runs past its parent or the "
            "file, %llu bytes left! (File pos:0x%X)",
            static_cast<unsigned>(block.type), static_cast<unsigned long long>(body_size),
            static_cast<unsigned long long>(in.remaining()), file_pos(block.data_pos));
        in.skip(in.remaining());
        return false;
    }
    block.body = in.child(static_cast<std::size_t>(body_size));
    if (block.flags != 0) block.main_size = block.body.u32();
    return true;
}

bool skip_gpi_block(gpi_span_reader& in, file_state& file) {
    block_in block;
    if (!next_block(in, block, file)) return false;
    if (auto kind = rule_of(block.type).counted) file.skip(*kind);
    return true;
}

bool read_gpi_block(gpi_span_reader& in, const gpi_record& current, int area_depth) {
    block_in block;
    if (!next_block(in, block, *current.file)) return false;
    const block_rule& rule = rule_of(block.type);
    if (rule.read != nullptr) return read_by_rule(block, rule, current, area_depth);
    if (rule.counted) current.file->skip(*rule.counted);
    return true;
}

// One line for each part of the summary: the languages a file holds and which were
// taken, and the records skipped.
void report_languages(const file_state& file) {
    if (file.languages.size() < 2) return;
    std::string names;
    for (const auto& code : file.languages) {
        if (!names.empty()) names += ", ";
        names.append(code.begin(), code.end());
    }
    bool has_wanted = std::any_of(file.languages.begin(), file.languages.end(),
                                  [&file](const auto& code) { return file.is_wanted(code); });
    if (has_wanted) {
        report("\n    languages: %s; read %s where a text has it, else its first", names.c_str(),
               file.wanted.c_str());
    } else if (!file.wanted.empty()) {
        report("\n    languages: %s; %s not among them, read the first of each text", names.c_str(),
               file.wanted.c_str());
    } else {
        report("\n    languages: %s; read the first of each text (-lang: picks another)",
               names.c_str());
    }
}

void report_skipped(const file_state& file) {
    struct kind_name {
        const char* one;
        const char* many;
    };
    static constexpr std::array<kind_name, skipped_kind_count> names = {{
        {"picture", "pictures"},
        {"media", "media"},
        {"alert circles", "alert circles"},
        {"trigger options", "trigger options"},
        {"speed camera of an unknown layout", "speed cameras of an unknown layout"},
        {"damaged category, address or contact record",
         "damaged category, address or contact records"},
        {"of an unknown type", "of unknown types"},
    }};
    long long total = 0;
    std::string parts;
    for (std::size_t i = 0; i < skipped_kind_count; ++i) {
        long long count = file.skipped[i];
        if (count == 0) continue;
        total += count;
        if (!parts.empty()) parts += ", ";
        parts += std::to_string(count) + " " + (count == 1 ? names[i].one : names[i].many);
    }
    if (total == 0) return;
    report("\n    skipped %lli record%s Velmora does not carry over: %s", total,
           total == 1 ? "" : "s", parts.c_str());
}

bool read_all_blocks(std::span<const std::uint8_t> bytes, poiset_list& list,
                     const gpi_read_options& options, passed_text give_back) {
    file_state file;
    for (char c : options.language) file.wanted.push_back(upper_ascii(c));
    file.give_back = std::move(give_back);
    gpi_span_reader in(bytes.data(), bytes.size(), 0);
    gpi_record top{&list, nullptr, nullptr, &file};
    bool ok = true;
    while (ok && in.remaining() > 0) ok = read_gpi_block(in, top, 0);
    report_languages(file);
    report_skipped(file);
    return ok;
}

}  // namespace

bool read_gpi_bytes(std::span<const std::uint8_t> bytes, poiset_list& list,
                    const gpi_read_options& options) {
    return read_all_blocks(bytes, list, options, nullptr);
}

bool read_gpi_file(std::FILE* file, poiset_list& list, const gpi_read_options& options) {
    // The file is mapped (or read whole) and its pages given back as the POIs are built
    // from them, so that the file and its POIs never take memory together.
    std::optional<whole_input> input = whole_input::load(file, "gpi");
    if (!input) return false;
    std::string_view text = input->text();
    std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(text.data()),
                                        text.size());
    bool read = read_all_blocks(bytes, list, options, input->passer());
    input->check_unchanged();
    return read;
}

std::optional<std::uint32_t> read_gpi_header_time(const std::string& path) {
    // Block type and flags, the block's length, "GRMREC00", then the time.
    constexpr std::size_t magic_at = 8;
    constexpr std::size_t time_at = 16;
    constexpr std::string_view magic = "GRMREC00";
    std::array<std::uint8_t, time_at + 4> head{};
    unique_file file(std::fopen(path.c_str(), "rb"));
    if (!file || std::fread(head.data(), 1, head.size(), file.get()) != head.size()) {
        return std::nullopt;
    }
    if (load_le16(head.data()) != gpi_type_number(gpi_block_type::file_header) ||
        load_le16(head.data() + 2) != 0 ||
        std::memcmp(head.data() + magic_at, magic.data(), magic.size()) != 0) {
        return std::nullopt;
    }
    return load_le32(head.data() + time_at);
}

}  // namespace velmora
