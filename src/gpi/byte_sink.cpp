#include "gpi/byte_sink.hpp"

#include <algorithm>
#include <cstring>

namespace velmora {

void file_sink::drain() {
    if (used_ == 0) return;
    if (!failed_ && std::fwrite(buffer_.get(), 1, used_, file_) != used_) failed_ = true;
    written_ += used_;
    used_ = 0;
}

void file_sink::bytes(const void* data, std::size_t size) {
    const auto* from = static_cast<const std::uint8_t*>(data);
    if (size >= capacity) {
        // A large run goes to the file as it is, not through the buffer.
        drain();
        if (!failed_ && std::fwrite(from, 1, size, file_) != size) failed_ = true;
        written_ += size;
        return;
    }
    while (size > 0) {
        if (used_ == capacity) drain();
        std::size_t part = std::min(size, capacity - used_);
        std::memcpy(buffer_.get() + used_, from, part);
        used_ += part;
        from += part;
        size -= part;
    }
}

bool file_sink::finish() {
    drain();
    if (!failed_ && (std::fflush(file_) != 0 || std::ferror(file_) != 0)) failed_ = true;
    return !failed_;
}

}  // namespace velmora
