#include "platform/stdio_file.hpp"

#include "platform/whole_input.hpp"

namespace velmora {

std::optional<std::string> read_to_end(std::FILE* file, const char* kind, std::size_t spare) {
    std::optional<whole_input> input = whole_input::load(file, kind);
    if (!input) return std::nullopt;
    std::string text;
    text.reserve(input->text().size() + spare);
    text.assign(input->text());
    input->check_unchanged();
    return text;
}

}  // namespace velmora
