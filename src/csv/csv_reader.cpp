#include "csv/csv_reader.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "csv/csv_fields.hpp"
#include "model/field_names.hpp"
#include "platform/file_kind.hpp"
#include "platform/messages.hpp"
#include "platform/paths.hpp"
#include "platform/whole_input.hpp"
#include "text/encoding.hpp"
#include "text/line_text.hpp"
#include "text/output_code_page.hpp"
#include "text/strict_numbers.hpp"
#include "text/utf8.hpp"

namespace velmora {

namespace {

constexpr std::string_view utf8_bom = "\xEF\xBB\xBF";
constexpr int fallback_code_page = 1252;

// The columns of a file without a header: longitude, latitude, name, comment.
constexpr std::array<field_kind, 4> loader_columns{field_kind::longitude, field_kind::latitude,
                                                   field_kind::name, field_kind::comment};

// Problems reported per file; a file of garbage would otherwise flood the console.
constexpr long long reported_problems = 100;

// The separators a file may use, the first preferred where the first line can't tell.
constexpr std::array<char, 3> separators{',', ';', '\t'};

// The field as a number: a decimal number, nothing else; NaN otherwise.  Where a comma
// separates the fields a number has a decimal point; with ";" or a tab a decimal comma
// reads as a point.
double number_of(std::string_view field, char separator) {
    if (separator == ',' && field.find(',') != std::string_view::npos) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    return whole_decimal(field).value_or(std::numeric_limits<double>::quiet_NaN());
}

// A field of a header line: a column name in printable characters.
bool looks_like_column_name(std::string_view field) {
    if (field.empty()) return false;
    for (char c : field) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20u || byte == 0x7Fu) return false;
    }
    return true;
}

// The first record of a text, split at a separator.
struct first_line {
    std::size_t field_count = 0;
    std::vector<std::string> fields;  // at most csv_max_columns
};

first_line first_record(std::string_view text, char separator) {
    csv_record_reader reader(text, csv_max_columns, separator);
    csv_record record;
    first_line line;
    if (!reader.next(record)) return line;
    line.field_count = record.field_count;
    line.fields.assign(record.fields.begin(), record.fields.end());
    return line;
}

// Whether the record starts with two numbers, as a line with a position does.
bool starts_with_numbers(const first_line& record, char separator) {
    return record.fields.size() >= 2 && !std::isnan(number_of(record.fields[0], separator)) &&
           !std::isnan(number_of(record.fields[1], separator));
}

// Whether the record names columns: its first two fields are no numbers, and it has at
// least two names, all of printable characters (a title line of one field is no header).
bool names_columns(const first_line& record, char separator) {
    for (std::size_t i = 0; i < 2 && i < record.fields.size(); ++i) {
        if (!std::isnan(number_of(record.fields[i], separator))) return false;
    }
    std::size_t names = 0;
    for (const std::string& field : record.fields) {
        if (field.empty()) continue;
        if (!looks_like_column_name(field)) return false;
        ++names;
    }
    return names >= 2;
}

// The column of points in the well-known text of geometries, as Google My Maps and
// QGIS export it.
bool is_wkt_name(std::string_view name) {
    return equals_ignore_case(trim_blanks(name), "wkt");
}

std::size_t known_names(const first_line& record) {
    std::size_t known = 0;
    for (const std::string& field : record.fields) {
        known += field_kind_of(field) != field_kind::none || is_wkt_name(field);
    }
    return known;
}

