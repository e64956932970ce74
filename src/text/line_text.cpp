#include "text/line_text.hpp"

#include <algorithm>
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

namespace {
// Bytes read from the stream at once.
constexpr std::size_t line_buffer_bytes = std::size_t{1} << 17;
}  // namespace

std::size_t bounded_line_length(std::string_view text) {
    std::size_t size = std::min(text.size(), max_line_bytes);
    if (const void* lf = std::memchr(text.data(), '\n', size)) {
        size = static_cast<std::size_t>(static_cast<const char*>(lf) - text.data()) + 1;
    }
    return size;
}

bounded_line_reader::bounded_line_reader(std::FILE* file)
    : file_(file), buffer_(std::make_unique_for_overwrite<char[]>(line_buffer_bytes)) {}

std::optional<std::string_view> bounded_line_reader::next() {
    if (end_ - begin_ < max_line_bytes && !drained_) {
        std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
        std::size_t wanted = line_buffer_bytes - end_;
        std::size_t got = std::fread(buffer_.get() + end_, 1, wanted, file_);
        end_ += got;
        drained_ = got < wanted;
    }
    std::string_view rest(buffer_.get() + begin_, end_ - begin_);
    if (rest.empty()) return std::nullopt;
    std::size_t size = bounded_line_length(rest);
    begin_ += size;
    return rest.substr(0, size);
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
    bounded_line_reader lines(file);
    for (int number = 1;; ++number) {
        std::optional<std::string_view> line = lines.next();
        if (!line) {
            if (std::ferror(file) != 0) {
                report("\nError: read error at line %i while reading %s. (%s)", number,
                       shown_file_name(path).c_str(), std::strerror(errno));
            }
            return;
        }
        std::string_view text = clean_settings_line(*line);
        if (!text.empty()) on_line(text, number);
    }
}

}  // namespace velmora
