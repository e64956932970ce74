#include "platform/clock.hpp"

#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace velmora {

double monotonic_msec() {
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration<double, std::milli>(now).count();
}

std::int64_t current_unix_time() {
    if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH"); epoch != nullptr && *epoch) {
        std::int64_t value = 0;
        const char* end = epoch + std::strlen(epoch);
        auto [ptr, ec] = std::from_chars(epoch, end, value);
        if (ec == std::errc() && ptr == end) return value;
    }
    return static_cast<std::int64_t>(std::time(nullptr));
}

}  // namespace velmora