// Longitude and latitude of a point in well-known text: "POINT (19.04 47.49)", also
// with Z or M coordinates after them ("POINT Z (19.04 47.49 120)").
std::optional<std::pair<double, double>> wkt_point(std::string_view text) {
    text = trim_blanks(text);
    constexpr std::string_view point = "point";
    if (text.size() < point.size() || !equals_ignore_case(text.substr(0, point.size()), point)) {
        return std::nullopt;
    }
    std::size_t open = text.find('(');
    if (open == std::string_view::npos || !text.ends_with(')')) return std::nullopt;
    for (char c : text.substr(point.size(), open - point.size())) {
        if (c != ' ' && c != 'z' && c != 'Z' && c != 'm' && c != 'M') return std::nullopt;
    }
    std::string_view inner = text.substr(open + 1, text.size() - open - 2);
    std::optional<double> numbers[2];
    for (auto& number : numbers) {
        inner = skip_blanks(inner);
        std::size_t end = inner.find_first_of(" \t");
        number = whole_decimal(inner.substr(0, end));
        if (!number || inner.substr(0, end).find(',') != std::string_view::npos)
            return std::nullopt;
        inner = end == std::string_view::npos ? std::string_view() : inner.substr(end);
    }
    return std::pair{*numbers[0], *numbers[1]};
}

// The separator that a first line "sep=;" names, and the length of that line with its
// line end.
std::optional<std::pair<char, std::size_t>> separator_line(std::string_view text) {
    constexpr std::string_view sep = "sep=";
    if (text.size() <= sep.size() || !equals_ignore_case(text.substr(0, sep.size()), sep)) {
        return std::nullopt;
    }
    char separator = text[sep.size()];
    if (separator != ',' && separator != ';' && separator != '\t') return std::nullopt;
    std::size_t end = sep.size() + 1;
    if (end < text.size() && text[end] == '\r') ++end;
    if (end < text.size() && text[end] == '\n') ++end;
    if (end < text.size() && text[end - 1] != '\n' && text[end - 1] != '\r') return std::nullopt;
    return std::pair{separator, end};
}

// The kinds of field a waypoint takes from a line, each from the first column of its
// kind that is not empty.
constexpr std::size_t field_kinds = static_cast<std::size_t>(field_kind::proximity) + 1;

class csv_text_reader {
  public:
    csv_text_reader(poiset& set, std::optional<double> file_speed)
        : set_(set), file_speed_(file_speed) {}

    // False (after a message) when the header names no position.  The bytes of the records
    // read are told to passed (when there is one) as the reading goes on.
    bool read(std::string_view text, const passed_text& passed) {
        csv_layout layout = csv_layout_of(text);
        separator_ = layout.separator;
        header_ = layout.header;
        text.remove_prefix(layout.body);
        std::size_t kept = loader_columns.size();
        if (layout.header) {
            columns_ = std::move(layout.columns);
            header_fields_ = layout.header_fields;
            first_line header = first_record(text, separator_);
            name_columns_in_code_page(header);
            if (!check_header(header, layout.first_line)) return false;
            // Only the fields up to the last column of a known kind are kept.
            kept = wkt_column_ ? *wkt_column_ + 1 : 0;
            for (std::size_t i = 0; i < columns_.size(); ++i) {
                if (columns_[i] != field_kind::none) kept = std::max(kept, i + 1);
            }
        } else {
            columns_.assign(loader_columns.begin(), loader_columns.end());
        }
        csv_record_reader records(text, kept, separator_, layout.first_line);
        csv_record record;
        if (layout.header) (void)records.next(record);
        std::size_t released = 0;
        while (records.next(record)) {
            read_record(record);
            pass_bytes_up_to(passed, released, layout.body + records.position());
        }
        if (problems_ > reported_problems) {
            report("\nWarning: %lli problems in the CSV file in all", problems_);
        }
        return true;
    }

  private:
    [[gnu::format(printf, 2, 3)]] void problem(const char* format, ...);

    [[nodiscard]] std::optional<std::size_t> column_of(field_kind kind) const {
        for (std::size_t i = 0; i < columns_.size(); ++i) {
            if (columns_[i] == kind) return i;
        }
        return std::nullopt;
    }

    // Names with letters beyond ASCII ("Länge", "Teléfono") in a file of code page 1252
    // are known by their UTF-8 form.
    void name_columns_in_code_page(const first_line& header) {
        if (set_.is_utf8) return;
        for (std::size_t i = 0; i < columns_.size() && i < header.fields.size(); ++i) {
            if (columns_[i] != field_kind::none ||
                ascii_prefix(header.fields[i]) == header.fields[i].size()) {
                continue;
            }
            if (auto utf8 = codepage_text_to_utf8(header.fields[i], set_.codepage)) {
                columns_[i] = field_kind_of(*utf8);
            }
        }
    }

