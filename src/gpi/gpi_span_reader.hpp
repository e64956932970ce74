#pragma once
// A bounded reader over bytes of a GPI file held in memory.  Every read checks what
// remains first; a child reader covers the bytes of one block, so nothing read through
// it can run past that block, its parent or the file.
#include <cstddef>
#include <cstdint>

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

    // Each read fails, leaving the reader unchanged, when too few bytes remain.
    [[nodiscard]] bool u8(std::uint8_t& value) {
        if (remaining() < 1) return false;
        value = data_[pos_++];
        return true;
    }
    [[nodiscard]] bool u16(std::uint16_t& value) {
        if (remaining() < 2) return false;
        value = static_cast<std::uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
        pos_ += 2;
        return true;
    }
    [[nodiscard]] bool u32(std::uint32_t& value) {
        if (remaining() < 4) return false;
        value = static_cast<std::uint32_t>(data_[pos_]) |
                (static_cast<std::uint32_t>(data_[pos_ + 1]) << 8) |
                (static_cast<std::uint32_t>(data_[pos_ + 2]) << 16) |
                (static_cast<std::uint32_t>(data_[pos_ + 3]) << 24);
        pos_ += 4;
        return true;
    }
    [[nodiscard]] bool i32(std::int32_t& value) {
        std::uint32_t raw = 0;
        if (!u32(raw)) return false;
        value = static_cast<std::int32_t>(raw);
        return true;
    }
    [[nodiscard]] bool skip(std::size_t count) {
        if (remaining() < count) return false;
        pos_ += count;
        return true;
    }
    // A view of the next count bytes, valid as long as the underlying buffer.
    [[nodiscard]] bool bytes(std::size_t count, const std::uint8_t*& view) {
        if (remaining() < count) return false;
        view = data_ + pos_;
        pos_ += count;
        return true;
    }
    // A reader over the next count bytes; this reader moves past them.
    [[nodiscard]] bool child(std::size_t count, gpi_span_reader& part) {
        if (remaining() < count) return false;
        part = gpi_span_reader(data_ + pos_, count, base_ + pos_);
        pos_ += count;
        return true;
    }

  private:
    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t pos_ = 0;
    std::size_t base_ = 0;
};

}  // namespace velmora
