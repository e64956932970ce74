#include "gpx/gpx_writer.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "gpx/gpx_extensions.hpp"
#include "gpx/xml_out.hpp"
#include "platform/ordered_pieces.hpp"
#include "platform/version.hpp"
#include "text/encoding.hpp"
#include "text/fixed_decimal.hpp"
#include "text/xml_chars.hpp"

namespace velmora {

namespace {

using namespace std::string_view_literals;

constexpr std::string_view gpx_namespace = "http://www.topografix.com/GPX/1/1";
constexpr std::string_view gpx_schema = "http://www.topografix.com/GPX/1/1/gpx.xsd";
constexpr std::string_view xsi_namespace = "http://www.w3.org/2001/XMLSchema-instance";
constexpr std::string_view gpxx_namespace = gpxx_v3_namespace;
constexpr std::string_view gpxx_schema =
    "http://www.garmin.com/xmlschemas/GpxExtensions/v3/GpxExtensionsv3.xsd";
constexpr std::string_view maker_home_page = "http://www.garmin.com";

// The texts of one set, with the set they belong to.
class set_texts : public xml_texts {
  public:
    explicit set_texts(const poiset& set) : xml_texts(set.texts_encoding()), set_(set) {}
    [[nodiscard]] const poiset& set() const { return set_; }

