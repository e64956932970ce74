#include "gpi/gpi_writer.hpp"

#include <algorithm>
#include <array>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "gpi/byte_sink.hpp"
#include "gpi/gpi_bitmap.hpp"
#include "gpi/gpi_blocks.hpp"
#include "gpi/gpi_format.hpp"
#include "gpi/gpi_units.hpp"
#include "model/icon_list.hpp"
#include "platform/messages.hpp"
#include "platform/ordered_pieces.hpp"
#include "platform/split_policy.hpp"
#include "text/output_code_page.hpp"

namespace velmora {

namespace {

// The index of the field whose key is that, or none.
template <std::size_t N>
std::optional<std::size_t> field_index(const std::array<gpi_field, N>& fields,
                                       const stored_text& key) {
    if (!key) return std::nullopt;
    for (std::size_t i = 0; i < N; ++i) {
        if (fields[i].key == *key) return i;
    }
    return std::nullopt;
}

// The address fields: the first value of each field's key.
void take_address(std::span<const text_pair> pairs,
                  gpi_field_values<gpi_address_fields.size()>& fields) {
    for (const text_pair& pair : pairs) {
        auto index = field_index(gpi_address_fields, pair.key);
        if (index && pair.value && !fields.has(*index)) fields.set(*index, *pair.value);
    }
}

// The contact fields: the first value of each kind's key; numbers of other kinds (a GPX
// file's "Home", "Work", "Mobile", or a second number of a kind) fill the phone and then
// the second phone, where those are still free.
void take_contacts(std::span<const text_pair> pairs,
                   gpi_field_values<gpi_contact_fields.size()>& fields) {
    constexpr std::size_t phone = 0;
    constexpr std::size_t phone2 = 1;
    // Only two fields can take other numbers, so the first two are all that count.
    std::array<std::string_view, 2> others;
    std::size_t other_count = 0;
    for (const text_pair& pair : pairs) {
        if (!pair.value) continue;
        auto index = field_index(gpi_contact_fields, pair.key);
        if (index && !fields.has(*index)) {
            fields.set(*index, *pair.value);
        } else if ((!index || *index == phone || *index == phone2) && other_count < others.size()) {
            others[other_count++] = *pair.value;
        }
    }
    for (std::size_t i = 0; i < other_count && !(fields.has(phone) && fields.has(phone2)); ++i) {
        fields.set(fields.has(phone) ? phone2 : phone, others[i]);
    }
}

// The parts that the details and the link of a waypoint give.
void take_details(const waypoint& w, const poiset& set, poi_parts& parts) {
    if (const waypoint_details* details = set.details_of(w)) {
        if (!details->address.empty()) take_address(details->address, parts.address.emplace());
        if (!details->phones.empty()) take_contacts(details->phones, parts.contact.emplace());
        parts.categories = details->categories;
        // An alert plays a media record only by an id that can't be taken for a built-in
        // sound; write_poi_group has warned of the others.
        if (details->sound && parts.alert && gpi_alert_can_name(*details->sound)) {
            parts.sound = details->sound;
        }
        if (details->picture && *details->picture < set.pictures.size()) {
            const poi_picture& picture = set.pictures[*details->picture];
            if (!picture.jpeg.empty() && picture.jpeg.size() <= gpi_max_picture) {
                parts.picture = &picture;
            }
        }
    }
    // The link is the web address, unless the contacts name one: GPI files have no other
    // place for it, and other readers take the web address for the link.
    constexpr std::size_t web = gpi_contact_fields.size() - 1;
    if (w.link && !w.link->empty() && !(parts.contact && parts.contact->has(web))) {
        if (!parts.contact) parts.contact.emplace();
        parts.contact->set(web, *w.link);
    }
}

// Makes parts those of a waypoint; those of most waypoints (no details, no link) without
// a call.  Every member is set, so that one poi_parts serves waypoint after waypoint
// without being made anew (and cleared whole) for each.
inline void take_parts(const waypoint& w, const poiset& set, poi_parts& parts) {
    parts.alert = has_alert(w);
    parts.icon = (w.flags & has_icon) != 0;
    parts.comment.reset();
    parts.description.reset();
    parts.address.reset();
    parts.contact.reset();
    parts.categories = {};
    parts.sound.reset();
    parts.picture = nullptr;
    if (w.comment && !w.comment->empty()) parts.comment = *w.comment;
    if (w.description && !w.description->empty()) parts.description = *w.description;
    if (w.details != no_details || w.link) [[unlikely]]
        take_details(w, set, parts);
}

inline poi_parts parts_of(const waypoint& w, const poiset& set) {
    poi_parts parts;
    take_parts(w, set, parts);
    return parts;
}

// Bytes of the POI block of a waypoint with these parts.
inline std::uint32_t poi_block_size(const waypoint& w, const poi_parts& parts) {
    return static_cast<std::uint32_t>(
        measured([&](auto& sink) { encode_poi_block(sink, w, parts); }));
}

}  // namespace

poi_parts poi_parts_of(const waypoint& w, const poiset& set) {
    return parts_of(w, set);
}

std::uint32_t poi_block_size(const waypoint& w, const poiset& set) {
    return poi_block_size(w, parts_of(w, set));
}

namespace {

// A POI block's size as the writer keeps it: the top bit tells whether the waypoint has
// an alert.  A POI block of texts within the format's limits stays far below it.
constexpr std::uint32_t poi_alert_bit = 0x80000000u;

// The writer's own sizes of a group: every POI block's (by waypoint number) and every
// area block's with whether an alert lies below it (by the node's place in file order).
struct group_sizes {
    std::vector<std::uint32_t> poi;         // by waypoint number, with poi_alert_bit
    std::vector<const area_node*> nodes;    // in file order
    std::vector<std::int64_t> record_size;  // bytes of each node's whole area block
    std::vector<std::int64_t> nested;       // bytes of the blocks nested in it
    std::vector<std::uint8_t> alert;        // whether a waypoint below has an alert
    std::vector<std::int64_t> own;          // bytes a node adds in file order: its own
                                            // header, and the POI blocks of a leaf
};

// A hint to the processor that nothing observes, so that the compiler must not drop
// it (GCC removes calls of helpers that hold only __builtin_prefetch).
inline void prefetch(const void* address) {
#if defined(__x86_64__) || defined(__i386__)
    asm volatile("prefetcht0 %0" : : "m"(*static_cast<const char*>(address)));
#else
    __builtin_prefetch(address);
#endif
}

// The area order visits the waypoints by place, not as they lie in memory, so each one
// and its texts would be fetched only when the encoder reaches it.  Asking for them some
// waypoints early lets the fetches overlap: the records sixteen ahead (both ends, as a
// record may cross a cache line), and the texts of those eight ahead, whose records
// have arrived by then.  The texts are asked for by their place alone: reading their
// lengths here would wait for them.
void prefetch_ahead(const poiset& set, std::span<const std::uint32_t> order, std::size_t i) {
    if (i + 16 < order.size()) {
        const auto* record = reinterpret_cast<const char*>(&set.waypoints[order[i + 16]]);
        prefetch(record);
        prefetch(record + sizeof(waypoint) - 1);
    }
    if (i + 8 < order.size()) {
        const waypoint& soon = set.waypoints[order[i + 8]];
        // A waypoint's texts were stored one after another: the name leads them.
        if (const void* name = soon.name.address()) prefetch(name);
        if (const void* description = soon.description.address()) prefetch(description);
    }
}

// Fills the sizes of the node and of every node below it, in file order; gives the
// node's place.
std::size_t measure_node(const area_node& node, const gpi_group& group, group_sizes& sizes) {
    std::size_t place = sizes.nodes.size();
    sizes.nodes.push_back(&node);
    auto header = static_cast<std::int64_t>(
        measured([&](auto& sink) { encode_area_header(sink, node, 0, false); }));
    sizes.record_size.push_back(header);
    sizes.nested.push_back(0);
    sizes.alert.push_back(0);
    sizes.own.push_back(header);
    std::int64_t bytes = 0;
    std::uint32_t alert = 0;
    if (node.is_leaf) {
        for (std::int32_t i = node.first; i <= node.last; ++i) {
            std::uint32_t poi = sizes.poi[group.areas.order[static_cast<std::size_t>(i)]];
            bytes += poi & ~poi_alert_bit;
            alert |= poi;
        }
        sizes.own[place] += bytes;
    } else {
        for (std::int32_t i = 0; i < node.child_count; ++i) {
            std::size_t child =
                measure_node(*node.children[static_cast<std::size_t>(i)], group, sizes);
            bytes += sizes.record_size[child];
            alert |= sizes.alert[child] != 0 ? poi_alert_bit : 0u;
        }
    }
    sizes.record_size[place] += bytes;
    sizes.nested[place] = bytes;
    sizes.alert[place] = (alert & poi_alert_bit) != 0 ? 1 : 0;
    return place;
}

// The POI blocks' sizes and alerts are taken in the order of the waypoints, and the
// tree's walk in file order then finds them in one small array rather than in the
// waypoints scattered over memory.
group_sizes measure_group(const gpi_group& group, const split_policy& split) {
    group_sizes sizes;
    const poiset& set = *group.set;
    std::size_t count = set.waypoints.size();
    sizes.poi.resize(count);
    auto measure = [&](std::size_t first, std::size_t end) {
        poi_parts parts;
        for (std::size_t i = first; i < end; ++i) {
            const waypoint& w = set.waypoints[i];
            take_parts(w, set, parts);
            sizes.poi[i] = poi_block_size(w, parts) | (has_alert(w) ? poi_alert_bit : 0u);
        }
    };
    // The halves meet at a multiple of 64 entries, so the threads share no cache line.
    std::size_t half = count / 2 / 64 * 64;
    split.in_halves(count, half, measure);
    measure_node(*group.areas.top, group, sizes);
    return sizes;
}

// Bytes of area blocks that one thread encodes at a time (a megabyte by default: enough
// for the smallest group that is shared to make several pieces), and how many such pieces
// may wait to be written: this bounds the memory the second thread takes.
constexpr std::size_t piece_bytes_per_item = 16;
constexpr std::size_t pieces_ahead = 8;

// A run of nodes whose blocks are encoded into memory, to be put into the file in order.
struct area_piece {
    std::size_t first = 0;  // index range first..end-1 in the node order
    std::size_t end = 0;
    std::int64_t bytes = 0;
    bool ok = true;
};

// Memory that pieces are encoded into, kept for the pieces after: its bytes are not
// cleared, as the encoder writes every one of them.
struct piece_buffer {
    piece_buffer() = default;
    piece_buffer(piece_buffer&& other) noexcept
        : data(std::move(other.data)), capacity(std::exchange(other.capacity, 0)) {}
    piece_buffer& operator=(piece_buffer&& other) noexcept {
        data = std::move(other.data);
        capacity = std::exchange(other.capacity, 0);
        return *this;
    }

