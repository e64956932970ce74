#pragma once
// Files of the C library's streams: a handle that closes its file, and the reading of a
// whole stream.
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

namespace velmora {

struct file_closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// An open file, closed when the handle goes.
using unique_file = std::unique_ptr<std::FILE, file_closer>;

// Every byte of a stream from where it stands to its end, as whole_input::load() reads
// them (with its messages and bounds), copied into a string of the reader's own, which
// has room for `spare` bytes more than it holds (for a parser that reads past the end).
// A reader that can work on the loaded bytes in place uses whole_input itself.  Throws
// input_changed.
[[nodiscard]] std::optional<std::string> read_to_end(std::FILE* file, const char* kind,
                                                     std::size_t spare = 0);

}  // namespace velmora
