#include "report/report_writer.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <unordered_map>

#include "icons/icon_png.hpp"
#include "platform/ordered_pieces.hpp"
#include "platform/version.hpp"
#include "report/report_page.hpp"
#include "text/encoding.hpp"
#include "text/fixed_decimal.hpp"
#include "text/json_text.hpp"
#include "text/utf8.hpp"

namespace velmora {

namespace {

using namespace std::string_view_literals;

// Bits of the first number of a POI's alert in the page's data.
constexpr int alert_proximity = 1;
constexpr int alert_speed = 2;
constexpr int alert_tour_guide = 4;
constexpr int alert_proximity_from_speed = 8;

// The pictures of a set go into the page up to this many bytes in all; beyond, the
// table names them without showing them, so that a page of many photos stays loadable.
constexpr std::size_t picture_bytes_limit = 8u << 20;

// The JSON form of an ASCII byte: quotes and backslashes escaped, the control
// characters other than tab, line feed and carriage return as "?" (as every writer of
// the program puts them), and "<" escaped, so that the text can't end the script
// element the data lies in, nor open a comment there.
constexpr json_form ascii_piece(unsigned char c) {
    json_form piece;
    auto set = [&piece](std::string_view text) { piece = json_form_of(text); };
    switch (c) {
        case '"':
            set("\\\"");
            break;
        case '\\':
            set("\\\\");
            break;
        case '<':
            set("\\u003c");
            break;
        case '\t':
            set("\\t");
            break;
        case '\n':
            set("\\n");
            break;
        case '\r':
            set("\\r");
            break;
        default:
            if (c < 0x20u || c == 0x7Fu) {
                set("?");
            } else {
                piece.bytes[0] = static_cast<char>(c);
                piece.length = 1;
            }
    }
    return piece;
}

constexpr json_ascii_forms ascii_pieces = [] {
    json_ascii_forms pieces{};
    for (unsigned c = 1; c < 128; ++c) pieces[c] = ascii_piece(static_cast<unsigned char>(c));
    return pieces;
}();

// The texts of a set, or of another encoding, as JSON strings of the page.
json_texts texts_of(text_encoding encoding) {
    return json_texts(encoding, ascii_pieces);
}
json_texts texts_of(const poiset& set) {
    return texts_of(set.texts_encoding());
}

// A text that may be absent: 0 for none.
void append_or_zero(std::string& out, const json_texts& texts, const stored_text& text) {
    if (text) {
        texts.append(out, *text);
    } else {
        out += '0';
    }
}

void append_int(std::string& out, long long value) {
    char buffer[24];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

// A number JSON can hold: NaN and the infinities as null.
void append_number(std::string& out, double value, int decimals) {
    if (!std::isfinite(value)) {
        out += "null"sv;
        return;
    }
    append_fixed(out, value, decimals);
}

// UTF-8 that names the program or a file: the texts the program itself makes.
void append_utf8(std::string& out, std::string_view text) {
    static const json_texts utf8 = texts_of({true, nullptr});
    utf8.append(out, text);
}

void append_base64(std::string& out, const std::vector<std::uint8_t>& bytes) {
    constexpr std::string_view digits =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        std::uint32_t v =
            (std::uint32_t{bytes[i]} << 16) | (std::uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
        out += digits[v >> 18];
        out += digits[(v >> 12) & 63];
        out += digits[(v >> 6) & 63];
        out += digits[v & 63];
    }
    std::size_t left = bytes.size() - i;
    if (left == 0) return;
    std::uint32_t v = std::uint32_t{bytes[i]} << 16;
    if (left == 2) v |= std::uint32_t{bytes[i + 1]} << 8;
    out += digits[v >> 18];
    out += digits[(v >> 12) & 63];
    out += left == 2 ? digits[(v >> 6) & 63] : '=';
    out += '=';
}

// A set's icons by their ids: the position of each in the set's list of icons, and how
// many of the set's POIs show it.
struct set_icons {
    std::unordered_map<std::uint16_t, std::size_t> position;
    std::vector<std::size_t> uses;
};

set_icons icons_of(const poiset& set) {
    set_icons icons;
    if (!set.icons) return icons;
    const auto& entries = set.icons->entries;
    icons.uses.assign(entries.size(), 0);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i]) icons.position.emplace(entries[i]->icon_id, i);
    }
    for (const waypoint& w : set.waypoints) {
        if ((w.flags & has_icon) == 0) continue;
        auto found = icons.position.find(w.icon_id);
        if (found != icons.position.end()) ++icons.uses[found->second];
    }
    return icons;
}

