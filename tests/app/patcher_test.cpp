// The real patcher from end to end: its start-up check, its window read from the running program,
// real pointer clicks, and the target's bytes compared with the resolution table written out here.
#include "tests/app/patcher.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

namespace {

// The window carries the program's icon at each size of the desktop icons, pixel for pixel as the
// toolkit's own loader reads those.
::testing::AssertionResult ShowsProgramIcon(unsigned long xid) {
    const std::vector<WindowIcon> icons = ReadWindowIcons(xid);
    if (icons.size() != 4) return ::testing::AssertionFailure() << icons.size() << " icons";
    for (const WindowIcon& icon : icons) {
        const std::string size = std::to_string(icon.width);
        GdkPixbuf* art = gdk_pixbuf_new_from_file(
            (QX_ICON_DIR "/" + size + "x" + size + ".png").c_str(), nullptr);
        if (!art) return ::testing::AssertionFailure() << "no desktop icon of " << size;
        const int stride = gdk_pixbuf_get_rowstride(art), width = gdk_pixbuf_get_width(art);
        const guchar* rows = gdk_pixbuf_get_pixels(art);
        size_t differ = icon.height == icon.width ? 0 : 1;
        for (int y = 0; y < width && !differ; ++y)
            for (int x = 0; x < width; ++x) {
                const guchar* p = rows + y * stride + x * 4;
                const unsigned long argb =
                    (unsigned long)p[3] << 24 | p[0] << 16 | p[1] << 8 | p[2];
                differ += icon.pixels[size_t(y * width + x)] != argb;
            }
        g_object_unref(art);
        if (differ) return ::testing::AssertionFailure() << "the " << size << " icon differs";
    }
    return ::testing::AssertionSuccess();
}

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
        EXPECT_TRUE(ShowsProgramIcon(Find(shown, "Warning!")->xid));
        ASSERT_TRUE(Click(Find(shown, "OK")));
        EXPECT_EQ(process_->WaitExit(), 0);
    }
}

// The window as the running program shows it, then the ways out that leave the target as it was:
// "Exit", the window manager's close request and Escape.
TEST_F(Patcher, RightSizedTargetThroughALinkShowsTheWindowAndOnlyPatchWrites) {
    const std::string game = dir_.File("game.exe");
    ASSERT_EQ(symlink(game.c_str(), target_.c_str()), 0);
    auto shape = [](const Item& i) { return std::tie(i.type, i.x, i.y, i.w, i.h, i.state); };
    for (const char* way : {"Exit", "close request", "Escape"}) {
        SCOPED_TRACE(way);
        WriteBytes(game, kTarget);
        ASSERT_TRUE(Start({}));
        EXPECT_FALSE(Find(shown_, "Warning!"));
        for (const Item& placed : kLayout) {
            ASSERT_TRUE(Find(shown_, placed.text)) << placed.text;
            EXPECT_EQ(shape(*Find(shown_, placed.text)), shape(placed)) << placed.text;
        }
        EXPECT_TRUE(ShowsProgramIcon(Find(shown_, kTitle)->xid));
        // Left, right and double clicks on the pictures, then choices: none is written.
        for (const char* picture : {"130x130", "130x91"})
            for (auto [button, repeat] : {std::pair{1, 1}, std::pair{3, 1}, std::pair{1, 2}})
                ASSERT_TRUE(Click(Find(shown_, picture), button, repeat));
        ASSERT_TRUE(Choose("1600x900"));
        ASSERT_TRUE(Choose("Skip intro videos"));
        EXPECT_EQ(Changed(ReadBytes(game), kTarget), 0u);
        const std::string how = way;
        const bool asked = how == "Exit" ? Press("Exit")
                           : how == "close request"
                               ? SendDeleteRequestToXid(Find(shown_, kTitle)->xid)
                               : PointAt(5, 5) && PressKeys("Escape");
        ASSERT_TRUE(asked);
        EXPECT_EQ(process_->WaitExit(), 0);
        EXPECT_EQ(Changed(ReadBytes(game), kTarget), 0u);
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
        // 1600 x 900 is chosen and patched from the keyboard, which starts on the selected
        // resolution: Down selects the next, Tab goes on to the intro switch, then to "Patch".
        const bool keyboard = width == 1600;
        ASSERT_TRUE(!keyboard || (PointAt(5, 5) && PressKeys(skipIntro ? "Down Tab space Tab space"
                                                                       : "Down Tab Tab space")));
        ASSERT_TRUE(keyboard || choice == 0 || Choose(option)); // the first presses "Patch" at once
        ASSERT_TRUE(keyboard || !skipIntro || Choose("Skip intro videos"));
        if (choice == 2) { // another program edits the target between events
            original[700000] ^= 0xFF;
            WriteBytes(target_, original);
        }
        ASSERT_TRUE(keyboard || Press("Patch"));
        ASSERT_EQ(process_->WaitExit(), 0);
        const Bytes after = ReadBytes(target_);
        EXPECT_EQ(Changed(original, after), skipIntro ? 17u : 16u);
        EXPECT_EQ(Changed(after, Patched(original, width, height, skipIntro ? 0 : -1)), 0u);
    }
}

} // namespace
