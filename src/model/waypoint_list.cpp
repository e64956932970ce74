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

}  // namespace velmora
