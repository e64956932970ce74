#include "text/line_text.hpp"

#include <cerrno>
#include <cstring>

#include "platform/messages.hpp"

namespace velmora {

std::string_view skip_blanks(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    return text.substr(i);
}

std::string_view trim_blanks_right(std::string_view text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

std::string_view trim_blanks(std::string_view text) {
    return trim_blanks_right(skip_blanks(text));
}

std::string_view trim_white_space(std::string_view text) {
    auto white = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && white(text.front())) text.remove_prefix(1);
    while (!text.empty() && white(text.back())) text.remove_suffix(1);
    return text;
}

std::optional<std::vector<std::string>> split_text(std::string_view text,
                                                   std::string_view separator) {
    if (separator.empty()) return std::nullopt;
    std::vector<std::string> pieces;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t next = text.find(separator, pos);
        if (next == std::string_view::npos) break;
        pieces.emplace_back(text.substr(pos, next - pos));
        pos = next + separator.size();
    }
    pieces.emplace_back(text.substr(pos < text.size() ? pos : text.size()));
    return pieces;
}

std::optional<std::string> bracket_name(std::string_view text) {
    std::size_t open = text.find('[');
    if (open == std::string_view::npos) return std::nullopt;
    std::size_t close = text.find(']', open + 1);
    if (close == std::string_view::npos) return std::nullopt;
    return std::string(text.substr(open + 1, close - open - 1));
}

bool read_bounded_line(std::FILE* file, std::string& line) {
    line.clear();
    int c = 0;
    while (line.size() < max_line_bytes && (c = getc_unlocked(file)) != EOF) {
        line.push_back(static_cast<char>(c));
        if (c == '\n') break;
    }
    return !line.empty();
}

std::string_view clean_settings_line(std::string_view line) {
    std::string_view text = skip_blanks(line);
    if (std::size_t semicolon = text.find(';'); semicolon != std::string_view::npos) {
        text = text.substr(0, semicolon);
    }
    while (!text.empty()) {
        char c = text.back();
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') break;
        text.remove_suffix(1);
    }
    return text;
}

void for_each_settings_line(std::FILE* file, const std::string& path,
                            const std::function<void(std::string_view text, int number)>& on_line) {
    std::string line;
    for (int number = 1;; ++number) {
        if (!read_bounded_line(file, line)) {
            if (std::ferror(file) != 0) {
                report("\nError: read error at line %i while reading %s. (%s)", number,
                       path.c_str(), std::strerror(errno));
            }
            return;
        }
        std::string_view text = clean_settings_line(line);
        if (!text.empty()) on_line(text, number);
    }
}

}  // namespace velmora
