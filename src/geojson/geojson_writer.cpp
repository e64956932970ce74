#include "geojson/geojson_writer.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "geojson/geojson_reader.hpp"
#include "platform/ordered_pieces.hpp"
#include "platform/paths.hpp"
#include "text/encoding.hpp"
#include "text/fixed_decimal.hpp"
#include "text/json_text.hpp"
#include "text/utf8.hpp"

namespace velmora {

namespace {

using namespace std::string_view_literals;

constexpr json_form ascii_form(unsigned char c) {
    json_form form;
    auto set = [&form](std::string_view text) { form = json_form_of(text); };
    switch (c) {
        case '"':
            set("\\\"");
            break;
        case '\\':
            set("\\\\");
            break;
        case '\b':
            set("\\b");
            break;
        case '\f':
            set("\\f");
            break;
        case '\n':
            set("\\n");
            break;
        case '\r':
            set("\\r");
            break;
        case '\t':
            set("\\t");
            break;
        default:
            if (c < 0x20u) {
                constexpr std::string_view hex = "0123456789abcdef";
                const char escape[] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 15u]};
                set(std::string_view(escape, sizeof escape));
            } else {
                form.bytes[0] = static_cast<char>(c);
                form.length = 1;
            }
            break;
    }
    return form;
}

// RFC 8259's escapes: quotes, backslashes and every control character.
constexpr json_ascii_forms geojson_ascii = [] {
    json_ascii_forms forms{};
    for (unsigned c = 1; c < 128; ++c) forms[c] = ascii_form(static_cast<unsigned char>(c));
    return forms;
}();

json_texts texts_of(text_encoding encoding) {
    return json_texts(encoding, geojson_ascii);
}

// A distance or speed: three decimals at most, without trailing zeros ("500", "50.004"),
// never in the exponent form that the shortest form would take for 100000.
void append_number(std::string& out, double value) {
    append_fixed(out, value, 3);
    while (out.back() == '0') out.pop_back();
    if (out.back() == '.') out.pop_back();
}

// The Maki icon name of each Garmin symbol that [MakiSymbols] maps to, by the symbol in
// lower case (the GPX reader lowers symbols).  Of several names for one symbol, the one
// that spells the symbol itself wins ("restaurant" for Restaurant, not "cafe"), else the
// first in byte order, so that the output doesn't depend on the order of a hash table.
class maki_names {
  public:
    explicit maki_names(const osm_mapping* mapping) {
        if (mapping == nullptr) return;
        for (const auto& [maki, garmin] : mapping->maki) {
            std::string symbol = ascii_lower(garmin);
            auto [it, added] = names_.try_emplace(symbol, maki);
            if (added || it->second == spelled(symbol)) continue;
            if (maki == spelled(symbol) || maki < it->second) it->second = maki;
        }
        // Written as JSON strings (the file's texts are UTF-8).
        const json_texts utf8 = texts_of({true, nullptr});
        for (auto& [symbol, name] : names_) {
            std::string json;
            utf8.append(json, name);
            name = std::move(json);
        }
    }

    [[nodiscard]] bool empty() const { return names_.empty(); }

    // The name for a symbol as a JSON string; `lower` is room for the symbol in lower
    // case.
    [[nodiscard]] const std::string* find(std::string_view symbol, std::string& lower) const {
        lower.assign(symbol);
        for (char& c : lower) {
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        }
        auto it = names_.find(lower);
        return it != names_.end() ? &it->second : nullptr;
    }

  private:
    // A symbol as a Maki name would spell it: "parking area" as "parking-area".
    static std::string spelled(std::string symbol) {
        std::replace(symbol.begin(), symbol.end(), ' ', '-');
        return symbol;
    }
    std::unordered_map<std::string, std::string> names_;
};

// The address parts by their property names, in the order they are written.
struct address_property {
    std::string_view key;
    std::string_view property;
};
constexpr address_property address_properties[] = {
    {address_street, "street"}, {address_house_number, "housenumber"}, {address_city, "city"},
    {address_state, "state"},   {address_postcode, "postcode"},        {address_country, "country"},
};

// What the features of one set share: its texts' conversion, its category names and
// its name as JSON strings.
struct set_output {
    explicit set_output(const poiset& s) : set(s), texts(texts_of(s.texts_encoding())) {
        categories.reserve(s.categories.size());
        for (const stored_text& category : s.categories) {
            std::string json;
            if (category) texts.append(json, *category);
            categories.push_back(std::move(json));
        }
        texts_of(s.name_encoding()).append(name, s.name);
    }
    const poiset& set;
    json_texts texts;
    std::vector<std::string> categories;  // empty: no name
    std::string name;
};

