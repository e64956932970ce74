#include "platform/atomic_output.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace velmora {

std::optional<atomic_output> atomic_output::open(const std::string& target) {
    struct stat info {};
    if (stat(target.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        errno = EISDIR;
        return std::nullopt;
    }
    std::string pattern = target + ".tmp-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = mkstemp(name.data());
    if (fd < 0) return std::nullopt;
    // mkstemp creates the file with mode 0600; give it the usual mode of new files.
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    std::FILE* stream = fdopen(fd, "wb");
    if (stream == nullptr) {
        int saved = errno;
        close(fd);
        unlink(name.data());
        errno = saved;
        return std::nullopt;
    }
    static constexpr std::size_t buffer_size = 1 << 16;
    std::setvbuf(stream, nullptr, _IOFBF, buffer_size);
    return atomic_output(target, std::string(name.data()), stream);
}

atomic_output::atomic_output(atomic_output&& other) noexcept
    : target_(std::move(other.target_)),
      temp_(std::move(other.temp_)),
      stream_(other.stream_),
      error_(std::move(other.error_)) {
    other.stream_ = nullptr;
    other.temp_.clear();
}

atomic_output::~atomic_output() {
    discard();
}

bool atomic_output::commit() {
    if (stream_ == nullptr) {
        error_ = "output already closed";
        return false;
    }
    bool failed = std::ferror(stream_) != 0;
    int saved = failed ? EIO : 0;
    if (std::fflush(stream_) != 0 && !failed) {
        failed = true;
        saved = errno;
    }
    if (std::fclose(stream_) != 0 && !failed) {
        failed = true;
        saved = errno;
    }
    stream_ = nullptr;
    if (!failed && std::rename(temp_.c_str(), target_.c_str()) != 0) {
        failed = true;
        saved = errno;
    }
    if (failed) {
        error_ = std::strerror(saved);
        unlink(temp_.c_str());
    }
    temp_.clear();
    return !failed;
}

void atomic_output::discard() {
    if (stream_ != nullptr) {
        std::fclose(stream_);
        stream_ = nullptr;
    }
    if (!temp_.empty()) {
        unlink(temp_.c_str());
        temp_.clear();
    }
}

}  // namespace velmora
