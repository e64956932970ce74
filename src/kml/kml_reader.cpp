#include "kml/kml_reader.hpp"

#include <expat.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <map>
#include <memory>
#include <unordered_map>
#include <utility>

#include "kml/kml_html.hpp"
#include "kml/kmz_archive.hpp"
#include "model/field_names.hpp"
#include "model/geometry.hpp"
#include "platform/code_page.hpp"
#include "platform/messages.hpp"
#include "platform/paths.hpp"
#include "platform/side_by_side.hpp"
#include "text/encoding.hpp"
#include "text/output_code_page.hpp"
#include "text/strict_numbers.hpp"

namespace velmora {

namespace {

// The elements the reader acts on; every other one is passed through, and elements of
// other namespaces (gx:, atom:, xal:) are passed over with all they hold.
enum class kml_element : std::uint8_t {
    other,
    document,
    folder,
    placemark,
    name,
    description,
    address,
    phone_number,
    style_url,
    style,
    style_map,
    pair,
    key,
    icon_style,
    icon,
    href,
    colour,
    point,
    polygon,
    outer_boundary,
    inner_boundary,
    linear_ring,
    line_string,
    model,
    coordinates,
    data,
    value,
    simple_data,
};

struct element_name {
    std::string_view name;
    kml_element element;
};

constexpr element_name element_names[] = {
    {"Placemark", kml_element::placemark},
    {"name", kml_element::name},
    {"Point", kml_element::point},
    {"coordinates", kml_element::coordinates},
    {"description", kml_element::description},
    {"styleUrl", kml_element::style_url},
    {"Folder", kml_element::folder},
    {"Document", kml_element::document},
    {"Data", kml_element::data},
    {"value", kml_element::value},
    {"SimpleData", kml_element::simple_data},
    {"address", kml_element::address},
    {"phoneNumber", kml_element::phone_number},
    {"Style", kml_element::style},
    {"StyleMap", kml_element::style_map},
    {"Pair", kml_element::pair},
    {"key", kml_element::key},
    {"IconStyle", kml_element::icon_style},
    {"Icon", kml_element::icon},
    {"href", kml_element::href},
    {"color", kml_element::colour},
    {"Polygon", kml_element::polygon},
    {"outerBoundaryIs", kml_element::outer_boundary},
    {"innerBoundaryIs", kml_element::inner_boundary},
    {"LinearRing", kml_element::linear_ring},
    {"LineString", kml_element::line_string},
    {"Model", kml_element::model},
};

kml_element element_of(std::string_view local) {
    for (const element_name& e : element_names)
        if (e.name == local) return e.element;
    return kml_element::other;
}

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
    return s;
}

// A coordinate of a tuple: a decimal number ("+" allowed, exponents too), nothing else.
std::optional<double> coordinate_of(std::string_view text) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    double value = 0.0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

// One "lon,lat[,alt]" tuple of a coordinates text as written.
struct tuple_text {
    std::string_view lon;
    std::string_view lat;
};

// The next tuple from pos on.  Tuples are parted by blanks; the numbers of one by
// commas, blanks around the commas allowed.  False at the end of the text.
bool next_tuple(std::string_view text, std::size_t& pos, tuple_text& tuple) {
    auto skip_blanks = [&] {
        while (pos < text.size() && is_blank(text[pos])) ++pos;
    };
    auto field = [&] {
        std::size_t from = pos;
        while (pos < text.size() && text[pos] != ',' && !is_blank(text[pos])) ++pos;
        return text.substr(from, pos - from);
    };
    auto comma = [&] {
        std::size_t at = pos;
        while (at < text.size() && is_blank(text[at])) ++at;
        if (at >= text.size() || text[at] != ',') return false;
        pos = at + 1;
        while (pos < text.size() && is_blank(text[pos])) ++pos;
        return true;
    };
    skip_blanks();
    if (pos >= text.size()) return false;
    tuple.lon = field();
    tuple.lat = {};
    if (comma()) {
        tuple.lat = field();
        if (comma()) (void)field();
    }
    if (pos < text.size() && text[pos] == ',') ++pos;  // a stray comma: never stand still
    return true;
}

std::optional<geo_point> position_of(const tuple_text& tuple) {
    auto lon = coordinate_of(tuple.lon);
    auto lat = coordinate_of(tuple.lat);
    if (!lon || !lat || *lat < -90.0 || *lat > 90.0 || *lon < -180.0 || *lon > 180.0) {
        return std::nullopt;
    }
    return geo_point{*lat, *lon};
}

// An IconStyle colour, "aabbggrr" in hexadecimal ("#" before it tolerated).
std::optional<std::uint32_t> colour_of(std::string_view text) {
    text = trimmed(text);
    if (!text.empty() && text.front() == '#') text.remove_prefix(1);
    if (text.size() != 8) return std::nullopt;
    std::uint32_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

constexpr std::uint32_t white = 0xFFFFFFFFu;

struct style_def {
    std::string href;
    std::uint32_t colour = white;
};

struct style_map_def {
    std::string normal_url;
    int normal_style = -1;  // an inline style of the normal pair, into styles
};

// What a name of a styleUrl stands for.
struct style_name {
    bool is_map = false;
    int index = 0;
};

// A style a placemark refers to: by its styleUrl, or its own inline style.
struct style_ref {
    std::string url;
    int inline_style = -1;
};

constexpr std::uint32_t no_ref = 0xFFFFFFFFu;

struct position_problem {
    std::string lon;
    std::string lat;
};

struct placemark_state {
    std::string name;
    std::string description;
    std::string address;
    std::string phone;
    std::string style_url;
    int inline_style = -1;
    std::vector<std::pair<std::string, std::string>> data;
    std::vector<geo_point> positions;
    std::vector<position_problem> problems;
    long long other_shapes = 0;

    void clear() {
        name.clear();
        description.clear();
        address.clear();
        phone.clear();
        style_url.clear();
        inline_style = -1;
        data.clear();
        positions.clear();
        problems.clear();
        other_shapes = 0;
    }
};

// A set being filled, with what the reader keeps beside its waypoints.
struct set_state {
    std::unique_ptr<poiset> set;
    std::vector<std::uint32_t> refs;  // per waypoint: its style_ref, or no_ref
    std::unordered_map<std::string, std::uint16_t> category_of;
    // The category of the folders as they stood at folder_version (placemarks come many
    // to a folder).
    std::uint64_t folder_version = ~std::uint64_t{0};
    std::optional<std::uint16_t> folder_category;
    // The records of details that placemarks with categories and no other details share,
    // by their categories; the last one used first (placemarks come many to a folder).
    std::map<std::vector<std::uint16_t>, std::uint32_t> shared_details;
    std::vector<std::uint16_t> last_shared_categories;
    std::uint32_t last_shared = no_details;
};

struct folder_state {
    std::string name;
    std::size_t set = 0;  // the set of its placemarks (with -groups:folders)
};

// The fields of a placemark as a navigator holds them.
struct placemark_fields {
    std::string description;
    std::string comment;
    std::vector<std::pair<std::string_view, std::string>> address;
    std::vector<std::pair<std::string_view, std::string>> contacts;
    std::vector<std::string> categories;
    std::string lines;  // the other data, "Name: value" lines
    // What data named so hold: the description as its producer keeps it (then the
    // description element is only its readable form), the symbol, the alert.
    std::optional<std::string> held_description;
    std::string symbol;
    std::string link;  // a POI's link, as its data named "link" holds it
    std::optional<double> speed;
    std::optional<double> proximity;

    void clear() {
        held_description.reset();
        symbol.clear();
        link.clear();
        speed.reset();
        proximity.reset();
        description.clear();
        comment.clear();
        address.clear();
        contacts.clear();
        categories.clear();
        lines.clear();
    }
};

std::string_view address_key(field_kind kind) {
    switch (kind) {
        case field_kind::street:
            return address_street;
        case field_kind::house_number:
            return address_house_number;
        case field_kind::city:
            return address_city;
        case field_kind::state:
            return address_state;
        case field_kind::postcode:
            return address_postcode;
        case field_kind::country:
            return address_country;
        default:
            return {};
    }
}

void set_once(std::vector<std::pair<std::string_view, std::string>>& pairs, std::string_view key,
              std::string_view value) {
    for (const auto& pair : pairs)
        if (pair.first == key) return;
    pairs.emplace_back(key, std::string(value));
}

std::string_view without_tel(std::string_view phone) {
    if (phone.size() > 4 && equals_ignore_case(phone.substr(0, 4), "tel:")) phone.remove_prefix(4);
    return trimmed(phone);
}

// Where a document is cut in two for two threads, and what the second one reads before
// the text from the cut so that its parser and reader stand where the first ones will
// stand there: the prologue and the start tags of the elements open at the cut, each
// followed by its last name element, all as written.
struct document_split {
    std::size_t cut = 0;  // a Placemark start tag
    std::string prefix;
};

// The prefix for a cut at a Placemark start tag, from a quick walk over the markup before
// it; none when the walk finds markup it doesn't follow.  Whether it is right is told by
// the first thread when it arrives at the cut.
std::optional<std::string> prefix_before(std::string_view text, std::size_t cut) {
    struct open_element {
        std::size_t tag_begin;
        std::size_t tag_end;
        std::string_view qname;
        std::size_t name_begin = 0;  // the last name element in it
        std::size_t name_end = 0;
    };
    std::vector<open_element> open;
    auto name_at = [&](std::size_t from) {
        std::size_t end = from;
        while (end < text.size() && !is_blank(text[end]) && text[end] != '>' && text[end] != '/')
            ++end;
        return text.substr(from, end - from);
    };
    std::size_t at = 0;
    while (true) {
        std::size_t lt = text.find('<', at);
        if (lt == std::string_view::npos || lt > cut) return std::nullopt;
        if (lt == cut) break;
        std::string_view rest = text.substr(lt);
        std::size_t end = std::string_view::npos;
        char second = rest.size() > 1 ? rest[1] : '\0';
        if (second != '!' && second != '?' && second != '/') {
            std::string_view name = name_at(lt + 1);
            if (name.empty()) return std::nullopt;
            char quote = 0;
            for (std::size_t i = lt + 1 + name.size(); i < text.size(); ++i) {
                char c = text[i];
                if (quote != 0) {
                    if (c == quote) quote = 0;
                } else if (c == '"' || c == '\'') {
                    quote = c;
                } else if (c == '>') {
                    end = i + 1;
                    break;
                }
            }
            if (end == std::string_view::npos) return std::nullopt;
            if (text[end - 2] != '/') open.push_back({lt, end, name});
        } else if (second == '/') {
            // The end tag of the last open element: a document whose end tags don't match
            // fails the first thread before the cut, or the second one after it.
            if (open.empty()) return std::nullopt;
            std::size_t gt = text.find('>', lt + 2);
            if (gt == std::string_view::npos) return std::nullopt;
            end = gt + 1;
            open_element closed = open.back();
            open.pop_back();
            if (!open.empty() && (closed.qname == "name" || closed.qname.ends_with(":name"))) {
                open.back().name_begin = closed.tag_begin;
                open.back().name_end = end;
            }
        } else if (rest.starts_with("<![CDATA[")) {
            end = text.find("]]>", lt + 9);
            if (end != std::string_view::npos) end += 3;
        } else if (rest.starts_with("<!--")) {
            end = text.find("-->", lt + 4);
            if (end != std::string_view::npos) end += 3;
        } else if (second == '?') {
            end = text.find("?>", lt + 2);
            if (end != std::string_view::npos) end += 2;
        } else {
            // A document type declaration, before the root only; "[...]" may hold
            // markup of its own.
            if (!open.empty()) return std::nullopt;
            int depth = 0;
            char quote = 0;
            for (std::size_t i = lt + 2; i < text.size(); ++i) {
                char c = text[i];
                if (quote != 0) {
                    if (c == quote) quote = 0;
                } else if (c == '"' || c == '\'') {
                    quote = c;
                } else if (c == '[') {
                    ++depth;
                } else if (c == ']') {
                    --depth;
                } else if (c == '>' && depth == 0) {
                    end = i + 1;
                    break;
                }
            }
        }
        if (end == std::string_view::npos || end > cut) return std::nullopt;
        at = end;
    }
    if (open.empty()) return std::nullopt;
    std::string prefix(text.substr(0, open.front().tag_begin));
    for (const open_element& e : open) {
        prefix.append(text.substr(e.tag_begin, e.tag_end - e.tag_begin));
        if (e.name_end > e.name_begin)
            prefix.append(text.substr(e.name_begin, e.name_end - e.name_begin));
    }
    return prefix;
}

// A Placemark start tag (not an empty element) at or after the offset; npos when none.
std::size_t find_placemark_tag(std::string_view text, std::size_t from) {
    constexpr std::string_view tag = "<Placemark";
    for (std::size_t p = text.find(tag, from); p != std::string_view::npos;
         p = text.find(tag, p + 1)) {
        std::size_t after = p + tag.size();
        if (after < text.size() && (text[after] == '>' || is_blank(text[after]))) {
            std::size_t gt = text.find('>', after);
            if (gt == std::string_view::npos) return std::string_view::npos;
            if (text[gt - 1] != '/') return p;
        }
    }
    return std::string_view::npos;
}

// Where the reading of a document stands between elements: what the reading of the
// rest depends on.  Two readers that stand alike read the rest alike.
struct reader_context {
    std::vector<kml_element> stack;
    std::vector<std::string> folder_names;
    std::string document_name;
    bool in_document = false;
    bool clean = false;  // outside placemarks, styles, skipped elements and texts

    bool operator==(const reader_context&) const = default;
};

// What the two threads reading a document tell each other.
struct split_meeting {
    enum verdict_kind : int { undecided, taken, dropped };
    std::size_t cut = 0;
    std::atomic<int> verdict{undecided};  // whether the second thread's reading is taken
    std::atomic<bool> ready{false};       // the second reader's context is known
    bool usable = false;                  // and it may be taken (both written before ready)
    reader_context expected;
};

// How a parse ended.
enum class parse_end : std::uint8_t { finished, suspended, malformed };

using parser_ptr = std::unique_ptr<XML_ParserStruct, void (*)(XML_Parser)>;

class kml_document_reader {
  public:
    kml_document_reader(const kml_source& source, const kml_read_options& options)
        : source_(source), options_(options) {
        sets_.emplace_back();
        sets_.back().set = std::make_unique<poiset>();
    }

    void parse(std::string_view text, const passed_text& passed = {});
    [[nodiscard]] kml_read_result finish(poiset_list& list, kmz_archive* archive,
                                         std::string_view document_dir);

  private:
    static void XMLCALL on_start(void* self, const XML_Char* name, const XML_Char** attributes) {
        static_cast<kml_document_reader*>(self)->start(name, attributes);
    }
    static void XMLCALL on_end(void* self, const XML_Char* name) {
        static_cast<kml_document_reader*>(self)->end(name);
    }
    static void XMLCALL on_text(void* self, const XML_Char* text, int length) {
        auto* reader = static_cast<kml_document_reader*>(self);
        if (reader->capturing_) reader->text_.append(text, static_cast<std::size_t>(length));
    }

    [[nodiscard]] parser_ptr make_parser();
    // Parses the text from at on, piece by piece, giving back what was read up to
    // release_limit at most.  A fault is reported, with its offset, when report_faults.
    parse_end feed(XML_Parser parser, std::string_view text, std::size_t& at,
                   const passed_text& passed, std::size_t& released, std::size_t release_limit,
                   bool report_faults);
    // Parses the text on two threads, cut at split; false, with nothing read, when they
    // can't be had.
    bool parse_in_two(std::string_view text, std::size_t cut, const passed_text& passed);
    // The second thread's reading: the prefix for the cut, then the text from the cut on,
    // until the end or until the first thread drops it.  True when it read to the end.
    bool read_from_cut(std::string_view text, split_meeting& meeting);
    void arrive_at_cut();
    [[nodiscard]] reader_context context() const;
    // Takes over what the reader of the text after the cut read, as if this one had read on.
    void take_second(kml_document_reader& second);
    [[nodiscard]] std::uint32_t ref_for_key(const std::string& key, const std::string& url,
                                            int inline_style);
    [[nodiscard]] std::string inline_style_key(const style_def& style) const;

    void start(const char* name, const char** attributes);
    void end(const char* name);
    void take_text(kml_element element);
    [[nodiscard]] kml_element parent(std::size_t up = 1) const {
        return stack_.size() > up ? stack_[stack_.size() - 1 - up] : kml_element::other;
    }
    void start_style(const char** attributes);
    void take_coordinates(std::string_view text);
    void emit_placemark();
    void fill_fields(const placemark_state& p, placemark_fields& fields) const;
    [[nodiscard]] std::optional<std::uint16_t> category_of(set_state& state,
                                                           const std::string& path);
    [[nodiscard]] std::uint32_t ref_of(const placemark_state& p);
    [[nodiscard]] static std::uint32_t shared_details(set_state& state,
                                                      const std::vector<std::uint16_t>& categories);
    [[nodiscard]] std::size_t set_for_placemark() const;
    [[nodiscard]] std::string category_path() const;
    void report_problems(const placemark_state& p) const;

    const kml_source& source_;
    const kml_read_options& options_;
    // While a second thread reads the text after a cut: the parser of this reader and
    // where they meet.
    XML_Parser parser_ = nullptr;
    split_meeting* meeting_ = nullptr;
    bool read_in_two_ = false;
    std::vector<kml_element> stack_;
    std::size_t skip_depth_ = 0;     // inside an element of another namespace
    std::size_t capture_depth_ = 0;  // depth of the element whose text is taken
    bool capturing_ = false;
    std::string text_;

    bool in_document_ = false;  // the first Document was seen
    std::string document_name_;
    std::vector<folder_state> folders_;
    std::vector<set_state> sets_;

    std::size_t placemark_depth_ = 0;  // 0: outside any placemark
    placemark_state placemark_;
    std::string data_name_;
    std::string data_value_;

    std::vector<style_def> styles_;
    std::vector<style_map_def> style_maps_;
    std::unordered_map<std::string, style_name> style_names_;
    int current_style_ = -1;
    int current_map_ = -1;
    std::string pair_key_;
    std::string pair_url_;
    int pair_style_ = -1;
    bool in_pair_ = false;

    std::vector<style_ref> refs_;
    std::unordered_map<std::string, std::uint32_t> ref_of_url_;

    // Polygon being read.
    area_centroid polygon_;
    bool polygon_bad_ = false;
    std::vector<geo_point> ring_;

    long long other_shapes_ = 0;
    long long without_position_ = 0;

    // Kept from placemark to placemark, so that their room is reused.
    placemark_fields fields_;
    std::vector<std::uint16_t> categories_;
    std::uint64_t folder_version_ = 0;  // changes whenever a folder starts, ends or is named
};

void kml_document_reader::start(const char* raw_name, const char** attributes) {
    if (meeting_ != nullptr) [[unlikely]]
        arrive_at_cut();
    if (skip_depth_ > 0) {
        ++skip_depth_;
        return;
    }
    std::string_view name(raw_name);
    if (capturing_) {
        // Markup inside a text (HTML written as elements in a description): kept as
        // tags, which the description's reading turns into text.
        stack_.push_back(kml_element::other);
        text_ += '<';
        text_ += name;
        text_ += '>';
        return;
    }
    if (std::size_t colon = name.find(':'); colon != std::string_view::npos) {
        if (name.substr(0, colon) != "kml") {
            // gx:Track and gx:MultiTrack are shapes of their own.
            std::string_view local = name.substr(colon + 1);
            if (placemark_depth_ > 0 && (local == "Track" || local == "MultiTrack")) {
                ++placemark_.other_shapes;
            }
            skip_depth_ = 1;
            return;
        }
        name.remove_prefix(colon + 1);
    }
    kml_element element = element_of(name);
    kml_element up = stack_.empty() ? kml_element::other : stack_.back();
    switch (element) {
        case kml_element::document:
            if (in_document_) element = kml_element::folder;  // a document inside one
            in_document_ = true;
            break;
        default:
            break;
    }
    stack_.push_back(element);
    switch (element) {
        case kml_element::folder: {
            folder_state folder;
            folder.set = folders_.empty() ? 0 : folders_.back().set;
            if (options_.folders_as_sets && folders_.empty()) {
                sets_.emplace_back();
                sets_.back().set = std::make_unique<poiset>();
                folder.set = sets_.size() - 1;
            }
            folders_.push_back(std::move(folder));
            ++folder_version_;
            break;
        }
        case kml_element::placemark:
            if (placemark_depth_ == 0) {
                placemark_depth_ = stack_.size();
                placemark_.clear();
            }
            break;
        case kml_element::name:
        case kml_element::description:
        case kml_element::address:
        case kml_element::phone_number:
        case kml_element::style_url:
        case kml_element::key:
        case kml_element::href:
        case kml_element::colour:
        case kml_element::coordinates:
        case kml_element::value:
            capturing_ = true;
            capture_depth_ = stack_.size();
            text_.clear();
            break;
        case kml_element::simple_data:
            capturing_ = true;
            capture_depth_ = stack_.size();
            text_.clear();
            data_name_.clear();
            for (const char** a = attributes; a[0] != nullptr; a += 2)
                if (std::string_view(a[0]) == "name") data_name_ = a[1];
            break;
        case kml_element::data:
            data_name_.clear();
            data_value_.clear();
            for (const char** a = attributes; a[0] != nullptr; a += 2)
                if (std::string_view(a[0]) == "name") data_name_ = a[1];
            break;
        case kml_element::style:
            start_style(attributes);
            break;
        case kml_element::style_map:
            current_map_ = static_cast<int>(style_maps_.size());
            style_maps_.emplace_back();
            for (const char** a = attributes; a[0] != nullptr; a += 2) {
                if (std::string_view(a[0]) == "id") {
                    style_names_[a[1]] = {true, current_map_};
                }
            }
            break;
        case kml_element::pair:
            in_pair_ = true;
            pair_key_.clear();
            pair_url_.clear();
            pair_style_ = -1;
            break;
        case kml_element::polygon:
            if (placemark_depth_ > 0) {
                polygon_ = area_centroid();
                polygon_bad_ = false;
            }
            break;
        case kml_element::line_string:
        case kml_element::model:
            if (placemark_depth_ > 0) ++placemark_.other_shapes;
            break;
        case kml_element::linear_ring:
            if (placemark_depth_ > 0 && up != kml_element::outer_boundary &&
                up != kml_element::inner_boundary) {
                ++placemark_.other_shapes;
            }
            break;
        default:
            break;
    }
}

void kml_document_reader::start_style(const char** attributes) {
    current_style_ = static_cast<int>(styles_.size());
    styles_.emplace_back();
    kml_element up = parent();
    if (up == kml_element::placemark && placemark_depth_ == stack_.size() - 1) {
        placemark_.inline_style = current_style_;
        return;
    }
    if (up == kml_element::pair && in_pair_) {
        pair_style_ = current_style_;
        return;
    }
    for (const char** a = attributes; a[0] != nullptr; a += 2) {
        if (std::string_view(a[0]) == "id") style_names_[a[1]] = {false, current_style_};
    }
}

void kml_document_reader::end(const char* name) {
    if (skip_depth_ > 0) {
        --skip_depth_;
        return;
    }
    if (stack_.empty()) return;
    if (capturing_ && stack_.size() > capture_depth_) {
        // The end of markup inside a text.
        stack_.pop_back();
        text_ += "</";
        text_ += name;
        text_ += '>';
        return;
    }
    kml_element element = stack_.back();
    if (capturing_) {
        capturing_ = false;
        take_text(element);
    }
    switch (element) {
        case kml_element::folder:
            if (!folders_.empty()) folders_.pop_back();
            ++folder_version_;
            break;
        case kml_element::placemark:
            if (placemark_depth_ == stack_.size()) {
                emit_placemark();
                placemark_depth_ = 0;
            }
            break;
        case kml_element::data:
            if (placemark_depth_ > 0) {
                placemark_.data.emplace_back(data_name_, std::string(trimmed(data_value_)));
            }
            break;
        case kml_element::style:
            current_style_ = -1;
            break;
        case kml_element::style_map:
            current_map_ = -1;
            break;
        case kml_element::pair:
            if (current_map_ >= 0 && trimmed(pair_key_) == "normal") {
                style_map_def& map = style_maps_[static_cast<std::size_t>(current_map_)];
                map.normal_url = std::string(trimmed(pair_url_));
                map.normal_style = pair_style_;
            }
            in_pair_ = false;
            break;
        case kml_element::polygon:
            if (placemark_depth_ > 0 && !polygon_bad_) {
                if (auto centre = polygon_.centre()) placemark_.positions.push_back(*centre);
            }
            break;
        default:
            break;
    }
    stack_.pop_back();
}

void kml_document_reader::take_text(kml_element element) {
    kml_element up = parent();
    bool in_placemark = placemark_depth_ > 0 && placemark_depth_ == stack_.size() - 1;
    switch (element) {
        case kml_element::name:
            if (in_placemark) {
                placemark_.name = trimmed(text_);
            } else if (up == kml_element::folder && !folders_.empty()) {
                folders_.back().name = trimmed(text_);
                ++folder_version_;
                if (options_.folders_as_sets && folders_.size() == 1) {
                    sets_[folders_.back().set].set->name = folders_.back().name;
                }
            } else if (up == kml_element::document) {
                document_name_ = trimmed(text_);
            }
            break;
        case kml_element::description:
            // The text is taken anew for the next element: its room goes along.
            if (in_placemark) placemark_.description.swap(text_);
            break;
        case kml_element::address:
            if (in_placemark) placemark_.address = trimmed(text_);
            break;
        case kml_element::phone_number:
            if (in_placemark) placemark_.phone = without_tel(text_);
            break;
        case kml_element::style_url:
            if (in_placemark) placemark_.style_url = trimmed(text_);
            if (up == kml_element::pair) pair_url_ = text_;
            break;
        case kml_element::key:
            if (up == kml_element::pair) pair_key_ = text_;
            break;
        case kml_element::href:
            if (up == kml_element::icon && parent(2) == kml_element::icon_style &&
                current_style_ >= 0) {
                styles_[static_cast<std::size_t>(current_style_)].href = trimmed(text_);
            }
            break;
        case kml_element::colour:
            if (up == kml_element::icon_style && current_style_ >= 0) {
                if (auto colour = colour_of(text_)) {
                    styles_[static_cast<std::size_t>(current_style_)].colour = *colour;
                }
            }
            break;
        case kml_element::coordinates:
            if (placemark_depth_ > 0) take_coordinates(text_);
            break;
        case kml_element::value:
            if (up == kml_element::data) data_value_ = text_;
            break;
        case kml_element::simple_data:
            if (placemark_depth_ > 0) {
                placemark_.data.emplace_back(data_name_, std::string(trimmed(text_)));
            }
            break;
        default:
            break;
    }
}

void kml_document_reader::take_coordinates(std::string_view text) {
    kml_element up = parent();
    std::size_t pos = 0;
    tuple_text tuple;
    if (up == kml_element::point) {
        if (!next_tuple(text, pos, tuple)) tuple = {};
        if (auto position = position_of(tuple)) {
            placemark_.positions.push_back(*position);
        } else {
            placemark_.problems.push_back({std::string(tuple.lon), std::string(tuple.lat)});
        }
        return;
    }
    if (up != kml_element::linear_ring) return;
    kml_element boundary = parent(2);
    if ((boundary != kml_element::outer_boundary && boundary != kml_element::inner_boundary) ||
        parent(3) != kml_element::polygon || polygon_bad_) {
        return;
    }
    ring_.clear();
    while (next_tuple(text, pos, tuple)) {
        auto position = position_of(tuple);
        if (!position) {
            placemark_.problems.push_back({std::string(tuple.lon), std::string(tuple.lat)});
            polygon_bad_ = true;
            return;
        }
        ring_.push_back(*position);
    }
    if (ring_.size() > 1 && ring_.front().lat == ring_.back().lat &&
        ring_.front().lon == ring_.back().lon) {
        ring_.pop_back();
    }
    polygon_.add_ring(ring_, boundary == kml_element::inner_boundary);
}

std::size_t kml_document_reader::set_for_placemark() const {
    return folders_.empty() ? 0 : folders_.back().set;
}

std::string kml_document_reader::category_path() const {
    std::string path;
    std::size_t first = options_.folders_as_sets ? 1 : 0;
    for (std::size_t i = first; i < folders_.size(); ++i) {
        if (folders_[i].name.empty()) continue;
        if (!path.empty()) path += '/';
        path += folders_[i].name;
    }
    return path;
}

void kml_document_reader::fill_fields(const placemark_state& p, placemark_fields& fields) const {
    fields.clear();
    html_to_text(p.description, fields.description);
    if (!p.address.empty()) fields.address.emplace_back(address_street, p.address);
    if (!p.phone.empty()) fields.contacts.emplace_back(contact_phone, p.phone);
    std::string& lines = fields.lines;
    for (const auto& [name, value] : p.data) {
        field_kind kind = field_kind_of(name);
        if (kind == field_kind::description && !fields.held_description) {
            fields.held_description = value;
            continue;
        }
        if (value.empty()) continue;
        if (fields.link.empty() && equals_ignore_case(name, "link")) {
            fields.link = value;
            continue;
        }
        std::string_view key = address_key(kind);
        if (!key.empty()) {
            set_once(fields.address, key, value);
            continue;
        }
        switch (kind) {
            case field_kind::phone:
                set_once(fields.contacts,
                         std::any_of(fields.contacts.begin(), fields.contacts.end(),
                                     [](const auto& c) { return c.first == contact_phone; })
                             ? contact_phone2
                             : contact_phone,
                         without_tel(value));
                continue;
            case field_kind::web:
                set_once(fields.contacts, contact_web, value);
                continue;
            case field_kind::email:
                set_once(fields.contacts, contact_email, value);
                continue;
            case field_kind::category:
                fields.categories.push_back(value);
                continue;
            case field_kind::comment:
                if (fields.comment.empty()) {
                    fields.comment = value;
                    continue;
                }
                break;
            case field_kind::symbol:
                if (fields.symbol.empty()) {
                    fields.symbol = value;
                    continue;
                }
                break;
            case field_kind::speed:
                if (auto speed = whole_decimal(value);
                    speed && *speed > 0.0 && *speed <= max_speed_in_name && !fields.speed) {
                    fields.speed = speed;
                    continue;
                }
                break;
            case field_kind::proximity:
                if (auto metres = whole_decimal(value);
                    metres && *metres > 0.0 && !fields.proximity) {
                    fields.proximity = metres;
                    continue;
                }
                break;
            default:
                break;
        }
        // My Maps puts a layer's table columns here: shown as "Name: value" lines.
        if (!lines.empty()) lines += '\n';
        lines += name;
        lines += ": ";
        lines += value;
    }
    if (fields.held_description) fields.description = *fields.held_description;
    if (!lines.empty()) {
        if (!fields.description.empty()) fields.description += '\n';
        fields.description += lines;
    }
}

std::optional<std::uint16_t> kml_document_reader::category_of(set_state& state,
                                                              const std::string& path) {
    auto it = state.category_of.find(path);
    if (it != state.category_of.end()) return it->second;
    auto index = state.set->category_index(path);
    if (index) state.category_of.emplace(path, *index);
    return index;
}

std::uint32_t kml_document_reader::shared_details(set_state& state,
                                                  const std::vector<std::uint16_t>& categories) {
    if (state.last_shared != no_details && state.last_shared_categories == categories) {
        return state.last_shared;
    }
    auto it = state.shared_details.find(categories);
    if (it == state.shared_details.end()) {
        waypoint_details details;
        details.categories = categories;
        std::uint32_t index = state.set->add_shared_details(std::move(details));
        it = state.shared_details.emplace(categories, index).first;
    }
    state.last_shared_categories = categories;
    state.last_shared = it->second;
    return it->second;
}

// Inline styles of the same image and colour (Google Earth writes one into every
// placemark) are one reference, under a key no styleUrl can have.
std::string kml_document_reader::inline_style_key(const style_def& style) const {
    char colour[10];
    std::snprintf(colour, sizeof colour, "\n%08x", static_cast<unsigned>(style.colour));
    return "\n" + style.href + colour;
}

std::uint32_t kml_document_reader::ref_for_key(const std::string& key, const std::string& url,
                                               int inline_style) {
    auto [it, added] = ref_of_url_.try_emplace(key, static_cast<std::uint32_t>(refs_.size()));
    if (added) refs_.push_back({url, inline_style});
    return it->second;
}

std::uint32_t kml_document_reader::ref_of(const placemark_state& p) {
    if (p.inline_style >= 0 && !styles_[static_cast<std::size_t>(p.inline_style)].href.empty()) {
        const style_def& style = styles_[static_cast<std::size_t>(p.inline_style)];
        return ref_for_key(inline_style_key(style), p.style_url, p.inline_style);
    }
    if (p.style_url.empty()) return no_ref;
    return ref_for_key(p.style_url, p.style_url, -1);
}

void kml_document_reader::report_problems(const placemark_state& p) const {
    const text_encoding utf8{true, nullptr};
    for (const position_problem& problem : p.problems) {
        report_problem(
            "\nWarning: Waypoint (%s) has an invalid position (lat=\"%s\" lon=\"%s\"), ignored",
            display_text(p.name, utf8, shown_text).c_str(),
            display_text(problem.lat, utf8, shown_value).c_str(),
            display_text(problem.lon, utf8, shown_value).c_str());
    }
}

void kml_document_reader::emit_placemark() {
    const placemark_state& p = placemark_;
    report_problems(p);
    other_shapes_ += p.other_shapes;
    if (p.positions.empty()) {
        if (p.problems.empty() && p.other_shapes == 0) ++without_position_;
        return;
    }
    set_state& state = sets_[set_for_placemark()];
    poiset& set = *state.set;
    placemark_fields& fields = fields_;
    fill_fields(p, fields);
    std::uint32_t ref = ref_of(p);

    stored_text name = set.store(p.name);
    stored_text description =
        fields.description.empty() ? stored_text() : set.store(fields.description);
    stored_text comment = fields.comment.empty() ? stored_text() : set.store(fields.comment);
    stored_text symbol = fields.symbol.empty() ? stored_text() : set.store(fields.symbol);
    stored_text link = fields.link.empty() ? stored_text() : set.store(fields.link);
    std::vector<std::uint16_t>& categories = categories_;
    categories.clear();
    if (state.folder_version != folder_version_) {
        state.folder_version = folder_version_;
        std::string folder = category_path();
        state.folder_category = folder.empty() ? std::nullopt : category_of(state, folder);
    }
    if (state.folder_category) categories.push_back(*state.folder_category);
    for (const std::string& category : fields.categories) {
        auto index = category_of(state, category);
        if (index && std::find(categories.begin(), categories.end(), *index) == categories.end()) {
            categories.push_back(*index);
        }
    }

    for (const geo_point& position : p.positions) {
        waypoint* w = poiset_add_waypoint(set);
        if (w == nullptr) {
            report("\nError: Can't allocate waypoint! Ignoring");
            return;
        }
        w->lat = position.lat;
        w->lon = position.lon;
        w->flags |= has_position;
        w->name = name;
        w->description = description;
        w->comment = comment;
        w->symbol = symbol;
        w->link = link;
        // As the other readers take them: a speed alert warns ten metres ahead per km/h
        // unless a proximity of its own is given.
        if (fields.speed) {
            w->speed = *fields.speed;
            w->proximity = *fields.speed * 10.0;
            w->flags |= has_speed | has_proximity | proximity_from_speed;
        }
        if (fields.proximity) {
            w->proximity = *fields.proximity;
            w->flags = (w->flags | has_proximity) & ~proximity_from_speed;
        }
        state.refs.push_back(ref);
        if (fields.address.empty() && fields.contacts.empty()) {
            if (!categories.empty()) set.share_details(*w, shared_details(state, categories));
            continue;
        }
        waypoint_details& details = set.details_for(*w);
        for (const auto& [key, value] : fields.address)
            details.address.push_back({set.store(key), set.store(value)});
        for (const auto& [key, value] : fields.contacts)
            details.phones.push_back({set.store(key), set.store(value)});
        details.categories = categories;
    }
}

// The single-byte encodings expat doesn't know itself (windows-1250, ISO-8859-2, ...),
// from the code page table; none for others, which expat then reports.
int XMLCALL on_unknown_encoding(void* /*data*/, const XML_Char* name, XML_Encoding* info) {
    std::optional<std::string> locale = code_page_locale_name(name);
    std::optional<code_page> page = locale ? code_page::from_locale_name(*locale) : std::nullopt;
    if (!page || !page->keeps_ascii()) return XML_STATUS_ERROR;
    for (int byte = 0; byte < 256; ++byte) {
        char16_t unit = page->decode(static_cast<unsigned char>(byte));
        info->map[byte] = unit == u'\uFFFD' ? -1 : static_cast<int>(unit);
    }
    info->data = nullptr;
    info->convert = nullptr;
    info->release = nullptr;
    return XML_STATUS_OK;
}

parser_ptr kml_document_reader::make_parser() {
    parser_ptr parser(XML_ParserCreate(nullptr), XML_ParserFree);
    if (!parser) throw std::bad_alloc();
    XML_SetUserData(parser.get(), this);
    XML_SetElementHandler(parser.get(), on_start, on_end);
    XML_SetCharacterDataHandler(parser.get(), on_text);
    XML_SetUnknownEncodingHandler(parser.get(), on_unknown_encoding, nullptr);
    return parser;
}

parse_end kml_document_reader::feed(XML_Parser parser, std::string_view text, std::size_t& at,
                                    const passed_text& passed, std::size_t& released,
                                    std::size_t release_limit, bool report_faults) {
    // Fed in pieces: expat copies what it is given into a buffer of its own, which so
    // stays small and in the cache.
    constexpr std::size_t piece = std::size_t{1} << 20;
    do {
        std::size_t n = std::min(piece, text.size() - at);
        bool last = at + n == text.size();
        XML_Status status = XML_Parse(parser, text.data() + at, static_cast<int>(n), last ? 1 : 0);
        at += n;
        if (status == XML_STATUS_SUSPENDED) return parse_end::suspended;
        if (status != XML_STATUS_OK) {
            XML_Error error = XML_GetErrorCode(parser);
            if (error == XML_ERROR_NO_MEMORY) throw std::bad_alloc();
            if (report_faults) {
                report(
                    "\nWarning: Malformed XML at offset %lli of the kml file (%s); read up to "
                    "there",
                    static_cast<long long>(XML_GetCurrentByteIndex(parser)),
                    XML_ErrorString(error));
            }
            return parse_end::malformed;
        }
        // Expat keeps no more than the last piece of the text.
        if (at >= 2 * piece)
            pass_bytes_up_to(passed, released, std::min(at - 2 * piece, release_limit));
    } while (at < text.size());
    return parse_end::finished;
}

void kml_document_reader::parse(std::string_view text, const passed_text& passed) {
    if (!options_.folders_as_sets && text.size() >= options_.parallel_from &&
        text.substr(0, 4).find('\0') == std::string_view::npos) {
        // (Texts of two or four bytes a character, UTF-16 and UTF-32, are read on one.)
        // The cut lies a little behind the middle: the second thread walks over the
        // markup before it first.
        std::size_t cut = find_placemark_tag(text, text.size() / 2 + text.size() / 40);
        if (cut != std::string_view::npos && parse_in_two(text, cut, passed)) return;
    }
    parser_ptr parser = make_parser();
    std::size_t at = 0;
    std::size_t released = 0;
    (void)feed(parser.get(), text, at, passed, released, text.size(), true);
}

reader_context kml_document_reader::context() const {
    reader_context c;
    c.stack = stack_;
    c.folder_names.reserve(folders_.size());
    for (const folder_state& folder : folders_) c.folder_names.push_back(folder.name);
    c.document_name = document_name_;
    c.in_document = in_document_;
    c.clean = skip_depth_ == 0 && !capturing_ && placemark_depth_ == 0 && current_style_ < 0 &&
              current_map_ < 0 && !in_pair_ && sets_.size() == 1;
    return c;
}

void kml_document_reader::arrive_at_cut() {
    split_meeting& meeting = *meeting_;
    auto at = static_cast<std::size_t>(XML_GetCurrentByteIndex(parser_));
    if (at < meeting.cut) return;
    meeting_ = nullptr;
    // The second thread tells soon after its start where its reader stands.
    meeting.ready.wait(false, std::memory_order_acquire);
    bool same = at == meeting.cut && meeting.usable && context() == meeting.expected;
    meeting.verdict.store(same ? split_meeting::taken : split_meeting::dropped,
                          std::memory_order_release);
    // Suspended after this start tag is read as usual, so that a reading that goes on
    // after all (the second thread failing) goes on as one thread would.
    if (same) (void)XML_StopParser(parser_, XML_TRUE);
}

bool kml_document_reader::read_from_cut(std::string_view text, split_meeting& meeting) {
    // The first thread waits for this, also when this one fails.
    struct tell_ready {
        split_meeting& meeting;
        ~tell_ready() {
            meeting.ready.store(true, std::memory_order_release);
            meeting.ready.notify_all();
        }
    };
    parser_ptr parser(nullptr, XML_ParserFree);
    {
        tell_ready told{meeting};
        parser = make_parser();
        std::optional<std::string> prefix = prefix_before(text, meeting.cut);
        if (prefix && XML_Parse(parser.get(), prefix->data(), static_cast<int>(prefix->size()),
                                0) == XML_STATUS_OK) {
            meeting.expected = context();
            meeting.usable = meeting.expected.clean;
        }
    }
    if (!meeting.usable) return false;
    std::string_view rest = text.substr(meeting.cut);
    constexpr std::size_t piece = std::size_t{1} << 20;
    std::size_t at = 0;
    do {
        if (meeting.verdict.load(std::memory_order_relaxed) == split_meeting::dropped) return false;
        std::size_t n = std::min(piece, rest.size() - at);
        bool last = at + n == rest.size();
        if (XML_Parse(parser.get(), rest.data() + at, static_cast<int>(n), last ? 1 : 0) !=
            XML_STATUS_OK) {
            if (XML_GetErrorCode(parser.get()) == XML_ERROR_NO_MEMORY) throw std::bad_alloc();
            return false;
        }
        at += n;
    } while (at < rest.size());
    return true;
}

bool kml_document_reader::parse_in_two(std::string_view text, std::size_t cut,
                                       const passed_text& passed) {
    kml_document_reader second(source_, options_);
    split_meeting meeting;
    meeting.cut = cut;
    parser_ptr parser = make_parser();
    std::size_t at = 0;
    std::size_t released = 0;
    parse_end first_end = parse_end::finished;
    bool second_read = false;
    std::string second_messages;
    std::string second_problem;
    // The XML declaration read on this thread first: an encoding it names builds its code
    // page's tables on first use, before the second thread names it too.
    if (std::size_t end = text.substr(0, 512).find("?>"); end != std::string_view::npos) {
        at = end + 2;
        if (XML_Parse(parser.get(), text.data(), static_cast<int>(at), 0) != XML_STATUS_OK)
            return false;
    }
    parser_ = parser.get();
    meeting_ = &meeting;
    bool ran = run_side_by_side(
        [&] {
            first_end = feed(parser.get(), text, at, passed, released, cut, true);
            // Ended before the cut: the second thread's reading is not wanted.
            meeting.verdict.store(
                first_end == parse_end::suspended ? split_meeting::taken : split_meeting::dropped,
                std::memory_order_release);
        },
        [&] {
            message_capture capture;
            second_read = second.read_from_cut(text, meeting);
            second_messages = capture.text();
            second_problem = capture.first_problem();
        });
    meeting_ = nullptr;
    parser_ = nullptr;
    if (!ran) return false;
    if (first_end != parse_end::suspended) return true;
    if (second_read) {
        report_text(second_messages, second_problem);
        take_second(second);
        read_in_two_ = true;
        return true;
    }
    // The second thread failed (malformed XML after the cut, say): this one reads on.
    XML_Status status = XML_ResumeParser(parser.get());
    if (status == XML_STATUS_ERROR) {
        XML_Error error = XML_GetErrorCode(parser.get());
        if (error == XML_ERROR_NO_MEMORY) throw std::bad_alloc();
        report("\nWarning: Malformed XML at offset %lli of the kml file (%s); read up to there",
               static_cast<long long>(XML_GetCurrentByteIndex(parser.get())),
               XML_ErrorString(error));
        return true;
    }
    if (at < text.size()) (void)feed(parser.get(), text, at, passed, released, text.size(), true);
    return true;
}

void kml_document_reader::take_second(kml_document_reader& second) {
    other_shapes_ += second.other_shapes_;
    without_position_ += second.without_position_;
    document_name_ = std::move(second.document_name_);

    // Styles and style maps: numbered behind these; later definitions of a name win.
    auto style_offset = static_cast<int>(styles_.size());
    auto map_offset = static_cast<int>(style_maps_.size());
    for (style_def& style : second.styles_) styles_.push_back(std::move(style));
    for (style_map_def& map : second.style_maps_) {
        if (map.normal_style >= 0) map.normal_style += style_offset;
        style_maps_.push_back(std::move(map));
    }
    for (auto& [id, target] : second.style_names_) {
        style_names_[id] = {target.is_map,
                            target.index + (target.is_map ? map_offset : style_offset)};
    }
    // Style references, numbered in the order of their first use as one reader does.
    std::vector<std::uint32_t> ref_number(second.refs_.size());
    for (std::size_t i = 0; i < second.refs_.size(); ++i) {
        const style_ref& ref = second.refs_[i];
        if (ref.inline_style >= 0) {
            int style = ref.inline_style + style_offset;
            ref_number[i] = ref_for_key(inline_style_key(styles_[static_cast<std::size_t>(style)]),
                                        ref.url, style);
        } else {
            ref_number[i] = ref_for_key(ref.url, ref.url, -1);
        }
    }

    set_state& into = sets_.front();
    set_state& from = second.sets_.front();
    poiset& set = *into.set;
    poiset& rest = *from.set;
    // Categories: the rest's new ones numbered in the order of their first use.
    std::vector<std::optional<std::uint16_t>> numbers;
    numbers.reserve(rest.categories.size());
    for (const stored_text& category : rest.categories) {
        numbers.push_back(category_of(into, std::string(*category)));
    }
    auto offset = static_cast<std::uint32_t>(set.details.size());
    set.details.reserve(set.details.size() + rest.details.size());
    for (std::uint32_t d = 0; d < rest.details.size(); ++d) {
        waypoint_details& details = rest.details[d];
        std::size_t kept = 0;
        for (std::uint16_t c : details.categories) {
            if (numbers[c]) details.categories[kept++] = *numbers[c];
        }
        details.categories.resize(kept);
        if (rest.details_are_shared(d)) {
            (void)set.add_shared_details(std::move(details));
        } else {
            set.details.push_back(std::move(details));
        }
    }
    into.refs.reserve(into.refs.size() + from.refs.size());
    for (std::size_t i = 0; i < rest.waypoints.size(); ++i) {
        waypoint& w = rest.waypoints[i];
        if (w.details != no_details) w.details += offset;
        std::uint32_t ref = from.refs[i];
        into.refs.push_back(ref == no_ref ? no_ref : ref_number[ref]);
    }
    // The rest's waypoints view texts in the rest's store, whose blocks move along.
    set.waypoints.append(std::move(rest.waypoints));
    set.texts.take_over(std::move(rest.texts));
}

// The file name of an image without directory, query and extension.
std::string_view image_stem(std::string_view href) {
    if (std::size_t cut = href.find_first_of("?#"); cut != std::string_view::npos) {
        href = href.substr(0, cut);
    }
    if (std::size_t slash = href.find_last_of("/\\"); slash != std::string_view::npos) {
        href.remove_prefix(slash + 1);
    }
    if (std::size_t dot = href.rfind('.'); dot != std::string_view::npos && dot > 0) {
        href = href.substr(0, dot);
    }
    return href;
}

bool is_web(std::string_view href) {
    return href.find("://") != std::string_view::npos;
}

// "%20" and the like in a reference, decoded.
std::string percent_decoded(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned value = 0;
        if (text[i] == '%' && i + 2 < text.size() &&
            std::from_chars(text.data() + i + 1, text.data() + i + 3, value, 16).ptr ==
                text.data() + i + 3) {
            out += static_cast<char>(value);
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The bytes of a file beside the document, when the reference stays inside its
// directory (also after symbolic links are followed); none otherwise.
constexpr std::uintmax_t max_icon_file_size = std::uintmax_t{16} << 20;

std::optional<std::string> read_beside(const std::string& directory, const std::string& relative) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::path base = fs::weakly_canonical(fs::path(directory), error);
    if (error) return std::nullopt;
    fs::path target = fs::weakly_canonical(base / fs::path(relative), error);
    if (error) return std::nullopt;
    auto [end, rest] = std::mismatch(base.begin(), base.end(), target.begin(), target.end());
    if (end != base.end()) return std::nullopt;
    if (!fs::is_regular_file(target, error) || fs::file_size(target, error) > max_icon_file_size) {
        return std::nullopt;
    }
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(target.c_str(), "rb"),
                                                         std::fclose);
    if (!file) return std::nullopt;
    std::string bytes;
    char buffer[1 << 14];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
        bytes.append(buffer, n);
        if (bytes.size() > max_icon_file_size) return std::nullopt;
    }
    if (std::ferror(file.get()) != 0) return std::nullopt;
    return bytes;
}

kml_read_result kml_document_reader::finish(poiset_list& list, kmz_archive* archive,
                                            std::string_view document_dir) {
    if (other_shapes_ > 0) {
        report(
            "\nWarning: Lines and other shapes that are neither points nor polygons were "
            "left out: %lli",
            other_shapes_);
    }
    if (without_position_ > 0) {
        report("\nWarning: Placemarks without a point or polygon were left out: %lli",
               without_position_);
    }

    // What each style reference comes to: a symbol and the image it names.
    struct resolved {
        std::string symbol;
        std::string href;
        std::uint32_t colour = white;
    };
    std::vector<resolved> targets(refs_.size());
    for (std::size_t i = 0; i < refs_.size(); ++i) {
        const style_ref& ref = refs_[i];
        resolved& r = targets[i];
        if (ref.inline_style >= 0) {
            const style_def& style = styles_[static_cast<std::size_t>(ref.inline_style)];
            r.href = style.href;
            r.colour = style.colour;
            r.symbol = image_stem(style.href);
            if (r.colour != white) {
                char suffix[10];
                std::snprintf(suffix, sizeof suffix, "-%08x", static_cast<unsigned>(r.colour));
                r.symbol += suffix;
            }
            continue;
        }
        std::string_view url = ref.url;
        if (std::size_t hash = url.find('#'); hash != std::string_view::npos) {
            url.remove_prefix(hash + 1);
        }
        r.symbol = url;
        std::string id(url);
        // A style map leads to the style of its normal pair; a few steps at most, so that
        // maps naming each other end.
        for (int step = 0; step < 8; ++step) {
            auto it = style_names_.find(id);
            if (it == style_names_.end()) break;
            if (!it->second.is_map) {
                const style_def& style = styles_[static_cast<std::size_t>(it->second.index)];
                r.href = style.href;
                r.colour = style.colour;
                break;
            }
            const style_map_def& map = style_maps_[static_cast<std::size_t>(it->second.index)];
            if (map.normal_style >= 0) {
                const style_def& style = styles_[static_cast<std::size_t>(map.normal_style)];
                r.href = style.href;
                r.colour = style.colour;
                break;
            }
            std::string_view next = map.normal_url;
            if (std::size_t hash = next.find('#'); hash != std::string_view::npos) {
                next.remove_prefix(hash + 1);
            }
            id = next;
        }
    }

    // Styles that show the same image in the same colour share one icon: the symbol of
    // the first of them.
    kml_read_result result;
    std::unordered_map<std::string, std::size_t> icon_of_image;
    std::vector<std::string> symbols(refs_.size());
    std::vector<bool> web(refs_.size(), false);
    for (std::size_t i = 0; i < targets.size(); ++i) {
        resolved& r = targets[i];
        symbols[i] = r.symbol;
        if (r.href.empty() || r.symbol.empty()) continue;
        char colour[9];
        std::snprintf(colour, sizeof colour, "%08x", static_cast<unsigned>(r.colour));
        std::string key = r.href + '\n' + colour;
        auto [it, added] = icon_of_image.try_emplace(key, result.icons.size());
        if (!added) {
            symbols[i] = result.icons[it->second].symbol;
            web[i] = !result.icons[it->second].web_name.empty();
            continue;
        }
        kml_icon icon;
        icon.symbol = r.symbol;
        icon.href = r.href;
        icon.colour = r.colour;
        if (is_web(r.href)) {
            icon.web_name = image_stem(r.href);
            web[i] = true;
        } else if (!stays_inside(r.href)) {
            report(
                "\nWarning: The icon (%s) of the style (%s) lies outside the %s; its "
                "placemarks have no icon of their own",
                escape_controls(r.href, true).c_str(), escape_controls(r.symbol, true).c_str(),
                archive != nullptr ? "kmz file" : "kml file's directory");
        } else {
            std::string relative = r.href;
            if (relative.starts_with("./")) relative.erase(0, 2);
            if (archive != nullptr) {
                std::string entry = std::string(document_dir) + relative;
                icon.image = archive->read(entry);
                if (!icon.image) icon.image = archive->read(percent_decoded(entry));
            } else if (!source_.directory.empty()) {
                icon.image = read_beside(source_.directory, relative);
                if (!icon.image)
                    icon.image = read_beside(source_.directory, percent_decoded(relative));
            }
            if (!icon.image) {
                report(
                    "\nWarning: The icon (%s) of the style (%s) is not %s; its placemarks "
                    "have no icon of their own",
                    escape_controls(r.href, true).c_str(), escape_controls(r.symbol, true).c_str(),
                    archive != nullptr ? "in the kmz file" : "beside the kml file");
            }
        }
        result.icons.push_back(std::move(icon));
    }

    // The waypoints' symbols, one stored copy per style and set.
    long long want_web = 0;
    std::string set_name = document_name_.empty() ? source_.name : document_name_;
    std::vector<std::unique_ptr<poiset>> filled;
    for (std::size_t s = 0; s < sets_.size(); ++s) {
        set_state& state = sets_[s];
        poiset& set = *state.set;
        std::vector<stored_text> stored(refs_.size());
        for (std::size_t i = 0; i < set.waypoints.size(); ++i) {
            std::uint32_t ref = state.refs[i];
            // A symbol the placemark's data names wins over its style's.
            if (ref == no_ref || symbols[ref].empty() || set.waypoints[i].symbol) continue;
            if (!stored[ref]) stored[ref] = set.store(symbols[ref]);
            set.waypoints[i].symbol = stored[ref];
            if (web[ref]) ++want_web;
        }
        set.is_utf8 = true;
        set.name_is_utf8 = true;
        // With -groups:folders a set takes its folder's name (the document's when the
        // folder has none).
        if (s == 0 || set.name.empty()) set.name = set_name;
        if (set.count() > 0 || (s == 0 && sets_.size() == 1))
            filled.push_back(std::move(state.set));
    }
    if (filled.empty()) {
        filled.push_back(std::move(sets_.front().set));
    }
    if (want_web > 0) {
        report(
            "\n    icons on the web are not fetched: %lli placemarks take the icons "
            "directory's icon named after their style or image instead",
            want_web);
    }
    for (auto& set : filled) list.poisets.push_back(std::move(set));
    result.sets = static_cast<int>(filled.size());
    result.read_in_two = read_in_two_;
    return result;
}

}  // namespace

bool is_zip_archive(std::string_view bytes) {
    return bytes.starts_with("PK\x03\x04") || bytes.starts_with("PK\x05\x06");
}

std::optional<kml_read_result> kml_read(std::string_view bytes, const kml_source& source,
                                        poiset_list& list, const kml_read_options& options,
                                        const passed_text& passed) {
    kml_document_reader reader(source, options);
    if (!is_zip_archive(bytes)) {
        reader.parse(bytes, passed);
        return reader.finish(list, nullptr, {});
    }
    auto archive = kmz_archive::open(bytes, source.name);
    if (!archive) return std::nullopt;
    auto document_name = archive->document_name();
    if (!document_name) {
        report("\nError: The kmz file (%s) holds no kml document (doc.kml)",
               shown_file_name(source.name).c_str());
        return std::nullopt;
    }
    auto document = archive->read(*document_name);
    if (!document) return std::nullopt;
    reader.parse(*document);
    std::string_view dir = *document_name;
    std::size_t slash = dir.find_last_of('/');
    dir = slash == std::string_view::npos ? std::string_view() : dir.substr(0, slash + 1);
    return reader.finish(list, &*archive, dir);
}

}  // namespace velmora
