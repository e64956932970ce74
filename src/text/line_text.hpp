#pragma once
// Small text operations shared by the line-oriented readers (settings files and
// speed-camera lists).
#include <cstdio>
#include <functional>
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

// Reads the next line (with its line feed, when one comes within max_line_bytes) into
// line.  False at the end of the file or on a read error (std::ferror tells which).
[[nodiscard]] bool read_bounded_line(std::FILE* file, std::string& line);

// A settings line cleaned: leading blanks skipped, cut at the first ";", trailing
// spaces, tabs, carriage returns and line feeds removed.
[[nodiscard]] std::string_view clean_settings_line(std::string_view line);

// Reads a settings file line by line (as read_bounded_line does) to its end and gives
// every line that clean_settings_line leaves non-empty to on_line, cleaned, with its
// number counted from 1.  A read error ends the reading after "\nError: read error at
// line %i while reading <path>. (<reason>)".
void for_each_settings_line(std::FILE* file, const std::string& path,
                            const std::function<void(std::string_view text, int number)>& on_line);

}  // namespace velmora
