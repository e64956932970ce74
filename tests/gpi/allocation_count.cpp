#include "gpi/allocation_count.hpp"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<std::size_t> allocated{0};
}  // namespace

// Replaces the program's operator new and delete, which the other forms call.
void* operator new(std::size_t size) {
    allocated.fetch_add(size, std::memory_order_relaxed);
    if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
    throw std::bad_alloc();
}

void operator delete(void* memory) noexcept {
    std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}

namespace velmora::testing {

std::size_t bytes_allocated() {
    return allocated.load(std::memory_order_relaxed);
}

}  // namespace velmora::testing
