#include "platform/messages.hpp"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace velmora {

namespace {
// Each thread has its own: a thread that works for the run collects its messages and
// the run reports them in their place.
thread_local std::string* capture_target = nullptr;
}  // namespace

void report(const char* format, ...) {
    va_list args;
    va_start(args, format);
    if (capture_target == nullptr) {
        std::vfprintf(stderr, format, args);
    } else {
        va_list copy;
        va_copy(copy, args);
        int n = std::vsnprintf(nullptr, 0, format, copy);
        va_end(copy);
        if (n > 0) {
            std::vector<char> buffer(static_cast<std::size_t>(n) + 1);
            std::vsnprintf(buffer.data(), buffer.size(), format, args);
            capture_target->append(buffer.data(), static_cast<std::size_t>(n));
        }
    }
    va_end(args);
}

void report_text(std::string_view text) {
    if (capture_target == nullptr) {
        std::fwrite(text.data(), 1, text.size(), stderr);
    } else {
        capture_target->append(text);
    }
}

message_capture::message_capture() : previous_(capture_target) {
    capture_target = &text_;
}

message_capture::~message_capture() {
    capture_target = previous_;
}

}  // namespace velmora
