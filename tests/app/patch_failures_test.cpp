// The real patcher on a bad day: writes that fail, a target replaced or locked away while the
// window is open, two patchers at once, a termination in the middle, closed standard descriptors.
// Writes are made to fail by a preloaded module (support/write_faults.cpp).
#include "tests/app/patcher.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const std::string kOriginal = "Can not find the original file Quellmire.exe v1.05b";

// Lines in a write log: one per write that reached the target's descriptor.
std::vector<int> Logged(const std::string& log) {
    std::vector<int> descriptors;
    std::ifstream in(log);
    for (int fd; in >> fd;)
        descriptors.push_back(fd);
    return descriptors;
}

class PatchFailures : public Patcher {
  protected:
    // Waits for a warning that says `text`, and answers it with OK.
    bool Answer(const std::string& text) {
        auto warned = [&](const Description& d) { return Find(d, text) && Find(d, "OK"); };
        Description shown = process_->WaitFor(warned);
        return !shown.empty() && Find(shown, "Warning!") && Click(Find(shown, "OK"));
    }
    std::string log_ = dir_.File("writes.log");
};

// Each way of failing, and what the player is told and finds afterwards: the file as it was
// wherever the old bytes could be put back, and an honest word where they could not.
TEST_F(PatchFailures, FailingWritesAreUndoneAndTheWarningSaysSo) {
    const std::string failed = "Quellmire.exe could not be written: Input/output error. ",
                      asWas = failed + "It is as it was before.",
                      partly = failed + "It may be partly patched: restore your copy of it.",
                      unread = "Quellmire.exe could not be read: Input/output error. Nothing was "
                               "written.";
    struct Case {
        const char* mode;
        const std::string& warning;
        size_t changed; // bytes that differ afterwards
    };
    // A restore that cannot be made durable is no restore: so "partly" when syncing fails.
    const Case cases[] = {{"eio", asWas, 0},     {"short", asWas, 0},  {"only=5", asWas, 0},
                          {"from=5", partly, 4}, {"fsync", partly, 0}, {"pread", unread, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        ASSERT_TRUE(Start(kTarget, {.environment = WriteFaults(RealPath(target_), c.mode)}));
        ASSERT_TRUE(Press("Patch"));
        ASSERT_TRUE(Answer(c.warning));
        EXPECT_EQ(process_->WaitExit(), 1);
        const Bytes after = ReadBytes(target_);
        EXPECT_EQ(Changed(after, kTarget), c.changed);
        // What did get through is the start of the patch: the first two heights.
        if (c.changed) {
            EXPECT_EQ(Changed(after, Patched(kTarget, 0xAAAA, 1080)), 4u);
        }
    }
}

// The target is replaced, made read-only, deleted or locked by another writer after the window
// opened. "Patch" writes nothing and makes nothing, the window stays for another try, and "Exit"
// still ends with 0.
TEST_F(PatchFailures, AReplacedOrLockedTargetIsLeftAloneAndTheWindowStays) {
    const std::string other = dir_.File("other.dat"), spare = dir_.File("spare");
    const std::string cannot = "Quellmire.exe can not be opened for writing: ";
    ASSERT_EQ(chmod(dir_.Path().c_str(), 0755), 0);
    Bytes replacement;
    int reader = -1, holder = -1;
    auto replaceWith = [&](size_t size) {
        replacement = RandomBytes(size, unsigned(size));
        WriteBytes(spare, replacement);
        return rename(spare.c_str(), target_.c_str()) == 0;
    };
    auto holds = [&](const std::string& file, const Bytes& bytes) {
        return [&, file, bytes] { return ReadBytes(file) == bytes; };
    };
    struct Case {
        const char* name;
        bool asNobody;
        std::function<bool()> change; // made while the window is open
        std::string warning;
        std::function<bool()> untouched;
    };
    const Case cases[] = {
        {"larger", false, [&] { return replaceWith(1372161); }, kOriginal,
         [&] { return ReadBytes(target_) == replacement; }},
        {"smaller", false, [&] { return replaceWith(1372159); }, kOriginal,
         [&] { return ReadBytes(target_) == replacement; }},
        {"link to 3 MB", false,
         [&] {
             WriteBytes(other, RandomBytes(3 << 20, 3));
             return symlink(other.c_str(), spare.c_str()) == 0 &&
                    rename(spare.c_str(), target_.c_str()) == 0;
         },
         kOriginal, holds(other, RandomBytes(3 << 20, 3))},
        // The pipe's reading end stays open, so that anything written into it would stay there.
        {"pipe", false,
         [&] {
             return unlink(target_.c_str()) == 0 && mkfifo(target_.c_str(), 0666) == 0 &&
                    (reader = open(target_.c_str(), O_RDONLY | O_NONBLOCK)) >= 0;
         },
         kOriginal,
         [&] {
             char byte;
             return read(reader, &byte, 1) <= 0;
         }},
        {"directory", false,
         [&] { return unlink(target_.c_str()) == 0 && mkdir(target_.c_str(), 0755) == 0; },
         cannot + "Is a directory", [&] { return rmdir(target_.c_str()) == 0; }},
        // Read-only even for a privileged player, who could write through the permission bits.
        {"read-only", false, [&] { return chmod(target_.c_str(), 0444) == 0; },
         cannot + "Permission denied", holds(target_, kTarget)},
        {"another owner's", true, [] { return true; }, cannot + "Permission denied",
         holds(target_, kTarget)},
        {"deleted", false, [&] { return unlink(target_.c_str()) == 0; },
         cannot + "No such file or directory", [&] { return access(target_.c_str(), F_OK) != 0; }},
        {"locked", false,
         [&] {
             holder = open(target_.c_str(), O_RDONLY);
             return flock(holder, LOCK_EX) == 0;
         },
         "Quellmire.exe is being written by another program. Try again when it is done.",
         holds(target_, kTarget)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        rmdir(target_.c_str());
        unlink(target_.c_str());
        WriteBytes(target_, kTarget);
        ASSERT_TRUE(Start({}, Launch{c.asNobody, false, {}}));
        ASSERT_TRUE(c.change());
        ASSERT_TRUE(Choose("1600x900"));
        ASSERT_TRUE(Press("Patch"));
        ASSERT_TRUE(Answer(c.warning));
        ASSERT_TRUE(Choose("1366x768")); // the window is still there and answers
        ASSERT_TRUE(Press("Exit"));
        EXPECT_EQ(process_->WaitExit(), 0);
        EXPECT_TRUE(c.untouched());
        if (reader >= 0) close(reader);
        if (holder >= 0) close(holder);
        reader = holder = -1;
    }
}

// A second patcher presses "Patch" while a slow first one is writing, and a patch is terminated
// half-way: either way every pair afterwards holds one resolution.
TEST_F(PatchFailures, APatchIsNeverMixedWithAnotherOrCutShort) {
    WriteBytes(target_, kTarget);
    const std::string path = RealPath(target_);
    ASSERT_TRUE(Start(kTarget, {.environment = WriteFaults(path, "slow=300", log_)}));
    ASSERT_TRUE(Choose("1280x720"));
    ASSERT_TRUE(Press("Patch"));
    // The second window opens over the first, whose patcher is busy writing.
    std::optional<PatcherProcess> second(std::in_place, dir_.Path(), Launch{});
    Description shown =
        second->WaitFor([](const Description& d) { return Find(d, "Exit") && Find(d, "130x91"); });
    ASSERT_FALSE(shown.empty());
    ASSERT_LT(Logged(log_).size(), 16u) << "the first patch ended before the second began";
    ASSERT_TRUE(Click(Find(shown, "Patch")));
    EXPECT_EQ(second->WaitExit(), 0);
    EXPECT_EQ(process_->WaitExit(), 0);
    EXPECT_EQ(Logged(log_).size(), 16u);
    // The second waited for the first and wrote its whole patch after it.
    EXPECT_EQ(Changed(ReadBytes(target_), Patched(kTarget, 1920, 1080)), 0u);

    WriteBytes(target_, kTarget);
    unlink(log_.c_str());
    ASSERT_TRUE(Start({}, {.environment = WriteFaults(path, "slow=300", log_)}));
    ASSERT_TRUE(Choose("1600x900"));
    ASSERT_TRUE(Press("Patch"));
    for (int round = 0; round < 500 && Logged(log_).size() < 3; ++round)
        usleep(20000);
    ASSERT_EQ(kill(process_->Pid(), SIGTERM), 0);
    EXPECT_EQ(process_->WaitExit(), 128 + SIGTERM);
    EXPECT_EQ(Changed(ReadBytes(target_), Patched(kTarget, 1600, 900)), 0u);
}

TEST_F(PatchFailures, ClosedStandardDescriptorsNeverCarryThePatch) {
    WriteBytes(target_, kTarget);
    Launch launch{.closeStandard = true, .environment = WriteFaults(RealPath(target_), "", log_)};
    ASSERT_TRUE(Start(kTarget, launch));
    ASSERT_TRUE(Press("Patch"));
    EXPECT_EQ(process_->WaitExit(), 0);
    EXPECT_EQ(Changed(ReadBytes(target_), Patched(kTarget, 1920, 1080)), 0u);
    const std::vector<int> descriptors = Logged(log_);
    ASSERT_EQ(descriptors.size(), 16u);
    EXPECT_GT(*std::min_element(descriptors.begin(), descriptors.end()), 2);
}

} // namespace
