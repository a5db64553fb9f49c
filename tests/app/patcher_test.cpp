// The real patcher from end to end: its window read from the running program, real pointer
// clicks, and the target's bytes compared with the resolution table written out here on its own.
#include "tests/support/e2e.h"
#include "tests/support/gui.h"

#include <chrono>
#include <cstdint>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

const std::string kTitle = "Widescreen. Patch for QuellMire 1.05";
constexpr size_t kTargetLength = 1372160;
constexpr size_t kHeightOffsets[] = {24075, 45970, 46170, 452709};
constexpr size_t kWidthOffsets[] = {24067, 45986, 46180, 452714};
constexpr size_t kSkipIntroOffset = 45404;
constexpr int kWaitMs = 20000;

struct Resolution {
    const char* option;
    uint16_t width;
    uint16_t height;
};
constexpr Resolution kResolutions[] = {{"1920x1080", 1920, 1080},
                                       {"1600x900", 1600, 900},
                                       {"1366x768", 1366, 768},
                                       {"1280x720", 1280, 720}};

// The target as the game would ship it, except that every byte the patcher may write holds 0xAA,
// which no resolution and not the skip-intro byte uses: each write shows as a change.
Bytes Target(unsigned seed) {
    Bytes bytes = RandomBytes(kTargetLength, seed);
    for (size_t offset : kHeightOffsets)
        bytes[offset] = bytes[offset + 1] = 0xAA;
    for (size_t offset : kWidthOffsets)
        bytes[offset] = bytes[offset + 1] = 0xAA;
    bytes[kSkipIntroOffset] = 0xAA;
    return bytes;
}

Bytes Patched(Bytes bytes, const Resolution& resolution, bool skipIntro) {
    auto put = [&](size_t offset, uint16_t value) {
        bytes[offset] = static_cast<unsigned char>(value & 0xFF);
        bytes[offset + 1] = static_cast<unsigned char>(value >> 8);
    };
    if (skipIntro) bytes[kSkipIntroOffset] = 0x00;
    for (size_t offset : kHeightOffsets)
        put(offset, resolution.height);
    for (size_t offset : kWidthOffsets)
        put(offset, resolution.width);
    return bytes;
}

size_t CountDifferences(const Bytes& a, const Bytes& b) {
    size_t count = a.size() > b.size() ? a.size() - b.size() : b.size() - a.size();
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        count += a[i] != b[i];
    return count;
}

// Whole-file comparison that names the length and the first differing offsets, not 1.3 MB.
::testing::AssertionResult SameBytes(const Bytes& actual, const Bytes& expected) {
    if (actual == expected) return ::testing::AssertionSuccess();
    auto failure = ::testing::AssertionFailure();
    failure << "file is " << actual.size() << " bytes, expected " << expected.size() << ";";
    int shown = 0;
    for (size_t i = 0; i < actual.size() && i < expected.size() && shown < 8; ++i)
        if (actual[i] != expected[i]) {
            failure << " at " << i << ": " << int(actual[i]) << " not " << int(expected[i]) << ";";
            ++shown;
        }
    return failure;
}

// The main window is complete once its last gadget, "Exit", is shown.
bool WindowComplete(const Description& description) {
    return description.Find(kTitle, "GtkButton", "Exit").has_value();
}

// The decorative pictures: each image together with the event box that holds it.
struct Picture {
    Described box, image;
};
std::vector<Picture> Pictures(const Description& description) {
    auto widgets = description.WidgetsOf(kTitle);
    std::vector<Picture> pictures;
    for (size_t i = 1; i < widgets.size(); ++i)
        if (widgets[i].Text("type") == "GtkImage" && widgets[i - 1].Text("type") == "GtkEventBox")
            pictures.push_back({widgets[i - 1], widgets[i]});
    return pictures;
}

class Patcher : public ::testing::Test {
  protected:
    // Writes `bytes` as the target and starts the patcher beside it.
    ::testing::AssertionResult Start(const Bytes& bytes) {
        WriteBytes(target_, bytes);
        return Launch(RunAs::Self);
    }

    // Starts the patcher on the target as it is; true once its whole window is shown.
    ::testing::AssertionResult Launch(RunAs runAs) {
        process_ = std::make_unique<PatcherProcess>(PatcherBinary(), dir_.Path(), runAs);
        auto shown = WaitShown(WindowComplete);
        if (!shown)
            return ::testing::AssertionFailure()
                   << "the main window did not appear (an unprivileged run needs Xvfb -ac)";
        shown_ = *shown;
        return ::testing::AssertionSuccess();
    }

