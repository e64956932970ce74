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

// The directory part of a path with its trailing separator; "./" for a bare name.
std::string directory_of(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

// The file a path finally names, with the symbolic links of its last part followed, as a
// shell redirect follows them (a link to a missing file names that missing file).  None
// with errno set when a link can't be read or the links loop.
std::optional<std::string> final_target(const std::string& path) {
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info {};
        if (lstat(current.c_str(), &info) != 0) {
            if (errno == ENOENT) return current;
            return std::nullopt;
        }
        if (!S_ISLNK(info.st_mode)) return current;
        std::vector<char> link(PATH_MAX + 1);
        ssize_t n = readlink(current.c_str(), link.data(), link.size());
        if (n < 0) return std::nullopt;
        if (static_cast<std::size_t>(n) >= link.size()) {
            errno = ENAMETOOLONG;
            return std::nullopt;
        }
        std::string next(link.data(), static_cast<std::size_t>(n));
        current = next.front() == '/' ? next : directory_of(current) + next;
    }
    errno = ELOOP;
    return std::nullopt;
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

std::string output_problem(const std::string& target, output_place place) {
    auto file = final_target(target);
    if (!file) return reason(errno);
    return place_problem(*file, place);
}

std::optional<atomic_output> atomic_output::open(const std::string& target, std::string* why) {
    auto fail = [why](std::string text) -> std::optional<atomic_output> {
        if (why != nullptr) *why = std::move(text);
        return std::nullopt;
    };
    auto file = final_target(target);
    if (!file) return fail(reason(errno));
    if (std::string problem = place_problem(*file, output_place::file); !problem.empty()) {
        return fail(problem);
    }
    // A short name, so that it fits wherever the target's name fits.
    std::string pattern = directory_of(*file) + ".velmora-XXXXXX";
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
    take_over_attributes(fd, *file);
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
    return atomic_output(*file, std::string(name.data()), stream, slot);
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

void remove_pending_outputs() noexcept {
    for (auto& slot : pending) {
        if (slot.state.load() == 2) unlink(slot.path);
    }
}

}  // namespace velmora
