#pragma once
// An output file that replaces its target only when it was written completely: the
// bytes go to a temporary file with a short hidden name in the target's own directory,
// which is synced to disk and renamed over the target by commit().  Without a
// successful commit the temporary file is removed and the target stays as it was.
// While the file is written, what it holds so far is already sent to the disk every
// few megabytes, so that the sync at commit finds little left to wait for.
//
// The target is taken as output_target.hpp describes (links followed where they may
// be, refused when not writable).  The replacement keeps the old file's permission bits,
// and its owner and group where the process may set them.  An interrupt removes the
// temporary file (pending_outputs.hpp).
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/output_target.hpp"
#include "platform/pending_outputs.hpp"

namespace velmora {

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

    // The stream to write to; fileno() does not name its file, descriptor() does.
    [[nodiscard]] std::FILE* stream() const { return stream_; }
    [[nodiscard]] int descriptor() const { return fd_; }
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
    atomic_output(std::string target, std::string temp, std::FILE* stream, int fd, int slot);

    std::string target_;  // the file finally replaced (symbolic links followed)
    std::string temp_;
    std::FILE* stream_ = nullptr;  // owns fd_
    int fd_ = -1;
    int slot_ = -1;  // place in the list of files removed on an interrupt
    std::string error_;
    std::string warning_;
};

// Files that replace their targets together, all or none: each file is written whole to
// a temporary file beside its target, and only when every one was written and synced
// are they renamed into place, one after the other with the interrupts held.  Without a
// successful commit every temporary file is removed and every target stays as it was.
// The targets are taken as atomic_output takes its one target.  One group at a time.
class atomic_output_group {
  public:
    // Follows the targets' links and checks their places; ok() is false, with the target
    // in failed_target() and the reason in error(), when one of them can't be written.
    explicit atomic_output_group(const std::vector<std::string>& targets);
    atomic_output_group(const atomic_output_group&) = delete;
    atomic_output_group& operator=(const atomic_output_group&) = delete;
    ~atomic_output_group();

    [[nodiscard]] bool ok() const { return error_.empty(); }

    // Writes the file that will replace targets[index].  False, with the reason, when it
    // could not be written whole; the group should then be discarded.  A target that is
    // never written is left as it is.
    [[nodiscard]] bool write(std::size_t index, std::span<const std::uint8_t> bytes);

    // Syncs the written files, renames them into place and syncs their directories.
    // False, with the reason, when a file could not be synced (nothing was renamed then)
    // or a rename failed (renamed() tells how many targets were replaced before it).  A
    // failed sync of a directory after the renames leaves its reason in warning().
    [[nodiscard]] bool commit();

    // Removes the temporary files without touching the targets.
    void discard();

    [[nodiscard]] const std::string& error() const { return error_; }
    [[nodiscard]] const std::string& failed_target() const { return failed_target_; }
    [[nodiscard]] const std::string& warning() const { return warning_; }
    [[nodiscard]] std::size_t renamed() const { return renamed_; }

  private:
    struct file {
        std::string given;   // the target as named
        std::string target;  // the file finally replaced (symbolic links followed)
        std::string temp;    // empty until written
    };
    bool fail(const file& f, std::string reason);
    bool publish(const std::string& temp);

    std::vector<file> files_;
    std::vector<int> directories_;   // open descriptors of the targets' directories
    std::unique_ptr<char[]> names_;  // the temporary names, for remove_pending_outputs()
    std::size_t names_size_ = 0;
    std::size_t names_used_ = 0;
    bool registered_ = false;
    std::size_t renamed_ = 0;
    std::string error_;
    std::string failed_target_;
    std::string warning_;
};

}  // namespace velmora
