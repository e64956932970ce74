#include "platform/atomic_output.hpp"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>
#include <vector>

namespace velmora {

namespace {

// The temporary files not yet renamed or removed, for remove_pending_outputs().  A slot
// is free (0), being filled (1) or names a file (2); the handler reads only armed slots.
constexpr int pending_slots = 8;
struct pending_slot {
    std::atomic<int> state{0};
    char path[PATH_MAX + 1] = {};
};
pending_slot pending[pending_slots];
static_assert(std::atomic<int>::is_always_lock_free);

int register_pending(const std::string& path) {
    if (path.size() > PATH_MAX) return -1;
    for (int i = 0; i < pending_slots; ++i) {
        int expected = 0;
        if (pending[i].state.compare_exchange_strong(expected, 1)) {
            std::memcpy(pending[i].path, path.c_str(), path.size() + 1);
            pending[i].state.store(2);
            return i;
        }
    }
    return -1;
}

void release_pending(int slot) {
    if (slot >= 0) pending[slot].state.store(0);
}

// Holds back the interrupt signals while a temporary file is created and registered, or
// renamed and forgotten, so that no interrupt falls between the two.
class interrupts_held {
  public:
    interrupts_held() {
        sigset_t held;
        sigemptyset(&held);
        for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&held, sig);
        pthread_sigmask(SIG_BLOCK, &held, &previous_);
    }
    ~interrupts_held() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
    interrupts_held(const interrupts_held&) = delete;
    interrupts_held& operator=(const interrupts_held&) = delete;

  private:
    sigset_t previous_{};
};

std::string reason(int error) {
    return std::strerror(error);
}

// The name of a temporary file beside its target: short, so that it fits wherever the
// target's name fits, and hidden.
constexpr char temp_name[] = ".velmora-XXXXXX";

// The temporary names of the output group being written, one after the other, each
// ended by a zero byte, the list by an empty name; none when no group is written.
std::atomic<char*> pending_group{nullptr};

// Set once an output was renamed into place.
std::atomic<bool> output_replaced{false};

// The directory part of a path with its trailing separator; "./" for a bare name.
std::string directory_of(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

// Why the symbolic link at path (whose lstat is link) must not be followed, or empty.
std::string link_problem(const std::string& path, const struct stat& link) {
    struct stat directory {};
    if (stat(directory_of(path).c_str(), &directory) != 0) return reason(errno);
    if (link_may_be_followed(directory.st_mode, directory.st_uid, link.st_uid, geteuid())) {
        return {};
    }
    return "a symbolic link of another user in a sticky directory open to all users; "
           "not followed";
}

// The file a path finally names, and why it can't be used (empty when it can).
struct resolved_path {
    std::string path;
    std::string problem;
};

// Follows the symbolic links of the path's last part, as a shell redirect follows them
// (a link to a missing file names that missing file), but only links that may be
// followed where they lie.
resolved_path final_target(const std::string& path) {
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info {};
        if (lstat(current.c_str(), &info) != 0) {
            if (errno == ENOENT) return {current, {}};
            return {current, reason(errno)};
        }
        if (!S_ISLNK(info.st_mode)) return {current, {}};
        if (std::string problem = link_problem(current, info); !problem.empty()) {
            return {current, problem};
        }
        std::vector<char> link(PATH_MAX + 1);
        ssize_t n = readlink(current.c_str(), link.data(), link.size());
        if (n < 0) return {current, reason(errno)};
        if (static_cast<std::size_t>(n) >= link.size()) return {current, reason(ENAMETOOLONG)};
        std::string next(link.data(), static_cast<std::size_t>(n));
        current = next.front() == '/' ? next : directory_of(current) + next;
    }
    return {current, reason(ELOOP)};
}

bool effectively_writable(const std::string& path, int mode) {
    return faccessat(AT_FDCWD, path.c_str(), mode, AT_EACCESS) == 0;
}

// The checks of output_problem() on a target whose links were already followed.
std::string place_problem(const std::string& file, output_place place) {
    std::string dir = directory_of(file);
    struct stat info {};
    if (stat(dir.c_str(), &info) != 0) return reason(errno);
    if (!S_ISDIR(info.st_mode)) return reason(ENOTDIR);
    if (!effectively_writable(dir, W_OK | X_OK)) return reason(errno);
    if (place == output_place::directory) return {};
    if (stat(file.c_str(), &info) != 0) {
        return errno == ENOENT ? std::string() : reason(errno);
    }
    if (S_ISDIR(info.st_mode)) return reason(EISDIR);
    if (!S_ISREG(info.st_mode)) return "not a regular file";
    if (!effectively_writable(file, W_OK)) return reason(errno);
    return {};
}

// Gives the new file what the user chose for the old one: owner and group where this
// process may set them, then the permission bits.  A new target gets the usual mode of
// new files.
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

// Syncs a file's data to disk; a file that can't be synced (a device) counts as synced.
bool sync_fd(int fd) {
    return fsync(fd) == 0 || errno == EINVAL;
}

}  // namespace

