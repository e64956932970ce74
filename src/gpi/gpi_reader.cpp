#include "gpi/gpi_reader.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <utility>
#include <vector>

#include "gpi/gpi_units.hpp"
#include "model/icon_list.hpp"
#include "platform/code_page.hpp"
#include "platform/file_kind.hpp"
#include "platform/messages.hpp"

namespace velmora {

namespace {

char upper_ascii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// The text of one string entry: its bytes up to the first zero byte.
void take_text(const std::uint8_t* bytes, std::size_t count, std::string& text) {
    if (const void* zero = std::memchr(bytes, 0, count); zero != nullptr) {
        count = static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - bytes);
    }
    text.assign(reinterpret_cast<const char*>(bytes), count);
}

}  // namespace

// Kinds of records that are skipped and counted, in the order of the summary.
enum class skipped_kind { picture, media, alert_circles, trigger_options, speed_camera, unknown };
constexpr std::size_t skipped_kind_count = 6;

struct gpi_file_state {
    using language_code = std::array<char, 2>;

    std::int32_t code_page = 0;  // of the last POI header, for the groups after it
    std::int32_t time = 0;       // of the last file header
    std::string wanted;  // upper case; texts' codes have two letters, so longer ones match none
    std::vector<language_code> languages;  // of the texts, in order of first appearance
    bool header_seen = false;
    std::array<long long, skipped_kind_count> skipped{};

    void saw_language(language_code code) {
        for (char& c : code) c = upper_ascii(c);
        if (std::find(languages.begin(), languages.end(), code) == languages.end()) {
            languages.push_back(code);
        }
    }
    [[nodiscard]] bool is_wanted(language_code code) const {
        return wanted.size() == 2 && upper_ascii(code[0]) == wanted[0] &&
               upper_ascii(code[1]) == wanted[1];
    }
    void skip(skipped_kind kind) { ++skipped[static_cast<std::size_t>(kind)]; }
};

namespace {

constexpr std::uint16_t file_header_type = 0;
constexpr std::uint16_t poi_header_type = 1;
constexpr std::uint16_t poi_block_type = 2;
constexpr std::uint16_t alert_block_type = 3;
constexpr std::uint16_t icon_ref_block_type = 4;
constexpr std::uint16_t bitmap_block_type = 5;
constexpr std::uint16_t area_block_type = 8;
constexpr std::uint16_t poi_set_header_type = 9;
constexpr std::uint16_t comment_block_type = 10;
constexpr std::uint16_t picture_block_type = 13;
constexpr std::uint16_t description_block_type = 14;
constexpr std::uint16_t product_block_type = 15;
constexpr std::uint16_t alert_circles_block_type = 16;
constexpr std::uint16_t copyright_block_type = 17;
constexpr std::uint16_t media_block_type = 18;
constexpr std::uint16_t speed_camera_block_type = 19;
constexpr std::uint16_t trigger_options_block_type = 27;
constexpr std::uint16_t end_block_type = 0xFFFF;

// Bit of the file header's flags byte: the publisher has scrambled the file.
constexpr std::uint8_t file_scrambled = 0x04;

constexpr std::size_t block_header_size = 8;
constexpr std::size_t main_size_field = 4;
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
std::string quoted_bytes(const std::uint8_t* bytes, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count && bytes[i] != 0; ++i) {
        unsigned char c = bytes[i];
        text.push_back((c < 0x20 || c == 0x7F) ? '?' : static_cast<char>(c));
    }
    return text;
}

// One block being read: its bytes behind the header and its type.
struct block_in {
    gpi_span_reader body;
    std::uint16_t type = 0;
    std::uint16_t flags = 0;
    std::size_t data_pos = 0;                // file position behind the 8-byte header
    std::optional<std::uint32_t> main_size;  // of a flagged block
};

