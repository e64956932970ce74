#pragma once
// A large buffer that is read front to back once, such as a whole input file: the pages
// in front of what is still needed can be given back to the system early, so that the
// buffer and what is built from it do not take memory at the same time.
#include <cstddef>
#include <optional>

namespace velmora {

class page_buffer {
  public:
    // Zero-filled memory of that many bytes (at least one); none when it can't be had.
    [[nodiscard]] static std::optional<page_buffer> allocate(std::size_t size);
    // The first size bytes (at least one) of an open regular file, mapped copy-on-write
    // instead of read: the pages come from the system's cache of the file as they are
    // first touched, without a copy, and leave again when given back.  None when the
    // file can't be mapped.  The file must not shrink while the buffer lives.
    [[nodiscard]] static std::optional<page_buffer> map_file(int descriptor, std::size_t size);

    page_buffer(page_buffer&& other) noexcept;
    page_buffer& operator=(page_buffer&&) = delete;
    page_buffer(const page_buffer&) = delete;
    page_buffer& operator=(const page_buffer&) = delete;
    ~page_buffer();

    [[nodiscard]] char* data() const { return data_; }
    [[nodiscard]] std::size_t size() const { return size_; }

    // Gives back the whole pages that lie between the offsets; their bytes must not be
    // used any more (they read as zero bytes, or as the file's of a mapped file).  Threads may give back disjoint ranges at
    // the same time.
    void release_between(std::size_t from, std::size_t to) const;

  private:
    page_buffer(char* data, std::size_t size, std::size_t mapped)
        : data_(data), size_(size), mapped_(mapped) {}

    char* data_;
    std::size_t size_;
    std::size_t mapped_;  // bytes of whole pages reserved
};

}  // namespace velmora