void append_set(std::string& out, const poiset& set, const set_icons& icons) {
    const json_texts texts = texts_of(set);
    out += "{\"name\":"sv;
    texts_of(set.name_encoding()).append(out, set.name);
    out += ",\"count\":"sv;
    append_int(out, set.count());
    out += ",\"time\":"sv;
    append_int(out, set.time);
    out += ",\"producer\":"sv;
    texts.append(out, set.producer);
    out += ",\"copyright\":"sv;
    texts.append(out, set.copyright);
    out += ",\"encoding\":"sv;
    if (set.is_utf8) {
        out += "\"UTF-8\""sv;
    } else if (set.codepage) {
        out += "\"code page "sv;
        append_int(out, set.codepage->number());
        out += '"';
    } else {
        out += "\"Latin-1\""sv;
    }

    double south = 0, west = 0, north = 0, east = 0;
    long long alerts = 0;
    bool any = false;
    for (const waypoint& w : set.waypoints) {
        if (has_alert(w)) ++alerts;
        if (!std::isfinite(w.lat) || !std::isfinite(w.lon)) continue;
        if (!any) {
            south = north = w.lat;
            west = east = w.lon;
            any = true;
        }
        south = std::min(south, w.lat);
        north = std::max(north, w.lat);
        west = std::min(west, w.lon);
        east = std::max(east, w.lon);
    }
    out += ",\"alerts\":"sv;
    append_int(out, alerts);
    if (any) {
        out += ",\"bounds\":["sv;
        append_number(out, south, 7);
        out += ',';
        append_number(out, west, 7);
        out += ',';
        append_number(out, north, 7);
        out += ',';
        append_number(out, east, 7);
        out += ']';
    }

    out += ",\"categories\":["sv;
    for (std::size_t c = 0; c < set.categories.size(); ++c) {
        if (c != 0) out += ',';
        append_or_zero(out, texts, set.categories[c]);
    }
    // Each icon: its id, symbol, picture (a data: URI, empty when it can't be made),
    // width, height and the POIs that show it.
    out += "],\"icons\":["sv;
    if (set.icons) {
        const auto& entries = set.icons->entries;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (i != 0) out += ',';
            if (!entries[i]) {
                out += "0"sv;
                continue;
            }
            const icon_entry& entry = *entries[i];
            out += '[';
            append_int(out, entry.icon_id);
            out += ',';
            if (entry.symbol) {
                texts.append(out, *entry.symbol);
            } else {
                out += '0';
            }
            out += ",\""sv;
            if (auto png = icon_png(entry)) {
                out += "data:image/png;base64,"sv;
                append_base64(out, *png);
            }
            out += "\","sv;
            // A BMP file stores its rows top down when the height is negative.
            long long width = 0, height = 0;
            if (entry.bitmap) {
                width = entry.bitmap->width;
                height = entry.bitmap->height;
            } else if (entry.bmp) {
                width = entry.bmp->width;
                height = std::llabs(static_cast<long long>(entry.bmp->height));
            }
            append_int(out, width);
            out += ',';
            append_int(out, height);
            out += ',';
            append_int(out, static_cast<long long>(icons.uses[i]));
            out += ']';
        }
    }
    // Each sound record: its id, format and the languages of its clips.
    out += "],\"media\":["sv;
    for (std::size_t m = 0; m < set.media.size(); ++m) {
        const poi_media& media = set.media[m];
        if (m != 0) out += ',';
        out += '[';
        append_int(out, media.id);
        out += media.format == media_format::mp3 ? ",\"MP3\",["sv : ",\"WAV\",["sv;
        for (std::size_t c = 0; c < media.clips.size(); ++c) {
            if (c != 0) out += ',';
            append_utf8(out, std::string_view(media.clips[c].language.data(), 2));
        }
        out += "]]"sv;
    }
    out += "],\"pictures\":["sv;
    std::size_t picture_bytes = 0;
    for (const poi_picture& picture : set.pictures) picture_bytes += picture.jpeg.size();
    for (std::size_t p = 0; p < set.pictures.size(); ++p) {
        if (p != 0) out += ',';
        out += '"';
        if (picture_bytes <= picture_bytes_limit) {
            out += "data:image/jpeg;base64,"sv;
            append_base64(out, set.pictures[p].jpeg);
        }
        out += '"';
    }
    out += "]}"sv;
}

