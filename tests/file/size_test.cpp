// The size query.
#include "file/file.h"
#include "tests/support/e2e.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::u16string Text(const std::string& ascii) {
    return {ascii.begin(), ascii.end()};
}

int64_t SizeOf(const std::string& path) {
    return FileSize(Text(path).c_str());
}

} // namespace

TEST(FileSize, FilesDirectoriesAndMissingEntries) {
    TempDir dir;
    WriteBytes(dir.File("empty"), {});
    WriteBytes(dir.File("three"), {1, 2, 3});
    EXPECT_EQ(SizeOf(dir.File("empty")), 0);
    EXPECT_EQ(SizeOf(dir.File("three")), 3);
    EXPECT_EQ(SizeOf(dir.Path()), -2);
    EXPECT_EQ(SizeOf(dir.File("missing")), -1);
    EXPECT_EQ(FileSize(nullptr), -1);
}

TEST(FileSize, FollowsSymbolicLinks) {
    TempDir dir;
    WriteBytes(dir.File("target"), std::vector<unsigned char>(1234));
    ASSERT_EQ(symlink(dir.File("target").c_str(), dir.File("link").c_str()), 0);
    ASSERT_EQ(symlink(dir.File("nowhere").c_str(), dir.File("dangling").c_str()), 0);
    EXPECT_EQ(SizeOf(dir.File("link")), 1234);
    EXPECT_EQ(SizeOf(dir.File("dangling")), -1);
}

TEST(FileSize, ReportsSizesBeyondFourGiB) {
    TempDir dir;
    int fd = open(dir.File("sparse").c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    const int64_t size = (int64_t{5} << 30) + 7;
    ASSERT_EQ(ftruncate(fd, size), 0);
    close(fd);
    EXPECT_EQ(SizeOf(dir.File("sparse")), size);
}

TEST(FileSize, NamesAreConvertedFromRuntimeText) {
    TempDir dir;
    WriteBytes(dir.File("\xC3\xA9t\xC3\xA9"), {9, 9});
    std::u16string name = Text(dir.Path()) + u"/\u00e9t\u00e9";
    EXPECT_EQ(FileSize(name.c_str()), 2);
}
