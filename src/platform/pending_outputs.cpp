#include "platform/pending_outputs.hpp"

#include <limits.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstring>

namespace velmora {

namespace {

// The temporary files not yet renamed or removed, for remove_pending_outputs().  A slot
// is free (0), being filled (1) or names a file (2); the handler reads only armed slots.
constexpr int pending_slots = 8;
struct pending_slot {
    std::atomic<int> state{0};
    char path[PATH_MAX + 1] = {};
};
pending_slot pending[pending_slots];
static_assert(std::atomic<int>::is_always_lock_free);

// The temporary names of the output group being written, one after the other, each
// ended by a zero byte, the list by an empty name; none when no group is written.
std::atomic<char*> pending_group{nullptr};

// Set once an output was renamed into place.
std::atomic<bool> output_replaced{false};

}  // namespace

interrupts_held::interrupts_held() {
    sigset_t held;
    sigemptyset(&held);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&held, sig);
    pthread_sigmask(SIG_BLOCK, &held, &previous_);
}

interrupts_held::~interrupts_held() {
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

int register_pending_output(const std::string& path) {
    if (path.size() > PATH_MAX) return -1;
    for (int i = 0; i < pending_slots; ++i) {
        int expected = 0;
        if (pending[i].state.compare_exchange_strong(expected, 1)) {
            std::memcpy(pending[i].path, path.c_str(), path.size() + 1);
            pending[i].state.store(2);
            return i;
        }
    }
    return -1;
}

void release_pending_output(int slot) noexcept {
    if (slot >= 0) pending[slot].state.store(0);
}

bool register_pending_group(char* names) noexcept {
    char* expected = nullptr;
    return pending_group.compare_exchange_strong(expected, names);
}

void release_pending_group() noexcept {
    pending_group.store(nullptr);
}

void note_output_in_place() noexcept {
    output_replaced.store(true);
}

void remove_pending_outputs() noexcept {
    for (auto& slot : pending) {
        if (slot.state.load() == 2) unlink(slot.path);
    }
    char* names = pending_group.load();
    if (names == nullptr) return;
    for (std::size_t at = 0;;) {
        if (std::atomic_ref<char>(names[at]).load(std::memory_order_acquire) == '\0') break;
        unlink(names + at);
        while (names[at] != '\0') ++at;
        ++at;
    }
}

bool output_in_place() noexcept {
    return output_replaced.load();
}

}  // namespace velmora
