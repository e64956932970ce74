#include "model/text_store.hpp"

#include <cstring>
#include <new>

#include "platform/little_endian.hpp"

namespace velmora {

namespace {
constexpr std::size_t block_size = std::size_t{1} << 20;

void write_length(char* at, std::size_t n) {
    store_le32(reinterpret_cast<std::uint8_t*>(at), static_cast<std::uint32_t>(n));
}
}  // namespace

void stored_text::cut_to(std::size_t n) {
    std::string_view old = **this;
    if (n >= old.size()) return;
    // Texts are made by text_store::add, which hands out writable bytes; the empty text,
    // the only constant, is never cut.
    char* head = const_cast<char*>(at_);
    if (static_cast<unsigned char>(head[0]) != long_length) {
        head[0] = static_cast<char>(n);
    } else {
        write_length(head + 1, n);
    }
}

char* text_store::allocate(std::size_t n) {
    if (n > left_) {
        std::size_t size = n > block_size / 4 ? n : block_size;
        blocks_.reserve(blocks_.size() + 1);
        blocks_.push_back(std::make_unique_for_overwrite<char[]>(size));
        capacity_ += size;
        char* block = blocks_.back().get();
        if (size != block_size) return block;  // a text of its own: the open block stays open
        next_ = block;
        left_ = size;
    }
    char* at = next_;
    next_ += n;
    left_ -= n;
    return at;
}

std::size_t text_store::length_head(std::size_t n) {
    if (n > 0xFFFFFFFFu) throw std::bad_alloc();  // more than a length holds
    return n < stored_text::long_length ? 1 : 5;
}

void text_store::write_head(char* at, std::size_t head, std::size_t n) {
    if (head == 1) {
        at[0] = static_cast<char>(n);
    } else {
        at[0] = static_cast<char>(stored_text::long_length);
        write_length(at + 1, n);
    }
}

stored_text text_store::add(std::string_view bytes) {
    if (bytes.empty()) return stored_text(empty_text);
    std::size_t head = length_head(bytes.size());
    char* at = allocate(head + bytes.size());
    write_head(at, head, bytes.size());
    std::memcpy(at + head, bytes.data(), bytes.size());
    return stored_text(at);
}

stored_text text_store::finish_written(char* at, std::size_t most, std::size_t n) {
    std::size_t head = length_head(most);
    char* end = at + head + most;
    if (n == 0) {
        if (end == next_) {
            left_ += head + most;
            next_ = at;
        }
        return stored_text(empty_text);
    }
    if (length_head(n) != head) {
        std::memmove(at + 1, at + head, n);  // a short text after all
        head = 1;
    }
    write_head(at, head, n);
    // Only the last text of the open block can give bytes back.
    if (end == next_) {
        next_ = at + head + n;
        left_ += static_cast<std::size_t>(end - next_);
    }
    return stored_text(at);
}

void text_store::take_over(text_store&& other) {
    blocks_.reserve(blocks_.size() + other.blocks_.size());
    for (auto& block : other.blocks_) blocks_.push_back(std::move(block));
    capacity_ += other.capacity_;
    other.blocks_.clear();
    other.next_ = nullptr;
    other.left_ = 0;
    other.capacity_ = 0;
}

}  // namespace velmora