// Writes the properties of a feature, each behind a comma but the first.
class property_writer {
  public:
    property_writer(std::string& out, const json_texts& texts) : out_(out), texts_(texts) {}

    void key(std::string_view name) {
        if (!first_) out_ += ',';
        first_ = false;
        out_ += '"';
        out_ += name;
        out_ += "\":"sv;
    }
    // A key of the data, in the set's encoding.
    void key_of_text(std::string_view name) {
        if (!first_) out_ += ',';
        first_ = false;
        texts_.append(out_, name);
        out_ += ':';
    }
    // The value of the key just written.
    void value(std::string_view text) { texts_.append(out_, text); }
    void text(std::string_view name, const stored_text& value) {
        if (!value) return;
        key(name);
        texts_.append(out_, *value);
    }
    void number(std::string_view name, double value) {
        if (!std::isfinite(value)) return;
        key(name);
        append_number(out_, value);
    }

  private:
    std::string& out_;
    const json_texts& texts_;
    bool first_ = true;
};

void append_categories(std::string& out, property_writer& properties,
                       const std::vector<std::uint16_t>& indexes, const set_output& set) {
    std::size_t named = 0;
    for (std::uint16_t c : indexes)
        named += c < set.categories.size() && !set.categories[c].empty();
    if (named == 0) return;
    properties.key("category");
    if (named > 1) out += '[';
    bool first = true;
    for (std::uint16_t c : indexes) {
        if (c >= set.categories.size() || set.categories[c].empty()) continue;
        if (!first) out += ',';
        first = false;
        out += set.categories[c];
    }
    if (named > 1) out += ']';
}

// The contacts in a fixed order, whatever order an input gave them in: the first phone
// number, web address and e-mail address by the names the reader takes, other kinds of
// phone numbers as "phone:" and the kind ("phone:Fax").  The waypoint's link is its web
// address when it has no other (GPI input gives its web address as the link).
void append_contacts(property_writer& properties, const std::vector<text_pair>& contacts,
                     const stored_text& link) {
    auto kind_of = [](const text_pair& pair) {
        return pair.key ? std::string_view(*pair.key) : contact_phone;
    };
    auto first = [&](std::string_view kind) -> std::optional<std::string_view> {
        for (const text_pair& pair : contacts) {
            if (pair.value && kind_of(pair) == kind) return *pair.value;
        }
        return std::nullopt;
    };
    if (auto phone = first(contact_phone)) {
        properties.key("phone");
        properties.value(*phone);
    }
    std::vector<std::string_view> written;
    for (const text_pair& pair : contacts) {
        std::string_view kind = kind_of(pair);
        if (!pair.value || kind == contact_phone || kind == contact_web || kind == contact_email ||
            std::find(written.begin(), written.end(), kind) != written.end())
            continue;
        written.push_back(kind);
        properties.key_of_text(std::string(geojson_phone_prefix) += kind);
        properties.value(*pair.value);
    }
    std::optional<std::string_view> web = first(contact_web);
    if (!web && link && !link->empty()) web = *link;
    if (web) {
        properties.key("website");
        properties.value(*web);
    }
    if (auto email = first(contact_email)) {
        properties.key("email");
        properties.value(*email);
    }
}