bool cut_short(const block_in& block) {
    report("\nError: gpi structure. Block type 0x%X ends inside its data! (File pos:0x%X)",
           static_cast<unsigned>(block.type), file_pos(block.body.position()));
    return false;
}

bool out_of_place(const block_in& block, record_kind kind) {
    report("\nError: gpi structure. Block type 0x%X not expected in %s! (File pos:0x%X)",
           static_cast<unsigned>(block.type), where_name(kind), file_pos(block.data_pos));
    return false;
}

// Reads the uint32 total size of a string and then the string.
bool read_string_field(block_in& block, std::string& text, gpi_file_state* file) {
    std::uint32_t total_size = 0;
    if (!block.body.u32(total_size)) return cut_short(block);
    return read_gpi_string(block.body, total_size, text, file);
}

// The own data of a block: the main_size bytes of a flagged block, else all of it.  The
// body keeps what follows, the records nested in the block.
bool own_data(block_in& block, gpi_span_reader& main) {
    if (!block.main_size) {
        main = block.body;
        (void)block.body.skip(block.body.remaining());
        return true;
    }
    if (!block.body.child(*block.main_size, main)) return cut_short(block);
    return true;
}

bool skip_gpi_block(gpi_span_reader& in, gpi_file_state* file);

// The records nested in a block whose own data is all the model keeps of it (the
// product and copyright records of a header, the alert circles and trigger options of
// an alert); each is skipped by its length.
bool skip_nested_records(block_in& block, gpi_file_state* file) {
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
bool read_file_header(block_in& block, poiset_list& list, gpi_file_state* file) {
    gpi_span_reader in;
    if (!own_data(block, in)) return false;
    const std::uint8_t* magic = nullptr;
    if (!in.bytes(8, magic)) return cut_short(block);
    if (std::memcmp(magic, "GRMREC00", 8) != 0 && std::memcmp(magic, "GRMREC01", 8) != 0) {
        report("\nError: gpi structure. \"GRMREC00\" expected but \"%s\" found! (File pos:0x%X)",
               quoted_bytes(magic, 8).c_str(), file_pos(in.position()));
        return false;
    }
    std::uint32_t time = 0;
    std::uint8_t flags = 0;
    std::uint16_t name_length = 0;
    if (!(in.u32(time) && in.u8(flags) && in.skip(1) && in.u16(name_length) &&
          in.skip(name_length))) {
        return cut_short(block);
    }
    if ((flags & file_scrambled) != 0) {
        report(
            "\nError: The gpi file is locked: its publisher has scrambled its contents, and "
            "Velmora does not read locked files. (File pos:0x%X)",
            file_pos(block.data_pos));
        return false;
    }
    (void)list;
    file->time = static_cast<std::int32_t>(time);
    file->header_seen = true;
    return skip_nested_records(block, file);
}

bool read_poi_header(block_in& block, poiset_list& list, gpi_file_state* file) {
    gpi_span_reader in;
    if (!own_data(block, in)) return false;
    const std::uint8_t* magic = nullptr;
    if (!in.bytes(3, magic)) return cut_short(block);
    if (std::memcmp(magic, "POI", 3) != 0) {
        report("\nError: gpi structure. \"POI\" expected but \"%s\" found! (File pos:0x%X)",
               quoted_bytes(magic, 3).c_str(), file_pos(in.position()));
        return false;
    }
    // Three zero bytes and the version, then the code page in 16 bits: the two bytes
    // behind it hold flags in files of the newer layout.
    std::uint16_t code_page_number = 0;
    if (!(in.skip(3) && in.skip(2) && in.u16(code_page_number))) return cut_short(block);
    (void)list;
    file->code_page = code_page_number;
    return skip_nested_records(block, file);
}

bool read_poi_set_header(block_in& block, poiset_list& list, gpi_file_state* file) {
    std::string name;
    if (!read_string_field(block, name, file)) return false;
    poiset* set = poiset_list_add(list);
    if (set == nullptr) return false;
    set->name = std::move(name);
    set->is_utf8 = static_cast<std::uint32_t>(file->code_page) == utf8_code_page;
    set->codepage = code_page::create(file->code_page);
    set->time = file->time;
    set->icons = std::make_unique<icon_list>();
    return read_children(block, gpi_record{&list, set, nullptr, file}, 0);
}

bool read_area_block(block_in& block, const gpi_record& current, int area_depth) {
    if (area_depth >= gpi_max_area_depth) {
        report("\nError: gpi structure. Areas nested deeper than %i levels! (File pos:0x%X)",
               gpi_max_area_depth, file_pos(block.data_pos));
        return false;
    }
    gpi_span_reader& in = block.body;
    std::int32_t north = 0;
    std::int32_t east = 0;
    std::int32_t south = 0;
    std::int32_t west = 0;
    std::uint16_t flag_count = 0;
    if (!(in.i32(north) && in.i32(east) && in.i32(south) && in.i32(west) && in.skip(4) &&
          in.u16(flag_count) && in.skip(flag_count))) {
        return cut_short(block);
    }
    poiset& set = *current.set;
    set.north = semicircles_to_degrees(north);
    set.east = semicircles_to_degrees(east);
    set.south = semicircles_to_degrees(south);
    set.west = semicircles_to_degrees(west);
    return read_children(block, current, area_depth + 1);
}

bool read_poi_block(block_in& block, const gpi_record& current) {
    gpi_span_reader& in = block.body;
    std::int32_t lat = 0;
    std::int32_t lon = 0;
    std::uint16_t flag_count = 0;
    if (!(in.i32(lat) && in.i32(lon) && in.u16(flag_count) && in.skip(flag_count))) {
        return cut_short(block);
    }
    std::string name;
    if (!read_string_field(block, name, current.file)) return false;
    waypoint* point = poiset_add_waypoint(*current.set);
    if (point == nullptr) return false;
    point->lat = semicircles_to_degrees(lat);
    point->lon = semicircles_to_degrees(lon);
    point->flags |= has_position;
    point->name = current.set->store(name);
    if (block.flags == 0) return true;
    return read_children(block, gpi_record{current.list, current.set, point, current.file}, 0);
}

bool read_alert_block(block_in& block, waypoint& point, gpi_file_state* file) {
    gpi_span_reader in;
    if (!own_data(block, in)) return false;
    std::uint16_t proximity = 0;
    std::uint16_t speed = 0;
    std::uint8_t kinds = 0;
    if (!(in.u16(proximity) && in.u16(speed) && in.skip(4) && in.skip(2) && in.u8(kinds) &&
          in.skip(1))) {
        return cut_short(block);
    }
    point.proximity = proximity;
    point.speed = gpi_speed_to_kmh(speed);
    if ((kinds & 0x04) != 0) point.flags |= has_proximity;
    if ((kinds & 0x01) != 0) point.flags |= has_speed;
    return skip_nested_records(block, file);
}

bool read_icon_ref_block(block_in& block, waypoint& point) {
    std::uint16_t icon_id = 0;
    if (!block.body.u16(icon_id)) return cut_short(block);
    point.icon_id = icon_id;
    point.flags |= has_icon;
    return true;
}

bool read_bitmap_block(block_in& block, poiset& set) {
    gpi_span_reader& in = block.body;
    std::uint16_t icon_id = 0;
    std::uint16_t height = 0;
    std::uint16_t width = 0;
    std::uint16_t bits_per_pixel = 0;
    std::uint32_t image_size = 0;
    std::uint32_t palette_count = 0;
    std::uint32_t transparent_colour = 0;
    if (!(in.u16(icon_id) && in.u16(height) && in.u16(width) && in.skip(2) &&
          in.u16(bits_per_pixel) && in.skip(2) && in.u32(image_size) && in.skip(4) &&
          in.u32(palette_count) && in.u32(transparent_colour) && in.skip(4) && in.skip(4))) {
        return cut_short(block);
    }
    // Both sizes are checked against the block before anything is allocated.
    std::uint64_t palette_bytes = 4ull * palette_count;
    std::uint64_t needed = image_size + palette_bytes;
    std::uint64_t block_size = needed + 44;
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
    const std::uint8_t* pixels = nullptr;
    (void)in.bytes(image_size, pixels);
    bitmap->pixels.assign(pixels, pixels + image_size);
    bitmap->palette.resize(palette_count);
    for (std::uint32_t& colour : bitmap->palette) (void)in.u32(colour);

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

bool read_text_block(block_in& block, poiset& set, stored_text& target, gpi_file_state* file) {
    std::string text;
    if (!read_string_field(block, text, file)) return false;
    target = set.store(text);
    return true;
}

// Bits of a description's first byte: the text is a multilingual string, or a plain
// one (a 16-bit length and the bytes).
constexpr std::uint8_t description_multilingual = 0x01;
constexpr std::uint8_t description_plain = 0x02;

bool read_description_block(block_in& block, poiset& set, waypoint& point, gpi_file_state* file) {
    std::uint8_t kind = 0;
    if (!block.body.u8(kind)) return cut_short(block);
    if ((kind & description_multilingual) != 0 || (kind & description_plain) == 0) {
        return read_text_block(block, set, point.description, file);
    }
    std::uint16_t length = 0;
    const std::uint8_t* bytes = nullptr;
    if (!(block.body.u16(length) && block.body.bytes(length, bytes))) return cut_short(block);
    std::string text;
    take_text(bytes, length, text);
    point.description = set.store(text);
    return true;
}

// A speed camera stands in an area in place of a POI: its trigger zone, flags, a block
// whose size the bytes behind the flags give, and its position.  Positions are 24-bit
// numbers in units of 360 / 2^24 degrees.
bool read_degrees24(gpi_span_reader& in, double& degrees) {
    const std::uint8_t* bytes = nullptr;
    if (!in.bytes(3, bytes)) return false;
    std::uint32_t raw = bytes[0] | (static_cast<std::uint32_t>(bytes[1]) << 8) |
                        (static_cast<std::uint32_t>(bytes[2]) << 16);
    std::int32_t value = (raw & 0x800000u) != 0 ? static_cast<std::int32_t>(raw) - 0x1000000
                                                : static_cast<std::int32_t>(raw);
    degrees = value * (360.0 / 16777216.0);
    return true;
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
    double north = 0.0;
    double east = 0.0;
    double south = 0.0;
    double west = 0.0;
    std::uint8_t size = 0;
    if (!(read_degrees24(in, north) && read_degrees24(in, east) && read_degrees24(in, south) &&
          read_degrees24(in, west) && in.u16(flags) && in.u8(size))) {
        return std::nullopt;
    }
    if (size != 0) {
        if (!in.skip(size + 2u + size / 4u)) return std::nullopt;
    } else {
        std::uint8_t inner = 0;
        if (!(in.skip(9) && in.u8(inner) && in.skip(3u + inner + inner / 4u))) return std::nullopt;
    }
    double lat = 0.0;
    double lon = 0.0;
    if (!(read_degrees24(in, lat) && read_degrees24(in, lon))) return std::nullopt;
    if (lat > north || lat < south || lon > east || lon < west) return std::nullopt;
    return std::pair{lat, lon};
}

bool read_speed_camera(block_in& block, poiset& set, gpi_file_state* file) {
    std::uint16_t flags = 0;
    auto position = speed_camera_position(block.body, flags);
    if (!position) {
        if (file != nullptr) file->skip(skipped_kind::speed_camera);
        return true;
    }
    waypoint* point = poiset_add_waypoint(set);
    if (point == nullptr) return false;
    point->lat = position->first;
    point->lon = position->second;
    point->flags |= has_position;
    point->name = set.store((flags & camera_red_light) != 0 ? "Red-light camera" : "Speed camera");
    double speed = ((flags >> 3) & 0x0F) * 10.0 + ((flags & camera_plus_five) != 0 ? 5.0 : 0.0);
    if ((flags & camera_kmh) == 0) speed = std::floor(speed * km_per_mile + 0.5);
    if (speed > 0.0) {
        point->speed = speed;
        point->flags |= has_speed;
    }
    return true;
}

bool is_known_type(std::uint16_t type) {
    return type <= speed_camera_block_type || type == trigger_options_block_type ||
           type == end_block_type;
}

// Types whose content the reader uses.
bool is_read_type(std::uint16_t type) {
    switch (type) {
        case file_header_type:
        case poi_header_type:
        case poi_block_type:
        case alert_block_type:
        case icon_ref_block_type:
        case bitmap_block_type:
        case area_block_type:
        case poi_set_header_type:
        case comment_block_type:
        case description_block_type:
        case speed_camera_block_type:
            return true;
        default:
            return false;
    }
}

// Records skipped without a word: categories, addresses and contacts (which the model
// does not hold yet), the product and copyright records of a header, and the end.
// The others that are not read are counted for the file's summary.
std::optional<skipped_kind> counted_kind(std::uint16_t type) {
    switch (type) {
        case 6:
        case 7:
        case 11:
        case 12:
        case product_block_type:
        case copyright_block_type:
        case end_block_type:
            return std::nullopt;
        case picture_block_type:
            return skipped_kind::picture;
        case media_block_type:
            return skipped_kind::media;
        case alert_circles_block_type:
            return skipped_kind::alert_circles;
        case trigger_options_block_type:
            return skipped_kind::trigger_options;
        default:
            return is_known_type(type) ? std::nullopt : std::optional{skipped_kind::unknown};
    }
}

// The kind of record a read block needs around it.
record_kind needed_kind(std::uint16_t type) {
    switch (type) {
        case file_header_type:
        case poi_header_type:
        case poi_set_header_type:
            return record_kind::list;
        case poi_block_type:
        case bitmap_block_type:
        case area_block_type:
        case speed_camera_block_type:
            return record_kind::set;
        default:
            return record_kind::point;
    }
}

bool dispatch(block_in& block, const gpi_record& current, int area_depth) {
    record_kind kind = kind_of(current);
    if (needed_kind(block.type) != kind) {
        if (block.type == poi_block_type) {
            report("\nError: poi_plock before poi_set_header!!! filepos: 0x%X",
                   file_pos(block.data_pos));
            return false;
        }
        return out_of_place(block, kind);
    }
    // A flagged block's own data begins behind its main_size field; area blocks carry
    // that field whatever their flags.
    if (block.flags != 0 || block.type == area_block_type) {
        std::uint32_t main_size = 0;
        if (!block.body.u32(main_size)) return cut_short(block);
        if (block.flags != 0) block.main_size = main_size;
    }
    switch (block.type) {
        case file_header_type:
            return read_file_header(block, *current.list, current.file);
        case poi_header_type:
            return read_poi_header(block, *current.list, current.file);
        case poi_set_header_type:
            return read_poi_set_header(block, *current.list, current.file);
        case area_block_type:
            return read_area_block(block, current, area_depth);
        case poi_block_type:
            return read_poi_block(block, current);
        case alert_block_type:
            return read_alert_block(block, *current.point, current.file);
        case icon_ref_block_type:
            return read_icon_ref_block(block, *current.point);
        case bitmap_block_type:
            return read_bitmap_block(block, *current.set);
        case comment_block_type:
            return read_text_block(block, *current.set, current.point->comment, current.file);
        case description_block_type:
            return read_description_block(block, *current.set, *current.point, current.file);
        case speed_camera_block_type:
            return read_speed_camera(block, *current.set, current.file);
        default:
            return true;
    }
}

}  // namespace

namespace {

// The entries behind the first one: each language is noted, and the text of the
// wanted language replaces the first entry's.  Entries that don't fit are ignored.
void read_further_entries(gpi_span_reader entries, std::string& text, gpi_file_state& file,
                          bool have_wanted) {
    while (entries.remaining() >= 4) {
        const std::uint8_t* code = nullptr;
        std::uint16_t length = 0;
        (void)(entries.bytes(2, code) && entries.u16(length));
        const std::uint8_t* bytes = nullptr;
        if (!entries.bytes(length, bytes)) return;
        gpi_file_state::language_code language{static_cast<char>(code[0]),
                                               static_cast<char>(code[1])};
        file.saw_language(language);
        if (!have_wanted && file.is_wanted(language)) {
            take_text(bytes, length, text);
            have_wanted = true;
        }
    }
}

}  // namespace

bool read_gpi_string(gpi_span_reader& in, std::uint32_t total_size, std::string& text,
                     gpi_file_state* file) {
    if (total_size < 4) {
        report("\nError: gpi structure. String size %u is below 4! (File pos:0x%X)",
               static_cast<unsigned>(total_size), file_pos(in.position()));
        return false;
    }
    if (total_size > in.remaining()) {
        report("\nError: gpi structure. String of %u bytes runs past its block! (File pos:0x%X)",
               static_cast<unsigned>(total_size), file_pos(in.position()));
        return false;
    }
    std::uint16_t length = 0;
    const std::uint8_t* code = nullptr;
    (void)in.bytes(2, code);  // language code, any accepted
    (void)in.u16(length);
    std::size_t bound = total_size - 4;
    if (length > in.remaining()) {
        report("\nError: gpi structure. String of %u bytes runs past its block! (File pos:0x%X)",
               static_cast<unsigned>(length), file_pos(in.position()));
        return false;
    }
    std::size_t keep = length;
    if (keep > bound) {
        report("\nError: string to read is longer than buffer size! (File pos:%X)",
               file_pos(in.position()));
        keep = bound;
    }
    const std::uint8_t* bytes = nullptr;
    (void)in.bytes(length, bytes);
    take_text(bytes, keep, text);
    // Further entries (other languages) end where the total size says.
    if (length < bound) {
        gpi_span_reader entries;
        (void)in.child(bound - length, entries);
        if (file != nullptr) {
            gpi_file_state::language_code first{static_cast<char>(code[0]),
                                                static_cast<char>(code[1])};
            file->saw_language(first);
            read_further_entries(entries, text, *file, file->is_wanted(first));
        }
    } else if (file != nullptr) {
        file->saw_language({static_cast<char>(code[0]), static_cast<char>(code[1])});
    }
    return true;
}

namespace {

// Reads a block's header and takes its bytes from in.  Fails after a message when the
// header is cut short, when the block runs past its parent or the file, and for a type
// the reader does not know before a file header was read (so that other files are not
// taken for GPI files).
bool next_block(gpi_span_reader& in, block_in& block, const gpi_file_state* file) {
    std::size_t block_pos = in.position();
    if (in.remaining() < block_header_size) {
        report(
            "\nError: gpi structure. Block header cut short, %u of 8 bytes left! (File pos:0x%X)",
            static_cast<unsigned>(in.remaining()), file_pos(block_pos));
        (void)in.skip(in.remaining());
        return false;
    }
    std::uint32_t length = 0;
    (void)(in.u16(block.type) && in.u16(block.flags) && in.u32(length));
    block.data_pos = in.position();

    // A flagged block's length leaves out its 4-byte main_size field, whatever the type:
    // so do POI records, areas and groups here, and the address and phone records and the
    // headers of other producers' files.
    std::uint64_t body_size =
        static_cast<std::uint64_t>(length) + (block.flags != 0 ? main_size_field : 0);
    if (!is_known_type(block.type) && (file == nullptr || !file->header_seen)) {
        report("\nError: illegal block type: 0x%X,0x%X! (File pos:0x%X)",
               static_cast<unsigned>(block.type), static_cast<unsigned>(block.flags),
               file_pos(block.data_pos));
        (void)in.skip(body_size <= in.remaining() ? body_size : in.remaining());
        return false;
    }
    if (body_size > in.remaining()) {
        report(
            "\nError: gpi structure. Block type 0x%X of %llu bytes runs past its parent or the "
            "file, %llu bytes left! (File pos:0x%X)",
            static_cast<unsigned>(block.type), static_cast<unsigned long long>(body_size),
            static_cast<unsigned long long>(in.remaining()), file_pos(block.data_pos));
        (void)in.skip(in.remaining());
        return false;
    }
    (void)in.child(static_cast<std::size_t>(body_size), block.body);
    return true;
}

void count_skipped(const block_in& block, gpi_file_state* file) {
    if (file == nullptr) return;
    if (auto kind = counted_kind(block.type)) file->skip(*kind);
}

bool skip_gpi_block(gpi_span_reader& in, gpi_file_state* file) {
    block_in block;
    if (!next_block(in, block, file)) return false;
    count_skipped(block, file);
    return true;
}

// One line for each part of the summary: the languages a file holds and which were
// taken, and the records skipped.
void report_languages(const gpi_file_state& file) {
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

void report_skipped(const gpi_file_state& file) {
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

}  // namespace

bool read_gpi_block(gpi_span_reader& in, const gpi_record& current, int area_depth) {
    block_in block;
    if (!next_block(in, block, current.file)) return false;
    if (is_read_type(block.type)) return dispatch(block, current, area_depth);
    count_skipped(block, current.file);
    return true;
}

bool read_gpi_bytes(std::span<const std::uint8_t> bytes, poiset_list& list,
                    const gpi_read_options& options) {
    gpi_file_state file;
    for (char c : options.language) file.wanted.push_back(upper_ascii(c));
    gpi_span_reader in(bytes.data(), bytes.size(), 0);
    gpi_record top{&list, nullptr, nullptr, &file};
    bool ok = true;
    while (ok && in.remaining() > 0) ok = read_gpi_block(in, top);
    report_languages(file);
    report_skipped(file);
    return ok;
}

bool read_gpi_file(std::FILE* file, poiset_list& list, const gpi_read_options& options) {
    std::vector<std::uint8_t> bytes;
    try {
        // The size of a regular file only sizes the buffer; the bytes are read to the
        // end of the file whatever it said.  Other streams (pipes, devices, a directory
        // opened by mistake) tell no size worth trusting and grow the buffer as read.
        if (auto size = regular_file_size(file)) {
            long start = std::ftell(file);
            // One byte more, so that the read that meets the end needs no new buffer.
            if (start >= 0 && *size >= static_cast<std::uint64_t>(start)) {
                bytes.reserve(static_cast<std::size_t>(*size - static_cast<std::uint64_t>(start)) +
                              1);
            }
        }
        constexpr std::size_t chunk = 1 << 16;
        for (;;) {
            std::size_t have = bytes.size();
            std::size_t want = bytes.capacity() - have;
            if (want == 0) want = chunk;
            bytes.resize(have + want);
            std::size_t got = std::fread(bytes.data() + have, 1, want, file);
            bytes.resize(have + got);
            if (got < want) break;
        }
    } catch (const std::bad_alloc&) {
        report("\nError: Can't allocate memory for the gpi file!");
        return false;
    }
    if (std::ferror(file) != 0) {
        report("\nError: Can't read gpi file! (File pos:0x%X) (%s)", file_pos(bytes.size()),
               std::strerror(errno));
        return false;
    }
    return read_gpi_bytes(bytes, list, options);
}

}  // namespace velmora
