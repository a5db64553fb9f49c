// The real patcher from end to end: its start-up check, its window read from the running program,
// real pointer clicks, and the target's bytes compared with the resolution table written out here.
#include "tests/support/e2e.h"
#include "tests/support/gui.h"

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

// `bytes` with the resolution written little-endian at its offsets, and the intro skipped.
Bytes Patched(Bytes bytes, unsigned width, unsigned height, bool skipIntro) {
    for (int i = 0; i < 8; ++i) {
        bytes[kOffsets[i]] = (i < 4 ? height : width) & 0xFF;
        bytes[kOffsets[i] + 1] = (i < 4 ? height : width) >> 8;
    }
    if (skipIntro) bytes[kSkipIntroOffset] = 0;
    return bytes;
}

// A random target whose patchable bytes hold 0xAA, never written there: every write shows.
Bytes Target(unsigned seed) {
    Bytes bytes = Patched(RandomBytes(1372160, seed), 0xAAAA, 0xAAAA, false);
    bytes[kSkipIntroOffset] = 0xAA;
    return bytes;
}

// How many bytes differ, counting any difference in length.
size_t Changed(const Bytes& a, const Bytes& b) {
    size_t count = a.size() > b.size() ? a.size() - b.size() : b.size() - a.size();
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        count += a[i] != b[i];
    return count;
}

class Patcher : public ::testing::Test {
  protected:
    // Writes the target (unless empty) and starts the patcher; true once its window is complete.
    bool Start(const Bytes& bytes, RunAs runAs = RunAs::Self) {
        if (!bytes.empty()) WriteBytes(target_, bytes);
        process_.emplace(dir_.Path(), runAs);
        shown_ = process_->WaitFor([](const Description& d) {
            return Find(d, kTitle) && Find(d, "Exit") && Find(d, "130x91");
        });
        return !shown_.empty();
    }
    bool Press(const std::string& text) {
        Description now = process_->Read();
        return Find(now, text) && Click(*Find(now, text));
    }
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
    const std::string missing =
        "This application failed to start because Quellmire.exe was not found";
    const std::string wrong = "Can not find the original file Quellmire.exe v1.05b";
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
        ASSERT_TRUE(Click(*Find(shown, "OK")));
        EXPECT_EQ(process_->WaitExit(), 0);
    }
}

TEST_F(Patcher, RightSizedTargetThroughALinkShowsTheWindowAndOnlyPatchWrites) {
    const Bytes original = Target(1);
    WriteBytes(dir_.File("game.exe"), original);
    ASSERT_EQ(symlink(dir_.File("game.exe").c_str(), target_.c_str()), 0);
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
    for (bool byExit : {true, false}) {
        SCOPED_TRACE(byExit ? "Exit" : "close request");
        ASSERT_TRUE(Start({}));
        EXPECT_FALSE(Find(shown_, "Warning!"));
        for (const Item& placed : layout) {
            ASSERT_TRUE(Find(shown_, placed.text)) << placed.text;
            EXPECT_EQ(shape(*Find(shown_, placed.text)), shape(placed)) << placed.text;
        }
        // Left, right and double clicks on the pictures, then a choice: none is written.
        for (const char* picture : {"130x130", "130x91"})
            for (auto [button, repeat] : {std::pair{1, 1}, std::pair{3, 1}, std::pair{1, 2}})
                ASSERT_TRUE(Click(*Find(shown_, picture), button, repeat));
        ASSERT_TRUE(Choose("1600x900"));
        ASSERT_TRUE(Choose("Skip intro videos"));
        EXPECT_EQ(Changed(ReadBytes(target_), original), 0u);
        ASSERT_TRUE(byExit ? Press("Exit") : SendDeleteRequestToXid(Find(shown_, kTitle)->xid));
        EXPECT_EQ(process_->WaitExit(), 0);
        EXPECT_EQ(Changed(ReadBytes(target_), original), 0u);
    }
}

TEST_F(Patcher, EveryChoiceWritesExactlyItsBytes) {
    for (int choice = 0; choice < 8; ++choice) {
        const auto [width, height] = kResolutions[choice % 4];
        const std::string option = std::to_string(width) + "x" + std::to_string(height);
        const bool skipIntro = choice >= 4;
        SCOPED_TRACE(option + (skipIntro ? " skipping the intro" : ""));
        // The fifth patches the file that the fourth wrote 1280 x 720 into, in the same bytes.
        const Bytes original = choice == 4 ? ReadBytes(target_) : Target(100 + choice);
        ASSERT_TRUE(Start(original));
        ASSERT_TRUE(choice == 0 || Choose(option)); // the first presses "Patch" at once
        ASSERT_TRUE(!skipIntro || Choose("Skip intro videos"));
        ASSERT_TRUE(Press("Patch"));
        ASSERT_EQ(process_->WaitExit(), 0);
        const Bytes after = ReadBytes(target_);
        EXPECT_EQ(Changed(original, after), skipIntro ? 17u : 16u);
        EXPECT_EQ(Changed(after, Patched(original, width, height, skipIntro)), 0u);
    }
}

TEST_F(Patcher, ReadOnlyTargetIsNotPatchedAndExitStillEnds) {
    const Bytes original = Target(3);
    ASSERT_EQ(chmod(dir_.Path().c_str(), 0755), 0);
    ASSERT_TRUE(Start(original, RunAs::Nobody)) << "an unprivileged run needs Xvfb -ac";
    ASSERT_EQ(chmod(target_.c_str(), 0444), 0); // made read-only while the window is open
    ASSERT_TRUE(Choose("Skip intro videos"));
    ASSERT_TRUE(Press("Patch"));
    ASSERT_TRUE(Choose("1366x768")); // dealt with after "Patch", which wrote nothing
    EXPECT_EQ(Changed(ReadBytes(target_), original), 0u);
    ASSERT_TRUE(Press("Exit"));
    EXPECT_EQ(process_->WaitExit(), 0);
    EXPECT_EQ(Changed(ReadBytes(target_), original), 0u);
}

TEST_F(Patcher, DeletedTargetIsNeverRecreated) {
    ASSERT_TRUE(Start(Target(4)));
    ASSERT_EQ(unlink(target_.c_str()), 0);
    ASSERT_TRUE(Choose("1600x900"));
    ASSERT_TRUE(Press("Patch"));
    ASSERT_TRUE(Choose("1280x720"));
    EXPECT_NE(access(target_.c_str(), F_OK), 0) << "the patch made a new target";
    ASSERT_TRUE(Press("Exit"));
    EXPECT_EQ(process_->WaitExit(), 0);
    EXPECT_NE(access(target_.c_str(), F_OK), 0) << "the shutdown made a new target";
}

TEST_F(Patcher, EditByAnotherProgramBetweenEventsSurvivesThePatch) {
    Bytes edited = Target(5);
    ASSERT_TRUE(Start(edited));
    ASSERT_TRUE(Choose("1366x768"));
    edited[700000] ^= 0xFF;
    WriteBytes(target_, edited);
    ASSERT_TRUE(Press("Patch"));
    ASSERT_EQ(process_->WaitExit(), 0);
    EXPECT_EQ(Changed(ReadBytes(target_), Patched(edited, 1366, 768, false)), 0u);
}

} // namespace
