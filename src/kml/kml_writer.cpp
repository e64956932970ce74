#include "kml/kml_writer.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <numbers>
#include <set>
#include <string_view>

#include "gpx/xml_out.hpp"
#include "icons/icon_png.hpp"
#include "platform/ordered_pieces.hpp"
#include "platform/version.hpp"
#include "text/fixed_decimal.hpp"

namespace velmora {

namespace {

using namespace std::string_view_literals;

constexpr std::string_view kml_namespace = "http://www.opengis.net/kml/2.2";
constexpr std::string_view circle_style = "proximity-circle";

// A style id as XML ids go (a letter or "_" first, then letters, digits, "-", "_",
// "."), so that Google Earth finds the style; other symbols get a numbered id.
bool makes_id(std::string_view symbol) {
    if (symbol.empty() || symbol.size() > 64) return false;
    auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    if (!letter(symbol[0]) && symbol[0] != '_') return false;
    return std::all_of(symbol.begin(), symbol.end(), [&](char c) {
        return letter(c) || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
    });
}

// The icon entries of a set by id.
const icon_entry* entry_of(const poiset& set, std::uint16_t id) {
    if (!set.icons) return nullptr;
    for (const auto& entry : set.icons->entries) {
        if (entry && entry->icon_id == id) return entry.get();
    }
    return nullptr;
}

}  // namespace

kml_icon_table kml_icons_of(const poiset_list& list) {
    kml_icon_table table;
    // A picture with its symbol is one file, whichever sets show it.
    std::map<std::string, int> file_of_key;
    std::set<std::string> ids;
    for (const auto& set : list.poisets) {
        std::vector<int>& files = table.file_of_icon.emplace_back();
        if (!set->icons) continue;
        std::vector<bool> used;
        for (const waypoint& w : set->waypoints) {
            if ((w.flags & has_icon) == 0) continue;
            if (w.icon_id >= used.size()) used.resize(std::size_t{w.icon_id} + 1);
            used[w.icon_id] = true;
        }
        files.assign(used.size(), -1);
        for (std::size_t id = 0; id < used.size(); ++id) {
            if (!used[id]) continue;
            const icon_entry* entry = entry_of(*set, static_cast<std::uint16_t>(id));
            if (entry == nullptr) continue;
            auto png = icon_png(*entry);
            if (!png) continue;
            std::string symbol = entry->symbol.value_or("");
            std::string key = symbol + '\0' + std::string(png->begin(), png->end());
            auto [it, added] = file_of_key.try_emplace(std::move(key), 0);
            if (added) {
                int n = static_cast<int>(table.files.size()) + 1;
                std::string id_text = symbol;
                if (!makes_id(symbol)) {
                    id_text = "icon";
                    id_text += std::to_string(n);
                }
                while (!ids.insert(id_text).second) {
                    id_text += '-';
                    id_text += std::to_string(n);
                }
                it->second = n - 1;
                table.files.push_back({id_text, std::to_string(n) + ".png", std::move(*png)});
            }
            files[id] = it->second;
        }
    }
    return table;
}

namespace {

// The texts of one set, its name, its folders and the styles of its icons.
struct set_view {
    const poiset& set;
    xml_texts texts;
    const std::vector<int>& file_of_icon;

