// The real patcher on a bad day: writes that fail, a target replaced or locked away while the
// window is open, two patchers at once, a termination in the middle, closed standard descriptors.
// Writes are made to fail by a preloaded module (support/write_faults.cpp).
#include "tests/app/patcher.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
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

// `bytes` with some of them set.
Bytes Set(Bytes bytes, std::initializer_list<std::pair<size_t, unsigned char>> changes) {
    for (const auto& change : changes)
        bytes[change.first] = change.second;
    return bytes;
}

// The screen inside an item, as the X server shows it.
std::string Pixels(Display* display, const Item& item) {
    XImage* image = XGetImage(display, DefaultRootWindow(display), item.x, item.y, unsigned(item.w),
                              unsigned(item.h), AllPlanes, ZPixmap);
    if (!image) return {};
    std::string pixels(image->data, size_t(image->bytes_per_line) * size_t(image->height));
    XDestroyImage(image);
    return pixels;
}

// Covers the window with one of the test's own and takes that away again: true when the program
// then draws the window as it was before.
bool RedrawnWhenUncovered(const Item& window) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    auto settled = [&] {
        std::string last = Pixels(display, window);
        for (int round = 0; round < 100; ++round) {
            g_usleep(50000);
            std::string now = Pixels(display, window);
            if (now == last) return now;
            last = now;
        }
        return std::string();
    };
    const std::string before = settled();
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.background_pixel = BlackPixel(display, DefaultScreen(display));
    Window cover =
        XCreateWindow(display, DefaultRootWindow(display), window.x, window.y, unsigned(window.w),
                      unsigned(window.h), 0, CopyFromParent, InputOutput, CopyFromParent,
                      CWOverrideRedirect | CWBackPixel, &attributes);
    XMapRaised(display, cover);
    XSync(display, False);
    const bool covered = settled() != before;
    XDestroyWindow(display, cover);
    XSync(display, False);
    bool redrawn = false;
    for (int round = 0; round < 100 && !redrawn; ++round) {
        g_usleep(50000);
        redrawn = Pixels(display, window) == before;
    }
    XCloseDisplay(display);
    return !before.empty() && covered && redrawn;
}

// The settings that start the patcher in French with the ISO-8859-1 character set.
std::vector<std::string> French() {
    return {"LOCPATH=" QX_LOCALE_DIR, "LC_ALL=fr_FR.ISO-8859-1", "LANGUAGE="};
}

class PatchFailures : public Patcher {
  protected:
    // The French locale is made in the build tree, so that nothing on the machine changes.
    static void SetUpTestSuite() {
        RunCommand("mkdir -p " QX_LOCALE_DIR " && localedef -i fr_FR -f ISO-8859-1 " QX_LOCALE_DIR
                   "/fr_FR.ISO-8859-1 >/dev/null 2>&1");
    }
    // Waits for a warning that says `text`, and answers it with its button (OK, in the
    // toolkit's words for the locale).
    bool Answer(const std::string& text) {
        auto button = [](const Description& d) -> const Item* {
            const Item* dialog = Find(d, "Warning!");
            for (auto item = d.begin() + (dialog ? dialog - d.data() : 0);
                 dialog && item != d.end(); ++item)
                if (item->type == "GtkButton") return &*item;
            return nullptr;
        };
        auto warned = [&](const Description& d) { return Find(d, text) && button(d); };
        Description shown = process_->WaitFor(warned);
        return !shown.empty() && Click(button(shown));
    }
    std::string log_ = dir_.File("writes.log");
};

