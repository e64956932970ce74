#pragma once
// A large buffer that is read front to back once, such as a whole input file: the pages
// in front of what is still needed can be given back to the system early, so that the
// buffer and what is built from it do not take memory at the same time.
#include <cstddef>
#include <functional>
#include <optional>

namespace velmora {

// Told that a reader will not look at the bytes between two offsets of its text again
// (so that their pages can be given back).
using passed_text = std::function<void(std::size_t from, std::size_t to)>;

// Tells passed (when there is one) that the bytes from released to at are passed, once
// they make a megabyte or more, and moves released on: telling it for every line or
// record would cost more than it gives back.
inline void pass_bytes_up_to(const passed_text& passed, std::size_t& released, std::size_t at) {
    constexpr std::size_t step = std::size_t{1} << 20;
    if (!passed || at < released || at - released < step) return;
    passed(released, at);
    released = at;
}

class page_buffer {
  public:
    // Zero-filled memory of that many bytes (at least one); none when it can't be had.
    [[nodiscard]] static std::optional<page_buffer> allocate(std::size_t size);

    // The first size bytes of the open regular file, mapped read-only into memory and
    // followed by `zeros` zero bytes (one by default), so that the file's text is read
    // without a copy; none (errno set) when it can't be mapped.  The file must not be
    // shortened while the buffer lives.
    [[nodiscard]] static std::optional<page_buffer> map_file(int fd, std::size_t size,
                                                             std::size_t zeros = 1);

    page_buffer(page_buffer&& other) noexcept;
    page_buffer& operator=(page_buffer&&) = delete;
    page_buffer(const page_buffer&) = delete;
    page_buffer& operator=(const page_buffer&) = delete;
    ~page_buffer();

    [[nodiscard]] char* data() const { return data_; }
    [[nodiscard]] std::size_t size() const { return size_; }

    // Gives back the whole pages that lie between the offsets; their bytes must not be
    // used any more.  Threads may give back disjoint ranges at the same time.
    void release_between(std::size_t from, std::size_t to) const;

  private:
    page_buffer(char* data, std::size_t size, std::size_t mapped)
        : data_(data), size_(size), mapped_(mapped) {}

    char* data_;
    std::size_t size_;
    std::size_t mapped_;  // bytes of whole pages reserved
};

}  // namespace velmora
