#pragma once
// A progress indicator for a long step: while an object lives and standard error is a
// terminal, a watcher looks every tenth of a second at how far an open file has got
// and, once the step has taken more than a second, shows it at the end of the current
// line: the percent of the file's bytes when its size is known, else the bytes so far.
// It is erased when the object goes.  When standard error is not a terminal nothing is
// shown and no watcher runs, so logs see the progress lines unchanged.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace velmora {

class progress_indicator {
  public:
    // Watches the file position of fd; total is the byte count that makes 100 %, or 0
    // when it is not known.
    progress_indicator(int fd, std::uint64_t total);
    // Watches a position that another reader keeps (asked from the watcher thread, so
    // it must be safe to ask while the reading goes on); none ends the watching.
    using position_source = std::function<std::optional<std::uint64_t>()>;
    progress_indicator(position_source position, std::uint64_t total);
    ~progress_indicator();
    progress_indicator(const progress_indicator&) = delete;
    progress_indicator& operator=(const progress_indicator&) = delete;

    // Whether an indicator may be shown at all: standard error is a terminal.
    [[nodiscard]] static bool wanted();

  private:
    void watch();
    void stop_watching();

    position_source position_;
    std::uint64_t total_;
    std::mutex mutex_;
    std::condition_variable stop_signal_;
    bool stop_ = false;
    std::thread watcher_;
};

}  // namespace velmora
