#pragma once
// Encoders of the GPI blocks that the writer produces.  Each one is a template over a
// byte sink (gpi/byte_sink.hpp): the writer runs the same encoder over a counting sink
// for the size pass and over a file sink for the write pass.  No length is worked out
// beside the encoders: a block's length field holds what its body measures when it is
// encoded into a counting sink (put_block), and a size the writer needs beforehand is
// measured the same way (measured).
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

#include "gpi/area_tree.hpp"
#include "gpi/byte_sink.hpp"
#include "gpi/gpi_bitmap.hpp"
#include "gpi/gpi_format.hpp"
#include "gpi/gpi_units.hpp"
#include "model/poiset.hpp"
#include "platform/little_endian.hpp"

namespace velmora {

// The bytes that encode puts into a sink: encode run over a counting sink.
template <class Encode>
[[nodiscard, gnu::always_inline]] inline std::uint64_t measured(Encode&& encode) {
    counting_sink counter;
    encode(counter);
    return counter.count();
}

// The 8-byte header of a block whose data is length bytes long.
template <class Sink>
[[gnu::always_inline]] inline void put_block_header(Sink& sink, gpi_block_type type,
                                                    std::uint64_t length) {
    sink.u16(gpi_type_number(type));
    sink.u16(0);
    sink.u32(static_cast<std::uint32_t>(length));
}

// The header of a block whose data is a main part of main_size bytes and nested blocks
// of nested_size bytes behind it: the length leaves out the main_size field.
template <class Sink>
[[gnu::always_inline]] inline void put_block_header(Sink& sink, gpi_block_type type,
                                                    std::uint64_t main_size,
                                                    std::uint64_t nested_size) {
    sink.u16(gpi_type_number(type));
    sink.u16(gpi_has_main_size);
    sink.u32(static_cast<std::uint32_t>(main_size + nested_size));
    sink.u32(static_cast<std::uint32_t>(main_size));
}

// A block of that type whose data is what body encodes.  A counting sink takes the
// header's bytes without the length, which counting does not need.
// A span sink, which holds the bytes it was given, takes the lengths back-patched once
// the block's data is encoded behind its header.
template <class Sink, class Body>
[[gnu::always_inline]] inline void put_block(Sink& sink, gpi_block_type type, Body&& body) {
    if constexpr (std::is_same_v<Sink, span_sink>) {
        std::uint8_t* header = sink.end();
        put_block_header(sink, type, 0);
        body(sink);
        store_le32(header + 4, static_cast<std::uint32_t>(sink.end() - header - 8));
        return;
    }
    std::uint64_t length = 0;
    if constexpr (!std::is_same_v<Sink, counting_sink>) length = measured(body);
    put_block_header(sink, type, length);
    body(sink);
}

// A block of that type whose data is what main encodes, flagged with its size, and the
// blocks that nested encodes behind it.
template <class Sink, class Main, class Nested>
[[gnu::always_inline]] inline void put_block(Sink& sink, gpi_block_type type, Main&& main,
                                             Nested&& nested) {
    if constexpr (std::is_same_v<Sink, span_sink>) {
        std::uint8_t* header = sink.end();
        put_block_header(sink, type, 0, 0);
        std::uint8_t* main_start = sink.end();
        main(sink);
        std::uint8_t* nested_start = sink.end();
        nested(sink);
        store_le32(header + 4, static_cast<std::uint32_t>(sink.end() - main_start));
        store_le32(header + 8, static_cast<std::uint32_t>(nested_start - main_start));
        return;
    }
    std::uint64_t main_size = 0;
    std::uint64_t nested_size = 0;
    if constexpr (!std::is_same_v<Sink, counting_sink>) {
        main_size = measured(main);
        nested_size = measured(nested);
    }
    put_block_header(sink, type, main_size, nested_size);
    main(sink);
    nested(sink);
}

// A text as a multilingual string holds it: at most 65535 bytes.
[[nodiscard]] inline std::string_view gpi_text(std::string_view text) {
    return text.substr(0, gpi_max_text);
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
    // The media record the alert plays (with an alert only), and the POI's picture.
    std::optional<std::uint16_t> sound;
    const poi_picture* picture = nullptr;

    [[nodiscard]] bool any() const {
        return alert || icon || comment || description || address.has_value() ||
               contact.has_value() || !categories.empty() || picture != nullptr;
    }
};

[[nodiscard]] poi_parts poi_parts_of(const waypoint& w, const poiset& set);

template <class Sink>
void encode_file_header(Sink& sink, std::int64_t time_stamp) {
    put_block(sink, gpi_block_type::file_header, [&](auto& data) {
        data.text("GRMREC00");
        data.u32(static_cast<std::uint32_t>(static_cast<std::uint64_t>(time_stamp)));
        data.u16(0);
        data.u16(6);
        data.text("my.gpi");
    });
}

template <class Sink>
void encode_poi_header(Sink& sink, int code_page_number) {
    put_block(sink, gpi_block_type::poi_header, [&](auto& data) {
        data.text("POI");
        data.u16(0);
        data.u8(0);
        data.text("00");
        data.u32(static_cast<std::uint32_t>(code_page_number));
    });
}

template <class Sink>
void encode_end_block(Sink& sink) {
    put_block(sink, gpi_block_type::end_block, [](auto&) {});
}

// An alert: its distance and speed, then on, its kind (along the road, or a Tour Guide
// alert whose distance is the radius it plays in), and what it plays: a built-in sound
// by the alert kinds, or the media record of that id.
template <class Sink>
[[gnu::always_inline]] inline void encode_alert_block(Sink& sink, const waypoint& w,
                                                      std::optional<std::uint16_t> sound) {
    put_block(sink, gpi_block_type::alert_block, [&](auto& data) {
        data.u16(gpi_distance_clamped(w.proximity).value);
        data.u16(gpi_speed_clamped(w.speed).value);
        data.u32(0x01000100);
        data.u8(1);
        data.u8((w.flags & tour_guide_alert) != 0 ? gpi_alert_tour_guide : gpi_alert_along_road);
        if (sound) {
            data.u16(*sound);
            return;
        }
        std::uint8_t kinds = 0;
        if ((w.flags & has_proximity) != 0) kinds |= gpi_alert_kind_proximity;
        if ((w.flags & has_speed) != 0) kinds |= gpi_alert_kind_speed;
        data.u8(kinds);
        data.u8(gpi_alert_builtin_sound);
    });
}

// A POI's picture: a zero byte, the JPEG's length and its bytes.
template <class Sink>
void encode_picture_block(Sink& sink, const poi_picture& picture) {
    put_block(sink, gpi_block_type::picture_block, [&](auto& data) {
        data.u8(0);
        data.u32(static_cast<std::uint32_t>(picture.jpeg.size()));
        data.bytes(picture.jpeg.data(), picture.jpeg.size());
    });
}

// Address and contact blocks hold the field mask and the fields behind it, all in the
// block's own data (no main_size), as Garmin's own files have them: GPSBabel reads the
// e-mail address and the web address only from blocks framed so.
template <class Sink, std::size_t N>
void encode_field_block(Sink& sink, gpi_block_type type, const std::array<gpi_field, N>& fields,
                        const gpi_field_values<N>& values) {
    put_block(sink, type, [&](auto& data) {
        data.u16(values.mask);
        for (std::size_t i = 0; i < N; ++i) {
            if (!values.has(i)) continue;
            if (fields[i].multilingual) {
                put_mstring(data, values.texts[i]);
            } else {
                put_plain_string(data, values.texts[i]);
            }
        }
    });
}

// A category of a POI group: its number (the waypoints' category references name it)
// and its name.
template <class Sink>
void encode_category_block(Sink& sink, std::uint16_t id, std::string_view name) {
    put_block(sink, gpi_block_type::category_block, [&](auto& data) {
        data.u16(id);
        put_mstring(data, name);
    });
}

// The blocks nested in the POI block of a waypoint with these parts.
template <class Sink>
[[gnu::always_inline]] inline void encode_poi_parts(Sink& sink, const waypoint& w,
                                                    const poi_parts& parts) {
    if (parts.alert) encode_alert_block(sink, w, parts.sound);
    if (parts.icon) {
        put_block(sink, gpi_block_type::icon_ref_block, [&](auto& data) { data.u16(w.icon_id); });
    }
    for (std::uint16_t category : parts.categories) {
        put_block(sink, gpi_block_type::category_ref_block,
                  [&](auto& data) { data.u16(category); });
    }
    if (parts.comment) {
        put_block(sink, gpi_block_type::comment_block,
                  [&](auto& data) { put_mstring(data, *parts.comment); });
    }
    if (parts.description) {
        put_block(sink, gpi_block_type::description_block, [&](auto& data) {
            data.u8(1);
            put_mstring(data, *parts.description);
        });
    }
    if (parts.address) {
        encode_field_block(sink, gpi_block_type::address_block, gpi_address_fields, *parts.address);
    }
    if (parts.contact) {
        encode_field_block(sink, gpi_block_type::phone_block, gpi_contact_fields, *parts.contact);
    }
    if (parts.picture != nullptr) encode_picture_block(sink, *parts.picture);
}

// The POI block of a waypoint: its position and name, and the parts as nested blocks
// when it has any.  Inlined into the writer's loop, so that the sink's place stays in a
// register instead of going through memory for every field.
template <class Sink>
[[gnu::always_inline]] inline void encode_poi_block(Sink& sink, const waypoint& w,
                                                    const poi_parts& parts) {
    std::string_view name = gpi_text(w.name.value_or_empty());
    auto main = [&](auto& data) {
        data.u32(static_cast<std::uint32_t>(semicircles(w.lat)));
        data.u32(static_cast<std::uint32_t>(semicircles(w.lon)));
        data.u16(1);
        data.u8(has_alert(w) ? 1 : 0);
        put_mstring(data, name);
    };
    if (parts.any()) {
        put_block(sink, gpi_block_type::poi_block, main,
                  [&](auto& data) { encode_poi_parts(data, w, parts); });
    } else {
        put_block(sink, gpi_block_type::poi_block, main);
    }
}

// The area block's own bytes, without the blocks nested in it: nested_size is their
// bytes, alert whether a waypoint below has an alert.
template <class Sink>
void encode_area_header(Sink& sink, const area_node& node, std::uint64_t nested_size, bool alert) {
    auto main = [&](auto& data) {
        data.u32(static_cast<std::uint32_t>(semicircles(node.north)));
        data.u32(static_cast<std::uint32_t>(semicircles(node.east)));
        data.u32(static_cast<std::uint32_t>(semicircles(node.south)));
        data.u32(static_cast<std::uint32_t>(semicircles(node.west)));
        data.u32(0);
        data.u16(1);
        data.u8(alert ? 1 : 0);
    };
    put_block_header(sink, gpi_block_type::area_block, measured(main), nested_size);
    main(sink);
}

// The bitmap block of a complete bitmap (gpi_bitmap_complete).
template <class Sink>
void encode_bitmap_block(Sink& sink, const gpi_bitmap& bitmap) {
    put_block(sink, gpi_block_type::bitmap_block, [&](auto& data) {
        auto image_size = static_cast<std::uint32_t>(gpi_bitmap_image_size(bitmap));
        data.u16(bitmap.icon_id);
        data.u16(bitmap.height);
        data.u16(bitmap.width);
        data.u16(gpi_bitmap_row_size(bitmap.width, bitmap.bits_per_pixel));
        data.u16(bitmap.bits_per_pixel);
        data.u16(0);
        data.u32(image_size);
        data.u32(gpi_bitmap_header_size);
        data.u32(bitmap.palette_count);
        data.u32(bitmap.transparent_colour);
        data.u32(1);
        data.u32(image_size + gpi_bitmap_header_size);
        data.bytes(bitmap.pixels.data(), image_size);
        for (std::uint32_t i = 0; i < bitmap.palette_count; ++i) data.u32(bitmap.palette[i]);
    });
}

// The media block of a record of clips: the id and the format, then the clips with
// their languages and lengths.
template <class Sink>
void encode_media_block(Sink& sink, const poi_media& media) {
    put_block(
        sink, gpi_block_type::media_block,
        [&](auto& data) {
            data.u16(media.id);
            data.u8(static_cast<std::uint8_t>(media.format));
        },
        [&](auto& data) {
            std::uint64_t total = 0;
            for (const media_clip& clip : media.clips) total += 2 + 4 + clip.bytes.size();
            data.u32(static_cast<std::uint32_t>(total));
            for (const media_clip& clip : media.clips) {
                data.bytes(clip.language.data(), clip.language.size());
                data.u32(static_cast<std::uint32_t>(clip.bytes.size()));
                data.bytes(clip.bytes.data(), clip.bytes.size());
            }
        });
}

// Bytes of the bitmap block of a bitmap.
[[nodiscard]] inline std::uint64_t gpi_bitmap_block_size(const gpi_bitmap& bitmap) {
    return measured([&](auto& sink) { encode_bitmap_block(sink, bitmap); });
}

// True when the bitmap holds the pixel and palette data its sizes call for and its
// block fits the 32-bit length field.
[[nodiscard]] inline bool gpi_bitmap_complete(const gpi_bitmap& bitmap) {
    return bitmap.pixels.size() >= gpi_bitmap_image_size(bitmap) &&
           bitmap.palette.size() >= bitmap.palette_count &&
           gpi_bitmap_block_size(bitmap) <= 0xFFFFFFFFu;
}

}  // namespace velmora
