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
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

std::u16string Text(const std::string& ascii) {
    return {ascii.begin(), ascii.end()};
}

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
    intptr_t Open(intptr_t number, const std::string& path, int32_t flags = 1) {
        return OpenFile(number, Text(path).c_str(), flags);
    }
    TempDir dir;
};

} // namespace

TEST_F(Files, SeekAndCloseWriteOutThePendingByte) {
    const std::string path = dir.File("target");
    WriteBytes(path, {'a', 'b', 'c', 'd', 'e', 'f'});
    ASSERT_NE(Open(0, path), 0);

    FileSeek(0, 1);
    EXPECT_EQ(WriteByte(0, 'X'), 1);
    EXPECT_EQ(ReadBytes(path), (Bytes{'a', 'b', 'c', 'd', 'e', 'f'}));
    FileSeek(0, 4);
    EXPECT_EQ(ReadBytes(path), (Bytes{'a', 'X', 'c', 'd', 'e', 'f'}));
    FileSeek(0, 5); // nothing pending: nothing written
    EXPECT_EQ(ReadBytes(path), (Bytes{'a', 'X', 'c', 'd', 'e', 'f'}));

    EXPECT_EQ(WriteByte(0, 'Y'), 1);
    EXPECT_EQ(ReadBytes(path), (Bytes{'a', 'X', 'c', 'd', 'e', 'f'}));
    QX_CloseFile(0);
    EXPECT_EQ(ReadBytes(path), (Bytes{'a', 'X', 'c', 'd', 'e', 'Y'}));
    EXPECT_EQ(WriteByte(0, 'Z'), 0);
    FileSeek(0, 0);
    QX_CloseFile(0);
}

TEST_F(Files, BufferHoldsOneByteLessThanItsSize) {
    for (int32_t size : {4096, 16}) {
        SCOPED_TRACE(size);
        const std::string path = dir.File("buffered" + std::to_string(size));
        const Bytes pattern = RandomBytes(static_cast<size_t>(size) + 1, size);
        QX_File_BufferSize = size;
        ASSERT_NE(CreateFile(0, Text(path).c_str()), 0);
        QX_File_BufferSize = 4; // only files opened later take a new size

        for (int32_t i = 0; i < size - 1; ++i)
            ASSERT_EQ(WriteByte(0, pattern[i]), 1);
        EXPECT_EQ(LengthOf(path), 0);
        WriteByte(0, pattern[size - 1]);
        EXPECT_EQ(ReadBytes(path), Bytes(pattern.begin(), pattern.begin() + size - 1));
        WriteByte(0, pattern[size]);
        EXPECT_EQ(LengthOf(path), size - 1);
        QX_CloseFile(0);
        EXPECT_EQ(ReadBytes(path), pattern);
    }
}

TEST_F(Files, UnbufferedFilesWriteEachByteAtOnce) {
    const std::string zeroSize = dir.File("zero"), flagged = dir.File("flagged");
    QX_File_BufferSize = 0;
    ASSERT_NE(Open(0, zeroSize), 0);
    QX_File_BufferSize = 4096;
    ASSERT_NE(Open(1, flagged, NoBuffering | 1), 0);
    for (unsigned char byte : {'p', 'q'}) {
        EXPECT_EQ(WriteByte(0, byte), 1);
        EXPECT_EQ(WriteByte(1, byte), 1);
    }
    EXPECT_EQ(ReadBytes(zeroSize), (Bytes{'p', 'q'}));
    EXPECT_EQ(ReadBytes(flagged), (Bytes{'p', 'q'}));
}

TEST_F(Files, SeeksAreRelativeOrAbsoluteWith64BitPositions) {
    const std::string path = dir.File("seeks");
    ASSERT_NE(Open(0, path), 0);
    for (unsigned char byte : {'a', 'b', 'c', 'd'})
        WriteByte(0, byte);
    FileSeek(0, -3, SeekRelative);
    WriteByte(0, 'X');
    FileSeek(0, 1, SeekRelative); // from behind the X: skips 'c'
    WriteByte(0, 'Y');
    FileSeek(0, 0, 7); // an unknown mode is absolute
    WriteByte(0, 'Z');
    QX_CloseFile(0);
    EXPECT_EQ(ReadBytes(path), (Bytes{'Z', 'X', 'c', 'Y'}));

    const int64_t far = (int64_t{5} << 30) + 3;
    ASSERT_NE(Open(0, path), 0);
    FileSeek(0, far);
    WriteByte(0, 'E');
    QX_CloseFile(0);
    EXPECT_EQ(LengthOf(path), far + 1);
}

TEST_F(Files, OpenersCreateTruncateAppendOrRefuse) {
    const std::string missing = dir.File("missing"), made = dir.File("made");
    const std::string kept = dir.File("kept"), truncated = dir.File("truncated");
    const std::string appended = dir.File("appended");
    for (const std::string& path : {kept, truncated, appended})
        WriteBytes(path, {'a', 'b', 'c'});

    EXPECT_EQ(ReadFile(0, Text(missing).c_str()), 0);
    EXPECT_EQ(LengthOf(missing), -1);
    EXPECT_EQ(WriteByte(0, 1), 0);
    EXPECT_NE(Open(0, made), 0);
    EXPECT_EQ(LengthOf(made), 0);
    EXPECT_NE(CreateFile(1, Text(truncated).c_str()), 0);
    EXPECT_EQ(LengthOf(truncated), 0);

    ASSERT_NE(Open(2, kept), 0);
    WriteByte(2, 'X');
    ASSERT_NE(Open(3, appended, Append), 0);
    WriteByte(3, 'd');
    QX_CloseFile(2);
    QX_CloseFile(3);
    EXPECT_EQ(ReadBytes(kept), (Bytes{'X', 'b', 'c'}));
    EXPECT_EQ(ReadBytes(appended), (Bytes{'a', 'b', 'c', 'd'}));

    // A number chosen by the library is the record's address, and it works like any other.
    intptr_t chosen = Open(Any, kept);
    ASSERT_NE(chosen, 0);
    EXPECT_EQ(reinterpret_cast<void*>(chosen), GetObject(QX_File_Objects, chosen));
    FileSeek(chosen, 2);
    EXPECT_EQ(WriteByte(chosen, 'Y'), 1);
    QX_CloseFile(chosen);
    EXPECT_EQ(ReadBytes(kept), (Bytes{'X', 'b', 'Y'}));
}

