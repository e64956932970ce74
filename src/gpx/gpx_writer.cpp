#include "gpx/gpx_writer.hpp"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>
#include <algorithm>

#include "gpx/gpx_extensions.hpp"
#include "platform/version.hpp"
#include "text/encoding.hpp"

namespace velmora {

namespace {

constexpr std::string_view gpx_namespace = "http://www.topografix.com/GPX/1/1";
constexpr std::string_view gpx_schema = "http://www.topografix.com/GPX/1/1/gpx.xsd";
constexpr std::string_view xsi_namespace = "http://www.w3.org/2001/XMLSchema-instance";
constexpr std::string_view gpxx_namespace = gpxx_v3_namespace;
constexpr std::string_view gpxx_schema =
    "http://www.garmin.com/xmlschemas/GpxExtensions/v3/GpxExtensionsv3.xsd";
constexpr std::string_view maker_home_page = "http://www.garmin.com";

// Where a text goes: which characters it must not hold as they are.
enum class text_place { element, attribute, cdata };

// The length of the well-formed UTF-8 character at p (before end) that XML allows, or
// 0 when the bytes there are not one.
std::size_t xml_char_length(const unsigned char* p, const unsigned char* end) {
    unsigned char lead = p[0];
    std::size_t left = static_cast<std::size_t>(end - p);
    auto cont = [](unsigned char b) { return (b & 0xC0u) == 0x80u; };
    if (lead < 0x80u) {
        return (lead >= 0x20u || lead == '\t' || lead == '\n' || lead == '\r') ? 1 : 0;
    }
    if (lead >= 0xC2u && lead <= 0xDFu) return left >= 2 && cont(p[1]) ? 2 : 0;
    if (lead >= 0xE0u && lead <= 0xEFu) {
        unsigned char low = lead == 0xE0u ? 0xA0u : 0x80u;
        unsigned char high = lead == 0xEDu ? 0x9Fu : 0xBFu;
        if (left < 3 || p[1] < low || p[1] > high || !cont(p[2])) return 0;
        // U+FFFE and U+FFFF are not characters of XML.
        if (lead == 0xEFu && p[1] == 0xBFu && (p[2] == 0xBEu || p[2] == 0xBFu)) return 0;
        return 3;
    }
    if (lead >= 0xF0u && lead <= 0xF4u) {
        unsigned char low = lead == 0xF0u ? 0x90u : 0x80u;
        unsigned char high = lead == 0xF4u ? 0x8Fu : 0xBFu;
        if (left < 4 || p[1] < low || p[1] > high || !cont(p[2]) || !cont(p[3])) return 0;
        return 4;
    }
    return 0;
}

// Appends UTF-8 text so that the document stays well-formed: markup characters are
// escaped (in element text and attribute values) or a "]]>" is split across two CDATA
// sections; bytes that are not characters XML allows become "?".  The text ends at its
// first zero byte.
void append_text(std::string& out, std::string_view text, text_place place) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        unsigned char c = *p;
        if (c >= 0x20u && c < 0x80u) {
            switch (c) {
                case '&':
                    if (place != text_place::cdata) {
                        out += "&amp;";
                        ++p;
                        continue;
                    }
                    break;
                case '<':
                    if (place != text_place::cdata) {
                        out += "&lt;";
                        ++p;
                        continue;
                    }
                    break;
                case '>':
                    if (place == text_place::element) {
                        out += "&gt;";
                        ++p;
                        continue;
                    }
                    if (place == text_place::cdata &&
                        p - reinterpret_cast<const unsigned char*>(text.data()) >= 2 &&
                        p[-1] == ']' && p[-2] == ']') {
                        out += "]]><![CDATA[>";
                        ++p;
                        continue;
                    }
                    break;
                case '"':
                    if (place == text_place::attribute) {
                        out += "&quot;";
                        ++p;
                        continue;
                    }
                    break;
                default:
                    break;
            }
            out.push_back(static_cast<char>(c));
            ++p;
            continue;
        }
        if (c == 0) break;
        std::size_t n = xml_char_length(p, end);
        if (n == 0) {
            out.push_back('?');
            ++p;
        } else {
            out.append(reinterpret_cast<const char*>(p), n);
            p += n;
        }
    }
}

