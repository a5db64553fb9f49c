// What the end-to-end suites of the patcher share: the target's table written out independently,
// a random target, and a fixture that starts the real binary on it.
#pragma once

#include "tests/support/e2e.h"

#include <climits>
#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <string>

using Bytes = std::vector<unsigned char>;

inline const std::string kTitle = "Widescreen. Patch for QuellMire 1.05";
// Where the height goes (the first four) and the width (the last four).
inline constexpr size_t kOffsets[] = {24075, 45970, 46170, 452709, 24067, 45986, 46180, 452714};
inline constexpr size_t kSkipIntroOffset = 45404;
inline constexpr unsigned kResolutions[][2] = {{1920, 1080}, {1600, 900}, {1366, 768}, {1280, 720}};

// Every window item in its place and size, as the running program shows them. Root positions are
// window positions: the window is at (0, 0). State: not resizable, the first option selected.
inline const Item kLayout[] = {{"GtkWindow", 0, 0, 380, 220, 0, 0, kTitle},
                               {"GtkRadioButton", 145, 20, 100, 20, 1, 0, "1920x1080"},
                               {"GtkRadioButton", 145, 50, 100, 20, 0, 0, "1600x900"},
                               {"GtkRadioButton", 145, 80, 100, 20, 0, 0, "1366x768"},
                               {"GtkRadioButton", 145, 110, 100, 20, 0, 0, "1280x720"},
                               {"GtkCheckButton", 130, 140, 130, 20, 0, 0, "Skip intro videos"},
                               {"GtkButton", 30, 180, 120, 25, 0, 0, "Patch"},
                               {"GtkButton", 230, 180, 120, 25, 0, 0, "Exit"},
                               {"GtkImage", 10, 10, 130, 130, 0, 0, "130x130"},
                               {"GtkImage", 240, 40, 130, 91, 0, 0, "130x91"}};

// The window at a scale of `halves` half steps (2: its normal size, 4: twice it): every place and
// size multiplied and rounded to whole pixels, the pictures as large as their gadgets.
inline Description ScaledLayout(int halves) {
    auto scaled = [halves](int length) { return (length * halves + 1) / 2; };
    Description layout;
    for (Item item : kLayout) {
        item.x = scaled(item.x), item.y = scaled(item.y);
        item.w = scaled(item.w), item.h = scaled(item.h);
        if (item.type == "GtkImage")
            item.text = std::to_string(item.w) + "x" + std::to_string(item.h);
        layout.push_back(item);
    }
    return layout;
}

// The main window with every gadget in it, at whatever scale.
inline bool Complete(const Description& d) {
    int pictures = 0;
    for (const Item& item : d)
        pictures += item.type == "GtkImage" && !item.text.empty();
    return Find(d, kTitle) && Find(d, "Exit") && pictures == 2;
}

// `bytes` with the resolution written little-endian at its offsets, and `intro` (unless -1) at
// the intro switch's.
inline Bytes Patched(Bytes bytes, unsigned width, unsigned height, int intro = -1) {
    for (int i = 0; i < 8; ++i) {
        bytes[kOffsets[i]] = (i < 4 ? height : width) & 0xFF;
        bytes[kOffsets[i] + 1] = (i < 4 ? height : width) >> 8;
    }
    if (intro != -1) bytes[kSkipIntroOffset] = static_cast<unsigned char>(intro);
    return bytes;
}

// A random target whose patchable bytes hold 0xAA, never written there: every write shows.
inline const Bytes kTarget = Patched(RandomBytes(1372160, 1), 0xAAAA, 0xAAAA, 0xAA);

// How many bytes differ, counting any difference in length.
inline size_t Changed(const Bytes& a, const Bytes& b) {
    size_t count = a.size() > b.size() ? a.size() - b.size() : b.size() - a.size();
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        count += a[i] != b[i];
    return count;
}

// The path with every link resolved, as the write-fault module knows its file.
inline std::string RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? resolved : path;
}

// Moves the pointer into a window at (x, y) on `display` (the test's own when empty), so that
// without a window manager its keys go there.
inline bool PointAt(int x, int y, const std::string& display = "") {
    const std::string prefix = display.empty() ? "" : "DISPLAY=" + display + " ";
    return RunCommand(prefix + "xdotool mousemove --sync " + std::to_string(x) + " " +
                      std::to_string(y)) == 0;
}

class Patcher : public ::testing::Test {
  protected:
    // Writes the target (unless there are no bytes) and starts the patcher; true once its window
    // is complete.
    bool Start(const Bytes& bytes, const Launch& launch = {}) {
        if (!bytes.empty()) WriteBytes(target_, bytes);
        process_.emplace(dir_.Path(), launch);
        shown_ = process_->WaitFor(Complete);
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