    // The header must name a latitude and a longitude column, or else a WKT column;
    // the columns it names without a known meaning are listed once.
    bool check_header(const first_line& header, long long line) {
        bool lat = column_of(field_kind::latitude).has_value();
        bool lon = column_of(field_kind::longitude).has_value();
        for (std::size_t i = 0; i < header.fields.size(); ++i) {
            if (is_wkt_name(header.fields[i])) {
                wkt_column_ = i;
                break;
            }
        }
        if (lat && lon) {
            wkt_column_.reset();
        } else if (wkt_column_) {
            lat = lon = true;
        }
        if (!lat || !lon) {
            std::string looked_for;
            if (!lat) looked_for += "latitude: " + field_names_of(field_kind::latitude);
            if (!lon) {
                if (!looked_for.empty()) looked_for += "; ";
                looked_for += "longitude: " + field_names_of(field_kind::longitude);
            }
            report(
                "\nError: The CSV header (line %lli) names no %s column, so the file is not "
                "read. Column names looked for (any letter case): %s; or else wkt",
                line,
                !lat && !lon ? "latitude and no longitude"
                : !lat       ? "latitude"
                             : "longitude",
                looked_for.c_str());
            return false;
        }
        std::string unknown;
        for (std::size_t i = 0; i < columns_.size() && i < header.fields.size(); ++i) {
            if (columns_[i] != field_kind::none || header.fields[i].empty()) continue;
            if (wkt_column_ == i) continue;
            if (!unknown.empty()) unknown += ", ";
            unknown += shown(header.fields[i]);
        }
        if (!unknown.empty()) {
            report("\nWarning: CSV header: columns of no known meaning are not read: %s",
                   unknown.c_str());
        }
        if (header_fields_ > csv_max_columns) {
            report("\nWarning: CSV header: only its first %zu columns are read", csv_max_columns);
        }
        return true;
    }

