#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <set>

#include "platform/atomic_output.hpp"

namespace velmora {

atomic_output_group::atomic_output_group(const std::vector<std::string>& targets) {
    files_.reserve(targets.size());
    std::set<std::string> directories;
    std::size_t names_size = 1;
    for (const auto& given : targets) {
        output_file resolved = writable_output_file(given);
        file f{given, resolved.path, {}};
        if (!resolved.problem.empty()) {
            (void)fail(f, resolved.problem);
            return;
        }
        std::string dir = directory_of(f.target);
        if (directories.insert(dir).second) {
            int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (fd < 0) {
                (void)fail(f, system_reason(errno));
                return;
            }
            directories_.push_back(fd);
        }
        names_size += dir.size() + sizeof temp_file_pattern;
        files_.push_back(std::move(f));
    }
    names_ = std::make_unique<char[]>(names_size);  // all zero: an empty list
    names_size_ = names_size;
    if (!register_pending_group(names_.get())) {
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
    int fd = -1;
    {
        interrupts_held held;
        temp_file temp = create_temp_beside(f.target);
        if (temp.fd < 0) return fail(f, system_reason(errno));
        fd = temp.fd;
        if (!publish(temp.name)) {
            close(fd);
            unlink(temp.name.c_str());
            return fail(f, "too many files");
        }
        f.temp = std::move(temp.name);
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
        return fail(f, system_reason(failure));
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
            error_ = system_reason(errno);
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
        release_pending_group();
        registered_ = false;
        if (failed == nullptr) note_output_in_place();
    }
    if (failed != nullptr) return fail(*failed, system_reason(failure));
    // The renames are lasting only once the directories that hold the names are synced.
    for (int fd : directories_) {
        if (!sync_to_disk(fd)) warning_ = system_reason(errno);
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
        release_pending_group();
        registered_ = false;
    }
}

}  // namespace velmora
