#pragma once
// A bounded reader over bytes of a GPI file held in memory, with a sticky failure: a read
// that finds too few bytes left marks the reader failed, gives zero (or no bytes) and
// leaves the position where it was, and so do all reads after it.  A block's fields are
// read straight through and the failure checked once.  A child reader covers the bytes
// of one block, so nothing read through it can run past that block, its parent or the
// file.
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/little_endian.hpp"

namespace velmora {

class gpi_span_reader {
  public:
    gpi_span_reader() = default;
    // The bytes [data, data + size), of which the first lies at file_offset in the file.
    gpi_span_reader(const std::uint8_t* data, std::size_t size, std::size_t file_offset = 0)
        : data_(data), size_(size), base_(file_offset) {}

    [[nodiscard]] std::size_t remaining() const { return size_ - pos_; }
    // Position of the next byte in the file.
    [[nodiscard]] std::size_t position() const { return base_ + pos_; }
    // True once a read found too few bytes.
    [[nodiscard]] bool failed() const { return failed_; }

    std::uint8_t u8() { return take(1) ? data_[pos_ - 1] : 0; }
    std::uint16_t u16() { return take(2) ? load_le16(data_ + pos_ - 2) : 0; }
    std::uint32_t u24() { return take(3) ? load_le24(data_ + pos_ - 3) : 0; }
    std::uint32_t u32() { return take(4) ? load_le32(data_ + pos_ - 4) : 0; }
    std::int32_t i32() { return static_cast<std::int32_t>(u32()); }
    void skip(std::size_t count) { (void)take(count); }
    // The next count bytes (valid as long as the underlying buffer); empty on failure.
    std::span<const std::uint8_t> bytes(std::size_t count) {
        if (!take(count)) return {};
        return {data_ + pos_ - count, count};
    }
    // A reader over the next count bytes, which this reader moves past; a failed empty
    // reader when fewer remain.
    gpi_span_reader child(std::size_t count) {
        std::size_t start = pos_;
        if (!take(count)) {
            gpi_span_reader none(data_ + pos_, 0, base_ + pos_);
            none.failed_ = true;
            return none;
        }
        return {data_ + start, count, base_ + start};
    }
    // A reader over all bytes left, which this reader moves past.
    gpi_span_reader rest() { return child(remaining()); }
    // The bytes a read would take next, without taking them.
    [[nodiscard]] std::span<const std::uint8_t> peek(std::size_t count) const {
        if (failed_ || remaining() < count) return {};
        return {data_ + pos_, count};
    }

  private:
    bool take(std::size_t count) {
        if (failed_ || remaining() < count) {
            failed_ = true;
            return false;
        }
        pos_ += count;
        return true;
    }

    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t pos_ = 0;
    std::size_t base_ = 0;
    bool failed_ = false;
};

}  // namespace velmora
