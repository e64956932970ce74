#include "platform/writeback_stream.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <new>

namespace velmora {

namespace {

// What the stream's functions share: the file and how far its data was sent.
struct writeback_file {
    int fd = -1;
    off_t written = 0;  // the output is written front to back: its size so far
    off_t sent = 0;     // data before this offset was sent to the disk
    bool sending = true;
};

ssize_t write_out(void* cookie, const char* data, std::size_t size) {
    auto& file = *static_cast<writeback_file*>(cookie);
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(file.fd, data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        // A short count (never a negative one) tells the stream that the write failed;
        // errno says why.
        if (n < 0) return static_cast<ssize_t>(done);
        if (n == 0) {
            errno = EIO;
            return static_cast<ssize_t>(done);
        }
        done += static_cast<std::size_t>(n);
    }
    file.written += static_cast<off_t>(done);
    if (file.sending && file.written - file.sent >= static_cast<off_t>(writeback_step)) {
        // No failure is taken from here: the sync at the end waits for all of it and
        // reports any failure, the one of a write started here included.
        int saved = errno;
        if (sync_file_range(file.fd, file.sent, file.written - file.sent, SYNC_FILE_RANGE_WRITE) ==
            0) {
            file.sent = file.written;
        } else {
            file.sending = false;  // not a file that can be sent early
        }
        errno = saved;
    }
    return static_cast<ssize_t>(done);
}

int close_file(void* cookie) {
    std::unique_ptr<writeback_file> file(static_cast<writeback_file*>(cookie));
    return ::close(file->fd);
}

}  // namespace

std::FILE* open_writeback_stream(int fd, std::size_t buffer_size) {
    std::unique_ptr<writeback_file> file(new (std::nothrow) writeback_file{fd});
    if (!file) return nullptr;
    cookie_io_functions_t functions{};
    functions.write = write_out;
    functions.close = close_file;
    std::FILE* stream = fopencookie(file.get(), "wb", functions);
    if (stream == nullptr) return nullptr;
    (void)file.release();  // the stream owns it now: close_file() frees it
    std::setvbuf(stream, nullptr, _IOFBF, buffer_size);
    return stream;
}

}  // namespace velmora