void append_pairs(std::string& out, const std::vector<text_pair>& pairs, const json_texts& texts) {
    out += '[';
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        if (i != 0) out += ',';
        append_or_zero(out, texts, pairs[i].key);
        out += ',';
        append_or_zero(out, texts, pairs[i].value);
    }
    out += ']';
}

// One POI as an array: set, latitude, longitude, name, symbol, comment, description,
// icon (its position in the set's list plus one), categories, alert, link, address,
// contacts, picture (its position plus one).  An absent field is 0, and the absent
// fields at the end are left out.
void append_poi(std::string& out, std::size_t set_index, const poiset& set, const waypoint& w,
                const json_texts& texts, const set_icons& icons) {
    std::size_t start = out.size();
    out += '[';
    append_int(out, static_cast<long long>(set_index));
    out += ',';
    append_number(out, w.lat, 7);
    out += ',';
    append_number(out, w.lon, 7);
    // The end of the last field that is not absent.
    std::size_t keep = out.size();
    auto field_end = [&out, &keep](bool present) {
        if (present) keep = out.size();
    };
    out += ',';
    append_or_zero(out, texts, w.name);
    field_end(w.name.has_value());
    out += ',';
    append_or_zero(out, texts, w.symbol);
    field_end(w.symbol.has_value());
    out += ',';
    append_or_zero(out, texts, w.comment);
    field_end(w.comment.has_value());
    out += ',';
    append_or_zero(out, texts, w.description);
    field_end(w.description.has_value());

    out += ',';
    bool icon = false;
    if ((w.flags & has_icon) != 0) {
        auto found = icons.position.find(w.icon_id);
        if (found != icons.position.end()) {
            append_int(out, static_cast<long long>(found->second + 1));
            icon = true;
        }
    }
    if (!icon) out += '0';
    field_end(icon);

    const waypoint_details* details = set.details_of(w);
    out += ',';
    bool categories = details != nullptr && !details->categories.empty();
    if (categories) {
        out += '[';
        for (std::size_t c = 0; c < details->categories.size(); ++c) {
            if (c != 0) out += ',';
            append_int(out, details->categories[c]);
        }
        out += ']';
    } else {
        out += '0';
    }
    field_end(categories);

    out += ',';
    bool alert = has_alert(w);
    if (alert) {
        int kind = 0;
        if (w.flags & has_proximity) kind |= alert_proximity;
        if (w.flags & has_speed) kind |= alert_speed;
        if (w.flags & tour_guide_alert) kind |= alert_tour_guide;
        if (w.flags & proximity_from_speed) kind |= alert_proximity_from_speed;
        out += '[';
        append_int(out, kind);
        out += ',';
        append_number(out, (w.flags & has_proximity) ? w.proximity : 0.0, 1);
        out += ',';
        append_number(out, (w.flags & has_speed) ? w.speed : 0.0, 1);
        if (details != nullptr && details->sound) {
            out += ',';
            append_int(out, *details->sound);
        }
        out += ']';
    } else {
        out += '0';
    }
    field_end(alert);

    out += ',';
    bool link = w.link.has_value();
    if (link) {
        out += '[';
        texts.append(out, *w.link);
        if (details != nullptr && details->link_text) {
            out += ',';
            texts.append(out, *details->link_text);
        }
        out += ']';
    } else {
        out += '0';
    }
    field_end(link);

    out += ',';
    bool address = details != nullptr && !details->address.empty();
    if (address) {
        append_pairs(out, details->address, texts);
    } else {
        out += '0';
    }
    field_end(address);
    out += ',';
    bool contacts = details != nullptr && !details->phones.empty();
    if (contacts) {
        append_pairs(out, details->phones, texts);
    } else {
        out += '0';
    }
    field_end(contacts);
    out += ',';
    bool picture = details != nullptr && details->picture;
    if (picture) {
        append_int(out, static_cast<long long>(*details->picture) + 1);
    } else {
        out += '0';
    }
    field_end(picture);

    out.resize(std::max(keep, start + 1));
    out += ']';
}

