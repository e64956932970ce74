#pragma once
// Encoders of the GPI blocks that the writer produces.  Each one is a template over a
// byte sink (gpi/byte_sink.hpp): the writer runs the same encoder over a counting sink
// for the size pass and over a file sink for the write pass.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "gpi/area_tree.hpp"
#include "gpi/gpi_format.hpp"
#include "gpi/gpi_units.hpp"
#include "model/icon_list.hpp"
#include "model/poiset.hpp"

namespace velmora {

// A text as a multilingual string holds it: at most 65535 bytes.
[[nodiscard]] inline std::string_view gpi_text(std::string_view text) {
    return text.substr(0, gpi_max_text);
}

// Bytes of the multilingual string of a text: 8 + n.
[[nodiscard]] inline std::uint32_t mstring_size(std::string_view text) {
    return 8 + static_cast<std::uint32_t>(gpi_text(text).size());
}

// One entry with the language code "EN".
template <class Sink>
[[gnu::always_inline]] inline void put_mstring(Sink& sink, std::string_view text) {
    text = gpi_text(text);
    auto n = static_cast<std::uint16_t>(text.size());
    sink.u32(4u + n);
    sink.text("EN");
    sink.u16(n);
    sink.text(text);
}

// A text as a plain string: a 16-bit length and the bytes.
[[nodiscard]] inline std::uint32_t plain_string_size(std::string_view text) {
    return 2 + static_cast<std::uint32_t>(gpi_text(text).size());
}

template <class Sink>
void put_plain_string(Sink& sink, std::string_view text) {
    text = gpi_text(text);
    sink.u16(static_cast<std::uint16_t>(text.size()));
    sink.text(text);
}

// The fields of an address or contact record that a waypoint has: a text for each set
// bit of the mask, in bit order.
template <std::size_t N>
struct gpi_field_values {
    std::uint16_t mask = 0;
    std::array<std::string_view, N> texts;

    void set(std::size_t index, std::string_view text) {
        mask = static_cast<std::uint16_t>(mask | (1u << index));
        texts[index] = text;
    }
    [[nodiscard]] bool has(std::size_t index) const { return (mask & (1u << index)) != 0; }
};

// The parts of a waypoint that exist in a GPI file, each one a sub-block of its POI
// block (a category reference for each category).  The size pass and the write pass both
// take them from poi_parts_of.
struct poi_parts {
    bool alert = false;
    bool icon = false;
    std::optional<std::string_view> comment;      // present and not empty
    std::optional<std::string_view> description;  // present and not empty
    // Present when the address list holds a pair, and when the contact list holds a pair
    // or the waypoint has a link.  Absent ones cost nothing to make.
    std::optional<gpi_field_values<gpi_address_fields.size()>> address;
    std::optional<gpi_field_values<gpi_contact_fields.size()>> contact;
    std::span<const std::uint16_t> categories;  // indexes into the set's categories

