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
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace {

// How long a press waits for another program's lock on the target before saying it is busy.
constexpr int kLockWaitMs = 10000;
constexpr int kLockPollMs = 20;

// Read-back found other bytes than were written (or kept); no errno says so.
constexpr int kReadBackDiffers = -1;

void Warn(const std::string& message) {
    int64_t units = UTF8ToText(message.c_str(), int64_t(message.size()) + 1, nullptr, 0);
    std::u16string text(size_t(units > 0 ? units : 1), u'\0');
    if (units > 0) UTF8ToText(message.c_str(), int64_t(message.size()) + 1, text.data(), units);
    MessageRequester(u"Warning!", text.c_str());
}

std::string Reason(int error) {
    return error == kReadBackDiffers ? "the bytes read back differ from those written"
                                     : std::strerror(error);
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

// Takes the exclusive lock, waiting a while for another holder. 0, or the errno that refused it.
int Lock(int fd) {
    for (int waited = 0;; waited += kLockPollMs) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) return 0;
        if (errno != EWOULDBLOCK || waited >= kLockWaitMs) return errno;
        const timespec pause = {0, kLockPollMs * 1000000L};
        nanosleep(&pause, nullptr);
    }
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

// Puts the kept bytes back wherever the file now differs, makes that durable and reads it back.
// True when the file is as it was.
bool Restore(int fd, const PatchPlan& plan, const uint8_t* kept) {
    uint8_t found[kMaxPatchWrites];
    if (ReadPlanBytes(fd, plan, found) != 0) return false;
    bool rewritten = false;
    for (int32_t i = 0; i < plan.count; ++i) {
        if (found[i] == kept[i]) continue;
        if (pwrite(fd, &kept[i], 1, plan.writes[i].offset) != 1) return false;
        rewritten = true;
    }
    return (!rewritten || fsync(fd) == 0) && ReadBack(fd, plan, kept) == 0;
}

// Writes, writes out, makes durable and reads back. 0, or why it failed.
int WriteAndCheck(int fd, const PatchPlan& plan) {
    WritePlan(plan);
    if (int error = CloseFile(kPatchFile)) return error;
    if (fsync(fd) != 0) return errno;
    uint8_t written[kMaxPatchWrites];
    for (int32_t i = 0; i < plan.count; ++i)
        written[i] = plan.writes[i].value;
    return ReadBack(fd, plan, written);
}

// Writes the plan with the target locked and checked and its old bytes kept: 0 when the patch is
// in the file, otherwise why not, with `restored` telling whether the file is as it was.
int WriteLocked(int fd, const PatchPlan& plan, const uint8_t* kept, bool& restored) {
    SignalsHeld held;
    int error = WriteAndCheck(fd, plan);
    restored = true;
    if (error) {
        CloseFile(kPatchFile); // nothing of the library's may reach the file after the restore
        restored = Restore(fd, plan, kept);
    }
    return error;
}

// The locked part of a press: what the player must be told (nothing after a good patch).
PatchOutcome PatchLocked(int fd, const PatchPlan& plan, std::string& warning) {
    if (int error = Lock(fd)) {
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
    bool restored = false;
    int error = WriteLocked(fd, plan, kept, restored);
    if (!error) return PatchOutcome::Patched;
    warning = "Quellmire.exe could not be written: " + Reason(error) +
              (restored ? ". It is as it was before."
                        : ". It may be partly patched: restore your copy of it.");
    return PatchOutcome::Failed;
}

} // namespace

void WarnCannotOpen(int error) {
    Warn(CannotOpen(error));
}

PatchOutcome PatchTarget(const PatchPlan& plan) {
    FILE* stream = FileID(kPatchFile);
    // A descriptor of our own, above the standard ones, outlives the library's close of file 0
    // and keeps the lock and the way back to the old bytes until the unit is over.
    int fd = stream ? fcntl(fileno(stream), F_DUPFD_CLOEXEC, 3) : -1;
    if (fd < 0) {
        WarnCannotOpen(stream ? errno : EBADF);
        return PatchOutcome::Refused;
    }
    std::string warning;
    PatchOutcome outcome = PatchLocked(fd, plan, warning);
    close(fd); // the lock goes with it, before a warning waits for the player
    if (!warning.empty()) Warn(warning);
    return outcome;
}
