// One press of "Patch" as a unit: the target checked on the open file, locked against other
// writers, its old bytes kept, every write checked and made durable, and on any failure the old
// bytes put back before the player is told.
#include "app/app.h"
#include "app/patch.h"
#include "file/file.h"
#include "runtime/runtime.h"
#include "window/window.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <glib.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// How long a press waits for another program's lock on the target before saying it is busy,
// and how often it tries again meanwhile, running the toolkit in between.
constexpr int64_t kLockWaitMs = 10000;
constexpr int32_t kLockPollMs = 20;

// Read-back found other bytes than were written (or kept); no errno says so.
constexpr int kReadBackDiffers = -1;
// The player closed the window while the press waited for the lock.
constexpr int kCancelled = -2;

void Warn(const std::string& message) {
    int64_t units = UTF8ToText(message.c_str(), int64_t(message.size()) + 1, nullptr, 0);
    std::u16string text(size_t(units > 0 ? units : 1), u'\0');
    if (units > 0) UTF8ToText(message.c_str(), int64_t(message.size()) + 1, text.data(), units);
    MessageRequester(u"Warning!", text.c_str());
}

// The C library gives its reasons in the locale's character set; warnings are UTF-8.
std::string Reason(int error) {
    if (error == kReadBackDiffers) return "the bytes read back differ from those written";
    gchar* utf8 = g_locale_to_utf8(std::strerror(error), -1, nullptr, nullptr, nullptr);
    std::string reason = utf8 ? utf8 : "error " + std::to_string(error);
    g_free(utf8);
    return reason;
}

std::string CannotOpen(int error) {
    return "Quellmire.exe can not be opened for writing: " + Reason(error);
}

// TERM, INT, HUP and QUIT that arrive while the target is being written are held and delivered
// once it is whole again. A handler rather than a signal mask: a mask would cover only this
// thread, and the toolkit's libraries may run threads of their own.
constexpr int kHeldSignals[] = {SIGTERM, SIGINT, SIGHUP, SIGQUIT};
volatile sig_atomic_t heldSignal = 0;

void HoldSignal(int signal) {
    if (!heldSignal) heldSignal = signal;
}

class SignalsHeld {
  public:
    SignalsHeld() {
        struct sigaction hold = {};
        hold.sa_handler = HoldSignal;
        hold.sa_flags = SA_RESTART;
        sigfillset(&hold.sa_mask);
        heldSignal = 0;
        for (size_t i = 0; i < std::size(kHeldSignals); ++i)
            sigaction(kHeldSignals[i], &hold, &previous_[i]);
    }
    ~SignalsHeld() {
        for (size_t i = 0; i < std::size(kHeldSignals); ++i)
            sigaction(kHeldSignals[i], &previous_[i], nullptr);
        // Delivered as if it had come now, under whatever the program had for it before.
        if (heldSignal) raise(heldSignal);
    }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

  private:
    struct sigaction previous_[std::size(kHeldSignals)];
};

// Whether a lock call's error says the file system has no locks of that kind (network file
// systems without their lock service, some FUSE file systems), rather than that one is held.
bool NoLocksHere(int error) {
    return error == ENOLCK || error == EOPNOTSUPP || error == ENOTSUP || error == EINVAL;
}

// How the target is held against other writers: by a lock on the whole file, by a record lock
// over all of it, or, where the file system has neither, not at all.
enum class LockKind { Whole, Record, None };

// One try at the lock: 0 when taken, EWOULDBLOCK while another program holds it, else the errno.
int TryLock(int fd, LockKind kind) {
    if (kind == LockKind::None) return 0;
    if (kind == LockKind::Whole) return flock(fd, LOCK_EX | LOCK_NB) == 0 ? 0 : errno;
    // A record lock of the open file rather than of the process: the library's close of file 0
    // closes another descriptor of this file, which would drop a process's record locks.
    struct flock range = {};
    range.l_type = F_WRLCK;
    range.l_whence = SEEK_SET; // from 0 with length 0: the whole file, however long
    if (fcntl(fd, F_OFD_SETLK, &range) == 0) return 0;
    return errno == EAGAIN || errno == EACCES ? EWOULDBLOCK : errno;
}