    [[nodiscard]] bool any() const {
        return alert || icon || comment || description || address.has_value() ||
               contact.has_value() || !categories.empty();
    }
};

[[nodiscard]] poi_parts poi_parts_of(const waypoint& w, const poiset& set);

template <class Sink>
void encode_file_header(Sink& sink, std::int64_t time_stamp) {
    sink.u16(gpi_type_number(gpi_block_type::file_header));
    sink.u16(0);
    sink.u32(gpi_file_header_size - gpi_block_header_size);
    sink.text("GRMREC00");
    sink.u32(static_cast<std::uint32_t>(static_cast<std::uint64_t>(time_stamp)));
    sink.u16(0);
    sink.u16(6);
    sink.text("my.gpi");
}

template <class Sink>
void encode_poi_header(Sink& sink, int code_page_number) {
    sink.u16(gpi_type_number(gpi_block_type::poi_header));
    sink.u16(0);
    sink.u32(gpi_poi_header_size - gpi_block_header_size);
    sink.text("POI");
    sink.u16(0);
    sink.u8(0);
    sink.text("00");
    sink.u32(static_cast<std::uint32_t>(code_page_number));
}

template <class Sink>
void encode_end_block(Sink& sink) {
    sink.u16(gpi_type_number(gpi_block_type::end_block));
    sink.u16(0);
    sink.u32(0);
}

template <class Sink>
[[gnu::always_inline]] inline void encode_alert_block(Sink& sink, const waypoint& w) {
    sink.u16(gpi_type_number(gpi_block_type::alert_block));
    sink.u16(0);
    sink.u32(gpi_alert_block_size - gpi_block_header_size);
    sink.u16(gpi_distance_clamped(w.proximity).value);
    sink.u16(gpi_speed_clamped(w.speed).value);
    sink.u32(0x01000100);
    sink.u16(0x0101);
    std::uint8_t kinds = 0;
    if ((w.flags & has_proximity) != 0) kinds |= gpi_alert_kind_proximity;
    if ((w.flags & has_speed) != 0) kinds |= gpi_alert_kind_speed;
    sink.u8(kinds);
    sink.u8(0x10);
}

// Address and contact blocks hold the field mask and the fields behind it, all in the
// block's own data (no main_size), as Garmin's own files have them: GPSBabel reads the
// e-mail address and the web address only from blocks framed so.
template <class Sink, std::size_t N>
void encode_field_block(Sink& sink, gpi_block_type type, const std::array<gpi_field, N>& fields,
                        const gpi_field_values<N>& values) {
    std::uint32_t strings = 0;
    for (std::size_t i = 0; i < N; ++i) {
        if (!values.has(i)) continue;
        strings += fields[i].multilingual ? mstring_size(values.texts[i])
                                          : plain_string_size(values.texts[i]);
    }
    sink.u16(gpi_type_number(type));
    sink.u16(0);
    sink.u32(2 + strings);
    sink.u16(values.mask);
    for (std::size_t i = 0; i < N; ++i) {
        if (!values.has(i)) continue;
        if (fields[i].multilingual) {
            put_mstring(sink, values.texts[i]);
        } else {
            put_plain_string(sink, values.texts[i]);
        }
    }
}

// A category of a POI group: its number (the waypoints' category references name it)
// and its name.
template <class Sink>
void encode_category_block(Sink& sink, std::uint16_t id, std::string_view name) {
    sink.u16(gpi_type_number(gpi_block_type::category_block));
    sink.u16(0);
    sink.u32(2 + mstring_size(name));
    sink.u16(id);
    put_mstring(sink, name);
}

[[nodiscard]] inline std::uint32_t category_block_size(std::string_view name) {
    return gpi_block_header_size + 2 + mstring_size(name);
}

// The POI block of a waypoint whose block is total_size bytes long (any value while
// counting).  Inlined into the writer's loop, so that the sink's place stays in a
// register instead of going through memory for every field.
template <class Sink>
[[gnu::always_inline]] inline void encode_poi_block(Sink& sink, const waypoint& w, const poi_parts& parts,
                      std::uint32_t total_size) {
    bool sub_blocks = parts.any();
    std::string_view name = gpi_text(w.name.value_or_empty());
    sink.u16(gpi_type_number(gpi_block_type::poi_block));
    sink.u16(sub_blocks ? gpi_has_main_size : 0);
    sink.u32(total_size - (sub_blocks ? 12 : 8));
    if (sub_blocks) sink.u32(static_cast<std::uint32_t>(name.size()) + 19);
    sink.u32(static_cast<std::uint32_t>(semicircles(w.lat)));
    sink.u32(static_cast<std::uint32_t>(semicircles(w.lon)));
    sink.u16(1);
    sink.u8(has_alert(w) ? 1 : 0);
    put_mstring(sink, name);
    if (parts.alert) encode_alert_block(sink, w);
    if (parts.icon) {
        sink.u16(gpi_type_number(gpi_block_type::icon_ref_block));
        sink.u16(0);
        sink.u32(gpi_icon_ref_block_size - gpi_block_header_size);
        sink.u16(w.icon_id);
    }
    for (std::uint16_t category : parts.categories) {
        sink.u16(gpi_type_number(gpi_block_type::category_ref_block));
        sink.u16(0);
        sink.u32(gpi_category_ref_block_size - gpi_block_header_size);
        sink.u16(category);
    }
    if (parts.comment) {
        sink.u16(gpi_type_number(gpi_block_type::comment_block));
        sink.u16(0);
        sink.u32(mstring_size(*parts.comment));
        put_mstring(sink, *parts.comment);
    }
    if (parts.description) {
        sink.u16(gpi_type_number(gpi_block_type::description_block));
        sink.u16(0);
        sink.u32(mstring_size(*parts.description) + 1);
        sink.u8(1);
        put_mstring(sink, *parts.description);
    }
    if (parts.address) {
        encode_field_block(sink, gpi_block_type::address_block, gpi_address_fields,
                           *parts.address);
    }
    if (parts.contact) {
        encode_field_block(sink, gpi_block_type::phone_block, gpi_contact_fields,
                           *parts.contact);
    }
}

// The area block's own bytes, without its children: record_size is the bytes of the
// whole block, alert whether a waypoint below has an alert.
template <class Sink>
void encode_area_header(Sink& sink, const area_node& node, std::int64_t record_size,
                        bool alert) {
    sink.u16(gpi_type_number(gpi_block_type::area_block));
    sink.u16(gpi_has_main_size);
    sink.u32(static_cast<std::uint32_t>(record_size - 12));
    sink.u32(gpi_area_main_size);
    sink.u32(static_cast<std::uint32_t>(semicircles(node.north)));
    sink.u32(static_cast<std::uint32_t>(semicircles(node.east)));
    sink.u32(static_cast<std::uint32_t>(semicircles(node.south)));
    sink.u32(static_cast<std::uint32_t>(semicircles(node.west)));
    sink.u32(0);
    sink.u16(1);
    sink.u8(alert ? 1 : 0);
}

// Bytes of the pixel rows of a bitmap: row_size * height.
[[nodiscard]] inline std::uint64_t gpi_bitmap_image_size(const gpi_bitmap& bitmap) {
    return static_cast<std::uint64_t>(gpi_bitmap_row_size(bitmap.width, bitmap.bits_per_pixel)) *
           bitmap.height;
}

// Bytes of the bitmap block: 44 + image size + 4 * palette count.
[[nodiscard]] inline std::uint64_t gpi_bitmap_block_size(const gpi_bitmap& bitmap) {
    return gpi_bitmap_header_size + gpi_bitmap_image_size(bitmap) +
           4 * static_cast<std::uint64_t>(bitmap.palette_count);
}

// True when the bitmap holds the pixel and palette data its sizes call for and its
// block fits the 32-bit length field.
[[nodiscard]] inline bool gpi_bitmap_complete(const gpi_bitmap& bitmap) {
    return bitmap.pixels.size() >= gpi_bitmap_image_size(bitmap) &&
           bitmap.palette.size() >= bitmap.palette_count &&
           gpi_bitmap_block_size(bitmap) <= 0xFFFFFFFFu;
}

// The bitmap block of a complete bitmap.
template <class Sink>
void encode_bitmap_block(Sink& sink, const gpi_bitmap& bitmap) {
    std::uint16_t row_size = gpi_bitmap_row_size(bitmap.width, bitmap.bits_per_pixel);
    auto image_size = static_cast<std::uint32_t>(gpi_bitmap_image_size(bitmap));
    sink.u16(gpi_type_number(gpi_block_type::bitmap_block));
    sink.u16(0);
    sink.u32(static_cast<std::uint32_t>(gpi_bitmap_block_size(bitmap) - gpi_block_header_size));
    sink.u16(bitmap.icon_id);
    sink.u16(bitmap.height);
    sink.u16(bitmap.width);
    sink.u16(row_size);
    sink.u16(bitmap.bits_per_pixel);
    sink.u16(0);
    sink.u32(image_size);
    sink.u32(gpi_bitmap_header_size);
    sink.u32(bitmap.palette_count);
    sink.u32(bitmap.transparent_colour);
    sink.u32(1);
    sink.u32(image_size + gpi_bitmap_header_size);
    sink.bytes(bitmap.pixels.data(), image_size);
    for (std::uint32_t i = 0; i < bitmap.palette_count; ++i) sink.u32(bitmap.palette[i]);
}

}  // namespace velmora
