#include "gpx/gpx_reader.hpp"

#include <cerrno>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <string>

#include "gpx/xml_scan.hpp"
#include "platform/c_numbers.hpp"
#include "platform/file_kind.hpp"
#include "platform/messages.hpp"
#include "platform/page_buffer.hpp"
#include "platform/paths.hpp"
#include "platform/side_by_side.hpp"
#include "text/encoding.hpp"

namespace velmora {

namespace {

constexpr std::string_view utf8_bom = "\xEF\xBB\xBF";

// The elements of a wpt the reader looks at; the first of each name inside the wpt
// counts.
enum field_element : std::size_t { e_name, e_cmt, e_desc, e_sym, e_type, e_link, e_time, e_count };
constexpr std::array<std::string_view, e_count> field_names{"name", "cmt",  "desc", "sym",
                                                            "type", "link", "time"};

// Which element gives the name, the comment and the description.
struct field_sources {
    field_element name;
    field_element comment;
    field_element description;
};

field_sources sources_of(reading_profile profile) {
    switch (profile) {
        case reading_profile::monuments:
        case reading_profile::crosses:
            return {e_desc, e_cmt, e_desc};
        case reading_profile::easygps_caches:
            return {e_name, e_desc, e_cmt};
        case reading_profile::dated_monuments:
        case reading_profile::dated_crosses:
            return {e_cmt, e_time, e_desc};
        case reading_profile::plain:
        case reading_profile::typed_geocaches:
            break;
    }
    return {e_name, e_cmt, e_desc};
}

// A search of the whole file, so it goes through memmem, which skips ahead by more than
// one byte at a time.
bool contains(std::string_view text, std::string_view part) {
    return memmem(text.data(), text.size(), part.data(), part.size()) != nullptr;
}

// The first element of each field name inside one wpt element, found in one pass over
// its tags.
std::array<std::optional<std::string_view>, e_count> find_field_elements(std::string_view wpt) {
    std::array<std::optional<std::string_view>, e_count> found;
    std::array<bool, e_count> looked{};
    std::size_t missing = e_count;
    for (std::size_t p = wpt.find('<', 1); p != std::string_view::npos && missing > 0;
         p = wpt.find('<', p + 1)) {
        for (std::size_t k = 0; k < e_count; ++k) {
            if (looked[k]) continue;
            std::string_view name = field_names[k];
            std::size_t after = p + 1 + name.size();
            if (after >= wpt.size() || wpt.compare(p + 1, name.size(), name) != 0) continue;
            char c = wpt[after];
            if (c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != '>' && c != '/') continue;
            looked[k] = true;
            --missing;
            found[k] = xml_element_at(name, wpt, p);
            break;
        }
    }
    return found;
}

// A number written with a decimal point or a decimal comma.
double read_decimal(std::string_view text) {
    std::string copy(text);
    for (char& c : copy) {
        if (c == ',') c = '.';
    }
    return c_leading_double(copy);
}

std::optional<std::string> text_of(const std::optional<std::string_view>& element,
                                   const poiset& set) {
    auto raw = xml_element_text(element);
    if (!raw) return std::nullopt;
    return xml_text_value(*raw, set);
}

void set_encoding(std::string_view text, poiset& set) {
    if (text.starts_with(utf8_bom)) {
        // The byte order mark settles it, whatever a declaration claims.
        set.is_utf8 = true;
        set.locale.reset();
        return;
    }
    std::size_t open = text.find("<?xml");
    if (open == std::string_view::npos) return;
    std::size_t close = text.find("?>", open);
    if (close == std::string_view::npos) return;
    std::string_view declaration = text.substr(open, close + 2 - open);
    poiset bare;
    std::string enc = "1250";
    if (auto value = xml_attribute("encoding", declaration)) {
        enc = xml_decode_references(*value, bare);
    }
    if (equals_ignore_case(enc, "utf-8")) {
        set.is_utf8 = true;
        set.locale.reset();
        return;
    }
    set.is_utf8 = false;
    set.locale = code_page::from_locale_name("." + enc);
    if (!set.locale) {
        if (auto name = code_page_locale_name(enc)) set.locale = code_page::from_locale_name(*name);
    }
    if (!set.locale) {
        report("\nError converting Encoding=\"%s\" to locale in xml file!\nUsing 1250 instead.",
               enc.c_str());
        set.locale = code_page::create(1250);
    }
}

bool is_valid_position(double lat, double lon) {
    return std::isfinite(lat) && std::isfinite(lon) && std::fabs(lat) <= 90.0 &&
           std::fabs(lon) <= 180.0;
}

// The comment of a dated monument: the date of the time text, then the description.
std::string dated_comment(const std::string& time, const std::string& description) {
    std::string out = time.size() <= 11 ? time : time.substr(0, 10) + " ";
    out += description;
    return out;
}

// Told that the reader will not look at the bytes between two offsets again.
using passed_text = std::function<void(std::size_t, std::size_t)>;

// Texts are given back in steps of this many bytes, so that telling it costs little.
constexpr std::size_t release_step = std::size_t{1} << 20;

class gpx_text_reader {
  public:
    gpx_text_reader(std::string_view text, poiset& set)
        : text_(text), set_(set), profile_(choose_reading_profile(text)) {
        if (profile_ == reading_profile::typed_geocaches) type_table_ = geocache_type_table_build();
    }

