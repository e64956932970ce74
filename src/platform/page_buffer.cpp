#include "platform/page_buffer.hpp"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace velmora {

namespace {

std::size_t page_size() {
    static const std::size_t size = [] {
        long reported = sysconf(_SC_PAGESIZE);
        return reported > 0 ? static_cast<std::size_t>(reported) : std::size_t{4096};
    }();
    return size;
}

}  // namespace

std::optional<page_buffer> page_buffer::allocate(std::size_t size) {
    if (size == 0) size = 1;
    std::size_t page = page_size();
    if (size > SIZE_MAX - page) return std::nullopt;
    std::size_t mapped = (size + page - 1) / page * page;
    void* memory =
        mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) return std::nullopt;
    return page_buffer(static_cast<char*>(memory), size, mapped);
}

std::optional<page_buffer> page_buffer::map_file(int fd, std::size_t size, std::size_t zeros) {
    if (zeros == 0) zeros = 1;
    if (size > SIZE_MAX - zeros) return std::nullopt;
    std::optional<page_buffer> buffer = allocate(size + zeros);
    if (!buffer || size == 0) return buffer;
    // The file's pages replace the front of the zero-filled reservation, whose rest
    // holds the zero byte behind the text also when the size is a whole number of pages.
    std::size_t page = page_size();
    std::size_t file_pages = (size + page - 1) / page * page;
    void* mapped = mmap(buffer->data_, file_pages, PROT_READ, MAP_PRIVATE | MAP_FIXED, fd, 0);
    if (mapped == MAP_FAILED) return std::nullopt;
    (void)madvise(buffer->data_, file_pages, MADV_SEQUENTIAL);
    return buffer;
}

page_buffer::page_buffer(page_buffer&& other) noexcept
    : data_(other.data_), size_(other.size_), mapped_(other.mapped_) {
    other.data_ = nullptr;
    other.size_ = 0;
    other.mapped_ = 0;
}

page_buffer::~page_buffer() {
    if (data_ != nullptr) munmap(data_, mapped_);
}

void page_buffer::release_between(std::size_t from, std::size_t to) const {
    if (to > size_) to = size_;
    std::size_t page = page_size();
    std::size_t begin = (from + page - 1) / page * page;
    std::size_t end = to / page * page;
    if (begin >= end) return;
    // Pages given back with MADV_DONTNEED leave the resident memory at once (a file's
    // pages stay in the system's cache).
    (void)madvise(data_ + begin, end - begin, MADV_DONTNEED);
}

}  // namespace velmora
