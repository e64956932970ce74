#pragma once
// The bytes this test program has asked of operator new so far, so that a test can bound
// what an operation allocates: a count, which no load on the machine makes flaky.
#include <cstddef>

namespace velmora::testing {

[[nodiscard]] std::size_t bytes_allocated();

}  // namespace velmora::testing
