#pragma once
// Small text operations shared by the line-oriented readers (settings files and
// speed-camera lists).
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// The text from its first character that is neither a space nor a tab.
[[nodiscard]] std::string_view skip_blanks(std::string_view text);

// The text without the spaces and tabs at its end.
[[nodiscard]] std::string_view trim_blanks_right(std::string_view text);

// The text without the spaces and tabs at either end.
[[nodiscard]] std::string_view trim_blanks(std::string_view text);

// The text without the white space of XML (space, tab, carriage return, line feed) at
// either end.
[[nodiscard]] std::string_view trim_white_space(std::string_view text);

// Splits at every occurrence of the separator: k separators give k + 1 pieces, an empty
// text one empty piece.  None when the separator is empty.  Pieces are not trimmed.
[[nodiscard]] std::optional<std::vector<std::string>> split_text(std::string_view text,
                                                                 std::string_view separator);

// The text between the first "[" and the first "]" after it; none without both.
[[nodiscard]] std::optional<std::string> bracket_name(std::string_view text);

// Longest line a settings or list reader takes at once; a longer line is read as several.
inline constexpr std::size_t max_line_bytes = 1022;

// The length of the line that starts the text: through its first line feed when one
// comes within max_line_bytes, else max_line_bytes bytes (or the whole text, when
// shorter).  A line feed always ends a line.
[[nodiscard]] std::size_t bounded_line_length(std::string_view text);

// Reads a stream line by line, in lines of at most max_line_bytes, from a buffer that
// is filled in large chunks.
class bounded_line_reader {
  public:
    // Throws std::bad_alloc.
    explicit bounded_line_reader(std::FILE* file);

    // The next line, as bounded_line_length cuts it.  None at the end of the stream or on a read
    // error (std::ferror tells which).  The view is valid until the next call.
    [[nodiscard]] std::optional<std::string_view> next();

  private:
    std::FILE* file_;
    std::unique_ptr<char[]> buffer_;
    std::size_t begin_ = 0;  // first byte not given out yet
    std::size_t end_ = 0;    // end of the bytes read
    bool drained_ = false;   // the stream has given all it will
};

// A settings line cleaned: leading blanks skipped, cut at the first ";", trailing
// spaces, tabs, carriage returns and line feeds removed.
[[nodiscard]] std::string_view clean_settings_line(std::string_view line);

// Reads a settings file line by line (as bounded_line_reader does) to its end and gives
// every line that clean_settings_line leaves non-empty to on_line, cleaned, with its
// number counted from 1.  A read error ends the reading after "\nError: read error at
// line %i while reading <path>. (<reason>)".
void for_each_settings_line(std::FILE* file, const std::string& path,
                            const std::function<void(std::string_view text, int number)>& on_line);

}  // namespace velmora