    void read_record(csv_record& record) {
        const long long line = record.line;
        if (record.unterminated) {
            problem(
                "\nWarning: CSV line %lli: a quoted field has no closing quote; it ends "
                "with its line",
                line);
        }
        if (record.capped) {
            problem("\nWarning: CSV line %lli: a field longer than %zu bytes was cut", line,
                    csv_max_field_bytes);
        }
        bool zero = false;
        for (std::string_view& field : record.fields) {
            if (const void* at = std::memchr(field.data(), 0, field.size())) {
                field = field.substr(
                    0, static_cast<std::size_t>(static_cast<const char*>(at) - field.data()));
                zero = true;
            }
            // A field cut at csv_max_field_bytes may end inside a UTF-8 sequence; that
            // partial character goes.
            if (record.capped && set_.is_utf8) field = without_partial_utf8(field);
        }
        if (zero) problem("\nWarning: CSV line %lli: a zero byte ends a field", line);

        const auto& fields = record.fields;
        if (record.field_count == 1 && fields[0].empty()) return;  // an empty line

        // Each kind from the first column of that kind that is not empty.
        std::array<std::optional<std::string_view>, field_kinds> values{};
        std::array<bool, field_kinds> seen{};
        for (std::size_t i = 0; i < fields.size() && i < columns_.size(); ++i) {
            auto kind = static_cast<std::size_t>(columns_[i]);
            if (kind >= field_kinds) continue;  // a kind that CSV files don't carry
            seen[kind] = true;
            if (!values[kind] && !fields[i].empty()) values[kind] = fields[i];
        }
        auto value = [&](field_kind kind) { return values[static_cast<std::size_t>(kind)]; };
        double lon = 0.0;
        double lat = 0.0;
        if (wkt_column_) {
            std::string_view wkt = *wkt_column_ < fields.size() ? fields[*wkt_column_] : "";
            auto point = wkt_point(wkt);
            if (point) std::tie(lon, lat) = *point;
            if (!point || !(lon >= -180.0 && lon <= 180.0 && lat >= -90.0 && lat <= 90.0)) {
                problem("\nWarning: CSV line %lli skipped: its WKT is no point in range (\"%s\")",
                        line, shown(wkt).c_str());
                return;
            }
        } else {
            std::string_view lon_text = value(field_kind::longitude).value_or("");
            std::string_view lat_text = value(field_kind::latitude).value_or("");
            lon = number_of(lon_text, separator_);
            lat = number_of(lat_text, separator_);
            if (!(lon >= -180.0 && lon <= 180.0 && lat >= -90.0 && lat <= 90.0)) {
                problem(
                    "\nWarning: CSV line %lli skipped: longitude and latitude are not numbers "
                    "in range (\"%s\", \"%s\")",
                    line, shown(lon_text).c_str(), shown(lat_text).c_str());
                return;
            }
        }
        // A line too short to hold the name column is cut; a header may name none.
        if (!seen[static_cast<std::size_t>(field_kind::name)] && column_of(field_kind::name)) {
            problem("\nWarning: CSV line %lli skipped: it has no name", line);
            return;
        }
        if (record.field_count > (header_ ? header_fields_ : columns_.size())) {
            if (header_) {
                problem(
                    "\nWarning: CSV line %lli has %zu fields, more than the header's %zu; the "
                    "others are ignored",
                    line, record.field_count, header_fields_);
            } else {
                problem(
                    "\nWarning: CSV line %lli has %zu fields; those after the fourth are ignored",
                    line, record.field_count);
            }
        }

        waypoint* w = poiset_add_waypoint(set_);
        if (w == nullptr) return;
        w->lat = lat;
        w->lon = lon;
        w->flags |= has_position;
        std::string_view name = value(field_kind::name).value_or("");
        std::optional<double> speed = file_speed_;
        if (auto split = speed_in_name(name)) {
            name = trim_blanks_right(name.substr(0, split->name_length));
            speed = split->speed;
        }
        if (auto text = value(field_kind::speed)) {
            double given = number_of(*text, separator_);
            if (given > 0.0 && given <= max_speed_in_name) speed = given;
        }
        if (speed) {
            w->speed = *speed;
            w->proximity = *speed * 10.0;
            w->flags |= has_speed | has_proximity | proximity_from_speed;
        }
        if (auto text = value(field_kind::proximity)) {
            double metres = number_of(*text, separator_);
            if (metres > 0.0) {
                w->proximity = metres;
                w->flags = (w->flags | has_proximity) & ~proximity_from_speed;
            }
        }
        w->name = set_.store(name);
        if (auto text = value(field_kind::comment)) w->comment = set_.store(*text);
        if (auto text = value(field_kind::description)) w->description = set_.store(*text);
        if (auto text = value(field_kind::symbol)) w->symbol = set_.store(*text);
        if (auto text = value(field_kind::category)) (void)set_.add_to_category(*w, *text);
        for (const auto& [kind, key] : address_parts) {
            if (auto text = value(kind)) {
                set_.details_for(*w).address.push_back({set_.store(key), set_.store(*text)});
            }
        }
        for (const auto& [kind, key] : contacts) {
            if (auto text = value(kind)) {
                set_.details_for(*w).phones.push_back({set_.store(key), set_.store(*text)});
            }
        }
    }

    // A value of the file as a message shows it.
    [[nodiscard]] std::string shown(std::string_view value) const {
        return display_text(value, set_.texts_encoding(), shown_value);
    }

    static constexpr std::pair<field_kind, std::string_view> address_parts[] = {
        {field_kind::street, address_street},     {field_kind::house_number, address_house_number},
        {field_kind::city, address_city},         {field_kind::state, address_state},
        {field_kind::postcode, address_postcode}, {field_kind::country, address_country}};
    static constexpr std::pair<field_kind, std::string_view> contacts[] = {
        {field_kind::phone, contact_phone},
        {field_kind::email, contact_email},
        {field_kind::web, contact_web}};

