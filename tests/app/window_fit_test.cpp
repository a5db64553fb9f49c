// The real patcher's window on any desktop: as large as the desktop's font asks and no larger than
// the screen, every label whole in its gadget's scaled place, drawings that stand out on light and
// dark themes, every warning whole on the screen, and a window that comes up although the toolkit
// never falls quiet.
#include "tests/app/patcher.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <optional>
#include <tuple>
#include <unistd.h>
#include <utility>

namespace {

// What a desktop sets: its font and its theme (empty: the toolkit's own).
struct Desktop {
    Desktop(std::string fontName = "", std::string themeName = "")
        : font(std::move(fontName)), theme(std::move(themeName)) {}
    std::string font, theme;
    std::string Name() const {
        return (font.empty() ? "default font" : font) + (theme.empty() ? "" : " in " + theme);
    }
};

class WindowOnAnyDesktop : public Patcher {
  protected:
    // Starts the patcher on a right-sized target, the desktop's settings given by an rc file; the
    // main window as shown once complete, or empty.
    Description StartOn(const Desktop& desktop, std::vector<std::string> environment = {}) {
        std::ofstream rc(dir_.File("gtkrc"));
        if (!desktop.font.empty()) rc << "gtk-font-name = \"" << desktop.font << "\"\n";
        if (!desktop.theme.empty()) rc << "gtk-theme-name = \"" << desktop.theme << "\"\n";
        rc.close();
        environment.push_back("GTK2_RC_FILES=" + dir_.File("gtkrc"));
        Start(kTarget, Launch{false, false, environment});
        return shown_;
    }

