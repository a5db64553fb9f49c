// The real binary's start: the target check and its two warnings, answered by real clicks.
#include "app/app.h"
#include "tests/support/e2e.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const std::string kNotFound =
    "This application failed to start because Quellmire.exe was not found";
const std::string kWrongFile = "Can not find the original file Quellmire.exe v1.05b";

void ExpectWarningThenExit(const std::string& directory, const std::string& text) {
    PatcherProcess patcher(PatcherBinary(), directory);
    auto shown = patcher.WaitForWindow("Warning!");
    ASSERT_TRUE(shown) << "no warning appeared";
    auto label = shown->Find("Warning!", "GtkLabel", text);
    ASSERT_TRUE(label) << "the warning does not say: " << text;
    auto ok = shown->Find("Warning!", "GtkButton");
    ASSERT_TRUE(ok);
    EXPECT_TRUE(ClickDescribed(*ok));
    auto status = patcher.WaitExit();
    ASSERT_TRUE(status) << "the patcher did not end after OK";
    EXPECT_EQ(*status, 0);
}

} // namespace

TEST(Startup, MissingTargetWarnsThatItWasNotFound) {
    TempDir dir;
    ExpectWarningThenExit(dir.Path(), kNotFound);
}

TEST(Startup, TargetBesideTheProgramButNotInTheWorkingDirectoryIsNotFound) {
    TempDir dir, elsewhere;
    WriteBytes(dir.File("Quellmire.exe"), std::vector<unsigned char>(kTargetSize));
    ExpectWarningThenExit(elsewhere.Path(), kNotFound);
}

TEST(Startup, WrongSizesAndDirectoriesWarnOfTheOriginalFile) {
    for (int64_t size : {kTargetSize - 1, kTargetSize + 1, int64_t{0}}) {
        TempDir dir;
        WriteBytes(dir.File("Quellmire.exe"), std::vector<unsigned char>(size));
        ExpectWarningThenExit(dir.Path(), kWrongFile);
    }
    TempDir dir;
    ASSERT_EQ(mkdir(dir.File("Quellmire.exe").c_str(), 0755), 0);
    ExpectWarningThenExit(dir.Path(), kWrongFile);
}

TEST(Startup, RightSizedTargetThroughALinkOpensTheMainWindow) {
    TempDir dir, other;
    WriteBytes(other.File("game.exe"), RandomBytes(kTargetSize, 7));
    ASSERT_EQ(symlink(other.File("game.exe").c_str(), dir.File("Quellmire.exe").c_str()), 0);
    PatcherProcess patcher(PatcherBinary(), dir.Path());
    auto shown = patcher.WaitFor([](const Description& description) {
        return description.Find("Widescreen. Patch for QuellMire 1.05", "GtkButton", "Exit")
            .has_value();
    });
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->Window("Warning!"), nullptr);
    auto exit = shown->Find("Widescreen. Patch for QuellMire 1.05", "GtkButton", "Exit");
    ASSERT_TRUE(exit);
    EXPECT_TRUE(ClickDescribed(*exit));
    auto status = patcher.WaitExit();
    ASSERT_TRUE(status);
    EXPECT_EQ(*status, 0);
}
