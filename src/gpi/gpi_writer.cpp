#include "gpi/gpi_writer.hpp"

#include <condition_variable>
#include <mutex>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "gpi/byte_sink.hpp"
#include "gpi/gpi_blocks.hpp"
#include "gpi/gpi_format.hpp"
#include "gpi/gpi_units.hpp"
#include "icons/icon_convert.hpp"
#include "model/icon_list.hpp"
#include "platform/messages.hpp"
#include "platform/side_by_side.hpp"
#include "text/encoding.hpp"

namespace velmora {

const std::string* gpi_field(const field_list& list, std::string_view key) {
    int index = field_list_find(list, key);
    if (index < 0) return nullptr;
    const std::optional<std::string>& value = list.values[static_cast<std::size_t>(index)];
    return value ? &*value : nullptr;
}

poi_parts poi_parts_of(const waypoint& w) {
    poi_parts parts;
    parts.alert = has_alert(w);
    parts.icon = (w.flags & has_icon) != 0;
    if (w.comment && !w.comment->empty()) parts.comment = &*w.comment;
    if (w.description && !w.description->empty()) parts.description = &*w.description;
    if (field_list_count(w.address) > 0) {
        parts.address = true;
        for (int i = 0; i < 5; ++i) {
            const std::string* field = gpi_field(*w.address, gpi_address_keys[i]);
            parts.address_fields[i] = field;
            if (field != nullptr) parts.address_mask |= static_cast<std::uint16_t>(1u << i);
        }
    }
    if (field_list_count(w.phones) > 0) {
        parts.phone = true;
        parts.phone_number = gpi_field(*w.phones, gpi_phone_key);
    }
    return parts;
}

void compute_poi_size(waypoint& w) {
    counting_sink counter;
    encode_poi_block(counter, w, poi_parts_of(w), 0);
    w.gpi_size = static_cast<std::int32_t>(counter.count());
}

std::int64_t compute_area_sizes(area_node* node) {
    if (node == nullptr) return 0;
    counting_sink own;
    encode_area_header(own, *node);
    node->record_size = static_cast<std::int64_t>(own.count());
    if (node->is_leaf) {
        for (std::int32_t i = node->first; i <= node->last; ++i) {
            waypoint& w = *(*node->waypoints)[static_cast<std::size_t>(i)];
            if (w.gpi_size == 0) compute_poi_size(w);
            node->record_size += w.gpi_size;
            node->flags |= w.flags;
        }
    } else {
        for (std::int32_t i = 0; i < node->child_count; ++i) {
            area_node* child = node->children[static_cast<std::size_t>(i)].get();
            node->record_size += compute_area_sizes(child);
            node->flags |= child->flags;
        }
    }
    return node->record_size;
}

namespace {

// Replaces a UTF-8 text by its conversion, in the memory it has.
void convert_text(std::optional<std::string>& text, const code_page& page) {
    if (text) utf8_to_codepage_in_place(*text, page);
}

void convert_waypoints(std::span<const std::unique_ptr<waypoint>> waypoints,
                       const code_page& output_locale) {
    for (const std::unique_ptr<waypoint>& w : waypoints) {
        convert_text(w->name, output_locale);
        convert_text(w->description, output_locale);
        convert_text(w->comment, output_locale);
        convert_text(w->symbol, output_locale);
        convert_text(w->link, output_locale);
        if (w->address) field_list_to_codepage(*w->address, output_locale);
        if (w->phones) field_list_to_codepage(*w->phones, output_locale);
    }
}

// Sets of at least this many waypoints are converted by two threads.
constexpr std::size_t parallel_conversion_from = 65536;

}  // namespace

void convert_poiset_strings(poiset& set, const code_page& output_locale) {
    std::span<const std::unique_ptr<waypoint>> all(set.waypoints);
    // Each waypoint is converted in place and on its own, so the halves share nothing.
    auto half = all.size() / 2;
    if (all.size() >= parallel_conversion_from &&
        run_side_by_side([&] { convert_waypoints(all.first(half), output_locale); },
                         [&] { convert_waypoints(all.subspan(half), output_locale); })) {
        return;
    }
    convert_waypoints(all, output_locale);
}

namespace {

// At most this much of a name goes into a message.
constexpr int shown_name = 64;

// Cuts a text to what a multilingual string holds.  In UTF-8 text the cut moves back to
// the start of a character that would be split.
bool cut_text(std::string& text, bool utf8) {
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
// alert values beyond 16 bits (which the encoder clamps) are reported.  Then every
// waypoint is sized afresh, so no size cached from earlier texts survives.
class set_preparation {
  public:
    set_preparation(poiset& set, bool utf8) : set_(set), utf8_(utf8) {}

    void run() {
        // The group name is written unconverted: in a UTF-8 set it is still UTF-8.
        if (cut_text(set_.name, set_.is_utf8)) {
            report("\nWarning: Name of poi set (%.*s) is longer than 65535 bytes, cut to %zu bytes",
                   shown_name, set_.name.c_str(), set_.name.size());
        }
        for (std::size_t i = 0; i < set_.waypoints.size(); ++i) prepare(*set_.waypoints[i], i + 1);
    }

  private:
    void prepare(waypoint& w, std::size_t number) {
        if (w.name) cut(*w.name, "Name", w, number);
        if (w.comment) cut(*w.comment, "Comment", w, number);
        if (w.description) cut(*w.description, "Description", w, number);
        if (w.address) {
            for (const char* key : gpi_address_keys) cut_field(*w.address, key, w, number);
        }
        if (w.phones) cut_field(*w.phones, gpi_phone_key, w, number);
        if ((w.flags & has_proximity) != 0) {
            clamped_u16 proximity = gpi_distance_clamped(w.proximity);
            if (proximity.clamped) {
                report(
                    "\nWarning: Proximity (%.1f m) of poi %zu (%.*s) in set (%s) does not fit a "
                    "gpi file, written as %u m",
                    w.proximity, number, shown_name, name_of(w), set_.name.c_str(),
                    static_cast<unsigned>(proximity.value));
            }
        }
        if ((w.flags & has_speed) != 0) {
            clamped_u16 speed = gpi_speed_clamped(w.speed);
            if (speed.clamped) {
                report(
                    "\nWarning: Speed (%.1f km/h) of poi %zu (%.*s) in set (%s) does not fit a gpi "
                    "file, written as %.1f km/h",
                    w.speed, number, shown_name, name_of(w), set_.name.c_str(),
                    speed.value * 0.036);
            }
        }
        // Sized here, in reading order, rather than later in the order of the tree.
        compute_poi_size(w);
    }

    void cut(std::string& text, const char* what, const waypoint& w, std::size_t number) {
        if (!cut_text(text, utf8_)) return;
        report(
            "\nWarning: %s of poi %zu (%.*s) in set (%s) is longer than 65535 bytes, cut to %zu "
            "bytes",
            what, number, shown_name, name_of(w), set_.name.c_str(), text.size());
    }

    void cut_field(field_list& list, const char* key, const waypoint& w, std::size_t number) {
        int index = field_list_find(list, key);
        if (index < 0) return;
        std::optional<std::string>& value = list.values[static_cast<std::size_t>(index)];
        if (value) cut(*value, key, w, number);
    }

    static const char* name_of(const waypoint& w) { return w.name ? w.name->c_str() : ""; }

    poiset& set_;
    bool utf8_;  // texts are UTF-8: a cut never splits a character
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

void prefetch_text(const std::optional<std::string>& text) {
    if (text) prefetch(text->data());
}

// The tree orders the waypoints by place, not as they lie in memory, so each one and
// its texts would be fetched from memory only when the encoder reaches them, one after
// the other.  Asking for them some waypoints early lets the fetches overlap: the
// records of the waypoints sixteen ahead, and the texts of those eight ahead, whose
// records have arrived by then.
void prefetch_ahead(const waypoint_array& all, std::size_t i) {
    if (i + 16 < all.size()) prefetch(all[i + 16].get());
    if (i + 8 < all.size()) {
        const waypoint& soon = *all[i + 8];
        prefetch_text(soon.name);
        prefetch_text(soon.comment);
        prefetch_text(soon.description);
    }
}

// Groups of at least this many waypoints are encoded by two threads.
constexpr std::int32_t parallel_write_from = 65536;

// Bytes of area blocks that one thread encodes at a time, and how many such pieces may
// wait to be written: this bounds the memory the second thread takes.
constexpr std::int64_t piece_target = std::int64_t{1} << 20;
constexpr std::size_t pieces_ahead = 8;

// The nodes of the tree in the order of their area blocks in the file.
void collect_nodes(const area_node& node, std::vector<const area_node*>& order) {
    order.push_back(&node);
    if (node.is_leaf) return;
    for (std::int32_t i = 0; i < node.child_count; ++i) {
        collect_nodes(*node.children[static_cast<std::size_t>(i)], order);
    }
}

// The bytes a node adds in file order: its own header, and the POI blocks of a leaf.
std::int64_t own_bytes(const area_node& node) {
    std::int64_t bytes = node.record_size;
    if (!node.is_leaf) {
        for (std::int32_t i = 0; i < node.child_count; ++i) {
            bytes -= node.children[static_cast<std::size_t>(i)]->record_size;
        }
    }
    return bytes;
}

// A run of nodes whose blocks one thread encodes into memory; the writer thread puts
// the pieces into the file in order.
struct area_piece {
    std::size_t first = 0;  // index range first..end-1 in the node order
    std::size_t end = 0;
    std::int64_t bytes = 0;
    std::vector<std::uint8_t> data;
    bool done = false;
    bool ok = true;
};

// Encodes a piece, the sizes measured before; false when the bytes disagree with them.
bool encode_piece(area_piece& piece, const std::vector<const area_node*>& order) {
    piece.data.resize(static_cast<std::size_t>(piece.bytes));
    span_sink out(piece.data.data());
    for (std::size_t n = piece.first; n < piece.end; ++n) {
        const area_node& node = *order[n];
        encode_area_header(out, node);
        if (!node.is_leaf) continue;
        for (std::int32_t i = node.first; i <= node.last; ++i) {
            prefetch_ahead(*node.waypoints, static_cast<std::size_t>(i));
            const waypoint& w = *(*node.waypoints)[static_cast<std::size_t>(i)];
            encode_poi_block(out, w, poi_parts_of(w), static_cast<std::uint32_t>(w.gpi_size));
        }
    }
    return out.end() == piece.data.data() + piece.data.size();
}

// Writes the area blocks below top.  They are cut into pieces of about a megabyte in
// file order, which are encoded into memory and written in order; in a large group a
// second thread encodes pieces while this one encodes and writes.
bool write_areas(file_sink& sink, const area_node& top) {
    std::vector<const area_node*> order;
    collect_nodes(top, order);
    std::vector<area_piece> pieces;
    for (std::size_t n = 0; n < order.size();) {
        area_piece piece;
        piece.first = n;
        while (n < order.size() && piece.bytes < piece_target)
            piece.bytes += own_bytes(*order[n++]);
        piece.end = n;
        pieces.push_back(std::move(piece));
    }

    std::mutex lock;
    std::condition_variable changed;
    std::size_t next = 0;     // the first piece nobody took yet
    std::size_t written = 0;  // pieces in the file
    bool stop = false;
    // Takes the next piece when it is not too far ahead of the writing; none when
    // there is none to take now.  Called with the lock held.
    auto take = [&]() -> std::optional<std::size_t> {
        if (stop || next >= pieces.size() || next >= written + pieces_ahead) return std::nullopt;
        return next++;
    };
    auto encode = [&](std::size_t index, std::unique_lock<std::mutex>& held) {
        held.unlock();
        bool ok = false;
        try {
            ok = encode_piece(pieces[index], order);
        } catch (...) {
            ok = false;  // out of memory for the piece; reported by the writing thread
        }
        held.lock();
        pieces[index].ok = ok;
        pieces[index].done = true;
        changed.notify_all();
    };

    bool ok = true;
    auto write_all = [&] {
        for (std::size_t w = 0; w < pieces.size() && ok; ++w) {
            {
                std::unique_lock<std::mutex> held(lock);
                while (!pieces[w].done) {
                    if (auto index = take()) {
                        encode(*index, held);
                    } else {
                        changed.wait(held);
                    }
                }
            }
            area_piece& piece = pieces[w];
            if (!piece.ok) {
                report("\nError: Out of memory or size mismatch while writing the area blocks!");
                ok = false;
            } else {
                sink.bytes(piece.data.data(), piece.data.size());
                if (sink.failed()) {
                    report("\nError: Write error at poi_block!");
                    ok = false;
                }
            }
            std::vector<std::uint8_t>().swap(piece.data);
            std::lock_guard<std::mutex> held(lock);
            ++written;
            changed.notify_all();
        }
        std::lock_guard<std::mutex> held(lock);
        stop = true;
        changed.notify_all();
    };
    auto help = [&] {
        std::unique_lock<std::mutex> held(lock);
        for (;;) {
            changed.wait(held, [&] {
                return stop || next >= pieces.size() || next < written + pieces_ahead;
            });
            auto index = take();
            if (!index) return;
            encode(*index, held);
        }
    };
    if (top.last - top.first + 1 < parallel_write_from || !run_side_by_side(write_all, help)) {
        write_all();
    }
    return ok;
}

bool write_set(file_sink& sink, poiset& set, const code_page* convert_to, bool utf8_texts) {
    if (convert_to != nullptr && set.is_utf8) convert_poiset_strings(set, *convert_to);
    set_preparation(set, utf8_texts).run();

    std::unique_ptr<icon_list> bitmaps = build_bitmap_set(set.icons.get());
    if (!bitmaps) bitmaps = std::make_unique<icon_list>();

    std::unique_ptr<area_node> holder = area_node_new();
    holder->waypoints = &set.waypoints;
    holder->first = 0;
    holder->last = set.count() - 1;
    area_tree_build(set.waypoints, 0, set.count() - 1, 0, *holder);
    area_node* top = holder->children[0].get();
    if (holder->child_count != 1 || top == nullptr) {
        report("\nError: No area index for poi set (%s)", set.name.c_str());
        return false;
    }
    compute_area_sizes(top);
    return write_poi_set_header(sink, set.name, *top, *bitmaps);
}

}  // namespace

bool write_poi_set_header(file_sink& sink, const std::string& name, const area_node& top,
                          const icon_list& bitmap_set) {
    std::uint64_t bitmap_bytes = 0;
    for (const std::unique_ptr<icon_entry>& entry : bitmap_set.entries) {
        if (!entry) continue;
        if (entry->format != icon_format_gpi) {
            report(
                "\nWarning: Unexpected icon format (%i) while wrinint gpi!.. skipped (Filepos "
                "0x%X)",
                static_cast<int>(entry->format), static_cast<unsigned>(sink.position()));
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
        bitmap_bytes += gpi_bitmap_block_size(*entry->bitmap);
    }
    bool main_size = !bitmap_set.entries.empty();
    std::uint64_t length =
        mstring_size(name) + static_cast<std::uint64_t>(top.record_size) + bitmap_bytes;
    if (length > 0xFFFFFFFFu) {
        report("\nError: Poi set (%s) needs %llu bytes, more than a gpi file can hold",
               name.c_str(), static_cast<unsigned long long>(length));
        return false;
    }
    sink.u16(gpi_poi_set_header);
    sink.u16(main_size ? gpi_has_main_size : 0);
    sink.u32(static_cast<std::uint32_t>(length));
    if (main_size) sink.u32(mstring_size(name));
    put_mstring(sink, name);
    return write_areas(sink, top) && write_bitmap_blocks(sink, bitmap_set);
}

bool write_bitmap_blocks(file_sink& sink, const icon_list& bitmap_set) {
    for (const std::unique_ptr<icon_entry>& entry : bitmap_set.entries) {
        if (!entry || entry->icon_id == no_icon_id) continue;
        if (entry->format != icon_format_gpi) {
            report(
                "\nWarning: Unexpected icon format (%i) while writing gpi icons! ...Skipped "
                "(Filepos 0x%X)",
                static_cast<int>(entry->format), static_cast<unsigned>(sink.position()));
            continue;
        }
        if (!entry->bitmap || !gpi_bitmap_complete(*entry->bitmap)) continue;
        const gpi_bitmap& bitmap = *entry->bitmap;
        if (bitmap.icon_id == no_icon_id) {
            report(
                "\nWarning: Unexpected undefined icon_id (%i) while writing icons into gpi file. "
                "(Filepos 0x%X)",
                static_cast<int>(bitmap.icon_id), static_cast<unsigned>(sink.position()));
        }
        encode_bitmap_block(sink, bitmap);
        if (sink.failed()) return false;
    }
    return true;
}

namespace {

bool write_all_sets(std::FILE* file, poiset_list& list, const code_page* convert_to,
                    int code_page_number, std::int64_t time_stamp) {
    const bool utf8_texts = code_page_number == 65001;
    file_sink sink(file);
    encode_file_header(sink, time_stamp);
    encode_poi_header(sink, code_page_number);
    for (const std::unique_ptr<poiset>& set : list.poisets) {
        if (set->waypoints.empty()) {
            report("\nWarning: Poi set (%s) has no pois; it is left out of the gpi file",
                   set->name.c_str());
            continue;
        }
        try {
            if (!write_set(sink, *set, convert_to, utf8_texts)) return false;
        } catch (const std::bad_alloc&) {
            report("\nError: Out of memory while writing poi set (%s) into the gpi file",
                   set->name.c_str());
            return false;
        }
    }
    encode_end_block(sink);
    return sink.finish();
}

}  // namespace

bool write_gpi(std::FILE* file, poiset_list& list, const code_page& output_locale,
               std::int64_t time_stamp) {
    return write_all_sets(file, list, &output_locale, output_locale.number(), time_stamp);
}

bool write_gpi(std::FILE* file, poiset_list& list, int code_page_number, std::int64_t time_stamp) {
    return write_all_sets(file, list, nullptr, code_page_number, time_stamp);
}

}  // namespace velmora