    // The text widths of the labels, by text, after checking that each gadget has its place and
    // size in `layout` and that each label's whole text fits what it is given.
    std::map<std::string, int> CheckLayout(const Description& shown,
                                           const Description& layout = ScaledLayout(2)) {
        std::map<std::string, int> widths;
        for (const Item& placed : layout) {
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

// The window is as much larger than its normal size as the desktop's font is larger than the
// toolkit's default (Sans 10 at 96 dpi), in half steps and no larger than the screen; every gadget
// is at that many times its place and size, and every label shows its whole text.
TEST_F(WindowOnAnyDesktop, EveryGadgetTakesItsPlaceAtTheDesktopsScaleWithItsLabelWhole) {
    struct Case {
        Desktop desktop;
        int halves;                               // the scale expected
        bool patch = false;                       // 1366x768 patched by clicks at its scaled places
        int width = 1280, height = 1024, dpi = 0; // the screen: the test's own unless changed
    };
    const Case cases[] = {{{""}, 2},
                          {{"Sans 12"}, 2},
                          {{"Sans 8"}, 2},
                          {{"Sans 7"}, 2},
                          {{"Sans 14"}, 2},
                          {{"Sans 15"}, 3},
                          {{"Sans 20"}, 4, true},
                          // a high-density screen; a screen whose dpi is a hair under 96
                          {{"Sans 10"}, 4, false, 1280, 1024, 192},
                          {{"Sans 20"}, 4, false, 1280, 1024, 96},
                          // three times would not fit: two and a half
                          {{"Sans 30"}, 5, false, 1024, 768}};
    std::map<std::string, std::map<std::string, int>> widths;
    for (const Case& test : cases) {
        const std::string name =
            test.desktop.Name() + (test.dpi ? " at " + std::to_string(test.dpi) + " dpi" : "");
        SCOPED_TRACE(name + " on " + std::to_string(test.width) + " pixels");
        std::optional<VirtualScreen> other;
        if (test.width != 1280 || test.dpi) other.emplace(test.width, test.height, test.dpi);
        const std::string display = other ? other->Display() : "";
        ASSERT_TRUE(!other || !display.empty()) << "no second screen";
        const Description shown =
            StartOn(test.desktop, other ? std::vector<std::string>{"DISPLAY=" + display}
                                        : std::vector<std::string>{});
        ASSERT_FALSE(shown.empty());
        const Description layout = ScaledLayout(test.halves);
        widths[name] = CheckLayout(shown, layout);
        if (other) {
            ASSERT_TRUE(PointAt(5, 5, display) && PressKeys("Escape", display));
            EXPECT_EQ(process_->WaitExit(), 0);
        } else if (test.patch) {
            auto chosen = [](const Description& d) {
                return Find(d, "1366x768") && Find(d, "1366x768")->state;
            };
            ASSERT_TRUE(Click(Find(layout, "1366x768")) && !process_->WaitFor(chosen).empty());
            ASSERT_TRUE(Click(Find(layout, "Patch")));
            EXPECT_EQ(process_->WaitExit(), 0);
            EXPECT_EQ(Changed(ReadBytes(target_), Patched(kTarget, 1366, 768)), 0u);
        } else {
            ASSERT_TRUE(Click(Find(shown, "Exit")));
            EXPECT_EQ(process_->WaitExit(), 0);
        }
    }
    // Too wide a font gives way to the largest size that fits, the same for both: the label
    // with the least to spare then nearly fills its room (the checkbox's 130 pixels less the 23
    // of the toolkit's indicator, spacing and focus line).
    EXPECT_EQ(widths["default font"], widths["Sans 12"]);
    EXPECT_GE(widths["default font"]["Skip intro videos"], 107 * 9 / 10);
    // A font that fits is left as the desktop set it.
    for (const auto& [text, width] : widths["Sans 7"])
        EXPECT_LT(width, widths["Sans 8"][text]) << text;
    // Twice the font in pixels, by its size or by the dpi, shows in twice the room: the labels
    // are not shrunk back to the room of the normal window.
    for (const char* large : {"Sans 20", "Sans 10 at 192 dpi"})
        for (const auto& [text, width] : widths["default font"])
            EXPECT_GE(widths[large][text], width * 3 / 2) << large << ": " << text;
}

// The contrast ratio of two colours (0xRRGGBB) as accessibility rules measure it, 1 to 21.
double Contrast(uint32_t one, uint32_t other) {
    auto luminance = [](uint32_t colour) {
        double sum = 0;
        for (const auto& [shift, weight] : {std::pair{16, 0.2126}, {8, 0.7152}, {0, 0.0722}}) {
            const double value = ((colour >> shift) & 0xFF) / 255.0;
            sum += weight *
                   (value <= 0.04045 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4));
        }
        return sum;
    };
    const double a = luminance(one), b = luminance(other);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

// The largest difference of a channel between what the screen shows and a picture file laid over
// the background colour by its alpha; 256 when the file cannot be read or differs in size.
int DifferenceFromArt(const std::vector<uint32_t>& shown, uint32_t background,
                      const std::string& file) {
    GdkPixbuf* art = gdk_pixbuf_new_from_file((QX_ASSETS_DIR "/" + file).c_str(), nullptr);
    if (!art) return 256;
    const int width = gdk_pixbuf_get_width(art), height = gdk_pixbuf_get_height(art);
    int most = size_t(width * height) == shown.size() ? 0 : 256;
    for (int y = 0; y < height && most < 256; ++y)
        for (int x = 0; x < width; ++x) {
            const guchar* p =
                gdk_pixbuf_get_pixels(art) + y * gdk_pixbuf_get_rowstride(art) + x * 4;
            for (int shift : {16, 8, 0}) {
                const int under = (background >> shift) & 0xFF, grey = p[2 - shift / 8];
                const int expected = (grey * p[3] + under * (255 - p[3]) + 127) / 255;
                const int seen = (shown[size_t(y * width + x)] >> shift) & 0xFF;
                most = std::max(most, std::abs(seen - expected));
            }
        }
    g_object_unref(art);
    return most;
}

// On a light theme and on a dark one, at the normal size and at twice it, the drawings' lines
// stand at a contrast of at least 3:1 (what figures need) against the window's background over a
// real share of each picture's area, measured on the screen. On the light theme they are the art
// as drawn: the small pictures at the normal size, the large ones at twice it, never enlarged.
TEST_F(WindowOnAnyDesktop, DrawingsStandOutFromTheBackgroundOnLightAndDarkThemes) {
    struct Case {
        Desktop desktop;
        int halves;
    };
    for (const Case& test : {Case{{""}, 2}, Case{{"Sans 20"}, 4}, Case{{"", "Adwaita-dark"}, 2},
                             Case{{"Sans 20", "Adwaita-dark"}, 4}}) {
        SCOPED_TRACE(test.desktop.Name());
        ASSERT_FALSE(StartOn(test.desktop).empty());
        const char* art[] = {"monster_archer", "adventurers"};
        int shown = 0;
        for (const Item& picture : ScaledLayout(test.halves)) {
            if (picture.type != "GtkImage") continue;
            // Drawn once two grabs in a row agree and show more than the background.
            std::vector<uint32_t> grab, before;
            auto drawn = [&] {
                return !grab.empty() && grab == before &&
                       std::count(grab.begin(), grab.end(), grab[0]) < long(grab.size());
            };
            for (int round = 0; round < 250 && !drawn(); ++round, g_usleep(20000))
                before =
                    std::exchange(grab, GrabScreen(picture.x, picture.y, picture.w, picture.h));
            ASSERT_TRUE(drawn()) << picture.text << " never drawn";
            std::map<uint32_t, long> counts; // the background is what shows most
            for (uint32_t colour : grab)
                ++counts[colour];
            const uint32_t background =
                std::max_element(counts.begin(), counts.end(), [](auto& a, auto& b) {
                    return a.second < b.second;
                })->first;
            EXPECT_EQ(Contrast(background, 0) < 5, !test.desktop.theme.empty())
                << "not the theme's background: is " << test.desktop.theme
                << " installed (scripts/install-deps test)?";
            long standing = 0;
            double peak = 1;
            for (uint32_t colour : grab) {
                standing += Contrast(colour, background) >= 3;
                peak = std::max(peak, Contrast(colour, background));
            }
            const double share = double(standing) / double(grab.size());
            EXPECT_GE(share, 0.10) << picture.text;
            if (test.desktop.theme.empty()) {
                const std::string file =
                    art[shown] + std::string(test.halves == 2 ? "" : "_2x") + ".png";
                EXPECT_LE(DifferenceFromArt(grab, background, file), 1) << file;
            }
            ++shown;
            std::printf("%s, %s picture: %.1f%% of its area at 3:1 or more, at most %.1f:1\n",
                        test.desktop.Name().c_str(), picture.text.c_str(), share * 100, peak);
        }
        ASSERT_TRUE(PointAt(5, 5) && PressKeys("Escape"));
        EXPECT_EQ(process_->WaitExit(), 0);
    }
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
    const Description shown = StartOn({}, {"QX_TICK_MS=100"});
    ASSERT_FALSE(shown.empty()) << "the window never came up";
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    CheckLayout(shown);
    ASSERT_TRUE(Click(Find(shown, "Patch")));
    ASSERT_EQ(process_->WaitExit(), 0);
    EXPECT_EQ(Changed(ReadBytes(target_), Patched(kTarget, 1920, 1080)), 0u);
}

} // namespace
