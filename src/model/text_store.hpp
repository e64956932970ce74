#pragma once
// The texts of a POI set: bytes kept in large blocks that the set owns and that never
// move, so that a waypoint refers to its texts by view and a million waypoints cost a
// few allocations, not one per text.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/little_endian.hpp"

namespace velmora {

// A text of a waypoint: absent, or bytes that the set's text_store holds.  Read like an
// optional string: `if (w.name) use(*w.name)`.  It is one pointer, so that a waypoint
// with five texts stays small: the store puts the length in front of the bytes, in one
// byte below 255, else as the byte 255 and four bytes, least significant first.
// Only a text_store makes present texts, so that the bytes of every text lie in a store.
class stored_text {
  public:
    constexpr stored_text() = default;
    [[nodiscard]] constexpr bool has_value() const { return at_ != nullptr; }
    constexpr explicit operator bool() const { return has_value(); }
    [[nodiscard]] std::string_view operator*() const {
        auto first = static_cast<unsigned char>(at_[0]);
        if (first != long_length) return {at_ + 1, first};
        return {at_ + 1 + 4, read_length(at_ + 1)};
    }
    // Gives the text's view for a member call: `w.name->size()`.
    struct view_arrow {
        std::string_view view;
        [[nodiscard]] const std::string_view* operator->() const { return &view; }
    };
    [[nodiscard]] view_arrow operator->() const { return {**this}; }
    // The text, or an empty view when absent.
    [[nodiscard]] std::string_view value_or_empty() const {
        return has_value() ? **this : std::string_view();
    }
    [[nodiscard]] std::string_view value_or(std::string_view fallback) const {
        return has_value() ? **this : fallback;
    }
    [[nodiscard]] std::optional<std::string_view> optional() const {
        if (!has_value()) return std::nullopt;
        return **this;
    }
    // Where the text lies in memory (its length first), for a hint to fetch it early;
    // null when absent.  Reading it through this address is not meant.
    [[nodiscard]] const void* address() const { return at_; }
    // Keeps the first n bytes (n not above the size).  The length lies in the store, so
    // every copy of this text sees the shorter text.
    void cut_to(std::size_t n);
    // Equal to a text when present with the same bytes; two texts when both are absent
    // or both hold the same bytes.
    friend bool operator==(const stored_text& a, std::string_view b) {
        return a.has_value() && *a == b;
    }
    friend constexpr bool operator==(const stored_text& a, std::nullopt_t) {
        return !a.has_value();
    }
    friend bool operator==(const stored_text& a, const stored_text& b) {
        if (a.has_value() != b.has_value()) return false;
        return !a.has_value() || *a == *b;
    }

  private:
    friend class text_store;
    static constexpr unsigned char long_length = 255;
    constexpr explicit stored_text(const char* at) : at_(at) {}
    [[nodiscard]] static std::size_t read_length(const char* at) {
        return load_le32(reinterpret_cast<const std::uint8_t*>(at));
    }
    const char* at_ = nullptr;  // the length, then the bytes; null: absent
};

// Bytes handed out front to back from blocks of about a megabyte; a text larger than a
// quarter block gets a block of its own.  Nothing is freed before the store.
class text_store {
  public:
    text_store() = default;
    text_store(text_store&&) noexcept = default;
    text_store& operator=(text_store&&) noexcept = default;
    text_store(const text_store&) = delete;
    text_store& operator=(const text_store&) = delete;

    // A copy of the bytes; present even when empty.  Throws std::bad_alloc.
    [[nodiscard]] stored_text add(std::string_view bytes);
    // A copy when there is a text, else an absent text.
    [[nodiscard]] stored_text add_optional(std::optional<std::string_view> bytes) {
        return bytes ? add(*bytes) : stored_text();
    }

    // A text of at most most bytes that write(bytes) writes in place and whose length it
    // returns (not above most): for a text made of another one, such as one whose
    // references are decoded, without a copy in between.  Present even when empty.
    // Throws std::bad_alloc.
    template <class Write>
    [[nodiscard]] stored_text add_written(std::size_t most, Write&& write) {
        if (most == 0) return stored_text(empty_text);
        std::size_t head = length_head(most);
        char* at = allocate(head + most);
        std::size_t n = write(at + head);
        return finish_written(at, most, n < most ? n : most);
    }

    // Replaces the bytes of a text of this store by the first n bytes of what it holds
    // after edit(bytes, size) wrote them there and returned n (not above the size): an
    // edit in place, for conversions that never make a text longer.
    template <class Edit>
    void edit_in_place(stored_text& text, Edit&& edit) {
        if (!text) return;
        std::string_view old = *text;
        if (old.empty()) return;
        // The bytes were handed out writable by allocate(); the text only shows them const.
        char* bytes = const_cast<char*>(old.data());
        std::size_t n = edit(bytes, old.size());
        text.cut_to(n < old.size() ? n : old.size());
    }

    // Takes over the blocks of the other store, whose views stay valid.
    void take_over(text_store&& other);

    // Bytes held in blocks, used or not.
    [[nodiscard]] std::size_t capacity() const { return capacity_; }

  private:
    [[nodiscard]] char* allocate(std::size_t n);
    // The bytes in front of a text of n bytes that hold its length; throws
    // std::bad_alloc for more than a length holds.
    [[nodiscard]] static std::size_t length_head(std::size_t n);
    // Puts the length n into the head bytes at at.
    static void write_head(char* at, std::size_t head, std::size_t n);
    // Ends a text that add_written allocated at at for most bytes and filled with n:
    // puts its length in front and gives back the bytes it did not use.
    [[nodiscard]] stored_text finish_written(char* at, std::size_t most, std::size_t n);
    // Every present empty text shows this length byte.
    static constexpr char empty_text[1] = {0};

    std::vector<std::unique_ptr<char[]>> blocks_;
    char* next_ = nullptr;
    std::size_t left_ = 0;
    std::size_t capacity_ = 0;
};

}  // namespace velmora
