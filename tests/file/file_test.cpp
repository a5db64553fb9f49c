// The file library, observed through descriptors of the test's own: written means in the file.
#include "file/file.h"
#include "runtime/runtime.h"
#include "tests/support/e2e.h"
#include "tests/support/faults.h"

#include <cerrno>
#include <grp.h>
#include <gtest/gtest.h>
#include <list>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using Bytes = std::vector<unsigned char>;

struct Files : testing::Test {
    void SetUp() override { InitFileLibrary(); }
    void TearDown() override { QX_CloseFile(-1); }
    const char16_t* Name(const std::string& file) { // as runtime text
        std::string path = dir.File(file);
        return names.emplace_back(path.begin(), path.end()).c_str();
    }
    Bytes Read(const std::string& file) { return ReadBytes(dir.File(file)); }
    static int NextDescriptor(int fd = dup(2)) { return close(fd) == 0 ? fd : -1; }
    TempDir dir;
    std::list<std::u16string> names;
    const int next = NextDescriptor(); // the lowest free one: a descriptor left open takes it
};

TEST_F(Files, FileSizeFollowsLinksAndTellsDirectories) {
    const int64_t sparse = (int64_t{5} << 30) + 7; // beyond 32 bits
    const std::string accented = dir.File("\xC3\xA9t\xC3\xA9");
    WriteBytes(accented, {});
    ASSERT_EQ(truncate(accented.c_str(), sparse), 0);
    ASSERT_EQ(symlink(accented.c_str(), dir.File("link").c_str()), 0);
    ASSERT_EQ(symlink(dir.File("nowhere").c_str(), dir.File("dangling").c_str()), 0);
    EXPECT_EQ(FileSize((Name("") + std::u16string(u"\u00e9t\u00e9")).c_str()), sparse);
    EXPECT_EQ(FileSize(Name("link")), sparse);
    EXPECT_EQ(FileSize(Name("")), -2);
    EXPECT_EQ(FileSize(Name("dangling")), -1);
}

TEST_F(Files, BytesReachTheFileAtAFullBufferASeekOrAClose) {
    QX_File_BufferSize = 0;
    ASSERT_NE(OpenFile(1, Name("zero")), 0);
    QX_File_BufferSize = 4096;
    ASSERT_NE(OpenFile(2, Name("flagged"), NoBuffering | 1), 0);
    EXPECT_EQ(WriteByte(1, 'p') + WriteByte(2, 'q'), 2);
    EXPECT_TRUE(Read("zero") == Bytes{'p'} && Read("flagged") == Bytes{'q'});

    const Bytes pattern = RandomBytes(4096, 1);
    ASSERT_NE(CreateFile(0, Name("f")), 0);
    for (int i = 0; i < 4095; ++i)
        WriteByte(0, pattern[i]);
    EXPECT_EQ(Read("f"), Bytes{});
    WriteByte(0, pattern[4095]); // the 4095 pending bytes go out, this one waits
    EXPECT_EQ(Read("f"), Bytes(pattern.begin(), pattern.end() - 1));
    FileSeek(0, 1);
    EXPECT_EQ(Read("f"), pattern);
    WriteByte(0, pattern[1] ^ 1);
    EXPECT_EQ(Read("f")[1], pattern[1]);
    EndFileLibrary(); // writes out and closes every open file
    EXPECT_TRUE(Read("f")[1] == (pattern[1] ^ 1) && NextDescriptor() == next);
}

TEST_F(Files, OpenersCreateTruncateAppendReopenAndCloseAll) {
    for (const char* file : {"kept", "truncated", "appended"})
        WriteBytes(dir.File(file), {'a', 'b', 'c'});
    EXPECT_TRUE(!ReadFile(0, Name("missing")) && !OpenFile(0, Name("missing"), NoCreate));
    EXPECT_EQ(FileSize(Name("missing")), -1); // nothing was made
    ASSERT_NE(OpenFile(0, Name("made")), 0);
    EXPECT_EQ(FileSize(Name("made")), 0);
    WriteByte(0, 'm');
    ASSERT_NE(CreateFile(0, Name("truncated")), 0); // number 0's old file is written out first
    EXPECT_TRUE(Read("made") == Bytes{'m'} && Read("truncated").empty());
    ASSERT_NE(OpenFile(1, Name("kept"), NoCreate), 0);
    ASSERT_NE(OpenFile(2, Name("appended"), Append), 0);
    const intptr_t any = CreateFile(Any, Name("any"));
    EXPECT_EQ(WriteByte(1, 'X') + WriteByte(2, 'd') + WriteByte(any, 'n'), 3);
    QX_CloseFile(-1);
    EXPECT_EQ((std::vector{Read("kept"), Read("appended"), Read("any")}),
              (std::vector<Bytes>{{'X', 'b', 'c'}, {'a', 'b', 'c', 'd'}, {'n'}}));
    EXPECT_EQ(NextDescriptor(), next);
}

