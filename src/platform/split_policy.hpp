#pragma once
// When work is shared by two threads: a list is gone through in two halves at once from
// a number of items on, a text from a number of bytes that stands for that many items.
// The run holds one policy and hands it to the readers, the preparation and the
// writers; a test hands them a small one to reach the two-thread paths with small
// inputs.
#include <cstddef>
#include <functional>
#include <limits>

namespace velmora {

struct split_policy {
    // Below this many items the second thread costs more than it saves.
    static constexpr std::size_t default_items_from = 65536;

    std::size_t items_from = default_items_from;

    // Whether a list of count items is shared by two threads.
    [[nodiscard]] constexpr bool splits(std::size_t count) const { return count >= items_from; }

    // The length from which a text is shared by two threads, for a text in which an item
    // takes about bytes_per_item bytes.
    [[nodiscard]] constexpr std::size_t bytes_from(std::size_t bytes_per_item) const {
        if (bytes_per_item != 0 &&
            items_from > std::numeric_limits<std::size_t>::max() / bytes_per_item) {
            return std::numeric_limits<std::size_t>::max();
        }
        return items_from * bytes_per_item;
    }

    // Runs first on this thread and second on another at once (see run_side_by_side())
    // when count items are worth splitting and a second thread can be started; false,
    // with neither of them run, when not.
    [[nodiscard]] bool side_by_side(std::size_t count, const std::function<void()>& first,
                                    const std::function<void()>& second) const;

    // Calls range(0, count), or range(0, half) and range(half, count) at once on two
    // threads when count items are worth splitting.
    void in_halves(std::size_t count, std::size_t half,
                   const std::function<void(std::size_t, std::size_t)>& range) const;
};

}  // namespace velmora
