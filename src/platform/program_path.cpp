#include "platform/program_path.hpp"

#include <unistd.h>

#include <vector>

namespace velmora {

std::optional<std::string> running_program_path() {
    std::vector<char> buffer(4096);
    for (;;) {
        ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0) return std::nullopt;
        if (static_cast<std::size_t>(n) < buffer.size()) {
            return std::string(buffer.data(), static_cast<std::size_t>(n));
        }
        if (buffer.size() >= (1u << 16)) return std::nullopt;
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace velmora
