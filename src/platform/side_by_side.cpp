#include "platform/side_by_side.hpp"

#include <exception>
#include <string>
#include <system_error>
#include <thread>

#include "platform/messages.hpp"

namespace velmora {

bool run_side_by_side(const std::function<void()>& first, const std::function<void()>& second) {
    if (std::thread::hardware_concurrency() < 2) return false;
    std::string second_messages;
    std::string second_problem;
    std::exception_ptr second_failure;
    std::thread other;
    try {
        other = std::thread([&] {
            try {
                message_capture capture;
                second();
                second_messages = capture.text();
                second_problem = capture.first_problem();
            } catch (...) {
                second_failure = std::current_exception();
            }
        });
    } catch (const std::system_error&) {
        return false;
    }
    std::exception_ptr first_failure;
    try {
        first();
    } catch (...) {
        first_failure = std::current_exception();
    }
    other.join();
    if (first_failure) std::rethrow_exception(first_failure);
    if (second_failure) std::rethrow_exception(second_failure);
    report_text(second_messages, second_problem);
    return true;
}

}  // namespace velmora
