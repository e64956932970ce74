#include "csv/csv_fields.hpp"

#include <algorithm>

#include "text/line_text.hpp"

namespace velmora {

csv_record_reader::csv_record_reader(std::string_view text, std::size_t kept_fields, char separator,
                                     long long first_line)
    : text_(text),
      line_(first_line),
      kept_fields_(std::max<std::size_t>(kept_fields, 1)),
      separator_(separator) {}

bool csv_record_reader::next(csv_record& record) {
    if (pos_ >= text_.size()) return false;
    record.line = line_;
    record.field_count = 0;
    record.fields.clear();
    record.unterminated = false;
    record.capped = false;
    decoded_.clear();
    decoded_fields_.clear();
    for (;;) {
        read_field(record);
        ++record.field_count;
        if (end_field() != field_end::separator) break;
    }
    // The decoded fields view decoded_ only now that it no longer grows.
    for (const decoded_field& field : decoded_fields_) {
        record.fields[field.index] = std::string_view(decoded_).substr(field.begin, field.length);
    }
    return true;
}

void csv_record_reader::keep_field(csv_record& record, std::string_view value) {
    if (value.size() > csv_max_field_bytes) {
        value = value.substr(0, csv_max_field_bytes);
        record.capped = true;
    }
    record.fields.push_back(value);
}

void csv_record_reader::read_field(csv_record& record) {
    while (pos_ < text_.size() && is_blank(text_[pos_])) ++pos_;
    bool keep = record.fields.size() < kept_fields_;
    if (pos_ < text_.size() && text_[pos_] == '"') {
        read_quoted(record, keep);
        return;
    }
    std::size_t begin = pos_;
    while (pos_ < text_.size() && !ends_field(text_[pos_])) ++pos_;
    if (keep) keep_field(record, trim_blanks_right(text_.substr(begin, pos_ - begin)));
}

bool csv_record_reader::quote_closes(std::size_t pos) const {
    std::size_t p = pos + 1;
    while (p < text_.size() && is_blank(text_[p])) ++p;
    return p >= text_.size() || ends_field(text_[p]);
}

std::size_t csv_record_reader::line_end_from(std::size_t pos) const {
    while (pos < text_.size() && text_[pos] != '\n' && text_[pos] != '\r') ++pos;
    return pos;
}

void csv_record_reader::read_quoted(csv_record& record, bool keep) {
    const std::size_t open = pos_;
    const long long open_line = line_;
    const std::size_t begin = open + 1;
    // Escapes make the field differ from its text: it is then built in decoded_ from the
    // pieces between them.
    bool decoding = false;
    std::size_t decoded_begin = decoded_.size();
    std::size_t piece = begin;
    auto append_capped = [&](std::string_view part) {
        std::size_t room = csv_max_field_bytes - (decoded_.size() - decoded_begin);
        if (part.size() > room) {
            part = part.substr(0, room);
            record.capped = true;
        }
        decoded_.append(part);
    };
    auto escaped_quote = [&](std::size_t at, std::size_t length) {
        if (keep) {
            decoding = true;
            append_capped(text_.substr(piece, at - piece));
            append_capped("\"");
        }
        piece = at + length;
    };

    std::size_t p = begin;
    while (p < text_.size()) {
        char c = text_[p];
        if (c == '"') {
            if (p + 1 < text_.size() && text_[p + 1] == '"') {
                escaped_quote(p, 2);
                p += 2;
                continue;
            }
            if (quote_closes(p)) {
                if (keep) {
                    if (decoding) {
                        append_capped(text_.substr(piece, p - piece));
                        decoded_fields_.push_back(
                            {record.fields.size(), decoded_begin, decoded_.size() - decoded_begin});
                        record.fields.emplace_back();
                    } else {
                        keep_field(record, text_.substr(begin, p - begin));
                    }
                }
                pos_ = p + 1;
                while (pos_ < text_.size() && is_blank(text_[pos_])) ++pos_;
                return;
            }
            ++p;  // a bare quote inside the field
            continue;
        }
        // A field scanned before ran from ahead of here to the end of the text; from
        // here on this one reads the same bytes the same way.
        if (p >= unclosed_from_) break;
        if (c == '\\' && p + 1 < text_.size() && text_[p + 1] == '"') {
            escaped_quote(p, 2);
            p += 2;
        } else if (c == '\n') {
            ++line_;
            ++p;
        } else if (c == '\r') {
            ++line_;
            p += p + 1 < text_.size() && text_[p + 1] == '\n' ? 2 : 1;
        } else {
            ++p;
        }
    }

    // No closing quote: the field is the rest of its line.
    if (unclosed_from_ == std::string_view::npos || open < unclosed_from_) unclosed_from_ = open;
    record.unterminated = true;
    line_ = open_line;
    pos_ = line_end_from(begin);
    if (keep) {
        decoded_.resize(decoded_begin);
        keep_field(record, trim_blanks_right(text_.substr(begin, pos_ - begin)));
    }
}

csv_record_reader::field_end csv_record_reader::end_field() {
    if (pos_ >= text_.size()) return field_end::text_end;
    char c = text_[pos_++];
    if (c == separator_) return field_end::separator;
    if (c == '\r' && pos_ < text_.size() && text_[pos_] == '\n') ++pos_;
    ++line_;
    return field_end::line_end;
}

}  // namespace velmora
