#pragma once
// An output file that replaces its target only when it was written completely: the
// bytes go to a temporary file beside the target, which is renamed over the target by
// commit().  Without a successful commit the temporary file is removed and the target
// stays as it was.
#include <cstdio>
#include <optional>
#include <string>

namespace velmora {

class atomic_output {
  public:
    // Creates the temporary file; none (with errno set) when that fails.
    [[nodiscard]] static std::optional<atomic_output> open(const std::string& target);

    atomic_output(atomic_output&& other) noexcept;
    atomic_output& operator=(atomic_output&&) = delete;
    atomic_output(const atomic_output&) = delete;
    atomic_output& operator=(const atomic_output&) = delete;
    ~atomic_output();

    [[nodiscard]] std::FILE* stream() const { return stream_; }
    [[nodiscard]] const std::string& target() const { return target_; }

    // Flushes, closes and renames into place.  False (with a description in error())
    // when any write failed; the temporary file is then removed.
    [[nodiscard]] bool commit();
    [[nodiscard]] const std::string& error() const { return error_; }

    // Removes the temporary file without touching the target.
    void discard();

  private:
    atomic_output(std::string target, std::string temp, std::FILE* stream)
        : target_(std::move(target)), temp_(std::move(temp)), stream_(stream) {}

    std::string target_;
    std::string temp_;
    std::FILE* stream_ = nullptr;
    std::string error_;
};

}  // namespace velmora
