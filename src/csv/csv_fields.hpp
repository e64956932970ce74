#pragma once
// Records of comma-separated text: fields as RFC 4180 has them (quoted fields may hold
// commas, doubled quotes and line breaks), also the forms real files use: a quote
// escaped by a backslash, blanks around fields and bare quotes inside a quoted field.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// Longest field kept; the bytes after it are dropped.
inline constexpr std::size_t csv_max_field_bytes = 64 * 1024;

struct csv_record {
    long long line = 0;                    // the line on which the record starts, from 1
    std::size_t field_count = 0;           // fields of the record, kept or not
    std::vector<std::string_view> fields;  // the first fields, their quotes and escapes undone
    bool unterminated = false;  // a quoted field had no closing quote (it ends with its line)
    bool capped = false;        // a field was longer than csv_max_field_bytes and was cut
};

// Reads the records of a text one after the other.  Fields are separated by a comma, or
// by the separator given (";" or a tab).  Line ends are LF, CR LF or a lone CR.  Blanks
// (spaces, and tabs when they don't separate) around a field are dropped; a field whose
// first other character is a quote is quoted.  Inside it "" and \" stand for a quote,
// and a quote ends the field only when blanks and then a separator or a line end follow
// it; any other quote is part of the text.  A quoted field that no quote ends before the end of the
// text is taken up to the end of its line, and reading goes on with the next line.
//
// The fields stay valid until the next call; they view the text or the reader's own
// storage.  Every byte of the text is looked at a bounded number of times, whatever it
// holds.
class csv_record_reader {
  public:
    // Keeps at most kept_fields fields of each record (at least one).  The text's first
    // line has the number given.
    csv_record_reader(std::string_view text, std::size_t kept_fields, char separator = ',',
                      long long first_line = 1);

    // The next record; false at the end of the text.
    [[nodiscard]] bool next(csv_record& record);

    // Where the next record begins: the reader does not look at the text before it again.
    [[nodiscard]] std::size_t position() const { return pos_; }

  private:
    enum class field_end { separator, line_end, text_end };

    void read_field(csv_record& record);
    void read_quoted(csv_record& record, bool keep);
    // Whether the quote at pos ends a quoted field.
    [[nodiscard]] bool quote_closes(std::size_t pos) const;
    [[nodiscard]] field_end end_field();
    void keep_field(csv_record& record, std::string_view value);
    [[nodiscard]] std::size_t line_end_from(std::size_t pos) const;
    [[nodiscard]] bool is_blank(char c) const { return (c == ' ' || c == '\t') && c != separator_; }
    [[nodiscard]] bool ends_field(char c) const {
        return c == separator_ || c == '\n' || c == '\r';
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    long long line_ = 1;
    std::size_t kept_fields_;
    char separator_;
    std::string decoded_;  // the record's quoted fields with escapes, undone
    struct decoded_field {
        std::size_t index;  // in csv_record::fields
        std::size_t begin;  // in decoded_
        std::size_t length;
    };
    std::vector<decoded_field> decoded_fields_;
    // Where a quoted field that ran to the end of the text began; a later quoted field
    // that reaches the text after it can't end either.
    std::size_t unclosed_from_ = std::string_view::npos;
};

}  // namespace velmora
