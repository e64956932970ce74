#pragma once
// Where an output may be written: the file a target finally names (symbolic links
// followed, but only those that may be followed where they lie), whether its directory
// and the file itself may be written, and what a replacement takes over from the file
// it replaces.
//
// A symbolic link as target stays a link: the file it points to is replaced, in that
// file's directory.  In a sticky directory that every user may write (like /tmp), a link
// is followed only when it belongs to the directory's owner or to the user of the
// process, as the kernel's protected_symlinks rule has it; a link planted there by
// someone else is refused.  An existing target that the user may not write, or that is
// not a regular file, is refused.
#include <sys/types.h>

#include <string>

namespace velmora {

enum class output_place {
    file,       // the target itself is written (created or replaced)
    directory,  // files named after the target are written beside it
};

// Why the output can't be written there, or empty when it can: the directory must exist
// and be writable, and for a file an existing target must be a writable regular file.
// Checked before any work is done; opening the output checks the same again.
[[nodiscard]] std::string output_problem(const std::string& target, output_place place);

// Whether a symbolic link may be followed, given the mode and owner of the directory
// that holds it, the link's owner and the user who follows it: not in a directory that
// is both sticky and writable by all, unless the link belongs to that directory's owner
// or to the follower.
[[nodiscard]] bool link_may_be_followed(mode_t directory_mode, uid_t directory_owner,
                                        uid_t link_owner, uid_t follower);

// The file a target finally names, and why it can't be written as a file (empty when
// it can): output_problem(target, output_place::file) for the file links lead to.
struct output_file {
    std::string path;
    std::string problem;
};
[[nodiscard]] output_file writable_output_file(const std::string& target);

// The directory part of a path with its trailing separator; "./" for a bare name.
[[nodiscard]] std::string directory_of(const std::string& path);

// Gives the new file open as fd what the user chose for the file at target: owner and
// group where this process may set them, then the permission bits.  A new target gets
// the usual mode of new files.
void take_over_attributes(int fd, const std::string& target);

// The name of a temporary file beside its target: short, so that it fits wherever the
// target's name fits, and hidden.  mkstemp() fills in the X's.
inline constexpr char temp_file_pattern[] = ".velmora-XXXXXX";

// Creates a temporary file in the directory of file: its descriptor and name, or -1
// with errno set.
struct temp_file {
    int fd = -1;
    std::string name;
};
[[nodiscard]] temp_file create_temp_beside(const std::string& file);

// Syncs a file's data to disk; a file that can't be synced (a device) counts as synced.
[[nodiscard]] bool sync_to_disk(int fd);

// The system's text for an errno value.
[[nodiscard]] std::string system_reason(int error);

}  // namespace velmora
