#pragma once
// The one way an input is read whole: a regular file is mapped into memory (or read,
// where it can't be mapped), any other stream (a pipe, a device, what is left of
// standard input) is read to its end, up to a bound.  The reader then walks the bytes
// and gives back the pages it has passed, which also moves the progress display on; at
// the end it asks whether the file stayed as it was while it was read.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/page_buffer.hpp"

namespace velmora {

class progress_indicator;

// The most bytes taken from an input that is not a regular file (4 GiB, what one GPI
// file can hold at most); a longer one (/dev/zero, an endless pipe) is refused.
inline constexpr std::uint64_t stream_input_limit = std::uint64_t{4} << 30;

// A regular file that changed its size or was written to while it was read: what was
// read from it can't be trusted.  The run ends; what() says how the file changed.
class input_changed : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class whole_input {
  public:
    // The bytes of the open stream from where it stands to its end, followed by a zero
    // byte that is not part of the text.  kind names the file in messages ("xml", "gpi",
    // "txt", "csv").  None after "\nError: Can't allocate %zu while importing <kind>
    // file", "\nError: Reading the <kind> file failed after %zu bytes; nothing imported.
    // (<reason>)" or, for a stream longer than stream_limit, "\nError: The <kind> input
    // is not a regular file and goes on past %llu bytes; nothing imported.".  Throws
    // input_changed when a regular file gives more or fewer bytes than its size.
    // room_after zero bytes (at least one) follow the text, for a parser that reads
    // ahead of what it parses.
    [[nodiscard]] static std::optional<whole_input> load(
        std::FILE* file, const char* kind, std::uint64_t stream_limit = stream_input_limit,
        std::size_t room_after = 1);

    whole_input(whole_input&&) noexcept;
    whole_input& operator=(whole_input&&) = delete;
    whole_input(const whole_input&) = delete;
    whole_input& operator=(const whole_input&) = delete;
    ~whole_input();

    [[nodiscard]] std::string_view text() const { return text_; }

    // Told by the reader that it will not look at the bytes between two offsets again:
    // their pages are given back and the progress display counts them as read.  Safe
    // to call from two threads for disjoint ranges; valid while the input lives where
    // it was when this was asked.
    [[nodiscard]] passed_text passer() const;

    // Throws input_changed when the regular file no longer has the size and time it had
    // when it was loaded.  A mapped file is read as the reader walks it, so this is asked
    // after the reading.
    void check_unchanged() const;

  private:
    whole_input();

    // Where the progress display stands: bytes loaded or passed, whichever is further.
    struct shared_state {
        std::atomic<std::uint64_t> position{0};
        void advance(std::uint64_t to);
    };

    std::optional<page_buffer> pages_;  // a mapped or read regular file
    std::vector<char> stream_bytes_;    // any other stream, with the zero byte behind it
    std::string_view text_;
    int fd_ = -1;  // of a regular file, for the check
    std::uint64_t file_size_ = 0;
    std::int64_t modified_sec_ = 0;
    std::int64_t modified_nsec_ = 0;
    std::unique_ptr<shared_state> state_;
    std::unique_ptr<progress_indicator> progress_;
};

}  // namespace velmora
