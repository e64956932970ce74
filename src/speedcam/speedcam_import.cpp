#include "speedcam/speedcam_import.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "platform/c_numbers.hpp"
#include "platform/messages.hpp"
#include "platform/page_buffer.hpp"
#include "platform/paths.hpp"
#include "platform/side_by_side.hpp"
#include "platform/whole_input.hpp"
#include "text/line_text.hpp"
#include "text/output_code_page.hpp"
#include "text/strict_numbers.hpp"

namespace velmora {

namespace {

enum column : std::size_t { col_x, col_y, col_type, col_speed, col_dirtype, col_direction };
constexpr std::size_t column_count = 6;
constexpr std::array<std::string_view, column_count> column_names = {
    "X", "Y", "TYPE", "SPEED", "DIRTYPE", "DIRECTION"};

struct camera_type {
    std::string_view name;  // code page 1250
    std::string_view gpx_symbol;
};

// The names are code page 1250 bytes ("\xE9" is "é"; a hex escape would swallow a
// following "b", hence the split literal in the first name).
// clang-format off
constexpr std::array<camera_type, speedcam_type_count> camera_types = {{
    {"Egy\xE9" "b m\xE9r\xE9s",  "Flag, Red"},    // Egyéb mérés
    {"Sebess\xE9gm\xE9r\xE9s",   "Flag, Red"},    // Sebességmérés
    {"Be\xE9p\xEDtett cam.",     "Scenic Area"},  // Beépített cam.
    {"Piros l\xE1mpa \xE9rz.",   "Navaid, Red"},  // Piros lámpa érz.
    {"\xC1tl.seb.m\xE9r\xE9s",   "Scenic Area"},  // Átl.seb.mérés
    {"Mobil kamera",             "Tall Tower"},   // Mobil kamera
    {"Vas\xFAti \xE1tj\xE1r\xF3", "Wrecker"},      // Vasúti átjáró
    {"M\xE9r\xF5hely",           "Car"},          // Mérőhely
}};
// clang-format on

constexpr std::string_view gpi_symbol_prefix = "Speed_";

// The line without its line end: cut at its last line feed, then at its last carriage
// return.  A zero byte ends the text, so no stored string carries one.
std::string_view line_content(std::string_view line) {
    if (std::size_t zero = line.find('\0'); zero != std::string_view::npos) {
        line = line.substr(0, zero);
    }
    if (std::size_t lf = line.rfind('\n'); lf != std::string_view::npos) line = line.substr(0, lf);
    if (std::size_t cr = line.rfind('\r'); cr != std::string_view::npos) line = line.substr(0, cr);
    return line;
}

// Splits a line at every comma: k commas give k + 1 fields.  Throws std::bad_alloc.
void split_fields(std::string_view text, std::vector<std::string_view>& fields) {
    fields.clear();
    std::size_t begin = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == ',') {
            fields.push_back(text.substr(begin, i - begin));
            begin = i + 1;
        }
    }
    fields.push_back(text.substr(begin));
}

// Column indexes taken from the header row.
struct header_columns {
    std::array<std::size_t, column_count> index{};
    std::size_t fields_needed = 0;  // highest index + 1
};

// Finds each column (the last occurrence of a repeated name wins); none, after the error
// message, when one is missing.
std::optional<header_columns> read_header(std::span<const std::string_view> fields) {
    std::array<std::optional<std::size_t>, column_count> found;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        bool known = false;
        for (std::size_t c = 0; c < column_count; ++c) {
            if (equals_ignore_case(fields[i], column_names[c])) {
                found[c] = i;
                known = true;
                break;
            }
        }
        if (!known) report("\nWarning: Unexpected speedcam column name in speedcam file!");
    }
    header_columns columns;
    for (std::size_t c = 0; c < column_count; ++c) {
        if (!found[c]) {
            report("\nError: Undefined speedcam column name(s) in speedcam file!");
            return std::nullopt;
        }
        columns.index[c] = *found[c];
        if (*found[c] + 1 > columns.fields_needed) columns.fields_needed = *found[c] + 1;
    }
    return columns;
}

// Makes waypoints of the camera lines of a list, line by line, into a set.  The buffers
// live as long as the reader, so that a line costs no allocation of its own.
class camera_reader {
  public:
    camera_reader(const speedcam_settings& settings, poiset& set, speedcam_naming names)
        : settings_(settings), set_(set), names_(names), held_{false, &*set.codepage} {}

    // A reader into another set of the same encoding, for the lines after the header
    // that the given reader has read.
    camera_reader(const camera_reader& after_header, poiset& set)
        : camera_reader(after_header.settings_, set, after_header.names_) {
        columns_ = after_header.columns_;
    }

