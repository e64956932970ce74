#include "platform/atomic_output.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/writeback_stream.hpp"

namespace velmora {

std::optional<atomic_output> atomic_output::open(const std::string& target, std::string* why) {
    auto fail = [why](std::string text) -> std::optional<atomic_output> {
        if (why != nullptr) *why = std::move(text);
        return std::nullopt;
    };
    output_file file = writable_output_file(target);
    if (!file.problem.empty()) return fail(file.problem);
    temp_file temp;
    int slot = -1;
    {
        interrupts_held held;
        temp = create_temp_beside(file.path);
        if (temp.fd < 0) return fail(system_reason(errno));
        slot = register_pending_output(temp.name);
    }
    take_over_attributes(temp.fd, file.path);
    static constexpr std::size_t buffer_size = 1 << 16;
    std::FILE* stream = open_writeback_stream(temp.fd, buffer_size);
    if (stream == nullptr) {
        int saved = errno;
        close(temp.fd);
        unlink(temp.name.c_str());
        release_pending_output(slot);
        return fail(system_reason(saved));
    }
    return atomic_output(std::move(file.path), std::move(temp.name), stream, temp.fd, slot);
}

atomic_output::atomic_output(std::string target, std::string temp, std::FILE* stream, int fd,
                             int slot)
    : target_(std::move(target)), temp_(std::move(temp)), stream_(stream), fd_(fd), slot_(slot) {}

atomic_output::atomic_output(atomic_output&& other) noexcept
    : target_(std::move(other.target_)),
      temp_(std::move(other.temp_)),
      stream_(other.stream_),
      fd_(other.fd_),
      slot_(other.slot_),
      error_(std::move(other.error_)),
      warning_(std::move(other.warning_)) {
    other.stream_ = nullptr;
    other.fd_ = -1;
    other.temp_.clear();
    other.slot_ = -1;
}

atomic_output::~atomic_output() {
    discard();
}

bool atomic_output::commit() {
    if (stream_ == nullptr) {
        error_ = "output already closed";
        return false;
    }
    int failure = std::ferror(stream_) != 0 ? EIO : 0;
    if (std::fflush(stream_) != 0 && failure == 0) failure = errno;
    if (failure == 0 && !sync_to_disk(fd_)) failure = errno;
    if (std::fclose(stream_) != 0 && failure == 0) failure = errno;
    stream_ = nullptr;
    fd_ = -1;
    if (failure != 0) {
        error_ = system_reason(failure);
        discard();
        return false;
    }
    {
        interrupts_held held;
        if (std::rename(temp_.c_str(), target_.c_str()) != 0) {
            error_ = system_reason(errno);
            unlink(temp_.c_str());
            failure = 1;
        } else {
            note_output_in_place();
        }
        release_pending_output(slot_);
        slot_ = -1;
        temp_.clear();
    }
    if (failure != 0) return false;
    // The rename is lasting only once the directory that holds the name is synced.
    int dir = ::open(directory_of(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0 || !sync_to_disk(dir)) warning_ = system_reason(errno);
    if (dir >= 0) close(dir);
    return true;
}

void atomic_output::discard() {
    if (stream_ != nullptr) {
        std::fclose(stream_);
        stream_ = nullptr;
        fd_ = -1;
    }
    if (!temp_.empty()) {
        interrupts_held held;
        unlink(temp_.c_str());
        release_pending_output(slot_);
        slot_ = -1;
        temp_.clear();
    }
}

}  // namespace velmora