  private:
    const poiset& set_;
};

void append_fixed7(std::string& out, double value) {
    append_fixed(out, value, 7);
}

void append_proximity(std::string& out, double metres) {
    append_fixed(out, metres, 0);
}

// The UTC calendar time of a count of seconds since 1970 as "YYYY-MM-DDThh:mm:ssZ".
void append_utc_time(std::string& out, std::int64_t stamp) {
    std::int64_t days = stamp / 86400;
    std::int64_t seconds = stamp % 86400;
    if (seconds < 0) {
        seconds += 86400;
        --days;
    }
    // Civil date from a day count (proleptic Gregorian calendar).
    std::int64_t z = days + 719468;
    std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    std::int64_t doe = z - era * 146097;
    std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    std::int64_t y = yoe + era * 400;
    std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    std::int64_t mp = (5 * doy + 2) / 153;
    std::int64_t d = doy - (153 * mp + 2) / 5 + 1;
    std::int64_t m = mp < 10 ? mp + 3 : mp - 9;
    if (m <= 2) ++y;
    char buffer[64];
    int n =
        std::snprintf(buffer, sizeof buffer, "%04i-%02i-%02iT%02i:%02i:%02iZ", static_cast<int>(y),
                      static_cast<int>(m), static_cast<int>(d), static_cast<int>(seconds / 3600),
                      static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
    out.append(buffer, static_cast<std::size_t>(n));
}

void append_bounds(std::string& out, double maxlat, double maxlon, double minlat, double minlon) {
    out += "\t\t<bounds maxlat=\""sv;
    append_fixed7(out, maxlat);
    out += "\" maxlon=\""sv;
    append_fixed7(out, maxlon);
    out += "\" minlat=\""sv;
    append_fixed7(out, minlat);
    out += "\" minlon=\""sv;
    append_fixed7(out, minlon);
    out += "\"/>\n"sv;
}

void append_header(std::string& out, const poiset_list& list, std::int64_t run_time) {
    // The bounds are those of the waypoints written; the time is the latest a GPI input
    // was stamped with, else the run's.
    double maxlat = -200.0;
    double maxlon = -200.0;
    double minlat = 200.0;
    double minlon = 200.0;
    bool any = false;
    std::int64_t stamp = 0;
    for (const auto& set : list.poisets) {
        for (const waypoint& w : set->waypoints) {
            maxlat = std::max(maxlat, w.lat);
            minlat = std::min(minlat, w.lat);
            maxlon = std::max(maxlon, w.lon);
            minlon = std::min(minlon, w.lon);
            any = true;
        }
        if (set->time > stamp) stamp = set->time;
    }
    if (stamp <= 0) stamp = run_time;

    out += "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\" ?>\n"sv;
    out += "<gpx xmlns=\""sv;
    out += gpx_namespace;
    out += "\" creator=\""sv;
    out += program_name;
    out += ' ';
    out += program_version;
    out += "\" version=\"1.1\" xmlns:xsi=\""sv;
    out += xsi_namespace;
    out += "\" xsi:schemaLocation=\""sv;
    out += gpxx_namespace;
    out += ' ';
    out += gpxx_schema;
    out += ' ';
    out += gpx_namespace;
    out += ' ';
    out += gpx_schema;
    out += "\">\n\n"sv;
    out += "\t<metadata>\n"sv;
    out += "\t\t<link href=\""sv;
    out += maker_home_page;
    out += "\">\n"sv;
    out += "\t\t\t<text>"sv;
    out += program_name;
    out += "</text>\n"sv;
    out += "\t\t</link>\n"sv;
    out += "\t\t<time>"sv;
    append_utc_time(out, stamp);
    out += "</time>\n"sv;
    // Without a waypoint there is nothing to bound, and the element may be left out.
    if (any) append_bounds(out, maxlat, maxlon, minlat, minlon);
    out += "\t</metadata>\n\n"sv;
}

// The parts of the address that Garmin's Address holds, by key, in the schema's order,
// each with the element that carries it.  The street's two lines (split at a line feed)
// are its StreetAddress elements; the house number follows in the Extensions.
struct address_element {
    std::string_view key;
    std::string_view element;
};
constexpr address_element address_elements[] = {{address_city, "gpxx:City"},
                                                {address_state, "gpxx:State"},
                                                {address_country, "gpxx:Country"},
                                                {address_postcode, "gpxx:PostalCode"}};

bool has_address(const waypoint_details& details) {
    if (find_value(details.address, address_street) ||
        find_value(details.address, address_house_number)) {
        return true;
    }
    for (const address_element& e : address_elements) {
        if (find_value(details.address, e.key)) return true;
    }
    return false;
}

void append_element(std::string& out, std::string_view indent, std::string_view element,
                    std::string_view text, const set_texts& texts) {
    out += indent;
    out += '<';
    out += element;
    out += '>';
    texts.append(out, text, xml_place::element);
    out += "</"sv;
    out += element;
    out += ">\n"sv;
}

void append_categories(std::string& out, const std::vector<std::uint16_t>& categories,
                       const set_texts& texts) {
    const std::vector<stored_text>& names = texts.set().categories;
    out += "\t\t\t\t<gpxx:Categories>\n"sv;
    for (std::uint16_t c : categories) {
        if (c >= names.size() || !names[c]) continue;
        append_element(out, "\t\t\t\t\t", "gpxx:Category", *names[c], texts);
    }
    out += "\t\t\t\t</gpxx:Categories>\n"sv;
}

void append_address(std::string& out, const std::vector<text_pair>& parts, const set_texts& texts) {
    constexpr std::string_view indent = "\t\t\t\t\t";
    out += "\t\t\t\t<gpxx:Address>\n"sv;
    if (auto street = find_value(parts, address_street)) {
        std::size_t cut = street->find('\n');
        append_element(out, indent, "gpxx:StreetAddress", street->substr(0, cut), texts);
        if (cut != std::string_view::npos) {
            append_element(out, indent, "gpxx:StreetAddress", street->substr(cut + 1), texts);
        }
    }
    for (const address_element& e : address_elements) {
        if (auto value = find_value(parts, e.key)) {
            append_element(out, indent, e.element, *value, texts);
        }
    }
    if (auto number = find_value(parts, address_house_number)) {
        out += "\t\t\t\t\t<gpxx:Extensions>\n"sv;
        out += "\t\t\t\t\t\t<velmora:HouseNumber xmlns:velmora=\""sv;
        out += velmora_address_namespace;
        out += "\">"sv;
        texts.append(out, *number, xml_place::element);
        out += "</velmora:HouseNumber>\n"sv;
        out += "\t\t\t\t\t</gpxx:Extensions>\n"sv;
    }
    out += "\t\t\t\t</gpxx:Address>\n"sv;
}

void append_phones(std::string& out, const std::vector<text_pair>& phones, const set_texts& texts) {
    for (const text_pair& pair : phones) {
        if (!pair.value) continue;
        out += "\t\t\t\t<gpxx:PhoneNumber"sv;
        // A plain phone number goes without a category, as POI Loader expects it.
        if (pair.key && *pair.key != contact_phone) {
            out += " Category=\""sv;
            texts.append(out, *pair.key, xml_place::attribute);
            out += '"';
        }
        out += '>';
        texts.append(out, *pair.value, xml_place::element);
        out += "</gpxx:PhoneNumber>\n"sv;
    }
}

// A link to a clip or picture beside the document; its href and text need no escaping.
void append_media_link(std::string& out, const gpx_media_link& link) {
    out += "\t\t<link href=\""sv;
    out += link.href;
    out += "\">\n\t\t\t<text>"sv;
    out += link.text;
    out += "</text>\n\t\t\t<type>"sv;
    out += link.type;
    out += "</type>\n\t\t</link>\n"sv;
}

void append_waypoint(std::string& out, const waypoint& w, const set_texts& texts,
                     const gpx_set_media* media) {
    out += "\t<wpt lat=\""sv;
    append_fixed7(out, w.lat);
    out += "\" lon=\""sv;
    append_fixed7(out, w.lon);
    out += "\">\n"sv;

    out += "\t\t<name>"sv;
    if (w.name) texts.append(out, *w.name, xml_place::element);
    if (w.flags & has_speed) {
        out += '@';
        xml_append_int(out, rounded_speed(w.speed));
    }
    out += "</name>\n"sv;
    if (w.comment) {
        out += "\t\t<cmt><![CDATA["sv;
        texts.append(out, *w.comment, xml_place::cdata);
        out += "]]></cmt>\n"sv;
    }
    if (w.description) {
        out += "\t\t<desc><![CDATA["sv;
        texts.append(out, *w.description, xml_place::cdata);
        out += "]]></desc>\n"sv;
    }
    const waypoint_details* details = texts.set().details_of(w);
    if (w.link && !w.link->empty()) {
        out += "\t\t<link href=\""sv;
        texts.append(out, *w.link, xml_place::attribute);
        if (details != nullptr && details->link_text && !details->link_text->empty()) {
            out += "\">\n"sv;
            append_element(out, "\t\t\t", "text", *details->link_text, texts);
            out += "\t\t</link>\n"sv;
        } else {
            out += "\"/>\n"sv;
        }
    }
    if (media != nullptr && details != nullptr) [[unlikely]] {
        if (details->sound) {
            if (const gpx_media_link* link = media->sound(*details->sound)) {
                append_media_link(out, *link);
            }
        }
        if (details->picture) {
            if (const gpx_media_link* link = media->picture(*details->picture)) {
                append_media_link(out, *link);
            }
        }
    }
    out += "\t\t<sym>"sv;
    if (w.symbol && !w.symbol->empty()) {
        texts.append(out, *w.symbol, xml_place::element);
    } else {
        out += "Waypoint"sv;
    }
    out += "</sym>\n"sv;

    bool proximity = (w.flags & has_proximity) != 0;
    bool categories = details != nullptr && !details->categories.empty();
    bool address = details != nullptr && has_address(*details);
    bool phones = details != nullptr && !details->phones.empty();
    if (categories || address || phones || proximity) {
        out += "\t\t<extensions>\n"sv;
        out += "\t\t\t<gpxx:WaypointExtension xmlns:gpxx=\""sv;
        out += gpxx_namespace;
        out += "\">\n"sv;
        if (proximity) {
            out += "\t\t\t\t<gpxx:Proximity>"sv;
            append_proximity(out, w.proximity);
            out += "</gpxx:Proximity>\n"sv;
        }
        if (categories) append_categories(out, details->categories, texts);
        if (address) append_address(out, details->address, texts);
        if (phones) append_phones(out, details->phones, texts);
        out += "\t\t\t</gpxx:WaypointExtension>\n"sv;
        out += "\t\t</extensions>\n"sv;
    }
    out += "\t</wpt>\n\n"sv;
}

// Builds the document and hands it to the sink in pieces: the header, runs of
// waypoints, the end.  With enough waypoints, a second thread formats pieces while this
// one formats and writes.
template <typename Sink>
bool produce(const poiset_list& list, std::int64_t run_time, const split_policy& split,
             const gpx_media* media, Sink&& sink) {
    // An empty list still gives a document, one without waypoints.
    std::string start;
    append_header(start, list, run_time);
    if (!sink(std::string_view(start))) return false;

    std::vector<set_texts> texts;
    texts.reserve(list.poisets.size());
    std::vector<item_run> pieces;
    std::size_t waypoints = 0;
    for (std::size_t s = 0; s < list.poisets.size(); ++s) {
        const poiset& set = *list.poisets[s];
        texts.emplace_back(set);
        append_item_runs(pieces, s, set.waypoints.size());
        waypoints += set.waypoints.size();
    }
    auto make = [&](std::size_t index, std::string& out) {
        const item_run& p = pieces[index];
        const set_texts& set = texts[p.group];
        const auto& points = set.set().waypoints;
        const gpx_set_media* links = nullptr;
        if (media != nullptr && p.group < media->sets.size()) links = &media->sets[p.group];
        for (std::size_t w = p.begin; w < p.end; ++w) append_waypoint(out, points[w], set, links);
    };
    if (!make_and_put_texts(pieces.size(), split.splits(waypoints), make, sink)) return false;
    return sink(std::string_view("</gpx>\n"));
}

}  // namespace

bool gpx_write(std::FILE* stream, const poiset_list& list, std::int64_t run_time,
               const split_policy& split, const gpx_media* media) {
    return produce(list, run_time, split, media, [stream](std::string_view piece) {
        return std::fwrite(piece.data(), 1, piece.size(), stream) == piece.size();
    });
}

std::string gpx_document(const poiset_list& list, std::int64_t run_time, const split_policy& split,
                         const gpx_media* media) {
    std::string document;
    (void)produce(list, run_time, split, media, [&document](std::string_view piece) {
        document += piece;
        return true;
    });
    return document;
}

}  // namespace velmora