    // Waits until the running program's description satisfies `ready`. The inspector describes
    // the program only after toolkit events, so now and then the pointer crosses the window's
    // empty bottom-left corner to give it one.
    std::optional<Description> WaitShown(const std::function<bool(const Description&)>& ready) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
        for (;;) {
            if (auto shown = process_->WaitFor(ready, 2000)) return shown;
            if (!process_->Running() || std::chrono::steady_clock::now() >= deadline)
                return std::nullopt;
            PointerMove(1200, 1000);
            PointerMove(5, 215);
        }
    }

    // Clicks a gadget where the running program shows it now.
    ::testing::AssertionResult Click(const std::string& type, const std::string& text) {
        auto widget = process_->Read().Find(kTitle, type, text);
        if (!widget) return ::testing::AssertionFailure() << "no " << type << " \"" << text << "\"";
        return ClickOn(*widget);
    }

    // Comes from outside the window, so that the toolkit sees the pointer enter the widget.
    static ::testing::AssertionResult ClickOn(const Described& widget, int button = 1,
                                              int repeat = 1) {
        if (!PointerMove(1200, 1000) ||
            !PointerMove(widget.Int("rootx") + widget.Int("w") / 2,
                         widget.Int("rooty") + widget.Int("h") / 2) ||
            !PointerClick(button, repeat))
            return ::testing::AssertionFailure() << "xdotool failed";
        return ::testing::AssertionSuccess();
    }

    // Clicks a toggle and waits until the program shows it in the state `active`: proof that
    // the program is alive and has dealt with every click made before.
    ::testing::AssertionResult Toggle(const std::string& type, const std::string& text,
                                      int active) {
        auto clicked = Click(type, text);
        if (!clicked) return clicked;
        bool seen = WaitShown([&](const Description& description) {
                        auto widget = description.Find(kTitle, type, text);
                        return widget && widget->Int("active") == active;
                    }).has_value();
        if (!seen)
            return ::testing::AssertionFailure() << "\"" << text << "\" did not turn " << active;
        return ::testing::AssertionSuccess();
    }

    ::testing::AssertionResult EndsWithStatusZero() {
        auto status = process_->WaitExit(kWaitMs);
        if (!status) return ::testing::AssertionFailure() << "the patcher is still running";
        if (*status != 0) return ::testing::AssertionFailure() << "exit status " << *status;
        return ::testing::AssertionSuccess();
    }

    TempDir dir_;
    std::string target_ = dir_.File("Quellmire.exe");
    std::unique_ptr<PatcherProcess> process_;
    Description shown_;
};

TEST_F(Patcher, WindowShowsItsTitleSizeAndGadgetsInPlace) {
    ASSERT_TRUE(Start(Target(1)));
    const Described* window = shown_.Window(kTitle);
    ASSERT_TRUE(window);
    EXPECT_EQ(window->Int("x"), 0);
    EXPECT_EQ(window->Int("y"), 0);
    EXPECT_EQ(window->Int("w"), 380);
    EXPECT_EQ(window->Int("h"), 220);
    EXPECT_EQ(window->Int("resizable"), 0);

    struct Placed {
        const char* type;
        const char* text;
        int x, y, width, height;
    };
    const Placed gadgets[] = {{"GtkRadioButton", "1920x1080", 145, 20, 100, 20},
                              {"GtkRadioButton", "1600x900", 145, 50, 100, 20},
                              {"GtkRadioButton", "1366x768", 145, 80, 100, 20},
                              {"GtkRadioButton", "1280x720", 145, 110, 100, 20},
                              {"GtkCheckButton", "Skip intro videos", 130, 140, 130, 20},
                              {"GtkButton", "Patch", 30, 180, 120, 25},
                              {"GtkButton", "Exit", 230, 180, 120, 25}};
    for (const Placed& placed : gadgets) {
        SCOPED_TRACE(placed.text);
        auto gadget = shown_.Find(kTitle, placed.type, placed.text);
        ASSERT_TRUE(gadget);
        EXPECT_EQ(gadget->Int("rootx") - window->Int("x"), placed.x);
        EXPECT_EQ(gadget->Int("rooty") - window->Int("y"), placed.y);
        EXPECT_EQ(gadget->Int("w"), placed.width);
        EXPECT_EQ(gadget->Int("h"), placed.height);
    }
    EXPECT_EQ(shown_.Find(kTitle, "GtkRadioButton", "1920x1080")->Int("active"), 1);
    for (const char* other : {"1600x900", "1366x768", "1280x720"})
        EXPECT_EQ(shown_.Find(kTitle, "GtkRadioButton", other)->Int("active"), 0) << other;
    EXPECT_EQ(shown_.Find(kTitle, "GtkCheckButton", "Skip intro videos")->Int("active"), 0);

    ASSERT_TRUE(Click("GtkButton", "Exit"));
    EXPECT_TRUE(EndsWithStatusZero());
}

