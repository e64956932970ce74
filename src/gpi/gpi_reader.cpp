#include "gpi/gpi_reader.hpp"

#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "gpi/gpi_units.hpp"
#include "model/icon_list.hpp"
#include "platform/code_page.hpp"
#include "platform/file_kind.hpp"
#include "platform/messages.hpp"

namespace velmora {

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
constexpr std::uint16_t description_block_type = 14;
constexpr std::uint16_t end_block_type = 0xFFFF;

constexpr std::size_t block_header_size = 8;
constexpr std::size_t main_size_field = 4;
constexpr std::uint32_t utf8_code_page = 65001;

// Values of the file's headers that the POI groups after them take.
struct file_values {
    std::int32_t code_page = 0;
    std::int32_t time = 0;
};

// The record into which a block's content goes: the list at the top of the file, the
// set inside a POI group (and its areas), the waypoint inside a POI record.
struct gpi_record {
    poiset_list* list = nullptr;   // always set
    file_values* file = nullptr;   // always set
    poiset* set = nullptr;         // inside a POI group
    waypoint* point = nullptr;     // inside a POI record
};

bool read_gpi_block(gpi_span_reader& in, const gpi_record& current, int area_depth = 0);

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
    std::size_t data_pos = 0;  // file position behind the 8-byte header
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
bool read_string_field(block_in& block, std::string& text) {
    std::uint32_t total_size = 0;
    if (!block.body.u32(total_size)) return cut_short(block);
    return read_gpi_string(block.body, total_size, text);
}

// Reads the nested blocks up to the end of the block.
bool read_children(block_in& block, const gpi_record& current, int area_depth) {
    while (block.body.remaining() > 0) {
        if (!read_gpi_block(block.body, current, area_depth)) return false;
    }
    return true;
}

bool read_file_header(block_in& block, file_values& file) {
    gpi_span_reader& in = block.body;
    const std::uint8_t* magic = nullptr;
    if (!in.bytes(8, magic)) return cut_short(block);
    if (std::memcmp(magic, "GRMREC00", 8) != 0) {
        report("\nError: gpi structure. \"GRMREC00\" expected but \"%s\" found! (File pos:0x%X)",
               quoted_bytes(magic, 8).c_str(), file_pos(in.position()));
        return false;
    }
    std::uint32_t time = 0;
    std::uint16_t name_length = 0;
    if (!(in.u32(time) && in.skip(2) && in.u16(name_length))) return cut_short(block);
    file.time = static_cast<std::int32_t>(time);
    if (name_length != 6) {
        report("\nError: gpi structure. \"my.gpi\" expected but %i chars found! (File pos:0x%X)",
               static_cast<int>(name_length), file_pos(in.position()));
        return false;
    }
    const std::uint8_t* name = nullptr;
    if (!in.bytes(6, name)) return cut_short(block);
    if (std::memcmp(name, "my.gpi", 6) != 0) {
        report("\nError: gpi structure. \"my.gpi\" expected but \"%s\" found! (File pos:0x%X)",
               quoted_bytes(name, 6).c_str(), file_pos(in.position()));
        return false;
    }
    return true;
}

bool read_poi_header(block_in& block, file_values& file) {
    gpi_span_reader& in = block.body;
    const std::uint8_t* magic = nullptr;
    if (!in.bytes(3, magic)) return cut_short(block);
    if (std::memcmp(magic, "POI", 3) != 0) {
        report("\nError: gpi structure. \"POI\" expected but \"%s\" found! (File pos:0x%X)",
               quoted_bytes(magic, 3).c_str(), file_pos(in.position()));
        return false;
    }
    std::uint32_t code_page_number = 0;
    if (!(in.skip(3) && in.skip(2) && in.u32(code_page_number))) return cut_short(block);
    file.code_page = static_cast<std::int32_t>(code_page_number);
    return true;
}

bool read_poi_set_header(block_in& block, const gpi_record& current) {
    std::string name;
    if (!read_string_field(block, name)) return false;
    poiset* set = poiset_list_add(*current.list);
    if (set == nullptr) return false;
    const file_values& file = *current.file;
    set->name = std::move(name);
    set->is_utf8 = static_cast<std::uint32_t>(file.code_page) == utf8_code_page;
    set->codepage = code_page::create(file.code_page);
    set->time = file.time;
    set->icons = std::make_unique<icon_list>();
    return read_children(block, gpi_record{current.list, current.file, set, nullptr}, 0);
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
    if (!(in.i32(north) && in.i32(east) && in.i32(south) && in.i32(west) && in.skip(4 + 2 + 1))) {
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
    if (!(in.i32(lat) && in.i32(lon) && in.skip(2 + 1))) return cut_short(block);
    std::string name;
    if (!read_string_field(block, name)) return false;
    waypoint* point = poiset_add_waypoint(*current.set);
    if (point == nullptr) return false;
    point->lat = semicircles_to_degrees(lat);
    point->lon = semicircles_to_degrees(lon);
    point->flags |= has_position;
    point->name = current.set->store(name);
    if (block.flags == 0) return true;
    // The waypoint is the set's last one while its blocks are read.
    return read_children(block, gpi_record{current.list, current.file, current.set, point}, 0);
}

bool read_alert_block(block_in& block, waypoint& point) {
    gpi_span_reader& in = block.body;
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
    return true;
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

bool read_text_block(block_in& block, poiset& set, stored_text& target) {
    std::string text;
    if (!read_string_field(block, text)) return false;
    target = set.store(text);
    return true;
}

bool is_known_type(std::uint16_t type) {
    return type <= 14 || type == end_block_type;
}

// Types whose content the reader uses; the others (6, 7, 11, 12, 13) are skipped.
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
            return true;
        default:
            return false;
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
        if (!block.body.skip(main_size_field)) return cut_short(block);
    }
    switch (block.type) {
        case file_header_type:
            return read_file_header(block, *current.file);
        case poi_header_type:
            return read_poi_header(block, *current.file);
        case poi_set_header_type:
            return read_poi_set_header(block, current);
        case area_block_type:
            return read_area_block(block, current, area_depth);
        case poi_block_type:
            return read_poi_block(block, current);
        case alert_block_type:
            return read_alert_block(block, *current.point);
        case icon_ref_block_type:
            return read_icon_ref_block(block, *current.point);
        case bitmap_block_type:
            return read_bitmap_block(block, *current.set);
        case comment_block_type:
            return read_text_block(block, *current.set, current.point->comment);
        case description_block_type:
            if (!block.body.skip(1)) return cut_short(block);
            return read_text_block(block, *current.set, current.point->description);
        default:
            return true;
    }
}

}  // namespace