// Each way of failing, and what the player is told and finds afterwards: the file as it was
// wherever the old bytes could be put back, and an honest word where they could not.
TEST_F(PatchFailures, FailingWritesAreUndoneAndTheWarningSaysSo) {
    const std::string failed = "Quellmire.exe could not be written: Input/output error. ",
                      asWas = failed + "It is as it was before.",
                      partly = failed + "It may be partly patched: restore your copy of it.",
                      unkept = failed + "It reads as it was before, but the disk did not confirm "
                                        "that it keeps it: check the disk.",
                      lost = "Quellmire.exe could not be written: the bytes read back differ "
                             "from those written. It is as it was before.",
                      unread = "Quellmire.exe could not be read: Input/output error. Nothing was "
                               "written.";
    // What did get through is the start of the patch, in the order of the table: the intro byte
    // first, then the first two heights of 1920 x 1080.
    const Bytes heights = Set(kTarget, {{24075, 0x38}, {24076, 4}, {45970, 0x38}, {45971, 4}});
    const Bytes intro = Set(kTarget, {{kSkipIntroOffset, 0}});
    struct Case {
        const char* mode;
        bool skipIntro;
        const std::string& warning;
        const Bytes& after;
    };
    // A restore that reads back right but cannot be made durable is said to be just that; a
    // sync that the file system does not offer is no failure.
    const Case cases[] = {
        {"eio", false, asWas, kTarget},    {"short", false, asWas, kTarget},
        {"only=5", false, asWas, kTarget}, {"only=5,fsync=EINVAL", false, asWas, kTarget},
        {"lose=5", false, lost, kTarget},  {"from=5", false, partly, heights},
        {"from=2", true, partly, intro},   {"fsync", false, unkept, kTarget},
        {"pread", false, unread, kTarget}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        ASSERT_TRUE(Start(kTarget, {.environment = WriteFaults(RealPath(target_), c.mode)}));
        ASSERT_TRUE(!c.skipIntro || Choose("Skip intro videos"));
        ASSERT_TRUE(Press("Patch"));
        ASSERT_TRUE(Answer(c.warning));
        EXPECT_EQ(process_->WaitExit(), 1);
        EXPECT_EQ(Changed(ReadBytes(target_), c.after), 0u);
    }
}

// Where the file system has no locks (flock, or record locks too, refused as network file
// systems without their lock service refuse them) or no sync for the file, the patch lands.
TEST_F(PatchFailures, WithoutLocksOrSyncOnTheFileSystemThePatchLands) {
    const char* modes[] = {"flock=ENOLCK",     "flock=EOPNOTSUPP", "flock=EINVAL", "locks=ENOLCK",
                           "locks=EOPNOTSUPP", "locks=EINVAL",     "fsync=EINVAL"};
    int round = 0;
    for (const char* mode : modes) {
        SCOPED_TRACE(mode);
        const auto [width, height] = kResolutions[round++ % 4];
        ASSERT_TRUE(Start(kTarget, {.environment = WriteFaults(RealPath(target_), mode)}));
        ASSERT_TRUE(Choose(std::to_string(width) + "x" + std::to_string(height)));
        ASSERT_TRUE(Press("Patch"));
        EXPECT_EQ(process_->WaitExit(), 0); // a warning would wait for its OK
        EXPECT_EQ(Changed(ReadBytes(target_), Patched(kTarget, width, height)), 0u);
    }
}