TEST_F(Files, ReopeningANumberWritesOutTheOldFileFirst) {
    const std::string first = dir.File("first"), second = dir.File("second");
    ASSERT_NE(Open(0, first), 0);
    WriteByte(0, '1');
    ASSERT_NE(Open(0, second), 0);
    EXPECT_EQ(ReadBytes(first), (Bytes{'1'}));

    // Even a reopen that fails closes what the number held.
    WriteByte(0, '2');
    EXPECT_EQ(ReadFile(0, Text(dir.File("missing")).c_str()), 0);
    EXPECT_EQ(ReadBytes(second), (Bytes{'2'}));
    EXPECT_EQ(WriteByte(0, '3'), 0);
}

TEST_F(Files, OpenFileLeavesAReadOnlyFileUntouched) {
    const std::string path = dir.File("locked");
    const std::u16string name = Text(path);
    const Bytes original = RandomBytes(64, 5);
    WriteBytes(path, original);
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);

    if (geteuid() != 0) {
        EXPECT_EQ(OpenFile(0, name.c_str()), 0);
        EXPECT_NE(ReadFile(1, name.c_str()), 0);
    } else {
        // Root writes through permission bits; an unprivileged child does not.
        constexpr uid_t kNobody = 65534;
        constexpr int kCannotDrop = 100;
        ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0);
        ASSERT_EQ(chown(path.c_str(), kNobody, kNobody), 0);
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0 ||
                access(path.c_str(), W_OK) == 0)
                _exit(kCannotDrop);
            int faults = 0;
            if (OpenFile(0, name.c_str()) != 0) faults |= 1;
            if (WriteByte(0, 0) != 0) faults |= 2;
            if (ReadFile(1, name.c_str()) == 0) faults |= 4;
            _exit(faults);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        if (WEXITSTATUS(status) == kCannotDrop) GTEST_SKIP() << "cannot drop privileges";
        EXPECT_EQ(WEXITSTATUS(status), 0) << "1: opened, 2: took a byte, 4: not readable";
    }
    EXPECT_EQ(ReadBytes(path), original);
}

TEST_F(Files, ClosingAllWritesOutAndClosesEveryFile) {
    const int descriptors = OpenDescriptors();
    for (bool atShutdown : {false, true}) {
        SCOPED_TRACE(atShutdown ? "EndFileLibrary" : "QX_CloseFile(-1)");
        const std::string low = dir.File("low"), high = dir.File("high"), any = dir.File("any");
        ASSERT_NE(Open(0, low), 0);
        ASSERT_NE(Open(40, high), 0); // beyond the first slots
        intptr_t chosen = Open(Any, any);
        ASSERT_NE(chosen, 0);
        WriteByte(0, 'l');
        WriteByte(40, 'h');
        WriteByte(chosen, 'a');
        EXPECT_EQ(OpenDescriptors(), descriptors + 3);

        if (atShutdown)
            EndFileLibrary();
        else
            QX_CloseFile(-1);
        EXPECT_EQ(ReadBytes(low), (Bytes{'l'}));
        EXPECT_EQ(ReadBytes(high), (Bytes{'h'}));
        EXPECT_EQ(ReadBytes(any), (Bytes{'a'}));
        EXPECT_EQ(WriteByte(0, 1), 0);
        EXPECT_EQ(WriteByte(40, 1), 0);
        EXPECT_EQ(OpenDescriptors(), descriptors);
    }
}

// Every allocation an open makes (slot array, record, name, write buffer) is refused in turn:
// the open must fail with 0, close what it opened and leave the number free and the file as
// it was, until enough memory is allowed for it to succeed.
TEST_F(Files, RefusedMemoryFailsTheOpenCleanly) {
    const std::string path = dir.File("existing");
    const std::u16string name = Text(path);
    const Bytes original = {'o', 'l', 'd'};
    WriteBytes(path, original);
    const int descriptors = OpenDescriptors();

    for (intptr_t number : {intptr_t{300}, Any}) {
        SCOPED_TRACE(number);
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
            if (number != Any) {
                EXPECT_EQ(WriteByte(number, 'x'), 0);
            }
            EXPECT_EQ(ReadBytes(path), original);
        }
        EXPECT_GE(failures, 2);
        ASSERT_NE(result, 0);
        intptr_t opened = number == Any ? result : number;
        EXPECT_EQ(WriteByte(opened, 'n'), 1);
        QX_CloseFile(opened);
        EXPECT_EQ(ReadBytes(path), (Bytes{'n', 'l', 'd'}));
        WriteBytes(path, original);
    }

    // Without a table every operation is a quiet no-op.
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
    EXPECT_EQ(ReadBytes(path), original);
}