TEST_F(Patcher, PatchRightAwayWrites1920x1080AndEnds) {
    const Bytes original = Target(2);
    ASSERT_TRUE(Start(original));
    ASSERT_TRUE(Click("GtkButton", "Patch"));
    ASSERT_TRUE(EndsWithStatusZero());
    Bytes after = ReadBytes(target_);
    EXPECT_EQ(CountDifferences(original, after), 16u);
    EXPECT_TRUE(SameBytes(after, Patched(original, kResolutions[0], false)));
}

// Every resolution, with and without skipping the intro videos.
class PatchChoice : public Patcher, public ::testing::WithParamInterface<std::tuple<int, bool>> {};

TEST_P(PatchChoice, WritesExactlyTheChosenBytes) {
    const auto [index, skipIntro] = GetParam();
    const Resolution& resolution = kResolutions[index];
    const Bytes original = Target(100 + index * 2 + skipIntro);
    ASSERT_TRUE(Start(original));
    ASSERT_TRUE(Toggle("GtkRadioButton", resolution.option, 1));
    if (skipIntro) {
        ASSERT_TRUE(Toggle("GtkCheckButton", "Skip intro videos", 1));
    }
    ASSERT_TRUE(Click("GtkButton", "Patch"));
    ASSERT_TRUE(EndsWithStatusZero());
    Bytes after = ReadBytes(target_);
    EXPECT_EQ(CountDifferences(original, after), skipIntro ? 17u : 16u);
    EXPECT_TRUE(SameBytes(after, Patched(original, resolution, skipIntro)));
}

std::string ChoiceName(const ::testing::TestParamInfo<std::tuple<int, bool>>& choice) {
    return "Option" + std::string(kResolutions[std::get<0>(choice.param)].option) +
           (std::get<1>(choice.param) ? "SkippingIntro" : "");
}

INSTANTIATE_TEST_SUITE_P(Resolutions, PatchChoice,
                         ::testing::Combine(::testing::Range(0, 4), ::testing::Bool()), ChoiceName);

TEST_F(Patcher, ExitAndCloseRequestEndWithTheTargetUntouched) {
    const Bytes original = Target(3);
    for (bool byExit : {true, false}) {
        SCOPED_TRACE(byExit ? "Exit" : "close request");
        ASSERT_TRUE(Start(original));
        // A choice made first is not written by either way out.
        ASSERT_TRUE(Toggle("GtkRadioButton", "1280x720", 1));
        ASSERT_TRUE(Toggle("GtkCheckButton", "Skip intro videos", 1));
        if (byExit) {
            ASSERT_TRUE(Click("GtkButton", "Exit"));
        } else {
            const std::string& xid = shown_.Window(kTitle)->Text("xid");
            ASSERT_FALSE(xid.empty());
            ASSERT_TRUE(SendDeleteRequestToXid(std::stoul(xid)));
        }
        ASSERT_TRUE(EndsWithStatusZero());
        EXPECT_TRUE(SameBytes(ReadBytes(target_), original));
    }
}

