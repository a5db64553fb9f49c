// The file library: buffered byte files addressed by number, and the size query.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

struct ObjectTable;

// ---------------------------------------------------------------------------------------------
// Buffered files. Bytes written one at a time are gathered in the file's own write buffer and
// reach the file in one write when the buffer must be emptied: before a byte that would fill
// it, at every FileSeek and when the file is closed.

// One open file. A null stream marks the number as free.
struct FileObject {
    FILE* stream;
    uint8_t* buffer;   // null for an unbuffered file
    int32_t size;      // the buffer size taken from QX_File_BufferSize at open
    int32_t available; // while writing: free bytes at the end of the buffer; idle: 0
    int32_t state;     // FileIdle or FileWriting
    int32_t error;     // 0, or the errno of the file's first failed write, flush or seek
};
static_assert(offsetof(FileObject, stream) == 0);
static_assert(offsetof(FileObject, buffer) == 8);
static_assert(offsetof(FileObject, size) == 16);
static_assert(offsetof(FileObject, available) == 20);
static_assert(offsetof(FileObject, state) == 24);
static_assert(offsetof(FileObject, error) == 28);
static_assert(sizeof(FileObject) == 32);

enum FileState : int32_t {
    FileWriting = 0, // pending bytes sit at the start of the buffer
    FileIdle = 1,    // nothing pending
};

// Flags of the openers; other bits have no effect. The forms without flags pass 1.
enum FileFlags : int32_t {
    NoBuffering = 4, // no write buffer whatever QX_File_BufferSize says
    Append = 8,      // OpenFile only: start at the end of the file
    NoCreate = 16,   // OpenFile only: open an existing file, never create a missing one
};

// The table of open files (numbers as in runtime/runtime.h).
extern ObjectTable* QX_File_Objects;
// Write buffer size given to files opened from now on; 0 opens them unbuffered.
extern int32_t QX_File_BufferSize;

// The openers return 0 when the file cannot be opened (or memory for it cannot be had), and then
// leave errno telling why; for `Any` they return the new file's number, otherwise a non-zero
// value. An open number is flushed and closed first, even if the new open then fails.
intptr_t ReadFile(intptr_t number, const char16_t* name, int32_t flags = 1);   // existing, read
intptr_t OpenFile(intptr_t number, const char16_t* name, int32_t flags = 1);   // read/write, made
intptr_t CreateFile(intptr_t number, const char16_t* name, int32_t flags = 1); // truncated

// 1 when the byte was taken, 0 when the number names no open file (or the stream refused an
// unbuffered byte). A buffered byte that the file later refuses shows in FileError.
int32_t WriteByte(intptr_t number, uint8_t byte);

enum SeekMode : int32_t {
    SeekAbsolute = 0,
    SeekRelative = 1, // any other mode is absolute
};
// Writes out what is pending, then moves the position.
void FileSeek(intptr_t number, int64_t position, int32_t mode = SeekAbsolute);

// Writes out what is pending and closes the file; -1 closes every open file.
void QX_CloseFile(intptr_t number);

// A file's error state: 0 while every write, flush and seek of the file has gone through whole,
// otherwise the errno of the first that failed (EIO for a short write that gave no reason). It
// stays set until the file is closed; EBADF when the number names no open file.
int32_t FileError(intptr_t number);
// Closes the file as QX_CloseFile does and returns its error state with the close counted in:
// a caller that must know its bytes reached the file closes it with this.
int32_t CloseFile(intptr_t number);

// The open file's C stream, for what the library does not do itself (locking, syncing, reading
// back); null when the number names no open file. Writes must still go through the library.
FILE* FileID(intptr_t number);

void InitFileLibrary();
void EndFileLibrary(); // flushes and closes every open file

// ---------------------------------------------------------------------------------------------
// Size in bytes of the named entry, following symbolic links; -2 for a directory, -1 when the
// name is null or the entry cannot be examined.
int64_t FileSize(const char16_t* name);
