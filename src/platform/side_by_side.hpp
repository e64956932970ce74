#pragma once
// Two pieces of work on two processors, with the result of doing them one after the
// other.
#include <functional>

namespace velmora {

// Runs first on this thread and second on another one at the same time, as if first
// ran before second: the messages of second are passed on after those of first, and an
// exception of either is thrown again once both have ended (that of first before that
// of second).  The two must not write to the same memory.  False, with neither of them
// run, when the machine has one processor or no thread can be started.
[[nodiscard]] bool run_side_by_side(const std::function<void()>& first,
                                    const std::function<void()>& second);

}  // namespace velmora