// Sends the data written to a file so far to the disk, a few megabytes at a time, while
// the writing goes on.  Only the writing out is started here, and no failure is taken
// from it: the sync at commit waits for all of it and reports any failure, the one of a
// write started here included.
class atomic_output::early_writeback {
  public:
    explicit early_writeback(int fd) : fd_(fd), thread_([this] { run(); }) {}
    ~early_writeback() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        stop_signal_.notify_one();
        thread_.join();
    }
    early_writeback(const early_writeback&) = delete;
    early_writeback& operator=(const early_writeback&) = delete;

  private:
    static constexpr auto tick = std::chrono::milliseconds(10);
    static constexpr off_t step = off_t{4} << 20;

    void run() {
        off_t sent = 0;  // data before this offset was sent
        std::unique_lock<std::mutex> lock(mutex_);
        while (!stop_signal_.wait_for(lock, tick, [this] { return stop_; })) {
            // The output is written front to back, so its size is how far it got.  The
            // file position would tell the same, but asking for it waits for the write
            // under way, which holds the position for as long as it copies.
            struct stat status {};
            if (fstat(fd_, &status) != 0) return;
            off_t position = status.st_size;
            if (position - sent < step) continue;
            if (sync_file_range(fd_, sent, position - sent, SYNC_FILE_RANGE_WRITE) != 0) {
                return;  // not a file that can be sent early; the sync at commit does it all
            }
            sent = position;
        }
    }

    int fd_;
    std::mutex mutex_;
    std::condition_variable stop_signal_;
    bool stop_ = false;
    std::thread thread_;
};

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

std::optional<atomic_output> atomic_output::open(const std::string& target, std::string* why) {
    auto fail = [why](std::string text) -> std::optional<atomic_output> {
        if (why != nullptr) *why = std::move(text);
        return std::nullopt;
    };
    auto resolved = final_target(target);
    if (!resolved.problem.empty()) return fail(resolved.problem);
    const std::string& file = resolved.path;
    if (std::string problem = place_problem(file, output_place::file); !problem.empty()) {
        return fail(problem);
    }
    std::string pattern = directory_of(file) + temp_name;
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = -1;
    int slot = -1;
    {
        interrupts_held held;
        fd = mkstemp(name.data());
        if (fd < 0) return fail(reason(errno));
        slot = register_pending(name.data());
    }
    take_over_attributes(fd, file);
    std::FILE* stream = fdopen(fd, "wb");
    if (stream == nullptr) {
        int saved = errno;
        close(fd);
        unlink(name.data());
        release_pending(slot);
        return fail(reason(saved));
    }
    static constexpr std::size_t buffer_size = 1 << 16;
    std::setvbuf(stream, nullptr, _IOFBF, buffer_size);
    return atomic_output(file, std::string(name.data()), stream, slot);
}

