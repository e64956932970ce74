#pragma once
// What an open file is: the readers size their buffers only from the size of a regular
// file, since a directory, pipe or device reports sizes that mean nothing (a directory
// on some file systems claims to end near 2^63).
#include <cstdint>
#include <cstdio>
#include <optional>

namespace velmora {

// The size in bytes of the open file when it is a regular file; none for anything else
// and when the system can't tell.
[[nodiscard]] std::optional<std::uint64_t> regular_file_size(std::FILE* file);

// True when the path names a directory.
[[nodiscard]] bool is_directory(const char* path);

// True when the path names a regular file (following links): one that opens without
// waiting for a writer, as a named pipe would.
[[nodiscard]] bool is_regular_file(const char* path);

}  // namespace velmora
