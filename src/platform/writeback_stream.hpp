#pragma once
// A buffered output stream over a file descriptor that sends what was written to the
// disk a few megabytes at a time, as its buffer drains: the writing out is only started
// there (the writer does not wait for the disk), so that a sync at the end finds little
// left to wait for.  No thread watches the file; the stream itself starts each step.
#include <cstddef>
#include <cstdio>

namespace velmora {

// Bytes written between two starts of the writing out.
inline constexpr std::size_t writeback_step = std::size_t{4} << 20;

// A stream that writes to fd with a buffer of buffer_size bytes and owns fd from then on
// (fclose closes it); none, with fd left open, when it can't be made.  A failed write
// sets the stream's error flag with errno.  Where the file can't be sent early (a pipe,
// a device), the stream just writes.  fileno() does not name the descriptor of such a
// stream; its owner keeps fd.
[[nodiscard]] std::FILE* open_writeback_stream(int fd, std::size_t buffer_size);

}  // namespace velmora