TEST_F(Files, OpenFileLeavesAReadOnlyFileUntouched) {
    const std::string path = dir.File("locked");
    WriteBytes(path, RandomBytes(64, 5));
    // Root writes through permission bits, so the open is tried by an unprivileged child.
    ASSERT_EQ(chmod(path.c_str(), 0444) | chmod(dir.Path().c_str(), 0755), 0);
    const char16_t* name = Name("locked");
    const pid_t child = fork();
    if (child == 0) {
        if ((geteuid() == 0 && (setgroups(0, nullptr) || setgid(65534) || setuid(65534))) ||
            access(path.c_str(), W_OK) == 0)
            _exit(100);
        _exit(OpenFile(0, name) != 0 || WriteByte(0, 0) != 0 || ReadFile(1, name) == 0);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    if (WEXITSTATUS(status) == 100) GTEST_SKIP() << "cannot drop privileges";
    EXPECT_EQ(status, 0) << "the child opened it, wrote to it or could not read it";
    EXPECT_EQ(ReadBytes(path), RandomBytes(64, 5));
}

// Each allocation of an open (slots, record, name, write buffer) is refused in turn.
TEST_F(Files, RefusedMemoryFailsTheOpenAndLeavesTheNumberFree) {
    const char16_t* name = Name("f");
    for (intptr_t number : {intptr_t{300}, Any}) {
        int allowed = 0;
        for (; allowed < 20; ++allowed) {
            if (FailAllocations faults(allowed); OpenFile(number, name)) break;
            EXPECT_EQ(NextDescriptor(), next);
            EXPECT_TRUE(number == Any ? !QX_File_Objects->dynamicHead : !WriteByte(number, 'x'));
        }
        EXPECT_TRUE(allowed >= 2 && allowed < 20) << number;
        QX_CloseFile(-1);
    }
}

// A file's first failure stays until its close reports it; bytes the stream refused are dropped
// and later ones still go through.
TEST_F(Files, FailedWritesSeeksAndClosesAreKeptUntilTheClose) {
    ASSERT_NE(OpenFile(0, Name("flushed")), 0);
    WriteByte(0, 'a');
    EXPECT_EQ(FileError(0), 0);
    {
        FailStreams full(ENOSPC);
        FileSeek(0, 1); // the flush of 'a' is refused
    }
    EXPECT_EQ(FileError(0), ENOSPC);
    WriteByte(0, 'b');
    FileSeek(0, -1); // goes through the flush, fails to move
    EXPECT_EQ(FileError(0), ENOSPC);
    EXPECT_EQ(CloseFile(0), ENOSPC);
    EXPECT_EQ(Read("flushed"), (Bytes{0, 'b'}));
    EXPECT_EQ(FileError(0), EBADF);

    ASSERT_NE(OpenFile(1, Name("seeked")), 0);
    FileSeek(1, -1);
    EXPECT_EQ(CloseFile(1), EINVAL);

    ASSERT_NE(OpenFile(2, Name("direct"), NoBuffering), 0);
    {
        FailStreams silent(0); // a short write that gives no reason
        EXPECT_EQ(WriteByte(2, 'c'), 0);
    }
    EXPECT_EQ(WriteByte(2, 'd'), 1);
    EXPECT_EQ(CloseFile(2), EIO);
    EXPECT_EQ(Read("direct"), Bytes{'d'});

    ASSERT_NE(OpenFile(3, Name("closed")), 0);
    WriteByte(3, 'e');
    FileSeek(3, 0);
    {
        FailStreams failing(EIO);
        EXPECT_EQ(CloseFile(3), EIO);
    }
    EXPECT_EQ(NextDescriptor(), next); // a failed close still gives the descriptor back
    ASSERT_NE(OpenFile(3, Name("closed")), 0);
    EXPECT_EQ(CloseFile(3), 0); // a new open starts clean

    errno = 0;
    EXPECT_TRUE(!OpenFile(4, Name("missing"), NoCreate) && errno == ENOENT);
    EXPECT_TRUE(!OpenFile(4, Name("")) && errno == EISDIR);
}