// Shows the window busy for a scope.
class BusyWindow {
  public:
    explicit BusyWindow(intptr_t window) : window_(window) { SetWindowBusy(window_, true); }
    ~BusyWindow() { SetWindowBusy(window_, false); }
    BusyWindow(const BusyWindow&) = delete;
    BusyWindow& operator=(const BusyWindow&) = delete;

  private:
    intptr_t window_;
};

// Waits for another program's lock with the window kept alive: redrawn, busy, and closing it
// cancels the press. 0 once taken; EWOULDBLOCK when the wait is over; kCancelled.
int WaitForLock(int fd, LockKind kind, intptr_t window) {
    BusyWindow busy(window);
    const int64_t deadline = g_get_monotonic_time() + kLockWaitMs * 1000;
    for (;;) {
        // Every event but a close request is spent here: the gadgets take no input meanwhile.
        if (WaitWindowEvent(kLockPollMs) == CloseWindow) return kCancelled;
        int error = TryLock(fd, kind);
        if (error != EWOULDBLOCK || g_get_monotonic_time() >= deadline) return error;
    }
}

// Takes an exclusive lock of the best kind the file system has. 0, or why it could not be had.
int Lock(int fd, intptr_t window) {
    LockKind kind = LockKind::Whole;
    int error = TryLock(fd, kind);
    if (NoLocksHere(error)) error = TryLock(fd, kind = LockKind::Record);
    // No lock at all: every check below is made on the open file all the same.
    if (kind == LockKind::Record && NoLocksHere(error)) error = TryLock(fd, kind = LockKind::None);
    return error == EWOULDBLOCK ? WaitForLock(fd, kind, window) : error;
}

// Reads the byte at every offset of the plan. 0, or the errno of the read that failed.
int ReadPlanBytes(int fd, const PatchPlan& plan, uint8_t* bytes) {
    for (int32_t i = 0; i < plan.count; ++i) {
        ssize_t got = pread(fd, &bytes[i], 1, plan.writes[i].offset);
        if (got != 1) return got < 0 ? errno : EIO;
    }
    return 0;
}

// Checks that the file holds `expected` at every offset of the plan.
int ReadBack(int fd, const PatchPlan& plan, const uint8_t* expected) {
    uint8_t found[kMaxPatchWrites];
    if (int error = ReadPlanBytes(fd, plan, found)) return error;
    return std::memcmp(found, expected, size_t(plan.count)) == 0 ? 0 : kReadBackDiffers;
}

// Makes what was written durable. A file system that has no sync for this file (EINVAL, ENOTSUP)
// has nothing more to do, and the read-back after it decides. 0, or the errno.
int Sync(int fd) {
    if (fsync(fd) == 0) return 0;
    return errno == EINVAL || errno == ENOTSUP || errno == EOPNOTSUPP ? 0 : errno;
}

// What the file holds after a failed patch.
enum class Restored {
    AsBefore,    // the old bytes read back and are durable
    NotDurable,  // the old bytes read back, but the disk did not confirm it keeps them
    MaybePartly, // other bytes read back, or none could be read
};

// Puts the kept bytes back wherever the file now differs, makes that durable and reads it back.
Restored Restore(int fd, const PatchPlan& plan, const uint8_t* kept) {
    uint8_t found[kMaxPatchWrites];
    if (ReadPlanBytes(fd, plan, found) != 0) return Restored::MaybePartly;
    bool rewritten = false;
    for (int32_t i = 0; i < plan.count; ++i) {
        if (found[i] == kept[i]) continue;
        // A rewrite that fails shows in the read-back.
        if (pwrite(fd, &kept[i], 1, plan.writes[i].offset) != 1) continue;
        rewritten = true;
    }
    const bool durable = !rewritten || Sync(fd) == 0;
    if (ReadBack(fd, plan, kept) != 0) return Restored::MaybePartly;
    return durable ? Restored::AsBefore : Restored::NotDurable;
}