    // Reads every waypoint, on two threads when the text is at least parallel_from bytes
    // long and the machine has two processors.  The result and the messages are those
    // of one thread reading front to back.
    void read_all(const passed_text& passed, std::size_t parallel_from) {
        if (text_.size() >= parallel_from) {
            std::size_t cut = chain_cut(text_.size() / 2);
            if (cut < text_.size() && read_in_two(cut, passed)) return;
        }
        read_range(0, text_.size(), set_, passed);
    }

  private:
    // Reads the waypoints of the elements that the search finds from the offset from
    // until it reaches the offset to (or the text's end): every search starts where
    // the element before ended, so nothing before it is read again.
    void read_range(std::size_t from, std::size_t to, poiset& into, const passed_text& passed) {
        std::size_t cursor = from;
        std::size_t released = from;
        while (cursor < to) {
            auto element = xml_next_element("wpt", text_, cursor);
            if (!element) break;
            read_waypoint(*element, into);
            if (passed && cursor - released >= release_step) {
                passed(released, cursor);
                released = cursor;
            }
        }
    }

    // The end of the first element that reaches the offset, where a second thread can
    // start reading as the single one would go on; the text's size when the elements
    // end before it.  Only the element search runs here, which is a small part of the
    // reading.
    std::size_t chain_cut(std::size_t offset) const {
        std::size_t cursor = 0;
        while (cursor < offset) {
            if (!xml_next_element("wpt", text_, cursor)) return text_.size();
        }
        return cursor;
    }

    // Reads the text before the cut on this thread and the rest on another one; false,
    // with nothing read, when the two can't run side by side.
    bool read_in_two(std::size_t cut, const passed_text& passed) {
        poiset rest;
        rest.is_utf8 = set_.is_utf8;
        rest.locale = set_.locale;
        if (!run_side_by_side([&] { read_range(0, cut, set_, passed); },
                              [&] { read_range(cut, text_.size(), rest, passed); })) {
            return false;
        }
        set_.waypoints.insert(set_.waypoints.end(), std::make_move_iterator(rest.waypoints.begin()),
                              std::make_move_iterator(rest.waypoints.end()));
        return true;
    }

    // Reads one element into the set; the reading state is never written, so that two
    // threads can read at once.
    void read_waypoint(std::string_view wpt, poiset& into) const;

