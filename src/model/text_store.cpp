#include "model/text_store.hpp"

#include <cstring>

namespace velmora {

namespace {
constexpr std::size_t block_size = std::size_t{1} << 20;
}  // namespace

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

stored_text text_store::add(std::string_view bytes) {
    if (bytes.empty()) return stored_text(std::string_view("", 0));
    char* at = allocate(bytes.size());
    std::memcpy(at, bytes.data(), bytes.size());
    return stored_text(std::string_view(at, bytes.size()));
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
