#include "platform/stdio_file.hpp"

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>

#include "platform/file_kind.hpp"
#include "platform/messages.hpp"

namespace velmora {

std::optional<std::string> read_to_end(std::FILE* file, const char* kind, std::size_t spare) {
    std::string text;
    try {
        if (auto size = regular_file_size(file); size && *size < SIZE_MAX - spare) {
            text.reserve(static_cast<std::size_t>(*size) + spare);
        }
        std::array<char, 65536> chunk;
        std::size_t got = 0;
        while ((got = std::fread(chunk.data(), 1, chunk.size(), file)) > 0) {
            text.append(chunk.data(), got);
        }
    } catch (const std::bad_alloc&) {
        report("\nError: Can't allocate %zu while importing %s file", text.size() + 1, kind);
        return std::nullopt;
    }
    if (std::ferror(file)) {
        report("\nError: Reading the %s file failed after %zu bytes; nothing imported. (%s)", kind,
               text.size(), std::strerror(errno));
        return std::nullopt;
    }
    return text;
}

}  // namespace velmora
