#pragma once
// Texts of one encoding as JSON strings in UTF-8, for the writers of JSON and of pages
// that carry JSON: UTF-8 texts are checked character by character (bytes that form no
// character become U+FFFD), code-page texts go byte by byte through a table of their
// escaped UTF-8 forms.  Each text ends at its first zero byte.  What an ASCII character
// becomes is the writer's choice (a table of 128 forms).
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "text/output_code_page.hpp"

namespace velmora {

// What one byte of a text becomes inside a JSON string: at most six bytes ("\u001f").
struct json_form {
    std::array<char, 6> bytes{};
    std::uint8_t length = 0;
};

using json_ascii_forms = std::array<json_form, 128>;

// A form of its own text (at most six bytes).
[[nodiscard]] constexpr json_form json_form_of(std::string_view text) {
    json_form form;
    for (std::size_t i = 0; i < text.size() && i < form.bytes.size(); ++i) form.bytes[i] = text[i];
    form.length = static_cast<std::uint8_t>(text.size());
    return form;
}

class json_texts {
  public:
    json_texts(text_encoding encoding, const json_ascii_forms& ascii);

    // Appends the text in quotes.
    void append(std::string& out, std::string_view text) const;

  private:
    bool utf8_;
    std::array<json_form, 256> forms_{};  // by byte; of a UTF-8 text only the ASCII ones
    std::array<bool, 256> plain_{};       // the byte goes out as it is
};

}  // namespace velmora
