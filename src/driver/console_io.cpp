#include "driver/console_io.hpp"

#include <sys/types.h>

#include <algorithm>
#include <cstring>

#include "platform/paths.hpp"

namespace velmora {

namespace {

// How many bytes are read ahead to recognise the format.
constexpr std::size_t head_size = input_kind_head_bytes;

// Standard input with the bytes read ahead put back in front of it.
struct head_then_stdin {
    char head[head_size];
    std::size_t head_length = 0;
    std::size_t head_read = 0;
};

ssize_t read_head_then_stdin(void* cookie, char* buffer, std::size_t size) {
    auto* source = static_cast<head_then_stdin*>(cookie);
    if (source->head_read < source->head_length) {
        std::size_t n = std::min(size, source->head_length - source->head_read);
        std::memcpy(buffer, source->head + source->head_read, n);
        source->head_read += n;
        return static_cast<ssize_t>(n);
    }
    std::size_t got = std::fread(buffer, 1, size, stdin);
    if (got == 0 && std::ferror(stdin)) return -1;
    return static_cast<ssize_t>(got);
}

int close_head_then_stdin(void* cookie) {
    delete static_cast<head_then_stdin*>(cookie);
    return 0;
}

}  // namespace

bool is_console_input(std::string_view arg) {
    return arg == "-" || equals_ignore_case(arg, "con") || equals_ignore_case(arg, "stdin");
}

bool is_console_output(std::string_view arg) {
    return arg == "-" || equals_ignore_case(arg, "con") || equals_ignore_case(arg, "stdout");
}

console_input open_console_input() {
    auto source = std::make_unique<head_then_stdin>();
    source->head_length = std::fread(source->head, 1, head_size, stdin);
    console_input input;
    input.kind = input_kind_of_bytes(std::string_view(source->head, source->head_length));
    cookie_io_functions_t functions{read_head_then_stdin, nullptr, nullptr, close_head_then_stdin};
    std::FILE* file = fopencookie(source.get(), "rb", functions);
    if (file != nullptr) {
        source.release();
        input.file.reset(file);
    }
    return input;
}

}  // namespace velmora
