#pragma once
// An output file that replaces its target only when it was written completely: the
// bytes go to a temporary file with a short hidden name in the target's own directory,
// which is synced to disk and renamed over the target by commit().  Without a
// successful commit the temporary file is removed and the target stays as it was.
// While the file is written, what it holds so far is already sent to the disk every
// few megabytes, so that the sync at commit finds little left to wait for.
//
// A symbolic link as target stays a link: the file it points to is replaced, in that
// file's directory.  The replacement keeps the old file's permission bits, and its owner
// and group where the process may set them.  An existing target that the user may not
// write, or that is not a regular file, is refused.
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

namespace velmora {

enum class output_place {
    file,       // the target itself is written (created or replaced)
    directory,  // files named after the target are written beside it
};

// Why the output can't be written there, or empty when it can: the directory must exist
// and be writable, and for a file an existing target must be a writable regular file.
// Checked before any work is done; open() checks the same again.
[[nodiscard]] std::string output_problem(const std::string& target, output_place place);

class atomic_output {
  public:
    // Creates the temporary file; none when that fails, with the reason in *why.
    [[nodiscard]] static std::optional<atomic_output> open(const std::string& target,
                                                           std::string* why = nullptr);

    atomic_output(atomic_output&& other) noexcept;
    atomic_output& operator=(atomic_output&&) = delete;
    atomic_output(const atomic_output&) = delete;
    atomic_output& operator=(const atomic_output&) = delete;
    ~atomic_output();

    [[nodiscard]] std::FILE* stream() const { return stream_; }
    [[nodiscard]] const std::string& target() const { return target_; }

    // Flushes, syncs, closes and renames into place, then syncs the directory.  False
    // (with the system's reason in error()) when any write failed before the rename; the
    // temporary file is then removed.  A failed sync of the directory after the rename
    // leaves the new file in place and its reason in warning().
    [[nodiscard]] bool commit();
    [[nodiscard]] const std::string& error() const { return error_; }
    [[nodiscard]] const std::string& warning() const { return warning_; }

    // Removes the temporary file without touching the target.
    void discard();

  private:
    class early_writeback;

    atomic_output(std::string target, std::string temp, std::FILE* stream, int slot);
    void stop_writeback();

    std::string target_;  // the file finally replaced (symbolic links followed)
    std::string temp_;
    std::FILE* stream_ = nullptr;
    int slot_ = -1;  // place in the list of files removed on an interrupt
    std::string error_;
    std::string warning_;
    std::unique_ptr<early_writeback> writeback_;  // none when it could not be started
};

// Removes every temporary file of an output not yet committed.  Safe to call from a
// signal handler: it only reads a fixed table and calls unlink().
void remove_pending_outputs() noexcept;

}  // namespace velmora
