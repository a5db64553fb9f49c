// The real patcher from end to end: its start-up check, its window read from the running program,
// real pointer clicks, and the target's bytes compared with the resolution table written out here.
#include "tests/support/e2e.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

namespace {

using Bytes = std::vector<unsigned char>;

const std::string kTitle = "Widescreen. Patch for QuellMire 1.05";
// Where the height goes (the first four) and the width (the last four).
constexpr size_t kOffsets[] = {24075, 45970, 46170, 452709, 24067, 45986, 46180, 452714};
constexpr size_t kSkipIntroOffset = 45404;
constexpr unsigned kResolutions[][2] = {{1920, 1080}, {1600, 900}, {1366, 768}, {1280, 720}};

// `bytes` with the resolution written little-endian at its offsets, and `intro` (unless -1) at
// the intro switch's.
Bytes Patched(Bytes bytes, unsigned width, unsigned height, int intro) {
    for (int i = 0; i < 8; ++i) {
        bytes[kOffsets[i]] = (i < 4 ? height : width) & 0xFF;
        bytes[kOffsets[i] + 1] = (i < 4 ? height : width) >> 8;
    }
    if (intro != -1) bytes[kSkipIntroOffset] = static_cast<unsigned char>(intro);
    return bytes;
}

// A random target whose patchable bytes hold 0xAA, never written there: every write shows.
const Bytes kTarget = Patched(RandomBytes(1372160, 1), 0xAAAA, 0xAAAA, 0xAA);

// How many bytes differ, counting any difference in length.
size_t Changed(const Bytes& a, const Bytes& b) {
    size_t count = a.size() > b.size() ? a.size() - b.size() : b.size() - a.size();
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        count += a[i] != b[i];
    return count;
}

class Patcher : public ::testing::Test {
  protected:
    // Writes the target and starts the patcher; true once its window is complete.
    bool Start(const Bytes& bytes, bool asNobody = false) {
        WriteBytes(target_, bytes);
        process_.emplace(dir_.Path(), asNobody);
        shown_ = process_->WaitFor([](const Description& d) {
            return Find(d, kTitle) && Find(d, "Exit") && Find(d, "130x91");
        });
        return !shown_.empty();
    }
    bool Press(const std::string& text) { return Click(Find(process_->Read(), text)); }
    // Clicks a toggle and waits until the program shows it active: proof that the program still
    // runs and has dealt with every click before.
    bool Choose(const std::string& text) {
        auto active = [&](const Description& d) { return Find(d, text) && Find(d, text)->state; };
        return Press(text) && !process_->WaitFor(active).empty();
    }