    [[nodiscard]] const kml_icon_file* icon_of(const waypoint& w,
                                               const kml_icon_table& icons) const {
        if ((w.flags & has_icon) == 0 || w.icon_id >= file_of_icon.size()) return nullptr;
        int file = file_of_icon[w.icon_id];
        return file < 0 ? nullptr : &icons.files[static_cast<std::size_t>(file)];
    }
};

void append_coordinates(std::string& out, double lat, double lon) {
    append_fixed(out, lon, 7);
    out += ',';
    append_fixed(out, lat, 7);
}

// A ring of 64 sides around the point, of the radius in metres, on a sphere of the
// earth's mean radius: enough for the circle of an alert to look round at any zoom.
void append_circle(std::string& out, const waypoint& w) {
    constexpr int sides = 64;
    constexpr double earth_radius = 6371008.8;
    const double angle = w.proximity / earth_radius * 180.0 / std::numbers::pi;
    const double stretch = std::max(std::cos(w.lat * std::numbers::pi / 180.0), 1e-6);
    out += "<LinearRing><tessellate>1</tessellate><coordinates>"sv;
    for (int i = 0; i <= sides; ++i) {
        double t = 2.0 * std::numbers::pi * (i % sides) / sides;
        double lat = std::clamp(w.lat + angle * std::cos(t), -90.0, 90.0);
        append_coordinates(out, lat, w.lon + angle * std::sin(t) / stretch);
        out += i < sides ? ' ' : '<';
    }
    out += "/coordinates></LinearRing>"sv;
}

// The name a contact goes under in ExtendedData, which the KML reader takes back: the
// phone numbers as "phone", one of another category as "phone (Home)".
void append_contact_name(std::string& out, std::string_view key, const xml_texts& texts) {
    if (key == contact_phone || key == contact_phone2) {
        out += "phone"sv;
    } else if (key == contact_email) {
        out += "email"sv;
    } else if (key == contact_web) {
        out += "website"sv;
    } else if (key == contact_fax) {
        out += "fax"sv;
    } else {
        out += "phone ("sv;
        texts.append(out, key, xml_place::attribute);
        out += ')';
    }
}

void append_data(std::string& out, std::string_view name, std::string_view value,
                 const xml_texts& texts) {
    out += "<Data name=\""sv;
    out += name;
    out += "\"><value>"sv;
    texts.append(out, value, xml_place::element);
    out += "</value></Data>\n"sv;
}

// The alert as a line of text: "speed alert 50 km/h, 500 m", "proximity alert 300 m".
void append_alert_line(std::string& out, const waypoint& w) {
    if ((w.flags & has_speed) != 0) {
        out += "speed alert "sv;
        xml_append_int(out, rounded_speed(w.speed));
        out += " km/h"sv;
        if ((w.flags & has_proximity) != 0) {
            out += ", "sv;
            append_fixed(out, w.proximity, 0);
            out += " m"sv;
        }
    } else {
        out += (w.flags & tour_guide_alert) != 0 ? "Tour Guide alert "sv : "proximity alert "sv;
        append_fixed(out, w.proximity, 0);
        out += " m"sv;
    }
}

// A text of several lines as HTML: its line breaks as "<br>", which a balloon shows.
void append_lines(std::string& out, std::string_view text, const xml_texts& texts) {
    std::size_t start = out.size();
    texts.append(out, text, xml_place::element);
    if (out.find('\n', start) == std::string::npos) return;
    std::string lines = out.substr(start);
    out.resize(start);
    for (char c : lines) {
        if (c == '\n') {
            out += "<br>"sv;
        } else {
            out += c;
        }
    }
}

// The description Google Earth shows in the placemark's balloon: HTML, one line per
// field, the texts escaped so that none of them is taken for markup.
bool append_description(std::string& out, const waypoint& w, const waypoint_details* details,
                        const xml_texts& texts) {
    std::size_t start = out.size();
    out += "<description><![CDATA["sv;
    std::size_t body = out.size();
    auto line = [&]() {
        if (out.size() > body) out += "<br>"sv;
    };
    if (w.comment && !w.comment->empty()) {
        append_lines(out, *w.comment, texts);
    }
    if (w.description && !w.description->empty()) {
        line();
        append_lines(out, *w.description, texts);
    }
    if (details != nullptr) {
        // The address on one line, its parts in the model's order.
        bool first = true;
        for (const text_pair& part : details->address) {
            if (!part.value || part.value->empty()) continue;
            if (first) line();
            if (!first) out += part.key == address_house_number ? " "sv : ", "sv;
            texts.append(out, *part.value, xml_place::element);
            first = false;
        }
        for (const text_pair& contact : details->phones) {
            if (!contact.value || contact.value->empty()) continue;
            line();
            append_contact_name(out, contact.key.value_or_empty(), texts);
            out += ": "sv;
            texts.append(out, *contact.value, xml_place::element);
        }
    }
    if (w.link && !w.link->empty()) {
        line();
        out += "link: "sv;
        texts.append(out, *w.link, xml_place::element);
    }
    if (has_alert(w)) {
        line();
        append_alert_line(out, w);
    }
    if (out.size() == body) {
        out.resize(start);
        return false;
    }
    out += "]]></description>\n"sv;
    return true;
}

void append_extended_data(std::string& out, const waypoint& w, const waypoint_details* details,
                          const kml_icon_file* icon, bool described, const set_view& view) {
    const xml_texts& texts = view.texts;
    std::size_t start = out.size();
    out += "<ExtendedData>\n"sv;
    std::size_t body = out.size();
    if (w.comment) append_data(out, "comment", *w.comment, texts);
    // The description as held: the reader takes it instead of the readable lines.
    if (w.description || described) {
        append_data(out, "description", w.description.value_or_empty(), texts);
    }
    if (w.symbol && !w.symbol->empty() && (icon == nullptr || icon->style_id != *w.symbol)) {
        append_data(out, "symbol", *w.symbol, texts);
    }
    if ((w.flags & has_speed) != 0) {
        out += "<Data name=\"speed\"><value>"sv;
        xml_append_int(out, rounded_speed(w.speed));
        out += "</value></Data>\n"sv;
    }
    if ((w.flags & has_proximity) != 0 && (w.flags & proximity_from_speed) == 0) {
        out += "<Data name=\"proximity\"><value>"sv;
        append_fixed(out, w.proximity, 0);
        out += "</value></Data>\n"sv;
    }
    if (details != nullptr) {
        for (const text_pair& part : details->address) {
            if (!part.key || !part.value) continue;
            out += "<Data name=\""sv;
            texts.append(out, *part.key, xml_place::attribute);
            out += "\"><value>"sv;
            texts.append(out, *part.value, xml_place::element);
            out += "</value></Data>\n"sv;
        }
        for (const text_pair& contact : details->phones) {
            if (!contact.value) continue;
            out += "<Data name=\""sv;
            append_contact_name(out, contact.key.value_or_empty(), texts);
            out += "\"><value>"sv;
            texts.append(out, *contact.value, xml_place::element);
            out += "</value></Data>\n"sv;
        }
        // The first category is the folder the placemark lies in.
        const auto& names = view.set.categories;
        for (std::size_t i = 1; i < details->categories.size(); ++i) {
            std::uint16_t c = details->categories[i];
            if (c < names.size() && names[c]) append_data(out, "category", *names[c], texts);
        }
    }
    if (w.link && !w.link->empty()) append_data(out, "link", *w.link, texts);
    if (out.size() == body) {
        out.resize(start);
        return;
    }
    out += "</ExtendedData>\n"sv;
}

void append_placemark(std::string& out, const waypoint& w, const set_view& view,
                      const kml_icon_table& icons, const kml_options& options) {
    const xml_texts& texts = view.texts;
    out += "<Placemark>\n<name>"sv;
    if (w.name) texts.append(out, *w.name, xml_place::element);
    out += "</name>\n"sv;
    const waypoint_details* details = view.set.details_of(w);
    bool described = append_description(out, w, details, texts);
    const kml_icon_file* icon = view.icon_of(w, icons);
    if (icon != nullptr) {
        out += "<styleUrl>#"sv;
        out += icon->style_id;
        out += "</styleUrl>\n"sv;
    }
    append_extended_data(out, w, details, icon, described, view);
    out += "<Point><coordinates>"sv;
    append_coordinates(out, w.lat, w.lon);
    out += "</coordinates></Point>\n</Placemark>\n"sv;
    // The circle is a placemark of its own, so that readers that take only the point of
    // a placemark (GPSBabel, which passes over a MultiGeometry) still find the POI, and
    // readers of POIs leave the ring out.
    if (options.circles && (w.flags & has_proximity) != 0 && w.proximity > 0.0) {
        out += "<Placemark>\n<name>"sv;
        if (w.name) texts.append(out, *w.name, xml_place::element);
        out += "</name>\n<styleUrl>#"sv;
        out += circle_style;
        out += "</styleUrl>\n"sv;
        append_circle(out, w);
        out += "\n</Placemark>\n"sv;
    }
}

void append_header(std::string& out, const kml_icon_table& icons, const kml_options& options) {
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<kml xmlns=\""sv;
    out += kml_namespace;
    out += "\">\n<Document>\n<name>"sv;
    xml_texts(text_encoding{true, nullptr}).append(out, options.document_name, xml_place::element);
    out += "</name>\n<Snippet maxLines=\"0\"></Snippet>\n<description>"sv;
    out += program_name;
    out += ' ';
    out += program_version;
    out += "</description>\n"sv;
    for (const kml_icon_file& icon : icons.files) {
        out += "<Style id=\""sv;
        out += icon.style_id;
        out += "\"><IconStyle><Icon><href>"sv;
        xml_texts(text_encoding{true, nullptr})
            .append(out, options.icon_folder, xml_place::element);
        out += icon.name;
        out +=
            "</href></Icon><hotSpot x=\"0.5\" y=\"0.5\" xunits=\"fraction\" "
            "yunits=\"fraction\"/></IconStyle></Style>\n"sv;
    }
    if (options.circles) {
        out += "<Style id=\""sv;
        out += circle_style;
        out += "\"><LineStyle><color>ff0000ff</color><width>2</width></LineStyle></Style>\n"sv;
    }
}

// Waypoints written as one piece: about a megabyte of the document.
constexpr std::size_t piece_waypoints = 2048;
constexpr std::size_t pieces_ahead = 4;

// A run of the waypoints of one folder, in folder order, with the folder markup around
// it.
struct piece {
    std::uint32_t set;
    std::uint32_t begin;  // into the set's order
    std::uint32_t end;
    std::int32_t folder;  // category of the folder, -1: the set's own folder
    bool opens_set;
    bool opens_folder;
    bool closes_folder;
    bool closes_set;
};

// The waypoints of a set in folder order: those of each category (by its first) in the
// order of the categories, then those without one; and where each folder begins.
struct folder_order {
    std::vector<std::uint32_t> order;
    std::vector<std::uint32_t> starts;  // per category, then one for none, then the end
};

folder_order order_by_folder(const poiset& set) {
    const std::size_t folders = set.categories.size() + 1;
    folder_order result;
    result.starts.assign(folders + 1, 0);
    auto folder_of = [&](const waypoint& w) {
        const waypoint_details* details = set.details_of(w);
        if (details == nullptr || details->categories.empty()) return folders - 1;
        std::size_t c = details->categories.front();
        return c < folders - 1 ? c : folders - 1;
    };
    for (const waypoint& w : set.waypoints) ++result.starts[folder_of(w) + 1];
    for (std::size_t f = 1; f <= folders; ++f) result.starts[f] += result.starts[f - 1];
    std::vector<std::uint32_t> next(result.starts.begin(), result.starts.end() - 1);
    result.order.resize(set.waypoints.size());
    for (std::size_t i = 0; i < set.waypoints.size(); ++i) {
        result.order[next[folder_of(set.waypoints[i])]++] = static_cast<std::uint32_t>(i);
    }
    return result;
}

}  // namespace

bool kml_produce(const poiset_list& list, const kml_icon_table& icons, const kml_options& options,
                 const split_policy& split, kml_sink sink, void* context) {
    std::string start;
    append_header(start, icons, options);
    if (!sink(context, start)) return false;

    std::vector<set_view> views;
    std::vector<folder_order> orders;
    std::vector<piece> pieces;
    views.reserve(list.poisets.size());
    orders.reserve(list.poisets.size());
    std::size_t waypoints = 0;
    static const std::vector<int> no_icons;
    for (std::size_t s = 0; s < list.poisets.size(); ++s) {
        const poiset& set = *list.poisets[s];
        views.push_back({set, xml_texts(set.texts_encoding()),
                         s < icons.file_of_icon.size() ? icons.file_of_icon[s] : no_icons});
        orders.push_back(order_by_folder(set));
        const folder_order& order = orders.back();
        const std::size_t folders = order.starts.size() - 1;
        const std::size_t first_piece = pieces.size();
        for (std::size_t f = 0; f < folders; ++f) {
            std::uint32_t begin = order.starts[f];
            std::uint32_t end = order.starts[f + 1];
            if (begin == end) continue;
            auto folder = f + 1 == folders ? -1 : static_cast<std::int32_t>(f);
            for (std::uint32_t b = begin; b < end; b += piece_waypoints) {
                std::uint32_t e = std::min<std::uint32_t>(end, b + piece_waypoints);
                pieces.push_back({static_cast<std::uint32_t>(s), b, e, folder, false,
                                  folder >= 0 && b == begin, folder >= 0 && e == end, false});
            }
        }
        if (pieces.size() == first_piece) {
            pieces.push_back({static_cast<std::uint32_t>(s), 0, 0, -1, false, false, false, false});
        }
        pieces[first_piece].opens_set = true;
        pieces.back().closes_set = true;
        waypoints += set.waypoints.size();
    }

    std::array<std::string, pieces_ahead> buffers;
    auto make = [&](std::size_t index) {
        const piece& p = pieces[index];
        std::string& out = buffers[index % pieces_ahead];
        out.clear();
        const set_view& view = views[p.set];
        if (p.opens_set) {
            out += "<Folder>\n<name>"sv;
            xml_texts(view.set.name_encoding()).append(out, view.set.name, xml_place::element);
            out += "</name>\n"sv;
        }
        if (p.opens_folder) {
            out += "<Folder>\n<name>"sv;
            const stored_text& name = view.set.categories[static_cast<std::size_t>(p.folder)];
            if (name) view.texts.append(out, *name, xml_place::element);
            out += "</name>\n"sv;
        }
        const auto& points = view.set.waypoints;
        const auto& order = orders[p.set].order;
        for (std::uint32_t i = p.begin; i < p.end; ++i) {
            append_placemark(out, points[order[i]], view, icons, options);
        }
        if (p.closes_folder) out += "</Folder>\n"sv;
        if (p.closes_set) out += "</Folder>\n"sv;
    };
    auto put = [&](std::size_t index) { return sink(context, buffers[index % pieces_ahead]); };
    if (!make_and_put_in_order(pieces.size(), pieces_ahead, split.splits(waypoints), make, put)) {
        return false;
    }
    return sink(context, "</Document>\n</kml>\n");
}

bool kml_write(std::FILE* stream, const poiset_list& list, const kml_icon_table& icons,
               const kml_options& options, const split_policy& split) {
    return kml_produce(
        list, icons, options, split,
        [](void* context, std::string_view piece) {
            auto* out = static_cast<std::FILE*>(context);
            return std::fwrite(piece.data(), 1, piece.size(), out) == piece.size();
        },
        stream);
}

std::string kml_document(const poiset_list& list, const kml_icon_table& icons,
                         const kml_options& options, const split_policy& split) {
    std::string document;
    (void)kml_produce(
        list, icons, options, split,
        [](void* context, std::string_view piece) {
            static_cast<std::string*>(context)->append(piece);
            return true;
        },
        &document);
    return document;
}

}  // namespace velmora
