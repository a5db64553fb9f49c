// The size of a named file without opening it.
#include "file/file.h"
#include "runtime/runtime.h"

#include <sys/stat.h>

int64_t FileSize(const char16_t* name) {
    if (!name) return -1;
    char* path = ToSystemText(name);
    struct stat64 info;
    int64_t result;
    if (stat64(path, &info) != 0)
        result = -1;
    else if (S_ISDIR(info.st_mode))
        result = -2;
    else
        result = info.st_size;
    FreeSystemText(path);
    return result;
}