    // Reads the line of that number (the first is the header).  False when the import
    // must stop.
    bool read_line(std::string_view line, long long line_number) {
        std::string_view text = line_content(line);
        try {
            split_fields(text, fields_);
        } catch (const std::bad_alloc&) {
            report("\nError: Can't allocalte memory for speedcam row %lli \"%s\"", line_number,
                   display_text(text, held_, shown_text).c_str());
            return false;
        }
        if (!columns_) {
            columns_ = read_header(fields_);
            return columns_.has_value();
        }
        // Reading by the header's indexes needs every column up to the last one.
        if (fields_.size() < columns_->fields_needed) {
            report_problem(
                "\nWarning: Speedcam line %lli has fewer fields than the header, skipped: \"%s\"",
                line_number, display_text(text, held_).c_str());
            return true;
        }
        std::string_view y_text = field(col_y);
        std::string_view x_text = field(col_x);
        std::optional<double> lat = whole_decimal(y_text);
        std::optional<double> lon = whole_decimal(x_text);
        if (!lat || !lon || std::fabs(*lat) > 90.0 || std::fabs(*lon) > 180.0) {
            report_problem(
                "\nWarning: Speedcam line %lli has an invalid position (X=\"%s\" Y=\"%s\"), "
                "skipped",
                line_number, display_text(x_text, held_, shown_value).c_str(),
                display_text(y_text, held_, shown_value).c_str());
            return true;
        }
        if (!in_region_rect(*lat, *lon, settings_)) return true;

        waypoint* w = poiset_add_waypoint(set_);
        if (w == nullptr) {
            report("\nError: Can't allocate waypoint in speedcam at line %lli", line_number);
            return false;
        }
        fill_camera(*w, *lat, *lon, line_number);
        return true;
    }

  private:
    [[nodiscard]] std::string_view field(column c) const { return fields_[columns_->index[c]]; }

    // Stores the pieces joined as one text of the set.
    stored_text store_joined(std::initializer_list<std::string_view> pieces) {
        joined_.clear();
        for (std::string_view piece : pieces) joined_.append(piece);
        return set_.store(joined_);
    }

    // Fills one camera's waypoint from the fields of its line.
    void fill_camera(waypoint& w, double lat, double lon, long long line_number) {
        w.lat = lat;
        w.lon = lon;
        w.flags |= has_position;

        // Other TYPE values count as type 0.
        int type = c_leading_int(field(col_type));
        std::string_view type_name = speedcam_type_name(type);

        std::string_view speed_text = field(col_speed);
        int alarm = alarm_speed_for(c_leading_int(speed_text), settings_);
        w.flags |= has_proximity | has_speed;
        w.speed = alarm;
        w.proximity = alarm * 10.0 * settings_.proximity_factor;

        switch (names_) {
            case speedcam_naming::gpi:
                w.name = set_.store(type_name);
                w.symbol = store_joined({gpi_symbol_prefix, speed_text});
                break;
            case speedcam_naming::gpx: {
                std::array<char, 24> digits{};
                char* end =
                    std::to_chars(digits.data(), digits.data() + digits.size(), line_number).ptr;
                w.name = store_joined({type_name, " #", std::string_view(digits.data(), end)});
                w.symbol = set_.store(speedcam_gpx_symbol(type));
                break;
            }
            case speedcam_naming::none:
                break;
        }
        w.comment = store_joined({type_name, "@", speed_text});
    }

    const speedcam_settings& settings_;
    poiset& set_;
    const speedcam_naming names_;
    const text_encoding held_;  // of the list's texts, for messages
    std::optional<header_columns> columns_;
    std::vector<std::string_view> fields_;
    std::string joined_;
};

// The bytes of the text up to its first line feed and with it; all without one.
std::size_t through_line_feed(std::string_view text) {
    const void* lf = std::memchr(text.data(), '\n', text.size());
    if (lf == nullptr) return text.size();
    return static_cast<std::size_t>(static_cast<const char*>(lf) - text.data()) + 1;
}

// The number of lines (as bounded_line_length cuts them) in the text.
long long count_lines(std::string_view text) {
    long long count = 0;
    while (!text.empty()) {
        std::size_t length = through_line_feed(text);
        // A line feed ends a line; before it, every max_line_bytes bytes make one.
        count += static_cast<long long>((length + max_line_bytes - 1) / max_line_bytes);
        text.remove_prefix(length);
    }
    return count;
}

// Reads a list held in memory: its header, then its camera lines front to back, or
// those of a large list in two halves at once.
class list_text_reader {
  public:
    list_text_reader(std::string_view text, const speedcam_settings& settings, poiset& set,
                     speedcam_naming names, passed_text passed)
        : text_(text), settings_(settings), set_(set), names_(names), passed_(std::move(passed)) {}