    std::string_view text_;
    poiset& set_;
    reading_profile profile_;
    field_list type_table_;
};

void gpx_text_reader::read_waypoint(std::string_view wpt, poiset& into) const {
    auto lat_text = xml_attribute("lat", wpt);
    auto lon_text = xml_attribute("lon", wpt);
    if (!lat_text || !lon_text) return;

    auto elements = find_field_elements(wpt);
    field_sources from = sources_of(profile_);
    std::optional<std::string> name = text_of(elements[from.name], set_);
    std::optional<std::string> comment = text_of(elements[from.comment], set_);
    std::optional<std::string> description = text_of(elements[from.description], set_);

    std::optional<std::string> symbol;
    if (auto sym = xml_element_text(elements[e_sym], "")) {
        symbol = xml_decode_references(*sym, set_);
    }
    switch (profile_) {
        case reading_profile::typed_geocaches:
            symbol = geocache_symbol(std::move(symbol), type_table_,
                                     text_of(elements[e_type], set_), comment);
            break;
        case reading_profile::monuments:
        case reading_profile::dated_monuments:
            symbol = std::string(monument_symbol);
            break;
        case reading_profile::crosses:
        case reading_profile::dated_crosses:
            symbol = std::string(cross_symbol);
            break;
        case reading_profile::plain:
        case reading_profile::easygps_caches:
            break;
    }
    if (profile_ == reading_profile::dated_monuments && comment && description) {
        comment = dated_comment(*comment, *description);
    }

    double lat = read_decimal(xml_decode_references(*lat_text, set_));
    double lon = read_decimal(xml_decode_references(*lon_text, set_));
    if (!name) name.emplace();
    if (!is_valid_position(lat, lon)) {
        report(
            "\nWarning: Waypoint (%s) has an invalid position (lat=\"%.*s\" lon=\"%.*s\"), "
            "ignored",
            name->c_str(), static_cast<int>(std::min<std::size_t>(lat_text->size(), 40)),
            lat_text->data(), static_cast<int>(std::min<std::size_t>(lon_text->size(), 40)),
            lon_text->data());
        return;
    }

    waypoint* w = poiset_add_waypoint(into);
    if (w == nullptr) {
        report("\nError: Can't allocate waypoint! Ignoring");
        return;
    }
    w->lat = lat;
    w->lon = lon;
    w->flags |= has_position;
    if (std::size_t at = name->find('@'); at != std::string::npos) {
        double speed = read_decimal(std::string_view(*name).substr(at + 1));
        if (!std::isfinite(speed)) speed = 0.0;
        name->resize(at);
        w->speed = speed;
        w->proximity = speed * 10.0;
        w->flags |= has_proximity | has_speed;
    }
    w->name = std::move(name);
    w->comment = std::move(comment);
    w->description = std::move(description);
    w->symbol = symbol ? ascii_lower(*symbol) : std::string();
    if (auto link = xml_element_text(elements[e_link])) w->link = std::string(*link);
}

}  // namespace

reading_profile choose_reading_profile(std::string_view text) {
    std::string_view creator;
    std::size_t gpx = std::string_view::npos;
    for (std::size_t p = text.find("<gpx"); p != std::string_view::npos;
         p = text.find("<gpx", p + 1)) {
        char c = p + 4 < text.size() ? text[p + 4] : '\0';
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '>' || c == '/') {
            gpx = p;
            break;
        }
    }
    if (gpx != std::string_view::npos) {
        creator = xml_attribute("creator", text.substr(gpx)).value_or("");
    }
    if (creator.size() >= 3 && equals_ignore_case(creator.substr(0, 3), "Skr")) {
        return reading_profile::typed_geocaches;
    }
    if (contains(text, monument_register_address)) {
        return contains(text, "<sym>Building</sym>") ? reading_profile::dated_monuments
                                                     : reading_profile::monuments;
    }
    if (contains(text, cross_register_address)) {
        return contains(text, "<sym>Cemetery</sym>") ? reading_profile::dated_crosses
                                                     : reading_profile::crosses;
    }
    if (contains(text, "creator=\"EasyGPS") && contains(text, cache_page_address)) {
        return reading_profile::easygps_caches;
    }
    return reading_profile::plain;
}

namespace {

void read_text(std::string_view text, poiset& set, const passed_text& passed,
               std::size_t parallel_from) {
    if (const void* zero = std::memchr(text.data(), 0, text.size())) {
        text =
            text.substr(0, static_cast<std::size_t>(static_cast<const char*>(zero) - text.data()));
    }
    set_encoding(text, set);
    gpx_text_reader reader(text, set);
    reader.read_all(passed, parallel_from);
}

}  // namespace

void gpx_read_text(std::string_view text, poiset& set, std::size_t parallel_from) {
    read_text(text, set, nullptr, parallel_from);
}

bool gpx_read(std::FILE* file, poiset& set) {
    // A regular file is read from its start into a buffer of its size; any other stream
    // (a pipe, a device, a directory opened by mistake) is read in chunks to its end,
    // since the size it tells means nothing.
    std::optional<std::uint64_t> file_size = regular_file_size(file);
    if (file_size && std::fseek(file, 0, SEEK_SET) != 0) file_size.reset();
    if (file_size) {
        auto size = static_cast<std::size_t>(*file_size);
        // The text read is given back page by page as the waypoints are built from it, so
        // that the file and its waypoints never take memory together.
        std::optional<page_buffer> buffer =
            size < SIZE_MAX ? page_buffer::allocate(size + 1) : std::nullopt;
        if (!buffer) {
            report("\nError: Can't allocate %zu while importing xml file", size + 1);
            return false;
        }
        std::size_t got = std::fread(buffer->data(), 1, size, file);
        if (got < size) {
            report(
                "\nError: Reading the xml file failed after %zu of %zu bytes; nothing imported. "
                "(%s)",
                got, size, std::ferror(file) != 0 ? std::strerror(errno) : "file shorter than its size");
            return false;
        }
        buffer->data()[size] = '\0';
        read_text(
            std::string_view(buffer->data(), size), set,
            [&buffer](std::size_t from, std::size_t to) { buffer->release_between(from, to); },
            gpx_parallel_from);
        return true;
    }
    std::string text;
    try {
        std::array<char, 65536> chunk;
        std::size_t got = 0;
        while ((got = std::fread(chunk.data(), 1, chunk.size(), file)) > 0) {
            text.append(chunk.data(), got);
        }
    } catch (const std::bad_alloc&) {
        report("\nError: Can't allocate %zu while importing xml file", text.size() + 1);
        return false;
    }
    if (std::ferror(file)) {
        report("\nError: Reading the xml file failed after %zu bytes; nothing imported. (%s)",
               text.size(), std::strerror(errno));
        return false;
    }
    gpx_read_text(text, set);
    return true;
}

}  // namespace velmora
