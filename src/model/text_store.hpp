#pragma once
// The texts of a POI set: bytes kept in large blocks that the set owns and that never
// move, so that a waypoint refers to its texts by view and a million waypoints cost a
// few allocations, not one per text.
#include <cstddef>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace velmora {

// A text of a waypoint: absent, or a view of bytes that the set's text_store holds (or
// of a constant).  Read like an optional string: `if (w.name) use(*w.name)`.
// Only a text_store makes present texts, so that the bytes of every text lie in a store.
class stored_text {
  public:
    constexpr stored_text() = default;

    [[nodiscard]] constexpr bool has_value() const { return view_.data() != nullptr; }
    constexpr explicit operator bool() const { return has_value(); }
    [[nodiscard]] constexpr std::string_view operator*() const { return view_; }
    [[nodiscard]] constexpr const std::string_view* operator->() const { return &view_; }
    // The text, or an empty view when absent.
    [[nodiscard]] constexpr std::string_view value_or_empty() const { return view_; }
    [[nodiscard]] constexpr std::string_view value_or(std::string_view fallback) const {
        return has_value() ? view_ : fallback;
    }
    [[nodiscard]] std::optional<std::string_view> optional() const {
        if (!has_value()) return std::nullopt;
        return view_;
    }

    // Keeps the first n bytes (n not above the size).
    constexpr void cut_to(std::size_t n) { view_ = view_.substr(0, n); }

    // Equal to a text when present with the same bytes; two texts when both are absent
    // or both hold the same bytes.
    friend constexpr bool operator==(const stored_text& a, std::string_view b) {
        return a.has_value() && a.view_ == b;
    }
    friend constexpr bool operator==(const stored_text& a, std::nullopt_t) {
        return !a.has_value();
    }
    friend constexpr bool operator==(const stored_text& a, const stored_text& b) {
        return a.has_value() == b.has_value() && a.view_ == b.view_;
    }

  private:
    friend class text_store;
    constexpr explicit stored_text(std::string_view bytes) : view_(bytes) {}

    std::string_view view_;  // data() null: absent
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

    // Replaces the bytes of a text of this store by the first n bytes of what it holds
    // after edit(bytes, size) wrote them there and returned n (not above the size): an
    // edit in place, for conversions that never make a text longer.
    template <class Edit>
    void edit_in_place(stored_text& text, Edit&& edit) {
        if (!text || text->empty()) return;
        // The bytes were handed out writable by allocate(); the view only shows them const.
        char* bytes = const_cast<char*>(text->data());
        std::size_t n = edit(bytes, text->size());
        text.view_ = std::string_view(bytes, n < text->size() ? n : text->size());
    }

    // Takes over the blocks of the other store, whose views stay valid.
    void take_over(text_store&& other);

    // Bytes held in blocks, used or not.
    [[nodiscard]] std::size_t capacity() const { return capacity_; }

  private:
    [[nodiscard]] char* allocate(std::size_t n);

    std::vector<std::unique_ptr<char[]>> blocks_;
    char* next_ = nullptr;
    std::size_t left_ = 0;
    std::size_t capacity_ = 0;
};

}  // namespace velmora
