// Buffered files, observed from outside the process: every check reads the file through a
// descriptor of its own, so a byte counts as written only once it has reached the file.
#include "file/file.h"
#include "runtime/runtime.h"
#include "tests/support/e2e.h"
#include "tests/support/faults.h"

#include <dirent.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Bytes = std::vector<unsigned char>;

int64_t LengthOf(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? static_cast<int64_t>(info.st_size) : -1;
}

int OpenDescriptors() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir))
            ++count;
        closedir(dir);
    }
    return count;
}

class Files : public testing::Test {
  protected:
    void SetUp() override {
        InitFileLibrary();
        ASSERT_NE(QX_File_Objects, nullptr);
    }
    void TearDown() override {
        QX_CloseFile(-1);
        QX_File_BufferSize = 4096;
    }
    // The runtime text name of a file in the scratch directory.
    std::u16string Name(const std::string& file) {
        std::string path = dir.File(file);
        return {path.begin(), path.end()};
    }
    Bytes Read(const std::string& file) { return ReadBytes(dir.File(file)); }
    TempDir dir;
};

} // namespace

TEST_F(Files, BytesReachTheFileAtASeekACloseOrAFullBuffer) {
    WriteBytes(dir.File("f"), {'a', 'b', 'c', 'd'});
    ASSERT_NE(OpenFile(0, Name("f").c_str()), 0);
    FileSeek(0, 1);
    EXPECT_EQ(WriteByte(0, 'X'), 1);
    EXPECT_EQ(Read("f"), (Bytes{'a', 'b', 'c', 'd'}));
    FileSeek(0, 3);
    EXPECT_EQ(Read("f"), (Bytes{'a', 'X', 'c', 'd'}));
    WriteByte(0, 'Y');
    QX_CloseFile(0);
    EXPECT_EQ(Read("f"), (Bytes{'a', 'X', 'c', 'Y'}));
    EXPECT_EQ(WriteByte(0, 'Z'), 0);

    // At most size - 1 bytes are pending; the size is the one in force at the open.
    for (int32_t size : {4096, 16}) {
        SCOPED_TRACE(size);
        const Bytes pattern = RandomBytes(static_cast<size_t>(size) + 1, size);
        QX_File_BufferSize = size;
        ASSERT_NE(CreateFile(0, Name("full").c_str()), 0);
        QX_File_BufferSize = 4;
        for (int32_t i = 0; i < size - 1; ++i)
            WriteByte(0, pattern[i]);
        EXPECT_EQ(LengthOf(dir.File("full")), 0);
        WriteByte(0, pattern[size - 1]);
        EXPECT_EQ(Read("full"), Bytes(pattern.begin(), pattern.end() - 2));
        WriteByte(0, pattern[size]);
        EXPECT_EQ(LengthOf(dir.File("full")), size - 1);
        QX_CloseFile(0);
        EXPECT_EQ(Read("full"), pattern);
    }

    // Unbuffered files, by a zero size or by their flag, write every byte at once.
    QX_File_BufferSize = 0;
    ASSERT_NE(OpenFile(0, Name("zero").c_str()), 0);
    QX_File_BufferSize = 4096;
    ASSERT_NE(OpenFile(1, Name("flagged").c_str(), NoBuffering | 1), 0);
    EXPECT_EQ(WriteByte(0, 'p'), 1);
    EXPECT_EQ(WriteByte(1, 'q'), 1);
    EXPECT_EQ(Read("zero"), Bytes{'p'});
    EXPECT_EQ(Read("flagged"), Bytes{'q'});
}

TEST_F(Files, SeeksAreRelativeOrAbsoluteWith64BitPositions) {
    ASSERT_NE(OpenFile(0, Name("f").c_str()), 0);
    for (unsigned char byte : {'a', 'b', 'c', 'd'})
        WriteByte(0, byte);
    FileSeek(0, -3, SeekRelative);
    WriteByte(0, 'X');
    FileSeek(0, 1, SeekRelative);
    WriteByte(0, 'Y');
    FileSeek(0, 0, 7); // any other mode is absolute
    WriteByte(0, 'Z');
    QX_CloseFile(0);
    EXPECT_EQ(Read("f"), (Bytes{'Z', 'X', 'c', 'Y'}));

    const int64_t far = (int64_t{5} << 30) + 3;
    ASSERT_NE(OpenFile(0, Name("f").c_str()), 0);
    FileSeek(0, far);
    WriteByte(0, 'E');
    QX_CloseFile(0);
    EXPECT_EQ(LengthOf(dir.File("f")), far + 1);
}

TEST_F(Files, OpenersCreateTruncateAppendOrRefuse) {
    for (const char* file : {"kept", "truncated", "appended"})
        WriteBytes(dir.File(file), {'a', 'b', 'c'});
    EXPECT_EQ(ReadFile(0, Name("missing").c_str()), 0);
    EXPECT_EQ(OpenFile(0, Name("missing").c_str(), NoCreate), 0);
    EXPECT_EQ(LengthOf(dir.File("missing")), -1);
    EXPECT_NE(OpenFile(0, Name("made").c_str()), 0);
    EXPECT_EQ(LengthOf(dir.File("made")), 0);
    EXPECT_NE(CreateFile(1, Name("truncated").c_str()), 0);
    EXPECT_EQ(LengthOf(dir.File("truncated")), 0);

    ASSERT_NE(OpenFile(2, Name("kept").c_str(), NoCreate), 0);
    ASSERT_NE(OpenFile(3, Name("appended").c_str(), Append), 0);
    WriteByte(2, 'X');
    WriteByte(3, 'd');
    QX_CloseFile(-1);
    EXPECT_EQ(Read("kept"), (Bytes{'X', 'b', 'c'}));
    EXPECT_EQ(Read("appended"), (Bytes{'a', 'b', 'c', 'd'}));
}

