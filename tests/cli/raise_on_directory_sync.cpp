// Loaded into the program under test (LD_PRELOAD): every sync of a directory first sends
// the process a SIGTERM, as a signal arriving right after an output was renamed into
// place would.  The sync itself then goes on as usual.
#include <dlfcn.h>
#include <signal.h>
#include <sys/stat.h>

extern "C" int fsync(int fd) {
    using fsync_function = int (*)(int);
    static auto real = reinterpret_cast<fsync_function>(dlsym(RTLD_NEXT, "fsync"));
    struct stat info {};
    if (fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) raise(SIGTERM);
    return real(fd);
}
