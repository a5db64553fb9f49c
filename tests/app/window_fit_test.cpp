// The real patcher's window on any desktop: every label whole in its gadget's place whatever font
// the desktop sets, and a window that comes up although the toolkit never falls quiet.
#include "tests/app/patcher.h"

#include <chrono>
#include <fstream>
#include <map>
#include <tuple>

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