TEST_F(Files, ReopeningANumberWritesOutTheOldFileFirst) {
    ASSERT_NE(OpenFile(0, Name("first").c_str()), 0);
    WriteByte(0, '1');
    ASSERT_NE(OpenFile(0, Name("second").c_str()), 0);
    EXPECT_EQ(Read("first"), Bytes{'1'});
    WriteByte(0, '2');
    // Even a reopen that fails closes what the number held.
    EXPECT_EQ(ReadFile(0, Name("missing").c_str()), 0);
    EXPECT_EQ(Read("second"), Bytes{'2'});
    EXPECT_EQ(WriteByte(0, '3'), 0);
}

TEST_F(Files, OpenFileLeavesAReadOnlyFileUntouched) {
    const std::string path = dir.File("locked");
    const std::u16string name = Name("locked");
    const Bytes original = RandomBytes(64, 5);
    WriteBytes(path, original);
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    // Root writes through permission bits, so the open is tried by an unprivileged child.
    constexpr uid_t kNobody = 65534;
    constexpr int kCannotDrop = 100;
    ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0);
    if (geteuid() == 0) {
        ASSERT_EQ(chown(path.c_str(), kNobody, kNobody), 0);
    }
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 &&
            (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0))
            _exit(kCannotDrop);
        if (access(path.c_str(), W_OK) == 0) _exit(kCannotDrop);
        int faults = (OpenFile(0, name.c_str()) != 0 ? 1 : 0) | (WriteByte(0, 0) != 0 ? 2 : 0) |
                     (ReadFile(1, name.c_str()) == 0 ? 4 : 0);
        _exit(faults);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == kCannotDrop) GTEST_SKIP() << "cannot drop privileges";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: opened, 2: took a byte, 4: not readable";
    EXPECT_EQ(ReadBytes(path), original);
}

TEST_F(Files, ClosingAllWritesOutAndClosesEveryFile) {
    const int descriptors = OpenDescriptors();
    for (bool atShutdown : {false, true}) {
        SCOPED_TRACE(atShutdown ? "EndFileLibrary" : "QX_CloseFile(-1)");
        ASSERT_NE(OpenFile(0, Name("low").c_str()), 0);
        ASSERT_NE(OpenFile(40, Name("high").c_str()), 0); // beyond the first slots
        intptr_t chosen = OpenFile(Any, Name("any").c_str());
        ASSERT_NE(chosen, 0);
        EXPECT_EQ(reinterpret_cast<void*>(chosen), GetObject(QX_File_Objects, chosen));
        WriteByte(0, 'l');
        WriteByte(40, 'h');
        WriteByte(chosen, 'a');
        atShutdown ? EndFileLibrary() : QX_CloseFile(-1);
        EXPECT_EQ(Read("low"), Bytes{'l'});
        EXPECT_EQ(Read("high"), Bytes{'h'});
        EXPECT_EQ(Read("any"), Bytes{'a'});
        EXPECT_EQ(WriteByte(0, 1) + WriteByte(40, 1), 0);
        EXPECT_EQ(OpenDescriptors(), descriptors);
    }
}

// Each allocation of an open (slot array, record, name, write buffer) is refused in turn: the
// open fails with 0, leaves nothing open, the number free and the file as it was, until enough
// memory is allowed for it to succeed.
TEST_F(Files, RefusedMemoryFailsTheOpenCleanly) {
    const std::u16string name = Name("f");
    const Bytes original = {'o', 'l', 'd'};
    const int descriptors = OpenDescriptors();
    for (intptr_t number : {intptr_t{300}, Any}) {
        SCOPED_TRACE(number);
        WriteBytes(dir.File("f"), original);
        int failures = 0;
        intptr_t result = 0;
        for (int allowed = 0; allowed < 20; ++allowed) {
            int refused;
            {
                FailAllocations faults(allowed);
                result = OpenFile(number, name.c_str());
                refused = faults.Refused();
            }
            if (refused == 0) break;
            ++failures;
            EXPECT_EQ(result, 0);
            EXPECT_EQ(OpenDescriptors(), descriptors);
            EXPECT_EQ(number == Any ? 0 : WriteByte(number, 'x'), 0);
            EXPECT_EQ(QX_File_Objects->dynamicHead, nullptr); // no record left behind
            EXPECT_EQ(Read("f"), original);
        }
        EXPECT_GE(failures, 2);
        ASSERT_NE(result, 0);
        intptr_t opened = number == Any ? result : number;
        EXPECT_EQ(WriteByte(opened, 'n'), 1);
        QX_CloseFile(opened);
        EXPECT_EQ(Read("f"), (Bytes{'n', 'l', 'd'}));
    }

    // Without a table every operation quietly does nothing.
    ObjectTable* table = QX_File_Objects;
    QX_File_Objects = nullptr;
    {
        FailAllocations faults;
        InitFileLibrary();
    }
    EXPECT_EQ(QX_File_Objects, nullptr);
    EXPECT_EQ(OpenFile(0, name.c_str()), 0);
    EXPECT_EQ(WriteByte(0, 'x'), 0);
    FileSeek(0, 1);
    QX_CloseFile(0);
    EndFileLibrary();
    QX_File_Objects = table;
    EXPECT_EQ(Read("f"), (Bytes{'n', 'l', 'd'}));
}
