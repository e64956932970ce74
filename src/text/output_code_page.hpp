#pragma once
// The code page of GPI output and the conversion of every set's texts into it.
//
// Whatever a set's texts are held in (UTF-8, a built-in code page, or bytes read as
// U+0000 to U+00FF), they reach the output through Unicode: no byte of one code page is
// ever written under another's number.  A character the output code page lacks becomes
// "?" and is counted, so that the run can say how many were lost.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/code_page.hpp"

namespace velmora {

// Code page number of UTF-8 output.
inline constexpr int utf8_code_page = 65001;

// The code page of GPI output: one of the single-byte code pages 1250 to 1258, or UTF-8.
class output_code_page {
  public:
    // None for any number but 1250 to 1258 and 65001.
    [[nodiscard]] static std::optional<output_code_page> create(int number);

    [[nodiscard]] int number() const { return number_; }
    [[nodiscard]] bool is_utf8() const { return !page_; }
    // The single-byte code page; none for UTF-8.
    [[nodiscard]] const std::optional<code_page>& page() const { return page_; }

  private:
    explicit output_code_page(int number, std::optional<code_page> page)
        : number_(number), page_(page) {}

    int number_;
    std::optional<code_page> page_;
};

// The order in which "auto" tries the single-byte code pages.
inline constexpr std::array<int, 9> auto_code_pages{1250, 1252, 1251, 1253, 1257,
                                                    1254, 1255, 1256, 1258};

// What -codepage: or CodePage= asks for: a code page number, or the first that holds
// every text (automatic).
struct code_page_choice {
    bool automatic = false;
    int number = 1250;
};

// Reads a choice: "auto", "utf8", "utf-8" (any letter case), or one of the numbers
// 1250 to 1258 and 65001.  None for anything else.
[[nodiscard]] std::optional<code_page_choice> parse_code_page_choice(std::string_view value);

// How the texts of a set are held.
struct text_encoding {
    bool is_utf8 = false;
    const code_page* page = nullptr;  // none (for !is_utf8): each byte is its own character
};

// Converts texts from one encoding into the output code page and counts the characters
// that became "?" because the output code page lacks them.  Bytes that don't form a
// character in their own encoding (invalid UTF-8, bytes a code page leaves undefined)
// become U+FFFD in UTF-8 output and "?" in a code page; they are not counted, since no
// output code page could keep them.
class text_converter {
  public:
    text_converter(text_encoding from, const output_code_page& to);

    // True when every text comes out as it went in, byte for byte, once it is valid in
    // its encoding (the same code page on both sides).
    [[nodiscard]] bool keeps_bytes() const { return same_page_; }

    // True when no text comes out longer than it went in: the output is a single-byte
    // code page.
    [[nodiscard]] bool never_longer() const { return to_.page().has_value(); }

    // Appends the converted text to out.
    void append(std::string_view text, std::string& out);
    // Converts the text where it is.
    void convert(std::string& text);
    // Converts the size bytes at text where they are and gives the size of the result;
    // only when never_longer().
    [[nodiscard]] std::size_t convert_in_place(char* text, std::size_t size);

    [[nodiscard]] std::uint64_t lost() const { return lost_; }

  private:
    void append_utf8_source(std::string_view text, std::string& out);
    void append_byte_source(std::string_view text, std::string& out);

    text_encoding from_;
    const output_code_page& to_;
    bool same_page_ = false;
    // For a single-byte source: each byte's Unicode character.
    std::array<char32_t, 256> units_{};
    // For single-byte source and target: each byte's output byte, or -1 when the output
    // lacks its character (-2 when the source byte stands for no character).
    std::array<std::int16_t, 256> byte_map_{};
    std::uint64_t lost_ = 0;
};

// Finds the first code page of auto_code_pages that holds every character of the texts
// shown to it, in one pass over them; 65001 when none does.
class code_page_chooser {
  public:
    code_page_chooser();

    void add(std::string_view text, text_encoding from);
    [[nodiscard]] int choice() const;

  private:
    void rule_out_missing(char32_t character);

    std::uint32_t candidates_ = (1u << auto_code_pages.size()) - 1;  // bit i: still possible
    std::array<std::optional<code_page>, auto_code_pages.size()> pages_;
    char32_t last_checked_ = 0;
};

// A text of a set as a message shows it: converted to UTF-8 when the terminal takes
// UTF-8, else as it is held, with control characters escaped (escape_controls).  At
// most limit bytes of the text are shown, cut at the start of a character.
[[nodiscard]] std::string display_text(std::string_view text, text_encoding from,
                                       std::size_t limit = std::string_view::npos);

// How much of an input's text messages show: of a name, and of a value such as a
// coordinate that failed to read.
inline constexpr std::size_t shown_text = 64;
inline constexpr std::size_t shown_value = 40;

}  // namespace velmora
