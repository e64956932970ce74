#include "platform/whole_input.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <utility>

#include "platform/messages.hpp"
#include "platform/progress.hpp"

namespace velmora {

namespace {

// Bytes read at a time, so that the progress display moves while a file is read.
constexpr std::size_t read_chunk = std::size_t{1} << 24;
// A stream is read in chunks that start small and grow with what was read.
constexpr std::size_t first_stream_chunk = std::size_t{1} << 16;

void report_read_failure(const char* kind, std::size_t got, int error) {
    report("\nError: Reading the %s file failed after %zu bytes; nothing imported. (%s)", kind, got,
           std::strerror(error));
}

std::string changed_size(std::uint64_t before, std::uint64_t after) {
    return "it had " + std::to_string(before) + " bytes when reading began and " +
           std::to_string(after) + " after";
}

}  // namespace

void whole_input::shared_state::advance(std::uint64_t to) {
    std::uint64_t now = position.load(std::memory_order_relaxed);
    while (now < to && !position.compare_exchange_weak(now, to, std::memory_order_relaxed)) {
    }
}

whole_input::whole_input() : state_(std::make_unique<shared_state>()) {}

whole_input::whole_input(whole_input&&) noexcept = default;

whole_input::~whole_input() = default;

std::optional<whole_input> whole_input::load(std::FILE* file, const char* kind,
                                             std::uint64_t stream_limit, std::size_t room_after) {
    room_after = std::max<std::size_t>(room_after, 1);
    whole_input input;
    int fd = fileno(file);
    struct stat info {};
    long start = -1;
    if (fd >= 0 && fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size >= 0) {
        start = std::ftell(file);
    }
    shared_state* state = input.state_.get();
    auto position = [state]() -> std::optional<std::uint64_t> {
        return state->position.load(std::memory_order_relaxed);
    };

    if (start >= 0) {
        // A regular file: its size is known and is what it must give.
        auto file_size = static_cast<std::uint64_t>(info.st_size);
        std::uint64_t from = std::min(file_size, static_cast<std::uint64_t>(start));
        if (file_size - from >= SIZE_MAX - room_after) {
            report("\nError: Can't allocate %llu while importing %s file",
                   static_cast<unsigned long long>(file_size - from), kind);
            return std::nullopt;
        }
        auto size = static_cast<std::size_t>(file_size - from);
        input.fd_ = fd;
        input.file_size_ = file_size;
        input.modified_sec_ = info.st_mtim.tv_sec;
        input.modified_nsec_ = info.st_mtim.tv_nsec;
        input.progress_ = std::make_unique<progress_indicator>(position, size);
        if (from == 0) {
            if (auto mapped = page_buffer::map_file(fd, size, room_after))
                input.pages_.emplace(std::move(*mapped));
        }
        if (!input.pages_) {
            // One byte more than the file should give, to meet its end.
            auto allocated = page_buffer::allocate(size + room_after);
            if (!allocated) {
                report("\nError: Can't allocate %zu while importing %s file", size + room_after,
                       kind);
                return std::nullopt;
            }
            input.pages_.emplace(std::move(*allocated));
            std::size_t got = 0;
            for (std::size_t n = 1; n > 0 && got <= size;) {
                n = std::fread(input.pages_->data() + got, 1, std::min(read_chunk, size + 1 - got),
                               file);
                got += n;
                state->advance(got);
            }
            if (std::ferror(file) != 0) {
                report_read_failure(kind, got, errno);
                return std::nullopt;
            }
            if (got != size) throw input_changed(changed_size(size, got));
            // Read through: whatever changes now is not in what was read.
            input.check_unchanged();
            input.fd_ = -1;
        }
        input.text_ = std::string_view(input.pages_->data(), size);
        return input;
    }

    // Any other stream tells no size worth trusting: it is read to its end, as far as
    // the bound.
    input.progress_ = std::make_unique<progress_indicator>(position, 0);
    std::vector<char>& bytes = input.stream_bytes_;
    std::size_t got = 0;
    std::size_t chunk = first_stream_chunk;
    const std::uint64_t most = std::min<std::uint64_t>(stream_limit, SIZE_MAX / 4);
    try {
        for (;;) {
            bytes.resize(got + chunk);
            std::size_t n = std::fread(bytes.data() + got, 1, chunk, file);
            got += n;
            state->advance(got);
            if (got > most) {
                report(
                    "\nError: The %s input is not a regular file and goes on past %llu bytes; "
                    "nothing imported.",
                    kind, static_cast<unsigned long long>(most));
                return std::nullopt;
            }
            if (n < chunk) break;
            chunk = std::min(got, read_chunk);
        }
        bytes.resize(got + room_after);
    } catch (const std::bad_alloc&) {
        report("\nError: Can't allocate %zu while importing %s file", got + chunk, kind);
        return std::nullopt;
    }
    if (std::ferror(file) != 0) {
        report_read_failure(kind, got, errno);
        return std::nullopt;
    }
    bytes[got] = '\0';
    input.text_ = std::string_view(bytes.data(), got);
    return input;
}

passed_text whole_input::passer() const {
    const page_buffer* pages = pages_ ? &*pages_ : nullptr;
    shared_state* state = state_.get();
    return [pages, state](std::size_t from, std::size_t to) {
        if (pages != nullptr) pages->release_between(from, to);
        state->advance(to);
    };
}

void whole_input::check_unchanged() const {
    if (fd_ < 0) return;
    struct stat info {};
    if (fstat(fd_, &info) != 0) return;
    auto size = static_cast<std::uint64_t>(info.st_size);
    if (size != file_size_) throw input_changed(changed_size(file_size_, size));
    if (info.st_mtim.tv_sec != modified_sec_ || info.st_mtim.tv_nsec != modified_nsec_) {
        throw input_changed("it was written to while it was read");
    }
}

}  // namespace velmora
