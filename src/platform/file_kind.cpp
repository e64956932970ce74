#include "platform/file_kind.hpp"

#include <sys/stat.h>

namespace velmora {

std::optional<std::uint64_t> regular_file_size(std::FILE* file) {
    if (file == nullptr) return std::nullopt;
    int fd = fileno(file);
    struct stat info {};
    if (fd < 0 || fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(info.st_size);
}

bool is_directory(const char* path) {
    struct stat info {};
    return stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

bool is_regular_file(const char* path) {
    struct stat info {};
    return stat(path, &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace velmora
