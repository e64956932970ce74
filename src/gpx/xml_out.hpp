#pragma once
// Texts of the readers' model written into XML documents (GPX, KML): UTF-8 whatever the
// encoding they are held in, escaped for where they go, with the bytes XML does not
// allow as "?"; and the numbers the writers share.
#include <memory>
#include <string>
#include <string_view>

#include "text/output_code_page.hpp"

namespace velmora {

// Where a text goes: which characters it must not hold as they are.  Element text
// escapes "&", "<" and ">", so that it may also stand as HTML inside a CDATA section.
enum class xml_place { element, attribute, cdata };

// The writer of the texts of one encoding (a set's texts, or its name).  A code page's
// bytes are looked up in a table of their UTF-8 forms made once; UTF-8 texts are checked
// character by character.  Each text ends at its first zero byte.
class xml_texts {
  public:
    explicit xml_texts(text_encoding encoding);
    ~xml_texts();
    xml_texts(xml_texts&&) noexcept;
    xml_texts(const xml_texts&) = delete;
    xml_texts& operator=(const xml_texts&) = delete;
    xml_texts& operator=(xml_texts&&) = delete;

    void append(std::string& out, std::string_view text, xml_place place) const;

  private:
    struct impl;
    std::unique_ptr<impl> impl_;
};

void xml_append_int(std::string& out, long long value);

// A speed as a whole number: the integer part of value + 0.5, kept within the int range.
[[nodiscard]] long long rounded_speed(double value);

}  // namespace velmora
