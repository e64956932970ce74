#pragma once
// Time sources: a monotonic clock for the step timings and the wall-clock time for
// file headers (reproducible when SOURCE_DATE_EPOCH is set).
#include <cstdint>

namespace velmora {

// Milliseconds on a monotonic clock with an arbitrary origin.
[[nodiscard]] double monotonic_msec();

// Seconds since 1970-01-01 00:00 UTC: the value of SOURCE_DATE_EPOCH when it holds a
// whole number, otherwise the current time.
[[nodiscard]] std::int64_t current_unix_time();

}  // namespace velmora