// Appends a text of the set, converted to UTF-8 first unless the set holds UTF-8.
void append_set_text(std::string& out, std::string_view text, const poiset& set, text_place place) {
    if (set.is_utf8) {
        append_text(out, text, place);
        return;
    }
    // Without memory for the conversion the element stays empty.
    if (auto utf8 = codepage_text_to_utf8(text, set.codepage)) append_text(out, *utf8, place);
}

void append_fixed7(std::string& out, double value) {
    char buffer[400];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 7);
    if (result.ec == std::errc()) out.append(buffer, result.ptr);
}

void append_int(std::string& out, long long value) {
    char buffer[24];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

// A number of the "@%i" form: the integer part of value + 0.5, kept within the int range.
long long rounded_speed(double value) {
    double v = std::trunc(value + 0.5);
    if (std::isnan(v)) return 0;
    if (v >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (v <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<long long>(v);
}

void append_proximity(std::string& out, double metres) {
    char buffer[400];
    auto result =
        std::to_chars(buffer, buffer + sizeof buffer, metres, std::chars_format::fixed, 0);
    if (result.ec == std::errc()) out.append(buffer, result.ptr);
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

void append_bounds(std::string& out, double maxlat, double maxlon, double minlat,
                   double minlon) {
    out += "\t\t<bounds maxlat=\"";
    append_fixed7(out, maxlat);
    out += "\" maxlon=\"";
    append_fixed7(out, maxlon);
    out += "\" minlat=\"";
    append_fixed7(out, minlat);
    out += "\" minlon=\"";
    append_fixed7(out, minlon);
    out += "\"/>\n";
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

    out += "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\" ?>\n";
    out += "<gpx xmlns=\"";
    out += gpx_namespace;
    out += "\" creator=\"";
    out += program_name;
    out += ' ';
    out += program_version;
    out += "\" version=\"1.1\" xmlns:xsi=\"";
    out += xsi_namespace;
    out += "\" xsi:schemaLocation=\"";
    out += gpxx_namespace;
    out += ' ';
    out += gpxx_schema;
    out += ' ';
    out += gpx_namespace;
    out += ' ';
    out += gpx_schema;
    out += "\">\n\n";
    out += "\t<metadata>\n";
    out += "\t\t<link href=\"";
    out += maker_home_page;
    out += "\">\n";
    out += "\t\t\t<text>";
    out += program_name;
    out += "</text>\n";
    out += "\t\t</link>\n";
    out += "\t\t<time>";
    append_utc_time(out, stamp);
    out += "</time>\n";
    // Without a waypoint there is nothing to bound, and the element may be left out.
    if (any) append_bounds(out, maxlat, maxlon, minlat, minlon);
    out += "\t</metadata>\n\n";
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
                    std::string_view text, const poiset& set) {
    out += indent;
    out += '<';
    out += element;
    out += '>';
    append_set_text(out, text, set, text_place::element);
    out += "</";
    out += element;
    out += ">\n";
}

void append_categories(std::string& out, const std::vector<std::uint16_t>& categories,
                       const poiset& set) {
    out += "\t\t\t\t<gpxx:Categories>\n";
    for (std::uint16_t c : categories) {
        if (c >= set.categories.size() || !set.categories[c]) continue;
        append_element(out, "\t\t\t\t\t", "gpxx:Category", *set.categories[c], set);
    }
    out += "\t\t\t\t</gpxx:Categories>\n";
}

void append_address(std::string& out, const std::vector<text_pair>& parts, const poiset& set) {
    constexpr std::string_view indent = "\t\t\t\t\t";
    out += "\t\t\t\t<gpxx:Address>\n";
    if (auto street = find_value(parts, address_street)) {
        std::size_t cut = street->find('\n');
        append_element(out, indent, "gpxx:StreetAddress", street->substr(0, cut), set);
        if (cut != std::string_view::npos) {
            append_element(out, indent, "gpxx:StreetAddress", street->substr(cut + 1), set);
        }
    }
    for (const address_element& e : address_elements) {
        if (auto value = find_value(parts, e.key)) append_element(out, indent, e.element, *value, set);
    }
    if (auto number = find_value(parts, address_house_number)) {
        out += "\t\t\t\t\t<gpxx:Extensions>\n";
        out += "\t\t\t\t\t\t<velmora:HouseNumber xmlns:velmora=\"";
        out += velmora_address_namespace;
        out += "\">";
        append_set_text(out, *number, set, text_place::element);
        out += "</velmora:HouseNumber>\n";
        out += "\t\t\t\t\t</gpxx:Extensions>\n";
    }
    out += "\t\t\t\t</gpxx:Address>\n";
}

void append_phones(std::string& out, const std::vector<text_pair>& phones, const poiset& set) {
    for (const text_pair& pair : phones) {
        if (!pair.value) continue;
        out += "\t\t\t\t<gpxx:PhoneNumber";
        // A plain phone number goes without a category, as POI Loader expects it.
        if (pair.key && *pair.key != contact_phone) {
            out += " Category=\"";
            append_set_text(out, *pair.key, set, text_place::attribute);
            out += '"';
        }
        out += '>';
        append_set_text(out, *pair.value, set, text_place::element);
        out += "</gpxx:PhoneNumber>\n";
    }
}

void append_waypoint(std::string& out, const waypoint& w, const poiset& set) {
    out += "\t<wpt lat=\"";
    append_fixed7(out, w.lat);
    out += "\" lon=\"";
    append_fixed7(out, w.lon);
    out += "\">\n";

    out += "\t\t<name>";
    if (w.name) append_set_text(out, *w.name, set, text_place::element);
    if (w.flags & has_speed) {
        out += '@';
        append_int(out, rounded_speed(w.speed));
    }
    out += "</name>\n";
    if (w.comment) {
        out += "\t\t<cmt><![CDATA[";
        append_set_text(out, *w.comment, set, text_place::cdata);
        out += "]]></cmt>\n";
    }
    if (w.description) {
        out += "\t\t<desc><![CDATA[";
        append_set_text(out, *w.description, set, text_place::cdata);
        out += "]]></desc>\n";
    }
    if (w.link && !w.link->empty()) {
        out += "\t\t<link href=\"";
        append_set_text(out, *w.link, set, text_place::attribute);
        out += "\"/>\n";
    }
    out += "\t\t<sym>";
    if (w.symbol && !w.symbol->empty()) {
        append_set_text(out, *w.symbol, set, text_place::element);
    } else {
        out += "Waypoint";
    }
    out += "</sym>\n";

    bool proximity = (w.flags & has_proximity) != 0;
    const waypoint_details* details = set.details_of(w);
    bool categories = details != nullptr && !details->categories.empty();
    bool address = details != nullptr && has_address(*details);
    bool phones = details != nullptr && !details->phones.empty();
    if (categories || address || phones || proximity) {
        out += "\t\t<extensions>\n";
        out += "\t\t\t<gpxx:WaypointExtension xmlns:gpxx=\"";
        out += gpxx_namespace;
        out += "\">\n";
        if (proximity) {
            out += "\t\t<gpxx:Proximity>";
            append_proximity(out, w.proximity);
            out += "</gpxx:Proximity>\n";
        }
        if (categories) append_categories(out, details->categories, set);
        if (address) append_address(out, details->address, set);
        if (phones) append_phones(out, details->phones, set);
        out += "\t\t\t</gpxx:WaypointExtension>\n";
        out += "\t\t</extensions>\n";
    }
    out += "\t</wpt>\n\n";
}

// Builds the document piece by piece and hands each piece to the sink once it has
// grown past a size worth writing.
template <typename Sink>
bool produce(const poiset_list& list, std::int64_t run_time, Sink&& sink) {
    // An empty list still gives a document, one without waypoints.
    constexpr std::size_t flush_size = std::size_t{1} << 20;
    std::string out;
    out.reserve(flush_size + 4096);
    append_header(out, list, run_time);
    for (const auto& set : list.poisets) {
        for (const waypoint& w : set->waypoints) {
            append_waypoint(out, w, *set);
            if (out.size() >= flush_size) {
                if (!sink(out)) return false;
                out.clear();
            }
        }
    }
    out += "</gpx>\n";
    return sink(out);
}

}  // namespace

bool gpx_write(std::FILE* stream, const poiset_list& list, std::int64_t run_time) {
    return produce(list, run_time, [stream](const std::string& piece) {
        return std::fwrite(piece.data(), 1, piece.size(), stream) == piece.size();
    });
}

std::string gpx_document(const poiset_list& list, std::int64_t run_time) {
    std::string document;
    (void)produce(list, run_time, [&document](const std::string& piece) {
        document += piece;
        return true;
    });
    return document;
}

}  // namespace velmora
