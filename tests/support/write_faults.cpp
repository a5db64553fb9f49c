// Preloaded into the real patcher (LD_PRELOAD) to make the C library's write, sync and lock calls
// on one file fail, fall short or go slowly, and to log which descriptor each write went through.
// Calls on any other descriptor (the X connection, the terminal) pass untouched.
//   QX_FAULT_FILE  the file's resolved path, as /proc/self/fd shows it
//   QX_FAULT_MODE  faults separated by commas: eio (every write fails), short (every write takes
//                  nothing), only=N (the Nth write fails), from=N (every write from the Nth
//                  fails), lose=N (the Nth write reports done but writes nothing), slow=MS (every
//                  write waits MS milliseconds first), pread (reading back fails), fsync (syncing
//                  fails with EIO) or fsync=E, flock=E (whole-file locks fail), locks=E (record
//                  locks fail too), E being ENOLCK, EOPNOTSUPP, EINVAL or EIO; empty: log only
//   QX_FAULT_LOG   a file that gets one line "descriptor" per write to the file
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
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
using FlockCall = int (*)(int, int);
using FcntlCall = int (*)(int, int, ...);

bool IsTarget(int fd) {
    const char* target = std::getenv("QX_FAULT_FILE");
    if (!target || fd < 0) return false;
    char link[64], path[4096];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t length = readlink(link, path, sizeof path - 1);
    return length > 0 && std::string(path, size_t(length)) == target;
}

struct Faults {
    bool eio = false, shortWrites = false, pread = false;
    int only = 0, from = 0, lose = 0, slow = 0;
    int fsync = 0, flock = 0, locks = 0; // the errno these calls fail with, 0 for none
};

int ErrorNamed(const std::string& name) {
    const std::pair<const char*, int> known[] = {
        {"ENOLCK", ENOLCK}, {"EOPNOTSUPP", EOPNOTSUPP}, {"EINVAL", EINVAL}, {"EIO", EIO}};
    for (const auto& error : known)
        if (name == error.first) return error.second;
    return EIO;
}

const Faults& Mode() {
    static const Faults faults = [] {
        Faults f;
        const char* mode = std::getenv("QX_FAULT_MODE");
        std::string all = mode ? mode : "";
        for (size_t start = 0; start < all.size();) {
            size_t end = all.find(',', start);
            if (end == std::string::npos) end = all.size();
            const std::string fault = all.substr(start, end - start);
            const size_t equals = fault.find('=');
            const std::string name = fault.substr(0, equals);
            const std::string value = equals == std::string::npos ? "" : fault.substr(equals + 1);
            const int number = std::atoi(value.c_str());
            if (name == "eio") f.eio = true;
            if (name == "short") f.shortWrites = true;
            if (name == "pread") f.pread = true;
            if (name == "only") f.only = number;
            if (name == "from") f.from = number;
            if (name == "lose") f.lose = number;
            if (name == "slow") f.slow = number;
            if (name == "fsync") f.fsync = value.empty() ? EIO : ErrorNamed(value);
            if (name == "flock") f.flock = ErrorNamed(value);
            if (name == "locks") f.flock = f.locks = ErrorNamed(value);
            start = end + 1;
        }
        return f;
    }();
    return faults;
}

int writes = 0; // writes to the target so far

// A write that reports itself done but writes nothing.
constexpr int kLost = -2;

// Counts and logs a write to the target; the errno it must fail with, -1 for a short write that
// takes nothing, kLost, or 0 to let it through.
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
    const Faults& f = Mode();
    if (f.eio || writes == f.only || (f.from && writes >= f.from)) return EIO;
    if (f.shortWrites) return -1;
    if (writes == f.lose) return kLost;
    if (f.slow) {
        const timespec pause = {f.slow / 1000, (f.slow % 1000) * 1000000L};
        nanosleep(&pause, nullptr);
    }
    return 0;
}

// What a write call returns for a fault: nothing taken, all of it taken, or -1 with the errno.
ssize_t Faulted(int fault, size_t size) {
    if (fault == kLost) return ssize_t(size);
    return fault < 0 ? 0 : (errno = fault, -1);
}

int Failing(int error) {
    errno = error;
    return -1;
}

bool IsRecordLock(int command) {
    return command == F_SETLK || command == F_SETLKW || command == F_OFD_SETLK ||
           command == F_OFD_SETLKW;
}

// fcntl's third argument is a pointer or an int; passed on as a word, it reaches either.
int Fcntl(const char* name, int fd, int command, void* argument) {
    if (IsRecordLock(command) && Mode().locks && IsTarget(fd)) return Failing(Mode().locks);
    return Real<FcntlCall>(name)(fd, command, argument);
}

} // namespace

extern "C" {

ssize_t write(int fd, const void* data, size_t size) {
    if (int fault = IsTarget(fd) ? Fault(fd) : 0) return Faulted(fault, size);
    return Real<WriteCall>("write")(fd, data, size);
}

ssize_t pwrite(int fd, const void* data, size_t size, off_t offset) {
    if (int fault = IsTarget(fd) ? Fault(fd) : 0) return Faulted(fault, size);
    return Real<PwriteCall>("pwrite")(fd, data, size, offset);
}

ssize_t pwrite64(int fd, const void* data, size_t size, off_t offset) {
    if (int fault = IsTarget(fd) ? Fault(fd) : 0) return Faulted(fault, size);
    return Real<PwriteCall>("pwrite64")(fd, data, size, offset);
}

// The stream's own writes inside the C library do not come through write() above.
size_t fwrite(const void* data, size_t size, size_t count, FILE* stream) {
    if (int fault = IsTarget(fileno(stream)) ? Fault(fileno(stream)) : 0) {
        if (fault == kLost) return count;
        if (fault > 0) errno = fault;
        return 0;
    }
    return Real<FwriteCall>("fwrite")(data, size, count, stream);
}

ssize_t pread(int fd, void* data, size_t size, off_t offset) {
    if (IsTarget(fd) && Mode().pread) return errno = EIO, -1;
    return Real<PreadCall>("pread")(fd, data, size, offset);
}

ssize_t pread64(int fd, void* data, size_t size, off_t offset) {
    if (IsTarget(fd) && Mode().pread) return errno = EIO, -1;
    return Real<PreadCall>("pread64")(fd, data, size, offset);
}

int fsync(int fd) {
    if (Mode().fsync && IsTarget(fd)) return Failing(Mode().fsync);
    return Real<SyncCall>("fsync")(fd);
}

int fdatasync(int fd) {
    if (Mode().fsync && IsTarget(fd)) return Failing(Mode().fsync);
    return Real<SyncCall>("fdatasync")(fd);
}

int flock(int fd, int operation) {
    if (Mode().flock && IsTarget(fd)) return Failing(Mode().flock);
    return Real<FlockCall>("flock")(fd, operation);
}

int fcntl(int fd, int command, ...) {
    va_list arguments;
    va_start(arguments, command);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    return Fcntl("fcntl", fd, command, argument);
}

int fcntl64(int fd, int command, ...) {
    va_list arguments;
    va_start(arguments, command);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    return Fcntl("fcntl64", fd, command, argument);
}
}