atomic_output::atomic_output(std::string target, std::string temp, std::FILE* stream, int slot)
    : target_(std::move(target)), temp_(std::move(temp)), stream_(stream), slot_(slot) {
    try {
        writeback_ = std::make_unique<early_writeback>(fileno(stream_));
    } catch (const std::system_error&) {
        // No thread: all of the data goes to the disk at commit.
    }
}

atomic_output::atomic_output(atomic_output&& other) noexcept
    : target_(std::move(other.target_)),
      temp_(std::move(other.temp_)),
      stream_(other.stream_),
      slot_(other.slot_),
      error_(std::move(other.error_)),
      warning_(std::move(other.warning_)),
      writeback_(std::move(other.writeback_)) {
    other.stream_ = nullptr;
    other.temp_.clear();
    other.slot_ = -1;
}

atomic_output::~atomic_output() {
    discard();
}

// Ends the early writing out before the file is closed, so that it never acts on a
// descriptor that names another file by then.
void atomic_output::stop_writeback() {
    writeback_.reset();
}

bool atomic_output::commit() {
    if (stream_ == nullptr) {
        error_ = "output already closed";
        return false;
    }
    stop_writeback();
    int failure = std::ferror(stream_) != 0 ? EIO : 0;
    if (std::fflush(stream_) != 0 && failure == 0) failure = errno;
    if (failure == 0 && !sync_fd(fileno(stream_))) failure = errno;
    if (std::fclose(stream_) != 0 && failure == 0) failure = errno;
    stream_ = nullptr;
    if (failure != 0) {
        error_ = reason(failure);
        discard();
        return false;
    }
    {
        interrupts_held held;
        if (std::rename(temp_.c_str(), target_.c_str()) != 0) {
            error_ = reason(errno);
            unlink(temp_.c_str());
            failure = 1;
        } else {
            output_replaced.store(true);
        }
        release_pending(slot_);
        slot_ = -1;
        temp_.clear();
    }
    if (failure != 0) return false;
    // The rename is lasting only once the directory that holds the name is synced.
    int dir = ::open(directory_of(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0 || !sync_fd(dir)) warning_ = reason(errno);
    if (dir >= 0) close(dir);
    return true;
}

void atomic_output::discard() {
    stop_writeback();
    if (stream_ != nullptr) {
        std::fclose(stream_);
        stream_ = nullptr;
    }
    if (!temp_.empty()) {
        interrupts_held held;
        unlink(temp_.c_str());
        release_pending(slot_);
        slot_ = -1;
        temp_.clear();
    }
}

atomic_output_group::atomic_output_group(const std::vector<std::string>& targets) {
    files_.reserve(targets.size());
    std::set<std::string> directories;
    std::size_t names_size = 1;
    for (const auto& given : targets) {
        auto resolved = final_target(given);
        file f{given, resolved.path, {}};
        std::string problem = resolved.problem.empty()
                                  ? place_problem(resolved.path, output_place::file)
                                  : resolved.problem;
        if (!problem.empty()) {
            (void)fail(f, problem);
            return;
        }
        std::string dir = directory_of(f.target);
        if (directories.insert(dir).second) {
            int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (fd < 0) {
                (void)fail(f, reason(errno));
                return;
            }
            directories_.push_back(fd);
        }
        names_size += dir.size() + sizeof temp_name;
        files_.push_back(std::move(f));
    }
    names_ = std::make_unique<char[]>(names_size);  // all zero: an empty list
    names_size_ = names_size;
    char* expected = nullptr;
    if (!pending_group.compare_exchange_strong(expected, names_.get())) {
        error_ = "another group of files is being written";
        failed_target_ = targets.empty() ? std::string() : targets.front();
        return;
    }
    registered_ = true;
}

atomic_output_group::~atomic_output_group() {
    discard();
    for (int fd : directories_) close(fd);
}

bool atomic_output_group::fail(const file& f, std::string reason_text) {
    if (error_.empty()) {
        error_ = std::move(reason_text);
        failed_target_ = f.given;
    }
    return false;
}

// Adds a temporary name to the list remove_pending_outputs() walks.  Its first byte is
// set last, so that a handler never sees a part of a name.
bool atomic_output_group::publish(const std::string& temp) {
    std::size_t size = temp.size() + 1;
    if (names_used_ + size >= names_size_) return false;
    char* at = names_.get() + names_used_;
    std::memcpy(at + 1, temp.c_str() + 1, size - 1);
    std::atomic_ref<char>(*at).store(temp.front(), std::memory_order_release);
    names_used_ += size;
    return true;
}

bool atomic_output_group::write(std::size_t index, std::span<const std::uint8_t> bytes) {
    if (!ok() || !registered_ || index >= files_.size()) return false;
    file& f = files_[index];
    if (!f.temp.empty()) return fail(f, "written twice");
    std::string pattern = directory_of(f.target) + temp_name;
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = -1;
    {
        interrupts_held held;
        fd = mkstemp(name.data());
        if (fd < 0) return fail(f, reason(errno));
        if (!publish(name.data())) {
            close(fd);
            unlink(name.data());
            return fail(f, "too many files");
        }
        f.temp = name.data();
    }
    take_over_attributes(fd, f.target);
    int failure = 0;
    for (std::size_t done = 0; done < bytes.size();) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            failure = n < 0 ? errno : EIO;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    if (close(fd) != 0 && failure == 0) failure = errno;
    if (failure != 0) {
        interrupts_held held;
        unlink(f.temp.c_str());
        f.temp.clear();
        return fail(f, reason(failure));
    }
    return true;
}

bool atomic_output_group::commit() {
    if (!ok() || !registered_) {
        if (error_.empty()) error_ = "output already closed";
        discard();
        return false;
    }
    // One sync of each file system sends all the files to the disk, where a sync of
    // every file would wait for the disk once per file.  It reports any write of its
    // file system that failed since the directory was opened, before the files were.
    for (int fd : directories_) {
        if (syncfs(fd) != 0) {
            error_ = reason(errno);
            failed_target_ = files_.empty() ? std::string() : files_.front().given;
            discard();
            return false;
        }
    }
    const file* failed = nullptr;
    int failure = 0;
    {
        interrupts_held held;
        for (auto& f : files_) {
            if (f.temp.empty()) continue;
            if (std::rename(f.temp.c_str(), f.target.c_str()) != 0) {
                failure = errno;
                failed = &f;
                break;
            }
            f.temp.clear();
            ++renamed_;
        }
        for (auto& f : files_) {
            if (!f.temp.empty()) unlink(f.temp.c_str());
            f.temp.clear();
        }
        pending_group.store(nullptr);
        registered_ = false;
        if (failed == nullptr) output_replaced.store(true);
    }
    if (failed != nullptr) return fail(*failed, reason(failure));
    // The renames are lasting only once the directories that hold the names are synced.
    for (int fd : directories_) {
        if (!sync_fd(fd)) warning_ = reason(errno);
    }
    return true;
}

void atomic_output_group::discard() {
    interrupts_held held;
    for (auto& f : files_) {
        if (!f.temp.empty()) unlink(f.temp.c_str());
        f.temp.clear();
    }
    if (registered_) {
        pending_group.store(nullptr);
        registered_ = false;
    }
}

void remove_pending_outputs() noexcept {
    for (auto& slot : pending) {
        if (slot.state.load() == 2) unlink(slot.path);
    }
    char* names = pending_group.load();
    if (names == nullptr) return;
    for (std::size_t at = 0;;) {
        if (std::atomic_ref<char>(names[at]).load(std::memory_order_acquire) == '\0') break;
        unlink(names + at);
        while (names[at] != '\0') ++at;
        ++at;
    }
}

bool output_in_place() noexcept {
    return output_replaced.load();
}

}  // namespace velmora