// Writes, writes out, makes durable and reads back. 0, or why it failed.
int WriteAndCheck(int fd, const PatchPlan& plan) {
    WritePlan(plan);
    if (int error = CloseFile(kPatchFile)) return error;
    if (int error = Sync(fd)) return error;
    uint8_t written[kMaxPatchWrites];
    for (int32_t i = 0; i < plan.count; ++i)
        written[i] = plan.writes[i].value;
    return ReadBack(fd, plan, written);
}

// Writes the plan with the target locked and checked and its old bytes kept: 0 when the patch is
// in the file, otherwise why not, with `restored` telling what the file holds now.
int WriteLocked(int fd, const PatchPlan& plan, const uint8_t* kept, Restored& restored) {
    SignalsHeld held;
    int error = WriteAndCheck(fd, plan);
    restored = Restored::AsBefore;
    if (error) {
        CloseFile(kPatchFile); // nothing of the library's may reach the file after the restore
        restored = Restore(fd, plan, kept);
    }
    return error;
}

// The locked part of a press: what the player must be told (nothing after a good patch).
PatchOutcome PatchLocked(int fd, const PatchPlan& plan, intptr_t window, std::string& warning) {
    if (int error = Lock(fd, window)) {
        if (error == kCancelled) return PatchOutcome::Cancelled;
        warning = error == EWOULDBLOCK
                      ? "Quellmire.exe is being written by another program. "
                        "Try again when it is done."
                      : "Quellmire.exe can not be locked for writing: " + Reason(error);
        return PatchOutcome::Refused;
    }
    struct stat status;
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size != kTargetSize) {
        // What was checked at start-up has been replaced: write nothing into whatever it is now.
        warning = "Can not find the original file Quellmire.exe v1.05b";
        return PatchOutcome::Refused;
    }
    // A file made read-only is left alone even by a player whom the permission bits cannot stop.
    if ((status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        warning = CannotOpen(EACCES);
        return PatchOutcome::Refused;
    }
    uint8_t kept[kMaxPatchWrites];
    if (int error = ReadPlanBytes(fd, plan, kept)) {
        warning = "Quellmire.exe could not be read: " + Reason(error) + ". Nothing was written.";
        return PatchOutcome::Failed;
    }
    Restored restored = Restored::AsBefore;
    int error = WriteLocked(fd, plan, kept, restored);
    if (!error) return PatchOutcome::Patched;
    warning = "Quellmire.exe could not be written: " + Reason(error) + ". ";
    switch (restored) {
    case Restored::AsBefore:
        warning += "It is as it was before.";
        break;
    case Restored::NotDurable:
        warning += "It reads as it was before, but the disk did not confirm that it keeps it: "
                   "check the disk.";
        break;
    case Restored::MaybePartly:
        warning += "It may be partly patched: restore your copy of it.";
        break;
    }
    return PatchOutcome::Failed;
}

} // namespace

void WarnCannotOpen(int error) {
    Warn(CannotOpen(error));
}

PatchOutcome PatchTarget(const PatchPlan& plan, intptr_t window) {
    FILE* stream = FileID(kPatchFile);
    // A descriptor of our own, above the standard ones, outlives the library's close of file 0
    // and keeps the lock and the way back to the old bytes until the unit is over.
    int fd = stream ? fcntl(fileno(stream), F_DUPFD_CLOEXEC, 3) : -1;
    if (fd < 0) {
        WarnCannotOpen(stream ? errno : EBADF);
        return PatchOutcome::Refused;
    }
    std::string warning;
    PatchOutcome outcome = PatchLocked(fd, plan, window, warning);
    close(fd); // the lock goes with it, before a warning waits for the player
    if (!warning.empty()) Warn(warning);
    return outcome;
}