TEST_F(Patcher, ReadOnlyTargetIsNotPatchedAndExitStillEnds) {
    // Run as nobody: the tests run as root, which permission bits do not stop.
    const Bytes original = Target(4);
    WriteBytes(target_, original);
    ASSERT_EQ(chmod(dir_.Path().c_str(), 0755), 0);
    ASSERT_EQ(chmod(target_.c_str(), 0444), 0);
    ASSERT_TRUE(Launch(RunAs::Nobody));
    ASSERT_TRUE(Toggle("GtkCheckButton", "Skip intro videos", 1));
    ASSERT_TRUE(Click("GtkButton", "Patch"));
    // Handled after the click on "Patch": the window is still there and still answers.
    ASSERT_TRUE(Toggle("GtkRadioButton", "1366x768", 1));
    EXPECT_TRUE(process_->Running());
    EXPECT_TRUE(SameBytes(ReadBytes(target_), original));
    ASSERT_TRUE(Click("GtkButton", "Exit"));
    ASSERT_TRUE(EndsWithStatusZero());
    EXPECT_TRUE(SameBytes(ReadBytes(target_), original));
}

TEST_F(Patcher, DeletedTargetIsNeverRecreated) {
    ASSERT_TRUE(Start(Target(5)));
    ASSERT_EQ(unlink(target_.c_str()), 0);
    ASSERT_TRUE(Toggle("GtkRadioButton", "1600x900", 1));
    ASSERT_TRUE(Click("GtkButton", "Patch"));
    ASSERT_TRUE(Toggle("GtkRadioButton", "1280x720", 1));
    EXPECT_TRUE(process_->Running());
    EXPECT_NE(access(target_.c_str(), F_OK), 0) << "the patch made a new target";
    ASSERT_TRUE(Click("GtkButton", "Exit"));
    ASSERT_TRUE(EndsWithStatusZero());
    EXPECT_NE(access(target_.c_str(), F_OK), 0) << "the shutdown made a new target";
}

TEST_F(Patcher, EditByAnotherProgramBetweenEventsSurvivesThePatch) {
    Bytes expected = Target(6);
    ASSERT_TRUE(Start(expected));
    ASSERT_TRUE(Toggle("GtkRadioButton", "1366x768", 1));
    // Changed in place, as another program would while the window is open.
    constexpr size_t kForeignOffset = 700000;
    expected[kForeignOffset] ^= 0xFF;
    {
        std::fstream file(target_, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(kForeignOffset);
        file.put(static_cast<char>(expected[kForeignOffset]));
        ASSERT_TRUE(file.good());
    }
    ASSERT_TRUE(Click("GtkButton", "Patch"));
    ASSERT_TRUE(EndsWithStatusZero());
    EXPECT_TRUE(SameBytes(ReadBytes(target_), Patched(expected, kResolutions[2], false)));
}

TEST_F(Patcher, PicturesSitBesideTheOptionsAndIgnoreClicks) {
    const Bytes original = Target(7);
    ASSERT_TRUE(Start(original));
    auto shown =
        WaitShown([](const Description& description) { return Pictures(description).size() == 2; });
    ASSERT_TRUE(shown) << "the window does not show two pictures in event boxes";
    const Described* window = shown->Window(kTitle);
    ASSERT_TRUE(window);
    struct Expected {
        const char* pixbuf;
        int x, y, width, height;
    };
    const Expected expected[] = {{"130x130", 10, 10, 130, 130}, {"130x91", 240, 40, 130, 91}};
    auto pictures = Pictures(*shown);
    for (size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(expected[i].pixbuf);
        const Described& image = pictures[i].image;
        EXPECT_EQ(image.Text("pixbuf"), expected[i].pixbuf);
        const Described* boxAndImage[] = {&pictures[i].box, &image};
        for (const Described* widget : boxAndImage) {
            EXPECT_EQ(widget->Int("rootx") - window->Int("x"), expected[i].x);
            EXPECT_EQ(widget->Int("rooty") - window->Int("y"), expected[i].y);
            EXPECT_EQ(widget->Int("w"), expected[i].width);
            EXPECT_EQ(widget->Int("h"), expected[i].height);
        }
        // Left, right and double clicks on a picture.
        for (auto [button, repeat] : {std::pair{1, 1}, std::pair{3, 1}, std::pair{1, 2}})
            ASSERT_TRUE(ClickOn(image, button, repeat));
    }
    ASSERT_TRUE(Toggle("GtkRadioButton", "1600x900", 1));
    EXPECT_TRUE(process_->Running());
    EXPECT_TRUE(SameBytes(ReadBytes(target_), original));
    ASSERT_TRUE(Click("GtkButton", "Exit"));
    ASSERT_TRUE(EndsWithStatusZero());
    EXPECT_TRUE(SameBytes(ReadBytes(target_), original));
}

} // namespace
