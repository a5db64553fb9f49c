// The real patcher's window on any desktop: every label whole in its gadget's place whatever font
// the desktop sets, every warning whole on the screen, and a window that comes up although the
// toolkit never falls quiet.
#include "tests/app/patcher.h"

#include <chrono>
#include <fstream>
#include <map>
#include <optional>
#include <tuple>
#include <unistd.h>

namespace {

class WindowOnAnyDesktop : public Patcher {
  protected:
    // Starts the patcher on a right-sized target, the desktop's font set by an rc file unless
    // `font` is empty; the main window as shown once complete, or empty.
    Description StartWithFont(const std::string& font, std::vector<std::string> environment = {}) {
        if (!font.empty()) {
            std::ofstream(dir_.File("gtkrc")) << "gtk-font-name = \"" << font << "\"\n";
            environment.push_back("GTK2_RC_FILES=" + dir_.File("gtkrc"));
        }
        Start(kTarget, Launch{false, false, environment});
        return shown_;
    }

    // The text widths of the labels, by text, after checking that each gadget keeps its place
    // and size and that each label's whole text fits what it is given.
    std::map<std::string, int> CheckLayout(const Description& shown) {
        std::map<std::string, int> widths;
        for (const Item& placed : kLayout) {
            const Item* item = Find(shown, placed.text);
            if (!item) {
                ADD_FAILURE() << placed.text << " not shown";
                continue;
            }
            EXPECT_EQ(std::tie(item->type, item->x, item->y, item->w, item->h),
                      std::tie(placed.type, placed.x, placed.y, placed.w, placed.h))
                << placed.text;
        }
        for (const Item& item : shown) {
            if (item.type != "GtkLabel") continue;
            EXPECT_GT(item.textWidth, 0) << item.text;
            EXPECT_LE(item.textWidth, item.w) << item.text << " is cut";
            widths[item.text] = item.textWidth;
        }
        EXPECT_EQ(widths.size(), 7u);
        return widths;
    }
};

TEST_F(WindowOnAnyDesktop, EveryLabelShowsItsWholeTextInOneSizeAndNoGadgetMoves) {
    std::map<std::string, std::map<std::string, int>> widths;
    // The toolkit's default font and a 12-point one are too wide for "1920x1080"; 7 and 8 points
    // fit everywhere.
    for (const char* font : {"", "Sans 12", "Sans 8", "Sans 7"}) {
        SCOPED_TRACE(font);
        const Description shown = StartWithFont(font);
        ASSERT_FALSE(shown.empty());
        widths[font] = CheckLayout(shown);
        ASSERT_TRUE(Click(Find(shown, "Exit")));
        EXPECT_EQ(process_->WaitExit(), 0);
    }
    // Too wide a font gives way to the largest size that fits, the same for both: the label
    // with the least to spare then nearly fills its room (the checkbox's 130 pixels less the 23
    // of the toolkit's indicator, spacing and focus line).
    EXPECT_EQ(widths[""], widths["Sans 12"]);
    EXPECT_GE(widths[""]["Skip intro videos"], 107 * 9 / 10);
    // A font that fits is left as the desktop set it.
    for (const auto& [text, width] : widths["Sans 7"])
        EXPECT_LT(width, widths["Sans 8"][text]) << text;
}

bool Inside(const Item& inner, const Item& outer) {
    return inner.x >= outer.x && inner.y >= outer.y && inner.x + inner.w <= outer.x + outer.w &&
           inner.y + inner.h <= outer.y + outer.h;
}

// With fonts as large as players set them, on a large and a small screen, each kind of warning
// (the two of start-up, and a failed patch's, the longest) keeps its dialog, every line of its
// text and its OK button on the screen; OK, pressed from the keyboard, still ends the program.
TEST_F(WindowOnAnyDesktop, EveryWarningStaysWholeOnTheScreen) {
    struct Screen {
        int width, height;
        const char* font;
    };
    for (const Screen screen : {Screen{1280, 1024, "Sans 20"}, Screen{1280, 1024, "Sans 24"},
                                Screen{1024, 768, "Sans 20"}}) {
        std::optional<VirtualScreen> other;
        if (screen.width != 1280) other.emplace(screen.width, screen.height);
        const std::string display = other ? other->Display() : "";
        ASSERT_TRUE(!other || !display.empty()) << "no second screen";
        for (const long size : {-1L, 1372159L, 1372160L}) {
            SCOPED_TRACE(std::string(screen.font) + " on " + std::to_string(screen.width) +
                         " pixels, target of " + std::to_string(size));
            unlink(target_.c_str());
            const bool patch = size == long(kTarget.size());
            if (size >= 0 && !patch) WriteBytes(target_, Bytes(size));
            std::vector<std::string> environment;
            if (patch) environment = WriteFaults(RealPath(target_), "eio");
            if (other) environment.push_back("DISPLAY=" + display);
            std::ofstream(dir_.File("gtkrc")) << "gtk-font-name = \"" << screen.font << "\"\n";
            environment.push_back("GTK2_RC_FILES=" + dir_.File("gtkrc"));
            if (!patch) process_.emplace(dir_.Path(), Launch{false, false, environment});
            if (patch) { // "Patch", from the keyboard, fails to write
                ASSERT_TRUE(Start(kTarget, Launch{false, false, environment}));
                ASSERT_TRUE(PointAt(5, 5, display) && PressKeys("Tab Tab space", display));
            }
            const Description shown = process_->WaitFor([](const Description& d) {
                return Find(d, "Warning!") && Find(d, "OK") && Find(d, "OK")->w > 1;
            });
            ASSERT_FALSE(shown.empty());
            const Item& dialog = *Find(shown, "Warning!");
            const Item* text = nullptr; // the first label in the dialog
            for (const Item* item = &dialog + 1; item < shown.data() + shown.size() && !text;
                 ++item)
                if (item->type == "GtkLabel") text = item;
            ASSERT_TRUE(text && text->text != "OK");
            Item whole;
            whole.w = screen.width, whole.h = screen.height;
            EXPECT_TRUE(Inside(dialog, whole));
            EXPECT_TRUE(Inside(*text, dialog) && Inside(*Find(shown, "OK"), dialog));
            EXPECT_GE(text->textX, text->x) << text->text;
            EXPECT_LE(text->textX + text->textWidth, text->x + text->w) << text->text << " is cut";
            ASSERT_TRUE(PointAt(dialog.x + 5, dialog.y + 5, display) &&
                        PressKeys("Return", display));
            EXPECT_EQ(process_->WaitExit(), patch ? 1 : 0);
        }
    }
}

TEST_F(WindowOnAnyDesktop, ComesUpUnderABusyToolkitWithoutAWindowManagerAndPatches) {
    // A module's 100 ms timer keeps the toolkit busy: the wait for a configuration that no
    // window manager sends must give up on its own (2 s), and the window then be built as usual.
    const auto started = std::chrono::steady_clock::now();
    const Description shown = StartWithFont("", {"QX_TICK_MS=100"});
    ASSERT_FALSE(shown.empty()) << "the window never came up";
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    CheckLayout(shown);
    ASSERT_TRUE(Click(Find(shown, "Patch")));
    ASSERT_EQ(process_->WaitExit(), 0);
    EXPECT_EQ(Changed(ReadBytes(target_), Patched(kTarget, 1920, 1080)), 0u);
}

} // namespace