    TempDir dir_;
    std::string target_ = dir_.File("Quellmire.exe");
    std::optional<PatcherProcess> process_;
    Description shown_;
};

TEST_F(Patcher, MissingOrWrongTargetWarnsAndOkEnds) {
    const char* missing = "This application failed to start because Quellmire.exe was not found";
    const char* wrong = "Can not find the original file Quellmire.exe v1.05b";
    // No target, one byte short, one byte over, and a directory of the target's name.
    for (long size : {-1L, 1372159L, 1372161L, -2L}) {
        SCOPED_TRACE(size);
        if (size >= 0) WriteBytes(target_, Bytes(size));
        ASSERT_TRUE(size != -2 ||
                    (unlink(target_.c_str()) == 0 && mkdir(target_.c_str(), 0755) == 0));
        process_.emplace(dir_.Path());
        auto shown = process_->WaitFor([&](const Description& d) {
            return Find(d, size == -1 ? missing : wrong) && Find(d, "OK");
        });
        ASSERT_FALSE(shown.empty());
        EXPECT_EQ(Find(shown, "Warning!") ? Find(shown, "Warning!")->type : "", "GtkDialog");
        EXPECT_FALSE(Find(shown, size == -1 ? wrong : missing) || Find(shown, kTitle));
        ASSERT_TRUE(Click(Find(shown, "OK")));
        EXPECT_EQ(process_->WaitExit(), 0);
    }
}

// The window as the running program shows it, then the ways out that leave the target as it was:
// "Exit", the window manager's close request, and "Exit" after a "Patch" that found the target
// made read-only (for an unprivileged run) or deleted while the window was open.
TEST_F(Patcher, RightSizedTargetThroughALinkShowsTheWindowAndOnlyPatchWrites) {
    const std::string game = dir_.File("game.exe");
    ASSERT_EQ(symlink(game.c_str(), target_.c_str()), 0);
    ASSERT_EQ(chmod(dir_.Path().c_str(), 0755), 0);
    // Root positions are window positions: the window is at (0, 0). Its state: not resizable.
    const Item layout[] = {{"GtkWindow", 0, 0, 380, 220, 0, 0, kTitle},
                           {"GtkRadioButton", 145, 20, 100, 20, 1, 0, "1920x1080"},
                           {"GtkRadioButton", 145, 50, 100, 20, 0, 0, "1600x900"},
                           {"GtkRadioButton", 145, 80, 100, 20, 0, 0, "1366x768"},
                           {"GtkRadioButton", 145, 110, 100, 20, 0, 0, "1280x720"},
                           {"GtkCheckButton", 130, 140, 130, 20, 0, 0, "Skip intro videos"},
                           {"GtkButton", 30, 180, 120, 25, 0, 0, "Patch"},
                           {"GtkButton", 230, 180, 120, 25, 0, 0, "Exit"},
                           {"GtkImage", 10, 10, 130, 130, 0, 0, "130x130"},
                           {"GtkImage", 240, 40, 130, 91, 0, 0, "130x91"}};
    auto shape = [](const Item& i) { return std::tie(i.type, i.x, i.y, i.w, i.h, i.state); };
    enum Way { kExit, kClose, kReadOnly, kDeleted };
    for (Way way : {kExit, kClose, kReadOnly, kDeleted}) {
        SCOPED_TRACE(way);
        ASSERT_TRUE(Start(kTarget, way == kReadOnly)) << "an unprivileged run needs Xvfb -ac";
        EXPECT_FALSE(Find(shown_, "Warning!"));
        for (const Item& placed : layout) {
            ASSERT_TRUE(Find(shown_, placed.text)) << placed.text;
            EXPECT_EQ(shape(*Find(shown_, placed.text)), shape(placed)) << placed.text;
        }
        // Left, right and double clicks on the pictures, then choices: none is written.
        for (const char* picture : {"130x130", "130x91"})
            for (auto [button, repeat] : {std::pair{1, 1}, std::pair{3, 1}, std::pair{1, 2}})
                ASSERT_TRUE(Click(Find(shown_, picture), button, repeat));
        ASSERT_EQ(way == kReadOnly ? chmod(game.c_str(), 0444) : 0, 0);
        ASSERT_EQ(way == kDeleted ? unlink(target_.c_str()) : 0, 0);
        ASSERT_TRUE(Choose("1600x900"));
        ASSERT_TRUE(Choose("Skip intro videos"));
        // A choice after "Patch" shows that the program has dealt with it and still runs.
        ASSERT_TRUE(way < kReadOnly || (Press("Patch") && Choose("1366x768")));
        auto untouched = [&] { // the target is there unless deleted; the game is as it was
            return (access(target_.c_str(), F_OK) == 0) == (way != kDeleted) &&
                   Changed(ReadBytes(game), kTarget) == 0;
        };
        EXPECT_TRUE(untouched());
        ASSERT_TRUE(way == kClose ? SendDeleteRequestToXid(Find(shown_, kTitle)->xid)
                                  : Press("Exit"));
        EXPECT_EQ(process_->WaitExit(), 0);
        EXPECT_TRUE(untouched());
    }
}

TEST_F(Patcher, EveryChoiceWritesExactlyItsBytesAndAForeignEditSurvives) {
    for (int choice = 0; choice < 8; ++choice) {
        const auto [width, height] = kResolutions[choice % 4];
        const std::string option = std::to_string(width) + "x" + std::to_string(height);
        const bool skipIntro = choice >= 4;
        SCOPED_TRACE(option + (skipIntro ? " skipping the intro" : ""));
        // The fifth patches the file that the fourth wrote 1280 x 720 into, in the same bytes.
        Bytes original = choice == 4 ? ReadBytes(target_) : kTarget;
        ASSERT_TRUE(Start(original));
        ASSERT_TRUE(choice == 0 || Choose(option)); // the first presses "Patch" at once
        ASSERT_TRUE(!skipIntro || Choose("Skip intro videos"));
        if (choice == 2) { // another program edits the target between events
            original[700000] ^= 0xFF;
            WriteBytes(target_, original);
        }
        ASSERT_TRUE(Press("Patch"));
        ASSERT_EQ(process_->WaitExit(), 0);
        const Bytes after = ReadBytes(target_);
        EXPECT_EQ(Changed(original, after), skipIntro ? 17u : 16u);
        EXPECT_EQ(Changed(after, Patched(original, width, height, skipIntro ? 0 : -1)), 0u);
    }
}

} // namespace
