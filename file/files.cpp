// Buffered byte files addressed by number: the openers, single-byte writes through the write
// buffer, seeking and closing.
#include "file/file.h"
#include "runtime/runtime.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

ObjectTable* QX_File_Objects = nullptr;
int32_t QX_File_BufferSize = 4096;

namespace {

enum OpenMode { OpenRead = 1, OpenUpdate = 2, OpenCreate = 3 };

FILE* OpenStream(const char* path, OpenMode mode, int32_t flags) {
    if (mode == OpenRead) return fopen64(path, "r");
    if (mode == OpenCreate) return fopen64(path, "w+");
    FILE* stream = fopen64(path, "r+");
    // Only a missing file is created: an existing one that refused "r+" (read-only, or a
    // passing shortage of descriptors or memory) must not be truncated by "w+".
    if (!stream && errno == ENOENT && !(flags & NoCreate)) stream = fopen64(path, "w+");
    return stream;
}

// Keeps the reason of a file's first failure; later ones do not hide it.
void NoteFailure(FileObject* file) {
    if (!file->error) file->error = errno ? errno : EIO;
}

// Hands n bytes to the stream; a short count is the file's failure.
size_t WriteToStream(FileObject* file, const void* data, size_t n) {
    errno = 0;
    size_t written = std::fwrite(data, 1, n, file->stream);
    if (written < n) NoteFailure(file);
    return written;
}

// Writes out the pending bytes; the state stays as it was. Bytes the stream refuses are dropped
// and leave their reason in the file's error state.
void FlushFile(FileObject* file) {
    if (file->state != FileWriting) return;
    int32_t pending = file->size - file->available;
    if (pending > 0) WriteToStream(file, file->buffer, static_cast<size_t>(pending));
    file->available = file->size;
}

// Writes n bytes through the buffer. Returns n, or the count the stream took when the data
// goes to it directly.
int64_t WriteFileData(FileObject* file, const uint8_t* data, int32_t n) {
    if (file->state == FileIdle) {
        // Without a read side the idle correction is always 0, so the position stays.
        file->state = FileWriting;
        file->available = file->size;
    }
    if (n < file->available) {
        std::memcpy(file->buffer + (file->size - file->available), data, static_cast<size_t>(n));
        file->available -= n;
        return n;
    }
    FlushFile(file);
    if (n >= file->size) return static_cast<int64_t>(WriteToStream(file, data, size_t(n)));
    std::memcpy(file->buffer, data, static_cast<size_t>(n));
    file->available -= n;
    return n;
}

// The one routine behind ReadFile, OpenFile and CreateFile.
intptr_t Open(intptr_t number, const char16_t* name, int32_t flags, OpenMode mode) {
    // Reusing an open number closes (and flushes) the old file here, before anything else.
    auto* file = static_cast<FileObject*>(AllocateObject(QX_File_Objects, number));
    if (!file) return 0;
    char* path = ToSystemText(name);
    FILE* stream = path ? OpenStream(path, mode, flags) : nullptr;
    int reason = path ? errno : ENOMEM; // freeing the name must not lose why the open failed
    FreeSystemText(path);

    int32_t size = QX_File_BufferSize;
    uint8_t* buffer = nullptr;
    if (stream && size > 0 && !(flags & NoBuffering)) {
        buffer = static_cast<uint8_t*>(AllocateBlock(size));
        if (!buffer) {
            std::fclose(stream);
            stream = nullptr;
            reason = ENOMEM;
        }
    }
    if (!stream) {
        // A numbered slot is still zero-filled, so it stays free; an `Any` record goes away.
        if (number == Any) FreeObject(QX_File_Objects, reinterpret_cast<intptr_t>(file));
        errno = reason;
        return 0;
    }
    // The write buffer in front of the stream is the only one: with the stream's own buffering
    // off, a flush is one write to the file and an unbuffered byte reaches the file at once.
    std::setvbuf(stream, nullptr, _IONBF, 0);

    file->stream = stream;
    file->buffer = buffer;
    file->size = size;
    file->available = 0;
    file->state = FileIdle;
    file->error = 0;
    if (mode == OpenUpdate && (flags & Append)) fseeko64(stream, 0, SEEK_END);
    return number == Any ? reinterpret_cast<intptr_t>(file) : reinterpret_cast<intptr_t>(stream);
}

} // namespace

intptr_t ReadFile(intptr_t number, const char16_t* name, int32_t flags) {
    return Open(number, name, flags, OpenRead);
}

intptr_t OpenFile(intptr_t number, const char16_t* name, int32_t flags) {
    return Open(number, name, flags, OpenUpdate);
}

intptr_t CreateFile(intptr_t number, const char16_t* name, int32_t flags) {
    return Open(number, name, flags, OpenCreate);
}

int32_t WriteByte(intptr_t number, uint8_t byte) {
    auto* file = static_cast<FileObject*>(GetObject(QX_File_Objects, number));
    if (!file) return 0;
    if (file->buffer) {
        // The common case, room behind the pending bytes, stays a single store.
        if (file->state == FileWriting && file->available > 1) {
            file->buffer[file->size - file->available--] = byte;
            return 1;
        }
        return static_cast<int32_t>(WriteFileData(file, &byte, 1));
    }
    return static_cast<int32_t>(WriteToStream(file, &byte, 1));
}

void FileSeek(intptr_t number, int64_t position, int32_t mode) {
    auto* file = static_cast<FileObject*>(GetObject(QX_File_Objects, number));
    if (!file) return;
    if (file->buffer) {
        FlushFile(file);
        file->available = 0;
        file->state = FileIdle;
    }
    if (fseeko64(file->stream, position, mode == SeekRelative ? SEEK_CUR : SEEK_SET) != 0)
        NoteFailure(file);
}

int32_t FileError(intptr_t number) {
    auto* file = static_cast<FileObject*>(GetObject(QX_File_Objects, number));
    return file ? file->error : EBADF;
}

int32_t CloseFile(intptr_t number) {
    auto* file = static_cast<FileObject*>(GetObject(QX_File_Objects, number));
    if (!file) return EBADF;
    if (file->buffer) {
        FlushFile(file);
        FreeBlock(file->buffer);
    }
    errno = 0;
    if (std::fclose(file->stream) != 0) NoteFailure(file);
    int32_t error = file->error;
    FreeObject(QX_File_Objects, number);
    return error;
}

void QX_CloseFile(intptr_t number) {
    if (number == Any)
        FreeAllObjects(QX_File_Objects);
    else
        CloseFile(number);
}

FILE* FileID(intptr_t number) {
    auto* file = static_cast<FileObject*>(GetObject(QX_File_Objects, number));
    return file ? file->stream : nullptr;
}

void InitFileLibrary() {
    // Created once: a second start must not orphan the files of the first.
    if (!QX_File_Objects) QX_File_Objects = NewObjectTable(sizeof(FileObject), 16, QX_CloseFile);
}

void EndFileLibrary() {
    FreeAllObjects(QX_File_Objects);
}