// While another program holds the lock, the window is drawn anew when uncovered and shows the
// busy cursor, nothing is written, and a close request ends the program with the file untouched;
// a holder that lets go lets the patch land. Where flock is refused, a record lock is waited for.
TEST_F(PatchFailures, WhileTheLockIsHeldTheWindowAnswersAndCanBeClosed) {
    struct Case {
        const char* name;
        bool record; // the holder's lock is a record lock, and the patcher's flock is refused
        const char* how;
        bool patched;
    };
    const Case cases[] = {{"close request", false, "close request", false},
                          {"Escape", false, "Escape", false},
                          {"lets go", false, "let go", true},
                          {"record lock lets go", true, "let go", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(target_, kTarget);
        int holder = open(target_.c_str(), O_RDWR | O_CLOEXEC);
        struct flock range = {};
        range.l_type = F_WRLCK; // the whole file; not dropped when the test closes the file
        ASSERT_EQ(c.record ? fcntl(holder, F_OFD_SETLK, &range) : flock(holder, LOCK_EX), 0);
        Launch launch;
        if (c.record) launch.environment = WriteFaults(RealPath(target_), "flock=ENOLCK");
        ASSERT_TRUE(Start({}, launch));
        ASSERT_TRUE(Press("Patch"));
        Description busy = process_->WaitFor([](const Description& d) { return Find(d, "watch"); });
        ASSERT_FALSE(busy.empty()) << "no busy cursor";
        EXPECT_TRUE(RedrawnWhenUncovered(*Find(busy, kTitle)));
        EXPECT_EQ(Changed(ReadBytes(target_), kTarget), 0u);
        const std::string how = c.how;
        const bool done = how == "close request" ? SendDeleteRequestToXid(Find(busy, kTitle)->xid)
                          : how == "Escape"      ? PointAt(5, 5) && PressKeys("Escape")
                                                 : close(holder) == 0 && (holder = -1) == -1;
        ASSERT_TRUE(done);
        EXPECT_EQ(process_->WaitExit(), 0);
        EXPECT_EQ(Changed(ReadBytes(target_), c.patched ? Patched(kTarget, 1920, 1080) : kTarget),
                  0u);
        if (holder >= 0) close(holder);
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
        Launch launch;
        std::function<bool()> change; // made while the window is open
        std::string warning;
        std::function<bool()> untouched;
    };
    const Case cases[] = {
        {"larger",
         {},
         [&] { return replaceWith(1372161); },
         kOriginal,
         [&] { return ReadBytes(target_) == replacement; }},
        {"smaller",
         {},
         [&] { return replaceWith(1372159); },
         kOriginal,
         [&] { return ReadBytes(target_) == replacement; }},
        {"link to 3 MB",
         {},
         [&] {
             WriteBytes(other, RandomBytes(3 << 20, 3));
             return symlink(other.c_str(), spare.c_str()) == 0 &&
                    rename(spare.c_str(), target_.c_str()) == 0;
         },
         kOriginal,
         holds(other, RandomBytes(3 << 20, 3))},
        // The pipe's reading end stays open, so that anything written into it would stay there.
        {"pipe",
         {},
         [&] {
             return unlink(target_.c_str()) == 0 && mkfifo(target_.c_str(), 0666) == 0 &&
                    (reader = open(target_.c_str(), O_RDONLY | O_NONBLOCK)) >= 0;
         },
         kOriginal,
         [&] {
             char byte;
             return read(reader, &byte, 1) <= 0;
         }},
        {"directory",
         {},
         [&] { return unlink(target_.c_str()) == 0 && mkdir(target_.c_str(), 0755) == 0; },
         cannot + "Is a directory",
         [&] { return rmdir(target_.c_str()) == 0; }},
        // Read-only even for a privileged player, who could write through the permission bits.
        {"read-only",
         {},
         [&] { return chmod(target_.c_str(), 0444) == 0; },
         cannot + "Permission denied",
         holds(target_, kTarget)},
        // The C library gives its reason in the locale's character set, the warning in UTF-8.
        {"read-only in French",
         {.environment = French()},
         [&] { return chmod(target_.c_str(), 0444) == 0; },
         cannot + "Permission non accordée",
         holds(target_, kTarget)},
        {"another owner's",
         {.asNobody = true, .environment = {}},
         [] { return true; },
         cannot + "Permission denied",
         holds(target_, kTarget)},
        {"deleted",
         {},
         [&] { return unlink(target_.c_str()) == 0; },
         cannot + "No such file or directory",
         [&] { return access(target_.c_str(), F_OK) != 0; }},
        {"locked",
         {},
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
        ASSERT_TRUE(Start({}, c.launch));
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
    // All three are taken by the null device, so that nothing else the program opens gets them.
    for (int fd = 0; fd <= 2; ++fd) {
        const std::string link =
            "/proc/" + std::to_string(process_->Pid()) + "/fd/" + std::to_string(fd);
        char path[64] = {};
        EXPECT_EQ(std::string(path, size_t(std::max<ssize_t>(
                                        0, readlink(link.c_str(), path, sizeof path - 1)))),
                  "/dev/null")
            << fd;
    }
    ASSERT_TRUE(Press("Patch"));
    EXPECT_EQ(process_->WaitExit(), 0);
    EXPECT_EQ(Changed(ReadBytes(target_), Patched(kTarget, 1920, 1080)), 0u);
    const std::vector<int> descriptors = Logged(log_);
    ASSERT_EQ(descriptors.size(), 16u);
    EXPECT_GT(*std::min_element(descriptors.begin(), descriptors.end()), 2);
}

} // namespace