    poiset& set_;
    std::optional<double> file_speed_;
    char separator_ = ',';
    bool header_ = false;
    std::size_t header_fields_ = 0;
    std::optional<std::size_t> wkt_column_;  // the column of WKT points, without lat and lon
    std::vector<field_kind> columns_;
    long long problems_ = 0;
};

void csv_text_reader::problem(const char* format, ...) {
    ++problems_;
    if (problems_ > reported_problems) return;
    va_list args;
    va_start(args, format);
    char buffer[512];
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    report_problem("%s", buffer);
    if (problems_ == reported_problems) {
        report("\nWarning: further problems in this CSV file are not reported one by one");
    }
}

void set_encoding(std::string_view& text, poiset& set) {
    if (text.starts_with(utf8_bom)) {
        text.remove_prefix(utf8_bom.size());
        set.is_utf8 = true;
    } else {
        set.is_utf8 = is_valid_utf8(text);
    }
    if (set.is_utf8) {
        set.codepage.reset();
    } else {
        set.codepage = code_page::create(fallback_code_page);
    }
}

}  // namespace

csv_layout csv_layout_of(std::string_view text) {
    if (text.starts_with(utf8_bom)) text.remove_prefix(utf8_bom.size());
    csv_layout layout;
    std::array<first_line, separators.size()> records;
    std::size_t chosen = 0;
    if (auto named = separator_line(text)) {
        layout.separator = named->first;
        layout.body = named->second;
        layout.first_line = 2;
        text.remove_prefix(layout.body);
        records[0] = first_record(text, layout.separator);
    } else {
        // A line with a position tells the separator at once; a header by the names it
        // knows; anything else by the number of fields.
        for (std::size_t i = 0; i < separators.size(); ++i) {
            records[i] = first_record(text, separators[i]);
            if (starts_with_numbers(records[i], separators[i])) {
                layout.separator = separators[i];
                return layout;
            }
        }
        std::size_t best_known = 0;
        for (std::size_t i = 0; i < separators.size(); ++i) {
            std::size_t known = known_names(records[i]);
            if (known > best_known) {
                best_known = known;
                chosen = i;
            }
        }
        if (best_known == 0) {
            for (std::size_t i = 1; i < separators.size(); ++i) {
                if (records[i].field_count > records[chosen].field_count) chosen = i;
            }
        }
        layout.separator = separators[chosen];
    }
    const first_line& first = records[chosen];
    if (names_columns(first, layout.separator)) {
        layout.header = true;
        layout.header_fields = first.field_count;
        layout.columns.reserve(first.fields.size());
        for (const std::string& field : first.fields)
            layout.columns.push_back(field_kind_of(field));
    }
    return layout;
}

csv_file_name split_csv_file_name(std::string_view base_name) {
    if (auto split = speed_in_name(base_name)) {
        return {trim_blanks_right(base_name.substr(0, split->name_length)), split->speed};
    }
    return {base_name, std::nullopt};
}

namespace {

bool read_csv(std::string_view text, std::string_view base_name, poiset& set,
              const passed_text& passed) {
    csv_file_name file_name = split_csv_file_name(base_name);
    set.name = file_name.set_name;
    set_encoding(text, set);
    return csv_text_reader(set, file_name.speed).read(text, passed);
}

}  // namespace

bool csv_read_text(std::string_view text, std::string_view base_name, poiset& set) {
    return read_csv(text, base_name, set, {});
}

bool csv_read(std::FILE* file, std::string_view base_name, poiset& set) {
    set.name = split_csv_file_name(base_name).set_name;
    // The text is mapped from the file (or read whole) and given back page by page as the
    // records are read, which also moves the progress display on.
    std::optional<whole_input> input = whole_input::load(file, "csv");
    if (!input) return false;
    bool read = read_csv(input->text(), base_name, set, input->passer());
    input->check_unchanged();
    return read;
}

}  // namespace velmora
