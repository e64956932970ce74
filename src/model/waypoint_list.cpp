#include "model/waypoint_list.hpp"

#include <algorithm>
#include <utility>

namespace velmora {

void waypoint_list::grow_first() {
    std::size_t capacity = first_capacity_ == 0 ? 16 : std::min(chunk_size, first_capacity_ * 2);
    auto grown = std::make_unique_for_overwrite<waypoint[]>(capacity);
    std::copy_n(chunks_.empty() ? nullptr : chunks_[0].get(), size_, grown.get());
    if (chunks_.empty()) {
        chunks_.push_back(std::move(grown));
    } else {
        chunks_[0] = std::move(grown);
    }
    first_capacity_ = capacity;
}

void waypoint_list::append(waypoint_list&& other) {
    if (other.empty()) return;
    if (empty()) {
        *this = std::move(other);
        return;
    }
    if (first_capacity_ == chunk_size && other.first_capacity_ == chunk_size) {
        join_chunks(std::move(other));
        return;
    }
    // The other list's chunks go front to back; each is freed as soon as it is copied.
    std::size_t moved = 0;
    try {
        for (std::unique_ptr<waypoint[]>& chunk : other.chunks_) {
            std::size_t count = std::min(chunk_size, other.size_ - moved);
            for (std::size_t i = 0; i < count; ++i) emplace_back(chunk[i]);
            moved += count;
            chunk.reset();
        }
    } catch (...) {
        other.clear();
        throw;
    }
    other.clear();
}

void waypoint_list::join_chunks(waypoint_list&& other) {
    // Room in the table first: nothing below can fail.
    chunks_.reserve(chunks_.size() + other.chunks_.size());
    const std::size_t used = size_ & (chunk_size - 1);  // in the last chunk; 0: it is full
    const std::size_t total = other.size_;
    size_ += total;
    if (used == 0) {
        for (std::unique_ptr<waypoint[]>& chunk : other.chunks_)
            chunks_.push_back(std::move(chunk));
        other.clear();
        return;
    }
    // The other's first waypoints fill the last chunk.  Every chunk of the other then
    // moves what it has left to its front and takes the first waypoints of the chunk
    // behind it, so that its memory is used again instead of being copied to new chunks.
    const std::size_t room = chunk_size - used;
    std::copy_n(other.chunks_[0].get(), std::min(room, total), chunks_.back().get() + used);
    for (std::size_t j = 0; j < other.chunks_.size(); ++j) {
        std::size_t held = std::min(chunk_size, total - j * chunk_size);
        if (held <= room) break;  // nothing left in it
        waypoint* chunk = other.chunks_[j].get();
        std::copy(chunk + room, chunk + held, chunk);
        if (j + 1 < other.chunks_.size()) {
            std::size_t next = std::min(chunk_size, total - (j + 1) * chunk_size);
            std::copy_n(other.chunks_[j + 1].get(), std::min(room, next), chunk + (held - room));
        }
        chunks_.push_back(std::move(other.chunks_[j]));
    }
    other.clear();
}

}  // namespace velmora
