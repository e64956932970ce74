#include "platform/output_target.hpp"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace velmora {

namespace {

// Why the symbolic link at path (whose lstat is link) must not be followed, or empty.
std::string link_problem(const std::string& path, const struct stat& link) {
    struct stat directory {};
    if (stat(directory_of(path).c_str(), &directory) != 0) return system_reason(errno);
    if (link_may_be_followed(directory.st_mode, directory.st_uid, link.st_uid, geteuid())) {
        return {};
    }
    return "a symbolic link of another user in a sticky directory open to all users; "
           "not followed";
}

// Follows the symbolic links of the path's last part, as a shell redirect follows them
// (a link to a missing file names that missing file), but only links that may be
// followed where they lie.
output_file final_target(const std::string& path) {
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info {};
        if (lstat(current.c_str(), &info) != 0) {
            if (errno == ENOENT) return {current, {}};
            return {current, system_reason(errno)};
        }
        if (!S_ISLNK(info.st_mode)) return {current, {}};
        if (std::string problem = link_problem(current, info); !problem.empty()) {
            return {current, problem};
        }
        std::vector<char> link(PATH_MAX + 1);
        ssize_t n = readlink(current.c_str(), link.data(), link.size());
        if (n < 0) return {current, system_reason(errno)};
        if (static_cast<std::size_t>(n) >= link.size()) {
            return {current, system_reason(ENAMETOOLONG)};
        }
        std::string next(link.data(), static_cast<std::size_t>(n));
        current = next.front() == '/' ? next : directory_of(current) + next;
    }
    return {current, system_reason(ELOOP)};
}

bool effectively_writable(const std::string& path, int mode) {
    return faccessat(AT_FDCWD, path.c_str(), mode, AT_EACCESS) == 0;
}

// The checks of output_problem() on a target whose links were already followed.
std::string place_problem(const std::string& file, output_place place) {
    std::string dir = directory_of(file);
    struct stat info {};
    if (stat(dir.c_str(), &info) != 0) return system_reason(errno);
    if (!S_ISDIR(info.st_mode)) return system_reason(ENOTDIR);
    if (!effectively_writable(dir, W_OK | X_OK)) return system_reason(errno);
    if (place == output_place::directory) return {};
    if (stat(file.c_str(), &info) != 0) {
        return errno == ENOENT ? std::string() : system_reason(errno);
    }
    if (S_ISDIR(info.st_mode)) return system_reason(EISDIR);
    if (!S_ISREG(info.st_mode)) return "not a regular file";
    if (!effectively_writable(file, W_OK)) return system_reason(errno);
    return {};
}

}  // namespace

std::string system_reason(int error) {
    return std::strerror(error);
}

std::string directory_of(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

bool link_may_be_followed(mode_t directory_mode, uid_t directory_owner, uid_t link_owner,
                          uid_t follower) {
    constexpr mode_t shared = S_ISVTX | S_IWOTH;
    if ((directory_mode & shared) != shared) return true;
    return link_owner == directory_owner || link_owner == follower;
}

std::string output_problem(const std::string& target, output_place place) {
    auto file = final_target(target);
    if (!file.problem.empty()) return file.problem;
    return place_problem(file.path, place);
}

output_file writable_output_file(const std::string& target) {
    output_file file = final_target(target);
    if (file.problem.empty()) file.problem = place_problem(file.path, output_place::file);
    return file;
}

temp_file create_temp_beside(const std::string& file) {
    std::string pattern = directory_of(file) + temp_file_pattern;
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = mkstemp(name.data());
    if (fd < 0) return {};
    return {fd, std::string(name.data())};
}

bool sync_to_disk(int fd) {
    return fsync(fd) == 0 || errno == EINVAL;
}

void take_over_attributes(int fd, const std::string& target) {
    struct stat old {};
    if (stat(target.c_str(), &old) == 0) {
        if (old.st_uid != geteuid() || old.st_gid != getegid()) {
            if (fchown(fd, old.st_uid, old.st_gid) != 0) (void)!fchown(fd, -1, old.st_gid);
        }
        (void)fchmod(fd, old.st_mode & 07777);
        return;
    }
    mode_t mask = umask(0);
    umask(mask);
    (void)fchmod(fd, 0666 & ~mask);
}

}  // namespace velmora