bool read_gpi_string(gpi_span_reader& in, std::uint32_t total_size, std::string& text) {
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
    (void)in.skip(2);  // language code, any accepted
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
    if (const void* zero = std::memchr(bytes, 0, keep); zero != nullptr) {
        keep = static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - bytes);
    }
    text.assign(reinterpret_cast<const char*>(bytes), keep);
    // Further entries (other languages) end where the total size says.
    if (length < bound) (void)in.skip(bound - length);
    return true;
}

namespace {

bool read_gpi_block(gpi_span_reader& in, const gpi_record& current, int area_depth) {
    std::size_t block_pos = in.position();
    if (in.remaining() < block_header_size) {
        report(
            "\nError: gpi structure. Block header cut short, %u of 8 bytes left! (File pos:0x%X)",
            static_cast<unsigned>(in.remaining()), file_pos(block_pos));
        (void)in.skip(in.remaining());
        return false;
    }
    block_in block;
    std::uint32_t length = 0;
    (void)(in.u16(block.type) && in.u16(block.flags) && in.u32(length));
    block.data_pos = in.position();

    // A flagged block's length leaves out its 4-byte main_size field, whatever the type:
    // so do POI records, areas and groups here, and the address and phone records and the
    // headers of other producers' files.
    std::uint64_t body_size =
        static_cast<std::uint64_t>(length) + (block.flags != 0 ? main_size_field : 0);
    if (!is_known_type(block.type)) {
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
    if (block.type == end_block_type || !is_read_type(block.type)) return true;
    return dispatch(block, current, area_depth);
}

}  // namespace

bool read_gpi_bytes(std::span<const std::uint8_t> bytes, poiset_list& list) {
    gpi_span_reader in(bytes.data(), bytes.size(), 0);
    file_values file;
    gpi_record top{&list, &file, nullptr, nullptr};
    while (in.remaining() > 0) {
        if (!read_gpi_block(in, top)) return false;
    }
    return true;
}

bool read_gpi_file(std::FILE* file, poiset_list& list) {
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
    return read_gpi_bytes(bytes, list);
}

}  // namespace velmora
