#include "platform/progress.hpp"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <utility>

#include "platform/messages.hpp"

namespace velmora {

namespace {

constexpr auto first_show = std::chrono::seconds(1);
constexpr auto tick = std::chrono::milliseconds(100);

std::string status_text(std::uint64_t position, std::uint64_t total) {
    char text[32];
    if (total > 0) {
        std::uint64_t percent = position >= total ? 100 : position * 100 / total;
        std::snprintf(text, sizeof text, " %3u%%", static_cast<unsigned>(percent));
    } else {
        std::snprintf(text, sizeof text, " %.1f MB", static_cast<double>(position) / 1e6);
    }
    return text;
}

}  // namespace

bool progress_indicator::wanted() {
    return isatty(STDERR_FILENO) == 1;
}

progress_indicator::progress_indicator(int fd, std::uint64_t total)
    : progress_indicator(
          [fd]() -> std::optional<std::uint64_t> {
              // The position of the shared file description; asking does not move it.
              off_t position = lseek(fd, 0, SEEK_CUR);
              if (position < 0) return std::nullopt;
              return static_cast<std::uint64_t>(position);
          },
          total) {}

progress_indicator::progress_indicator(position_source position, std::uint64_t total)
    : position_(std::move(position)), total_(total) {
    if (wanted()) watcher_ = std::thread([this] { watch(); });
}

progress_indicator::~progress_indicator() {
    stop_watching();
}

void progress_indicator::stop_watching() {
    if (!watcher_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    stop_signal_.notify_one();
    watcher_.join();
}

void progress_indicator::watch() {
    auto start = std::chrono::steady_clock::now();
    std::string shown;
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_signal_.wait_for(lock, tick, [this] { return stop_; })) {
        if (std::chrono::steady_clock::now() - start < first_show) continue;
        std::optional<std::uint64_t> position = position_();
        if (!position) break;
        // Drawn every time: a message written in between has erased it.
        shown = status_text(*position, total_);
        show_status(shown);
    }
    if (!shown.empty()) show_status("");
}

}  // namespace velmora
