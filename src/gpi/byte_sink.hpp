#pragma once
// Destinations for the GPI block encoders.  The same encoder runs over a counting_sink
// to learn a block's size and over a file_sink to write it, so a computed size can't
// drift from the bytes written.  All integers go out little-endian.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "platform/little_endian.hpp"

namespace velmora {

// Counts the bytes it is given.
class counting_sink {
  public:
    void u8(std::uint8_t) { count_ += 1; }
    void u16(std::uint16_t) { count_ += 2; }
    void u32(std::uint32_t) { count_ += 4; }
    void bytes(const void*, std::size_t size) { count_ += size; }
    void text(std::string_view text) { count_ += text.size(); }

    [[nodiscard]] std::uint64_t count() const { return count_; }

  private:
    std::uint64_t count_ = 0;
};

// Writes into memory that the caller has made large enough for what it encodes (a block
// whose size a counting_sink has measured), without a check per field.
class span_sink {
  public:
    explicit span_sink(std::uint8_t* at) : at_(at) {}

    void u8(std::uint8_t value) { *at_++ = value; }
    void u16(std::uint16_t value) {
        store_le16(at_, value);
        at_ += 2;
    }
    void u32(std::uint32_t value) {
        store_le32(at_, value);
        at_ += 4;
    }
    void bytes(const void* data, std::size_t size) {
        if (size > 0) std::memcpy(at_, data, size);
        at_ += size;
    }
    void text(std::string_view text) { bytes(text.data(), text.size()); }

    [[nodiscard]] std::uint8_t* end() const { return at_; }

  private:
    std::uint8_t* at_;
};

// Writes to an open file through a buffer of its own.  The first failed write makes
// the sink fail for good; later bytes are dropped.
class file_sink {
  public:
    explicit file_sink(std::FILE* file) : file_(file) {}

    void u8(std::uint8_t value) {
        if (used_ == capacity) drain();
        buffer_[used_++] = value;
    }
    void u16(std::uint16_t value) {
        if (capacity - used_ < 2) drain();
        store_le16(buffer_.get() + used_, value);
        used_ += 2;
    }
    void u32(std::uint32_t value) {
        if (capacity - used_ < 4) drain();
        store_le32(buffer_.get() + used_, value);
        used_ += 4;
    }
    void bytes(const void* data, std::size_t size);
    void text(std::string_view text) { bytes(text.data(), text.size()); }

    // Writes what the buffer holds and flushes the file; false when any write failed.
    [[nodiscard]] bool finish();

    [[nodiscard]] bool failed() const { return failed_; }
    // Bytes handed to the sink so far: the position in the output file.
    [[nodiscard]] std::uint64_t position() const { return written_ + used_; }

  private:
    static constexpr std::size_t capacity = 1 << 16;

    void drain();

    std::FILE* file_;
    std::size_t used_ = 0;
    std::uint64_t written_ = 0;
    bool failed_ = false;
    std::unique_ptr<std::uint8_t[]> buffer_ = std::make_unique<std::uint8_t[]>(capacity);
};

}  // namespace velmora