    // The number of the line after the last one; none when the import was stopped.
    std::optional<long long> read_all(std::size_t parallel_from) {
        camera_reader cameras(settings_, set_, names_);
        std::size_t header_end = bounded_line_length(text_);
        if (header_end == 0) return 1;
        if (!cameras.read_line(text_.substr(0, header_end), 1)) return std::nullopt;
        if (text_.size() - header_end >= parallel_from) {
            // The second half starts after a line feed, which always ends a line.
            std::size_t middle = header_end + (text_.size() - header_end) / 2;
            std::size_t cut = middle + through_line_feed(text_.substr(middle));
            if (cut < text_.size()) {
                if (auto read = read_in_two(cameras, header_end, cut)) return *read;
            }
        }
        std::size_t released = 0;
        return read_lines(cameras, header_end, text_.size(), 2, passed_, released);
    }

  private:
    // Reads the lines from one offset to another, numbered from first_number, giving
    // back the bytes read (from released on) as it goes.  The number of the line after
    // the last one; none when the import was stopped.
    std::optional<long long> read_lines(camera_reader& cameras, std::size_t begin, std::size_t end,
                                        long long first_number, const passed_text& passed,
                                        std::size_t& released) const {
        long long number = first_number;
        for (std::size_t at = begin; at < end; ++number) {
            std::size_t length = bounded_line_length(text_.substr(at, end - at));
            if (!cameras.read_line(text_.substr(at, length), number)) return std::nullopt;
            at += length;
            pass_bytes_up_to(passed, released, at);
        }
        return number;
    }

    // Reads the lines before the cut on this thread and the rest on another one into a
    // set of its own, which then joins the set, as one thread reading front to back
    // would have made it, with the same messages.  None (outer) when the two can't run
    // side by side, and nothing was read then.
    std::optional<std::optional<long long>> read_in_two(camera_reader& cameras, std::size_t begin,
                                                        std::size_t cut) {
        poiset rest;
        rest.codepage = set_.codepage;
        camera_reader rest_cameras(cameras, rest);
        std::optional<long long> first_end;
        std::optional<long long> second_end;
        std::string second_messages;
        std::string second_problem;
        // The first half's bytes stay until the other thread has counted its lines.
        std::atomic<bool> counted{false};
        std::size_t first_released = begin;
        passed_text first_passed;
        if (passed_) {
            first_passed = [&](std::size_t, std::size_t to) {
                if (!counted.load(std::memory_order_acquire)) return;
                passed_(first_released, to);
                first_released = to;
            };
        }
        bool ran = run_side_by_side(
            [&] {
                std::size_t released = begin;
                first_end = read_lines(cameras, begin, cut, 2, first_passed, released);
            },
            [&] {
                message_capture capture;
                long long first_number = 2 + count_lines(text_.substr(begin, cut - begin));
                counted.store(true, std::memory_order_release);
                std::size_t released = cut;
                second_end =
                    read_lines(rest_cameras, cut, text_.size(), first_number, passed_, released);
                second_messages = capture.text();
                second_problem = capture.first_problem();
            });
        if (!ran) return std::nullopt;
        // A stop in the first half ends the import before the second half.
        if (!first_end) return std::optional<long long>();
        report_text(second_messages, second_problem);
        // The rest's waypoints view texts in the rest's store, whose blocks move along.
        set_.waypoints.append(std::move(rest.waypoints));
        set_.texts.take_over(std::move(rest.texts));
        return second_end;
    }

    std::string_view text_;
    const speedcam_settings& settings_;
    poiset& set_;
    speedcam_naming names_;
    passed_text passed_;
};

// The cameras' texts are in code page 1250.
void start_camera_set(poiset& set) {
    set.is_utf8 = false;
    set.codepage = code_page::create(1250);
}

}  // namespace

std::string_view speedcam_type_name(int type) {
    if (type < 0 || type >= speedcam_type_count) type = 0;
    return camera_types[static_cast<std::size_t>(type)].name;
}

std::string_view speedcam_gpx_symbol(int type) {
    if (type < 0 || type >= speedcam_type_count) type = 0;
    return camera_types[static_cast<std::size_t>(type)].gpx_symbol;
}

bool import_speedcam_list(std::string_view text, const speedcam_settings& settings, poiset& set,
                          speedcam_naming naming, std::size_t parallel_from) {
    start_camera_set(set);
    list_text_reader reader(text, settings, set, naming, passed_text());
    return reader.read_all(parallel_from).has_value();
}

bool import_speedcam_text(std::FILE* file, const speedcam_settings* settings, poiset& set,
                          speedcam_naming naming, const split_policy& split) {
    if (file == nullptr || settings == nullptr) return false;
    start_camera_set(set);
    // Read whole, so that two threads can read the halves of a large list; the bytes
    // read are given back as the cameras are made of them.
    std::optional<whole_input> input = whole_input::load(file, "txt");
    if (!input) return false;
    list_text_reader reader(input->text(), *settings, set, naming, input->passer());
    bool read = reader.read_all(split.bytes_from(speedcam_bytes_per_camera)).has_value();
    input->check_unchanged();
    return read;
}

}  // namespace velmora