void append_feature(std::string& out, const waypoint& w, const set_output& set,
                    const maki_names& maki, std::string& scratch) {
    out += "{\"type\":\"Feature\",\"geometry\":{\"type\":\"Point\",\"coordinates\":["sv;
    append_fixed(out, w.lon, 7);
    out += ',';
    append_fixed(out, w.lat, 7);
    out += "]},\"properties\":{"sv;
    property_writer properties(out, set.texts);
    properties.text("name", w.name);
    properties.text("comment", w.comment);
    properties.text("description", w.description);
    if (w.symbol && !w.symbol->empty()) {
        properties.text("symbol", w.symbol);
        const std::string* name = maki.empty() ? nullptr : maki.find(*w.symbol, scratch);
        if (name != nullptr) {
            properties.key("marker-symbol");
            out += *name;
        }
    }
    const waypoint_details* details = set.set.details_of(w);
    if (details != nullptr) {
        append_categories(out, properties, details->categories, set);
        for (const address_property& part : address_properties) {
            if (auto value = find_value(details->address, part.key)) {
                properties.key(part.property);
                set.texts.append(out, *value);
            }
        }
    }
    static const std::vector<text_pair> no_contacts;
    append_contacts(properties, details != nullptr ? details->phones : no_contacts, w.link);
    // A proximity that the speed gives (ten metres per km/h, to the metre as GPI files
    // hold it) is no distance of its own: the speed gives it again when the file is read.
    const bool speed = (w.flags & has_speed) != 0;
    const bool from_speed = speed && ((w.flags & proximity_from_speed) != 0 ||
                                      std::round(w.proximity) == std::round(w.speed * 10.0));
    if ((w.flags & has_proximity) != 0 && !from_speed) {
        properties.number("proximity", w.proximity);
    }
    if (speed) properties.number("speed", w.speed);
    properties.key(geojson_set_property);
    out += set.name;
    out += "}}"sv;
}

// The bounding box of every position, west, south, east, north; none without one.
std::optional<std::array<double, 4>> bounds_of(const poiset_list& list) {
    std::optional<std::array<double, 4>> box;
    for (const auto& set : list.poisets) {
        for (const waypoint& w : set->waypoints) {
            if (!box) box = std::array<double, 4>{w.lon, w.lat, w.lon, w.lat};
            auto& b = *box;
            b[0] = std::min(b[0], w.lon);
            b[1] = std::min(b[1], w.lat);
            b[2] = std::max(b[2], w.lon);
            b[3] = std::max(b[3], w.lat);
        }
    }
    return box;
}

// The collection's name: the sets' name when they all have one, which the reader
// gives the set it reads.
void append_header(std::string& out, const poiset_list& list, const std::vector<set_output>& sets) {
    out += "{\"type\":\"FeatureCollection\""sv;
    if (!sets.empty() && !list.poisets.front()->name.empty() &&
        std::all_of(sets.begin(), sets.end(),
                    [&](const set_output& s) { return s.name == sets.front().name; })) {
        out += ",\"name\":"sv;
        out += sets.front().name;
    }
    if (auto box = bounds_of(list)) {
        out += ",\"bbox\":["sv;
        for (std::size_t i = 0; i < box->size(); ++i) {
            if (i > 0) out += ',';
            append_fixed(out, (*box)[i], 7);
        }
        out += ']';
    }
    out += ",\"features\":["sv;
}

// Builds the document and hands it to the sink in pieces: the header, runs of
// features, the end.  With enough waypoints, a second thread formats pieces while this
// one formats and writes.
template <typename Sink>
bool produce(const poiset_list& list, const geojson_write_options& options, Sink&& sink) {
    std::vector<set_output> sets;
    sets.reserve(list.poisets.size());
    std::vector<item_run> pieces;
    std::size_t waypoints = 0;
    for (std::size_t s = 0; s < list.poisets.size(); ++s) {
        const poiset& set = *list.poisets[s];
        sets.emplace_back(set);
        append_item_runs(pieces, s, set.waypoints.size());
        waypoints += set.waypoints.size();
    }
    std::string start;
    append_header(start, list, sets);
    if (!sink(std::string_view(start))) return false;

    const maki_names maki(options.mapping);
    auto make = [&](std::size_t index, std::string& out) {
        const item_run& p = pieces[index];
        std::string scratch;
        const set_output& set = sets[p.group];
        const auto& points = set.set.waypoints;
        for (std::size_t w = p.begin; w < p.end; ++w) {
            out += index == 0 && w == p.begin ? "\n"sv : ",\n"sv;
            append_feature(out, points[w], set, maki, scratch);
        }
    };
    if (!make_and_put_texts(pieces.size(), options.split.splits(waypoints), make, sink)) {
        return false;
    }
    return sink(std::string_view("\n]}\n"));
}

}  // namespace

bool geojson_write(std::FILE* stream, const poiset_list& list,
                   const geojson_write_options& options) {
    return produce(list, options, [stream](std::string_view piece) {
        return std::fwrite(piece.data(), 1, piece.size(), stream) == piece.size();
    });
}

std::string geojson_document(const poiset_list& list, const geojson_write_options& options) {
    std::string document;
    (void)produce(list, options, [&document](std::string_view piece) {
        document += piece;
        return true;
    });
    return document;
}

}  // namespace velmora
