#pragma once
// An output made in pieces on two processors and handed on in order: while this thread
// hands on one piece (writes it to a file, say), it or a second thread makes the pieces
// after it.
#include <array>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// Makes the pieces 0 to count - 1 with make(index) and hands each on with put(index) on
// this thread, in order.  At most `ahead` pieces (at least one) are made and not yet
// handed on, so that make(index) may reuse the memory of piece index - ahead.  With
// `two_threads` (and a machine of two processors), a second thread makes pieces as
// well; make must then not report messages.  Stops at the first put that returns false
// and returns false.  An exception of make is thrown again when its piece's turn comes.
[[nodiscard]] bool make_and_put_in_order(std::size_t count, std::size_t ahead, bool two_threads,
                                         const std::function<void(std::size_t)>& make,
                                         const std::function<bool(std::size_t)>& put);

// The pieces of the text writers (GPX, GeoJSON, the report page): runs of at most
// text_piece_items items of one group (the waypoints of one set), about a megabyte of
// GPX, with at most text_pieces_ahead of them formatted ahead of the writing.
inline constexpr std::size_t text_piece_items = 4096;
inline constexpr std::size_t text_pieces_ahead = 4;

struct item_run {
    std::size_t group;
    std::size_t begin;
    std::size_t end;
};

// Appends the runs of a group of `size` items, text_piece_items each but the last.
inline void append_item_runs(std::vector<item_run>& runs, std::size_t group, std::size_t size) {
    for (std::size_t begin = 0; begin < size; begin += text_piece_items) {
        runs.push_back(
            {group, begin, begin + text_piece_items < size ? begin + text_piece_items : size});
    }
}

// make_and_put_in_order for pieces of text: make(index, out) writes piece index into
// the empty buffer out, put(text) hands it on; the buffers are reused in turn.
template <class Make, class Put>
[[nodiscard]] bool make_and_put_texts(std::size_t count, bool two_threads, Make&& make, Put&& put) {
    std::array<std::string, text_pieces_ahead> buffers;
    return make_and_put_in_order(
        count, text_pieces_ahead, two_threads,
        [&](std::size_t index) {
            std::string& out = buffers[index % text_pieces_ahead];
            out.clear();
            make(index, out);
        },
        [&](std::size_t index) {
            return put(std::string_view(buffers[index % text_pieces_ahead]));
        });
}

}  // namespace velmora
