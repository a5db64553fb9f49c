// Preloaded into the real patcher (LD_PRELOAD) to make the C library's write calls on one file
// fail, fall short or go slowly, and to log which descriptor each of them went through. Calls on
// any other descriptor (the X connection, the terminal) pass untouched.
//   QX_FAULT_FILE  the file's resolved path, as /proc/self/fd shows it
//   QX_FAULT_MODE  eio (every write fails), short (every write takes nothing), only=N (the Nth
//                  write fails), from=N (every write from the Nth fails), fsync (syncing fails),
//                  pread (reading back fails), slow=MS (every write waits MS milliseconds
//                  first); empty: log only
//   QX_FAULT_LOG   a file that gets one line "descriptor" per write to the file
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <string>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

namespace {

template <typename Function> Function Real(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

using WriteCall = ssize_t (*)(int, const void*, size_t);
using PwriteCall = ssize_t (*)(int, const void*, size_t, off_t);
using FwriteCall = size_t (*)(const void*, size_t, size_t, FILE*);
using SyncCall = int (*)(int);
using PreadCall = ssize_t (*)(int, void*, size_t, off_t);

bool IsTarget(int fd) {
    const char* target = std::getenv("QX_FAULT_FILE");
    if (!target || fd < 0) return false;
    char link[64], path[4096];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t length = readlink(link, path, sizeof path - 1);
    return length > 0 && std::string(path, size_t(length)) == target;
}

const char* Mode() {
    const char* mode = std::getenv("QX_FAULT_MODE");
    return mode ? mode : "";
}

int writes = 0; // writes to the target so far

// Counts and logs a write to the target; the errno it must fail with, -1 for a short write that
// takes nothing, or 0 to let it through.
int Fault(int fd) {
    ++writes;
    const char* log = std::getenv("QX_FAULT_LOG");
    if (log && *log) {
        const int saved = errno; // a write that is let through or falls short keeps its errno
        int out = open(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
        std::string line = std::to_string(fd) + "\n";
        if (out >= 0) Real<WriteCall>("write")(out, line.data(), line.size());
        if (out >= 0) close(out);
        errno = saved;
    }
    const char* mode = Mode();
    int n = 0;
    if (std::strcmp(mode, "eio") == 0) return EIO;
    if (std::strcmp(mode, "short") == 0) return -1;
    if (std::sscanf(mode, "only=%d", &n) == 1) return writes == n ? EIO : 0;
    if (std::sscanf(mode, "from=%d", &n) == 1) return writes >= n ? EIO : 0;
    if (std::sscanf(mode, "slow=%d", &n) == 1) {
        const timespec pause = {n / 1000, (n % 1000) * 1000000L};
        nanosleep(&pause, nullptr);
    }
    return 0;
}

} // namespace

extern "C" {

ssize_t write(int fd, const void* data, size_t size) {
    if (int fault = IsTarget(fd) ? Fault(fd) : 0) return fault < 0 ? 0 : (errno = fault, -1);
    return Real<WriteCall>("write")(fd, data, size);
}

ssize_t pwrite(int fd, const void* data, size_t size, off_t offset) {
    if (int fault = IsTarget(fd) ? Fault(fd) : 0) return fault < 0 ? 0 : (errno = fault, -1);
    return Real<PwriteCall>("pwrite")(fd, data, size, offset);
}

ssize_t pwrite64(int fd, const void* data, size_t size, off_t offset) {
    if (int fault = IsTarget(fd) ? Fault(fd) : 0) return fault < 0 ? 0 : (errno = fault, -1);
    return Real<PwriteCall>("pwrite64")(fd, data, size, offset);
}

// The stream's own writes inside the C library do not come through write() above.
size_t fwrite(const void* data, size_t size, size_t count, FILE* stream) {
    if (int fault = IsTarget(fileno(stream)) ? Fault(fileno(stream)) : 0) {
        if (fault > 0) errno = fault;
        return 0;
    }
    return Real<FwriteCall>("fwrite")(data, size, count, stream);
}

ssize_t pread(int fd, void* data, size_t size, off_t offset) {
    if (IsTarget(fd) && std::strcmp(Mode(), "pread") == 0) return errno = EIO, -1;
    return Real<PreadCall>("pread")(fd, data, size, offset);
}

ssize_t pread64(int fd, void* data, size_t size, off_t offset) {
    if (IsTarget(fd) && std::strcmp(Mode(), "pread") == 0) return errno = EIO, -1;
    return Real<PreadCall>("pread64")(fd, data, size, offset);
}

int fsync(int fd) {
    if (IsTarget(fd) && std::strcmp(Mode(), "fsync") == 0) return errno = EIO, -1;
    return Real<SyncCall>("fsync")(fd);
}

int fdatasync(int fd) {
    if (IsTarget(fd) && std::strcmp(Mode(), "fsync") == 0) return errno = EIO, -1;
    return Real<SyncCall>("fdatasync")(fd);
}
}
