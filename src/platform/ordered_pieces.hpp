#pragma once
// An output made in pieces on two processors and handed on in order: while this thread
// hands on one piece (writes it to a file, say), it or a second thread makes the pieces
// after it.
#include <cstddef>
#include <functional>

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

}  // namespace velmora