    std::unique_ptr<std::uint8_t[]> data;
    std::size_t capacity = 0;

    std::uint8_t* take(std::size_t size) {
        if (size > capacity) {
            data.reset();
            data.reset(new std::uint8_t[size]);
            capacity = size;
        }
        return data.get();
    }
};

// Encodes a piece into the buffer, the sizes measured before; false when the bytes
// disagree with them.  Each POI block's size is taken again from its parts, which the
// encoder reads anyway, rather than from the measured sizes scattered over memory; the
// sum over the piece still has to come out as measured.
bool encode_piece(const area_piece& piece, piece_buffer& buffer, const gpi_group& group,
                  const group_sizes& sizes) {
    auto size = static_cast<std::size_t>(piece.bytes);
    std::uint8_t* data = buffer.take(size);
    span_sink out(data);
    const poiset& set = *group.set;
    std::span<const std::uint32_t> order(group.areas.order);
    poi_parts parts;
    for (std::size_t n = piece.first; n < piece.end; ++n) {
        const area_node& node = *sizes.nodes[n];
        encode_area_header(out, node, static_cast<std::uint64_t>(sizes.nested[n]),
                           sizes.alert[n] != 0);
        if (!node.is_leaf) continue;
        for (std::int32_t i = node.first; i <= node.last; ++i) {
            prefetch_ahead(set, order, static_cast<std::size_t>(i));
            const waypoint& w = set.waypoints[order[static_cast<std::size_t>(i)]];
            take_parts(w, set, parts);
            std::uint32_t poi = poi_block_size(w, parts);
            if (poi > size - static_cast<std::size_t>(out.end() - data)) return false;
            encode_poi_block(out, w, parts);
        }
    }
    return out.end() == data + size;
}

// Writes the area blocks below top.  They are cut into pieces of about a megabyte in
// file order, which are encoded into memory and written in order; in a large group a
// second thread encodes pieces while this one encodes and writes.
bool write_areas(file_sink& sink, const gpi_group& group, const group_sizes& sizes,
                 const split_policy& split) {
    const auto piece_target = static_cast<std::int64_t>(std::min<std::size_t>(
        split.bytes_from(piece_bytes_per_item), std::numeric_limits<std::int64_t>::max()));
    std::vector<area_piece> pieces;
    for (std::size_t n = 0; n < sizes.nodes.size();) {
        area_piece piece;
        piece.first = n;
        while (n < sizes.nodes.size() && piece.bytes < piece_target) piece.bytes += sizes.own[n++];
        piece.end = n;
        pieces.push_back(std::move(piece));
    }

    // Piece index - pieces_ahead has been put when piece index is made (ordered_pieces),
    // so a piece waiting to be put holds slot index % pieces_ahead.  A written piece's
    // buffer goes back to a pool that the next piece takes from: only as many buffers
    // exist as pieces wait at once, which is mostly one or two.
    std::vector<piece_buffer> waiting(pieces_ahead);
    std::vector<piece_buffer> free_buffers;
    std::mutex free_mutex;
    auto buffer_of = [&](std::size_t index) -> piece_buffer& {
        return waiting[index % pieces_ahead];
    };
    auto make = [&](std::size_t index) {
        area_piece& piece = pieces[index];
        piece_buffer& buffer = buffer_of(index);
        {
            std::lock_guard<std::mutex> lock(free_mutex);
            if (!free_buffers.empty()) {
                buffer = std::move(free_buffers.back());
                free_buffers.pop_back();
            }
        }
        try {
            piece.ok = encode_piece(piece, buffer, group, sizes);
        } catch (...) {
            piece.ok = false;  // out of memory for the piece; reported when its turn comes
        }
    };
    auto put = [&](std::size_t index) {
        const area_piece& piece = pieces[index];
        if (!piece.ok) {
            report("\nError: Out of memory or size mismatch while writing the area blocks!");
            return false;
        }
        piece_buffer& buffer = buffer_of(index);
        sink.bytes(buffer.data.get(), static_cast<std::size_t>(piece.bytes));
        if (sink.failed()) {
            report("\nError: Write error at poi_block!");
            return false;
        }
        std::lock_guard<std::mutex> lock(free_mutex);
        free_buffers.push_back(std::move(buffer));
        buffer = piece_buffer{};
        return true;
    };
    return make_and_put_in_order(pieces.size(), pieces_ahead,
                                 split.splits(group.areas.order.size()), make, put);
}

// An entry of a group's bitmap set as the bitmap blocks take it: a bitmap to write, or
// (bitmap null) an entry of another picture format, which the writing names in a
// warning when its turn comes.
struct bitmap_item {
    const icon_entry* entry = nullptr;
    const gpi_bitmap* bitmap = nullptr;
};

// The entries of the bitmap set that the bitmap blocks take, in order; warns of those
// left out for a reason, at the file position where the group begins.
std::vector<bitmap_item> writable_bitmaps(const icon_list& bitmap_set, std::uint64_t position) {
    std::vector<bitmap_item> items;
    for (const std::unique_ptr<icon_entry>& entry : bitmap_set.entries) {
        if (!entry) continue;
        if (entry->format != icon_format_gpi) {
            report(
                "\nWarning: Unexpected icon format (%i) while wrinint gpi!.. skipped (Filepos "
                "0x%X)",
                static_cast<int>(entry->format), static_cast<unsigned>(position));
            if (entry->icon_id != no_icon_id) items.push_back({entry.get(), nullptr});
            continue;
        }
        if (entry->icon_id == no_icon_id || !entry->bitmap) continue;
        if (!gpi_bitmap_complete(*entry->bitmap)) {
            report(
                "\nWarning: Icon (%i) lacks pixel or palette data for its size; it is left out "
                "of the gpi file",
                static_cast<int>(entry->icon_id));
            continue;
        }
        items.push_back({entry.get(), entry->bitmap.get()});
    }
    return items;
}

// The bitmap blocks of the items.
template <class Sink>
void encode_bitmap_blocks(Sink& sink, std::span<const bitmap_item> items) {
    for (const bitmap_item& item : items) {
        if (item.bitmap != nullptr) encode_bitmap_block(sink, *item.bitmap);
    }
}

// Writes the bitmap blocks of the items; false on a write error.
bool write_bitmap_blocks(file_sink& sink, std::span<const bitmap_item> items) {
    for (const bitmap_item& item : items) {
        if (item.bitmap == nullptr) {
            report(
                "\nWarning: Unexpected icon format (%i) while writing gpi icons! ...Skipped "
                "(Filepos 0x%X)",
                static_cast<int>(item.entry->format), static_cast<unsigned>(sink.position()));
            continue;
        }
        if (item.bitmap->icon_id == no_icon_id) {
            report(
                "\nWarning: Unexpected undefined icon_id (%i) while writing icons into gpi file. "
                "(Filepos 0x%X)",
                static_cast<int>(item.bitmap->icon_id), static_cast<unsigned>(sink.position()));
        }
        encode_bitmap_block(sink, *item.bitmap);
        if (sink.failed()) return false;
    }
    return true;
}

// The category blocks of a group, numbered in order.
template <class Sink>
void encode_category_blocks(Sink& sink, const std::vector<stored_text>& categories) {
    for (std::size_t id = 0; id < categories.size(); ++id) {
        encode_category_block(sink, static_cast<std::uint16_t>(id),
                              categories[id].value_or_empty());
    }
}

// An alert names its media record by an id whose high byte must not be the one that
// marks a built-in sound: the record of such an id is written, but the alerts that play
// it are written as plain ones, said once per group.
void warn_of_unnameable_media(const poiset& set) {
    for (const poi_media& record : set.media) {
        if (gpi_alert_can_name(record.id)) continue;
        report(
            "\nWarning: The media record %u of the poi set %s has an id an alert can't name in a "
            "gpi file (%u to %u read as built-in sounds); its alerts are written as plain ones",
            static_cast<unsigned>(record.id), shown_name(set).c_str(),
            static_cast<unsigned>(gpi_alert_builtin_sound) << 8,
            (static_cast<unsigned>(gpi_alert_builtin_sound) << 8) | 0xFFu);
        return;
    }
}

}  // namespace

bool write_poi_group(file_sink& sink, const gpi_group& group, const split_policy& split) {
    const std::string& name = group.set->name;
    const icon_list& bitmap_set = *group.bitmaps;
    std::vector<bitmap_item> bitmaps = writable_bitmaps(bitmap_set, sink.position());
    group_sizes sizes = measure_group(group, split);
    const std::vector<stored_text>& categories = group.set->categories;
    auto put_name = [&](auto& data) { put_mstring(data, name); };
    std::uint64_t name_bytes = measured(put_name);
    auto area_bytes = static_cast<std::uint64_t>(sizes.record_size[0]);
    std::uint64_t category_bytes =
        measured([&](auto& data) { encode_category_blocks(data, categories); });
    std::uint64_t bitmap_bytes =
        measured([&](auto& data) { encode_bitmap_blocks(data, std::span(bitmaps)); });
    const std::vector<poi_media>& media = group.set->media;
    auto put_media = [&](auto& data) {
        for (const poi_media& record : media) encode_media_block(data, record);
    };
    std::uint64_t media_bytes = measured(put_media);
    warn_of_unnameable_media(*group.set);
    std::uint64_t length = name_bytes + area_bytes + category_bytes + bitmap_bytes + media_bytes;
    if (length > 0xFFFFFFFFu) {
        report("\nError: Poi set (%s) needs %llu bytes, more than a gpi file can hold",
               shown_name(*group.set).c_str(), static_cast<unsigned long long>(length));
        return false;
    }
    // With categories the main part holds the name and the area blocks, and the
    // categories, bitmaps and media follow it, as Garmin's own files have it.
    if (!bitmap_set.entries.empty() || !categories.empty() || !media.empty()) {
        std::uint64_t main_bytes = name_bytes + (categories.empty() ? 0 : area_bytes);
        put_block_header(sink, gpi_block_type::poi_set_header, main_bytes, length - main_bytes);
    } else {
        put_block_header(sink, gpi_block_type::poi_set_header, length);
    }
    put_name(sink);
    if (!write_areas(sink, group, sizes, split)) return false;
    encode_category_blocks(sink, categories);
    if (!write_bitmap_blocks(sink, bitmaps)) return false;
    put_media(sink);
    return !sink.failed();
}

bool write_gpi(std::FILE* file, std::span<const gpi_group> groups, int code_page_number,
               std::int64_t time_stamp, const split_policy& split) {
    file_sink sink(file);
    encode_file_header(sink, time_stamp);
    encode_poi_header(sink, code_page_number);
    for (const gpi_group& group : groups) {
        if (!write_poi_group(sink, group, split)) return false;
    }
    encode_end_block(sink);
    return sink.finish();
}

}  // namespace velmora
