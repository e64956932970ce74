#include "csv/csv_reader.hpp"

#include <array>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <limits>
#include <new>
#include <string>

#include "csv/csv_fields.hpp"
#include "platform/file_kind.hpp"
#include "platform/messages.hpp"
#include "platform/whole_input.hpp"
#include "text/encoding.hpp"
#include "text/line_text.hpp"
#include "text/output_code_page.hpp"
#include "text/strict_numbers.hpp"

namespace velmora {

namespace {

constexpr std::string_view utf8_bom = "\xEF\xBB\xBF";
constexpr int fallback_code_page = 1252;

// Fields of a line: longitude, latitude, name, comment.
constexpr std::size_t csv_columns = 4;
enum column : std::size_t { col_lon, col_lat, col_name, col_comment };

// Problems reported per file; a file of garbage would otherwise flood the console.
constexpr long long reported_problems = 100;

// The field as a coordinate: a decimal number with a decimal point (a comma separates
// fields in this form), nothing else; NaN otherwise.
double coordinate(std::string_view field) {
    if (field.find(',') != std::string_view::npos) return std::numeric_limits<double>::quiet_NaN();
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

// A field cut at csv_max_field_bytes may end inside a UTF-8 sequence; that partial
// character goes.
std::string_view without_partial_utf8(std::string_view text) {
    std::size_t lead = text.size();
    for (std::size_t back = 0; back < 4 && lead > 0; ++back) {
        auto byte = static_cast<unsigned char>(text[--lead]);
        if ((byte & 0xC0u) == 0x80u) continue;  // a continuation byte
        std::size_t length = byte >= 0xF0u ? 4 : byte >= 0xE0u ? 3 : byte >= 0xC0u ? 2 : 1;
        return text.size() - lead < length ? text.substr(0, lead) : text;
    }
    return text;
}

class csv_text_reader {
  public:
    csv_text_reader(poiset& set, std::optional<double> file_speed)
        : set_(set), file_speed_(file_speed) {}

    void read(std::string_view text) {
        csv_record_reader records(text, csv_columns);
        csv_record record;
        while (records.next(record)) read_record(record);
        if (problems_ > reported_problems) {
            report("\nWarning: %lli problems in the CSV file in all", problems_);
        }
    }

  private:
    [[gnu::format(printf, 2, 3)]] void problem(const char* format, ...);

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
            if (record.capped && set_.is_utf8) field = without_partial_utf8(field);
        }
        if (zero) problem("\nWarning: CSV line %lli: a zero byte ends a field", line);

        const auto& fields = record.fields;
        if (record.field_count == 1 && fields[0].empty()) return;  // an empty line
        std::string_view lat_text = fields.size() > col_lat ? fields[col_lat] : "";
        const double lon = coordinate(fields[col_lon]);
        const double lat = coordinate(lat_text);
        if (line == 1 && std::isnan(lon) && std::isnan(lat) &&
            looks_like_column_name(fields[col_lon]) && looks_like_column_name(lat_text)) {
            return;  // a header naming the columns
        }
        if (!(lon >= -180.0 && lon <= 180.0 && lat >= -90.0 && lat <= 90.0)) {
            problem(
                "\nWarning: CSV line %lli skipped: longitude and latitude are not numbers "
                "in range (\"%s\", \"%s\")",
                line, shown(fields[col_lon]).c_str(), shown(lat_text).c_str());
            return;
        }
        if (fields.size() <= col_name) {
            problem("\nWarning: CSV line %lli skipped: it has no name", line);
            return;
        }
        if (record.field_count > csv_columns) {
            problem("\nWarning: CSV line %lli has %zu fields; those after the fourth are ignored",
                    line, record.field_count);
        }

        waypoint* w = poiset_add_waypoint(set_);
        if (w == nullptr) return;
        w->lat = lat;
        w->lon = lon;
        w->flags |= has_position;
        std::string_view name = fields[col_name];
        std::optional<double> speed = file_speed_;
        if (auto split = speed_in_name(name)) {
            name = trim_blanks_right(name.substr(0, split->name_length));
            speed = split->speed;
        }
        if (speed) {
            w->speed = *speed;
            w->proximity = *speed * 10.0;
            w->flags |= has_speed | has_proximity;
        }
        w->name = set_.store(name);
        if (fields.size() > col_comment && !fields[col_comment].empty()) {
            w->comment = set_.store(fields[col_comment]);
        }
    }

    // A value of the file as a message shows it.
    [[nodiscard]] std::string shown(std::string_view value) const {
        return display_text(value, set_.texts_encoding(), shown_value);
    }

    poiset& set_;
    std::optional<double> file_speed_;
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

csv_file_name split_csv_file_name(std::string_view base_name) {
    if (auto split = speed_in_name(base_name)) {
        return {trim_blanks_right(base_name.substr(0, split->name_length)), split->speed};
    }
    return {base_name, std::nullopt};
}

void csv_read_text(std::string_view text, std::string_view base_name, poiset& set) {
    csv_file_name file_name = split_csv_file_name(base_name);
    set.name = file_name.set_name;
    set_encoding(text, set);
    csv_text_reader(set, file_name.speed).read(text);
}

bool csv_read(std::FILE* file, std::string_view base_name, poiset& set) {
    set.name = split_csv_file_name(base_name).set_name;
    std::optional<whole_input> input = whole_input::load(file, "csv");
    if (!input) return false;
    csv_read_text(input->text(), base_name, set);
    input->check_unchanged();
    return true;
}

}  // namespace velmora