// Everything of the data before the POIs: the facts, the sets, and the opening of the
// list of POIs.
void append_data_head(std::string& out, const poiset_list& list, const report_facts& facts,
                      const std::vector<set_icons>& icons, std::size_t step) {
    std::size_t total = 0;
    for (const auto& set : list.poisets) total += set->waypoints.size();
    out += "{\"program\":"sv;
    append_utf8(out, std::string(program_name) + " " + program_version);
    out += ",\"time\":"sv;
    append_int(out, facts.run_time);
    out += ",\"language\":"sv;
    append_utf8(out, facts.language);
    out += ",\"inputs\":["sv;
    for (std::size_t i = 0; i < facts.inputs.size(); ++i) {
        if (i != 0) out += ',';
        out += '[';
        append_utf8(out, facts.inputs[i].name);
        out += ',';
        append_utf8(out, facts.inputs[i].format);
        out += ']';
    }
    out += "],\"total\":"sv;
    append_int(out, static_cast<long long>(total));
    out += ",\"map_limit\":"sv;
    append_int(out, static_cast<long long>(report_map_points));
    out += ",\"step\":"sv;
    append_int(out, static_cast<long long>(step));
    out += ",\"sets\":["sv;
    for (std::size_t s = 0; s < list.poisets.size(); ++s) {
        if (s != 0) out += ',';
        append_set(out, *list.poisets[s], icons[s]);
    }
    out += "],\"pois\":[\n"sv;
}

// Builds the page and hands it to the sink in pieces.
template <typename Sink>
bool produce(const poiset_list& list, const report_facts& facts, const split_policy& split,
             bool whole_page, Sink&& sink) {
    std::size_t total = 0;
    std::vector<set_icons> icons;
    std::vector<json_texts> texts;
    std::vector<item_run> pieces;  // of a few hundred kilobytes of the page
    icons.reserve(list.poisets.size());
    texts.reserve(list.poisets.size());
    for (std::size_t s = 0; s < list.poisets.size(); ++s) {
        const poiset& set = *list.poisets[s];
        icons.push_back(icons_of(set));
        texts.push_back(texts_of(set));
        append_item_runs(pieces, s, set.waypoints.size());
        total += set.waypoints.size();
    }
    std::string head;
    if (whole_page) append_page_start(head);
    append_data_head(head, list, facts, icons, report_map_step(total));
    if (!sink(std::string_view(head))) return false;
    head = std::string();

    auto make = [&](std::size_t index, std::string& out) {
        const item_run& p = pieces[index];
        const poiset& set = *list.poisets[p.group];
        for (std::size_t w = p.begin; w < p.end; ++w) {
            if (index != 0 || w != p.begin) out += ",\n"sv;
            append_poi(out, p.group, set, set.waypoints[w], texts[p.group], icons[p.group]);
        }
    };
    if (!make_and_put_texts(pieces.size(), split.splits(total), make, sink)) return false;
    std::string end = "\n]}";
    if (whole_page) append_page_end(end);
    return sink(std::string_view(end));
}

}  // namespace

std::size_t report_map_step(std::size_t total) {
    if (total <= report_map_points) return 1;
    return (total + report_map_points - 1) / report_map_points;
}

bool write_report(std::FILE* stream, const poiset_list& list, const report_facts& facts,
                  const split_policy& split) {
    return produce(list, facts, split, true, [stream](std::string_view piece) {
        return std::fwrite(piece.data(), 1, piece.size(), stream) == piece.size();
    });
}

std::string report_document(const poiset_list& list, const report_facts& facts,
                            const split_policy& split) {
    std::string page;
    (void)produce(list, facts, split, true, [&page](std::string_view piece) {
        page += piece;
        return true;
    });
    return page;
}

std::string report_data(const poiset_list& list, const report_facts& facts) {
    std::string data;
    (void)produce(list, facts, split_policy{}, false, [&data](std::string_view piece) {
        data += piece;
        return true;
    });
    return data;
}

}  // namespace velmora
