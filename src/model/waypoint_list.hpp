#pragma once
// The waypoints of a set, held by value in chunks of a fixed size: the list grows
// without copying what it holds, so that a million waypoints never take memory twice.
// Only the first chunk grows step by step up to that size, so that the many small sets
// of a GPI file take little room; a reference to a waypoint stays valid only until the
// next waypoint is added.
#include <compare>
#include <cstddef>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <type_traits>
#include <utility>
#include <vector>

#include "model/waypoint.hpp"

namespace velmora {

class waypoint_list {
  public:
    static constexpr std::size_t chunk_bits = 13;
    static constexpr std::size_t chunk_size = std::size_t{1} << chunk_bits;  // waypoints

    template <bool Const>
    class basic_iterator {
      public:
        using iterator_category = std::random_access_iterator_tag;
        using iterator_concept = std::random_access_iterator_tag;
        using value_type = waypoint;
        using difference_type = std::ptrdiff_t;
        using list_type = std::conditional_t<Const, const waypoint_list, waypoint_list>;
        using reference = std::conditional_t<Const, const waypoint&, waypoint&>;
        using pointer = std::conditional_t<Const, const waypoint*, waypoint*>;

        basic_iterator() = default;
        basic_iterator(list_type* list, std::size_t index) : list_(list), index_(index) {}
        // A mutable iterator converts to a const one.
        operator basic_iterator<true>() const  // NOLINT(google-explicit-constructor)
            requires(!Const) {
            return {list_, index_};
        }

        reference operator*() const { return (*list_)[index_]; }
        pointer operator->() const { return &(*list_)[index_]; }
        reference operator[](difference_type n) const { return *(*this + n); }

        basic_iterator& operator++() {
            ++index_;
            return *this;
        }
        basic_iterator operator++(int) {
            basic_iterator old = *this;
            ++index_;
            return old;
        }
        basic_iterator& operator--() {
            --index_;
            return *this;
        }
        basic_iterator operator--(int) {
            basic_iterator old = *this;
            --index_;
            return old;
        }
        basic_iterator& operator+=(difference_type n) {
            index_ = static_cast<std::size_t>(static_cast<difference_type>(index_) + n);
            return *this;
        }
        basic_iterator& operator-=(difference_type n) { return *this += -n; }
        friend basic_iterator operator+(basic_iterator it, difference_type n) { return it += n; }
        friend basic_iterator operator+(difference_type n, basic_iterator it) { return it += n; }
        friend basic_iterator operator-(basic_iterator it, difference_type n) { return it -= n; }
        friend difference_type operator-(const basic_iterator& a, const basic_iterator& b) {
            return static_cast<difference_type>(a.index_) - static_cast<difference_type>(b.index_);
        }
        friend bool operator==(const basic_iterator& a, const basic_iterator& b) {
            return a.index_ == b.index_;
        }
        friend std::strong_ordering operator<=>(const basic_iterator& a, const basic_iterator& b) {
            return a.index_ <=> b.index_;
        }

      private:
        list_type* list_ = nullptr;
        std::size_t index_ = 0;
    };
    using iterator = basic_iterator<false>;
    using const_iterator = basic_iterator<true>;
    using value_type = waypoint;
    using size_type = std::size_t;
    using reference = waypoint&;
    using const_reference = const waypoint&;

    waypoint_list() = default;
    waypoint_list(waypoint_list&& other) noexcept
        : chunks_(std::move(other.chunks_)),
          size_(other.size_),
          first_capacity_(other.first_capacity_) {
        other.clear();
    }
    waypoint_list& operator=(waypoint_list&& other) noexcept {
        chunks_ = std::move(other.chunks_);
        size_ = other.size_;
        first_capacity_ = other.first_capacity_;
        other.clear();
        return *this;
    }
    waypoint_list(const waypoint_list&) = delete;
    waypoint_list& operator=(const waypoint_list&) = delete;

    [[nodiscard]] std::size_t size() const { return size_; }
    [[nodiscard]] bool empty() const { return size_ == 0; }

    waypoint& operator[](std::size_t i) { return chunks_[i >> chunk_bits][i & (chunk_size - 1)]; }
    const waypoint& operator[](std::size_t i) const {
        return chunks_[i >> chunk_bits][i & (chunk_size - 1)];
    }
    waypoint& at(std::size_t i) {
        if (i >= size_) throw std::out_of_range("waypoint_list::at");
        return (*this)[i];
    }
    [[nodiscard]] const waypoint& at(std::size_t i) const {
        if (i >= size_) throw std::out_of_range("waypoint_list::at");
        return (*this)[i];
    }
    waypoint& front() { return (*this)[0]; }
    [[nodiscard]] const waypoint& front() const { return (*this)[0]; }
    waypoint& back() { return (*this)[size_ - 1]; }
    [[nodiscard]] const waypoint& back() const { return (*this)[size_ - 1]; }

    iterator begin() { return {this, 0}; }
    iterator end() { return {this, size_}; }
    [[nodiscard]] const_iterator begin() const { return {this, 0}; }
    [[nodiscard]] const_iterator end() const { return {this, size_}; }

    // Appends a waypoint as given.  Throws std::bad_alloc, the list unchanged.
    waypoint& emplace_back(const waypoint& w) {
        waypoint& slot = next_slot();
        slot = w;
        ++size_;
        return slot;
    }
    // Appends a new empty waypoint (a million of them are added one by one).  Throws
    // std::bad_alloc, the list unchanged.
    waypoint& emplace_back() {
        // A copy of a constant: a few wide moves where zeroing in place is a slow string
        // instruction.
        static constexpr waypoint empty{};
        waypoint& slot = next_slot();
        slot = empty;
        ++size_;
        return slot;
    }
    void push_back(const waypoint& w) { (void)emplace_back(w); }

    // Moves the other list's waypoints behind these, in their order; each of its chunks
    // is given back once copied, so that the two never take memory twice.  Throws
    // std::bad_alloc, with the waypoints copied so far appended and the other list
    // left empty.
    void append(waypoint_list&& other);

    void clear() {
        chunks_.clear();
        size_ = 0;
        first_capacity_ = 0;
    }

  private:
    // The place of the next waypoint, with room made for it.
    waypoint& next_slot() {
        if (size_ < chunk_size) {
            if (size_ == first_capacity_) grow_first();
        } else if ((size_ & (chunk_size - 1)) == 0) {
            add_chunk();
        }
        return (*this)[size_];
    }
    void grow_first();
    // append() of a list when both lists' chunks are all of full size: the other's chunks
    // are taken over, their waypoints moved within them to their places.
    void join_chunks(waypoint_list&& other);
    void add_chunk() {
        // Room in the table first, so that a failed push can't lose the new chunk.
        if (chunks_.size() == chunks_.capacity()) chunks_.reserve(chunks_.size() * 2 + 8);
        chunks_.push_back(std::make_unique_for_overwrite<waypoint[]>(chunk_size));
    }

    std::vector<std::unique_ptr<waypoint[]>> chunks_;
    std::size_t size_ = 0;
    std::size_t first_capacity_ = 0;  // waypoints the first chunk has room for
};

}  // namespace velmora
