#include "platform/messages.hpp"

#include <langinfo.h>
#include <locale.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace velmora {

namespace {
// Each thread has its own: a thread that works for the run collects its messages and
// the run reports them in their place.
thread_local std::string* capture_target = nullptr;
// Where the first problem is kept: that of the thread's capture while one lives, else
// that of its problem watch, if one lives.
thread_local std::string* first_problem_target = nullptr;

// Standard error is shared with the status text: one writer at a time, and a message
// erases the status before it is written.
std::mutex stderr_mutex;
std::size_t status_width = 0;

void erase_status() {
    if (status_width == 0) return;
    std::string erase(status_width, '\b');
    erase.append(status_width, ' ');
    erase.append(status_width, '\b');
    std::fwrite(erase.data(), 1, erase.size(), stderr);
    status_width = 0;
}

}  // namespace

bool terminal_is_utf8() {
    static const bool utf8 = [] {
        locale_t user = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
        if (user == static_cast<locale_t>(nullptr)) return false;
        std::string_view codeset = nl_langinfo_l(CODESET, user);
        bool is_utf8 = codeset == "UTF-8" || codeset == "utf8" || codeset == "UTF8";
        freelocale(user);
        return is_utf8;
    }();
    return utf8;
}

std::string escape_controls(std::string_view text, bool utf8) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    auto escape = [&out](unsigned value) {
        out += "\\x";
        out.push_back(hex[(value >> 4) & 0xFu]);
        out.push_back(hex[value & 0xFu]);
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto b = static_cast<unsigned char>(text[i]);
        if ((b < 0x20u && b != '\t') || b == 0x7Fu || (!utf8 && b >= 0x80u && b <= 0x9Fu)) {
            escape(b);
        } else if (utf8 && b == 0xC2u && i + 1 < text.size() &&
                   static_cast<unsigned char>(text[i + 1]) >= 0x80u &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9Fu) {
            escape(static_cast<unsigned char>(text[++i]));
        } else {
            out.push_back(static_cast<char>(b));
        }
    }
    return out;
}

void show_status(std::string_view text) {
    std::lock_guard<std::mutex> lock(stderr_mutex);
    if (text.size() >= status_width) {
        // Written over the old text, which the new one covers.
        std::string back(status_width, '\b');
        std::fwrite(back.data(), 1, back.size(), stderr);
    } else {
        erase_status();
    }
    std::fwrite(text.data(), 1, text.size(), stderr);
    status_width = text.size();
    std::fflush(stderr);
}

namespace {

// Writes the formatted message where the thread's messages go.
void report_args(const char* format, va_list args) {
    if (capture_target == nullptr) {
        std::lock_guard<std::mutex> lock(stderr_mutex);
        erase_status();
        std::vfprintf(stderr, format, args);
        return;
    }
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

// The message as a problem is kept: without its leading line break.
std::string problem_text(std::string_view message) {
    if (message.starts_with('\n')) message.remove_prefix(1);
    return std::string(message);
}

}  // namespace

void report(const char* format, ...) {
    va_list args;
    va_start(args, format);
    report_args(format, args);
    va_end(args);
}

void report_problem(const char* format, ...) {
    va_list args;
    va_start(args, format);
    if (first_problem_target != nullptr && first_problem_target->empty()) {
        va_list copy;
        va_copy(copy, args);
        char buffer[1024];
        std::vsnprintf(buffer, sizeof buffer, format, copy);
        va_end(copy);
        *first_problem_target = problem_text(buffer);
    }
    report_args(format, args);
    va_end(args);
}

void report_text(std::string_view text, std::string_view first_problem) {
    if (capture_target == nullptr) {
        std::lock_guard<std::mutex> lock(stderr_mutex);
        erase_status();
        std::fwrite(text.data(), 1, text.size(), stderr);
    } else {
        capture_target->append(text);
    }
    if (first_problem_target != nullptr && first_problem_target->empty()) {
        *first_problem_target = first_problem;
    }
}

std::string shown_file_name(std::string_view name) {
    return escape_controls(name, terminal_is_utf8());
}

message_capture::message_capture()
    : previous_text_(capture_target), previous_problem_(first_problem_target) {
    capture_target = &text_;
    first_problem_target = &first_problem_;
}

message_capture::~message_capture() {
    capture_target = previous_text_;
    first_problem_target = previous_problem_;
}

problem_watch::problem_watch() : previous_(first_problem_target) {
    first_problem_target = &first_;
}

problem_watch::~problem_watch() {
    first_problem_target = previous_;
}

}  // namespace velmora
