#pragma once
// The three standard descriptors of the process.

namespace velmora {

// Opens /dev/null on each of the descriptors 0, 1 and 2 that is closed, so that no file
// the run opens can take one of their numbers and receive its messages.  False when one
// of them stays closed.
[[nodiscard]] bool open_missing_standard_descriptors() noexcept;

}  // namespace velmora
