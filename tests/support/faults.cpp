// Fault injection through the linker's symbol wrapping (--wrap=malloc etc.): only calls made
// from statically linked code are routed here, so the toolkit is never affected.
#include "tests/support/faults.h"

#include <cerrno>
#include <cstddef>
#include <cstdio>

bool FailAllocations::Refuse() {
    if (!active || (active->remaining_ > 0 && active->remaining_--)) return false;
    ++active->refused_;
    return true;
}

extern "C" {
void* __real_malloc(size_t size);
void* __real_calloc(size_t count, size_t size);
void* __real_realloc(void* block, size_t size);
size_t __real_fwrite(const void* data, size_t size, size_t count, FILE* stream);
int __real_fclose(FILE* stream);

void* __wrap_malloc(size_t size) {
    return FailAllocations::Refuse() ? nullptr : __real_malloc(size);
}
void* __wrap_calloc(size_t count, size_t size) {
    return FailAllocations::Refuse() ? nullptr : __real_calloc(count, size);
}
void* __wrap_realloc(void* block, size_t size) {
    return FailAllocations::Refuse() ? nullptr : __real_realloc(block, size);
}

size_t __wrap_fwrite(const void* data, size_t size, size_t count, FILE* stream) {
    if (!FailStreams::active) return __real_fwrite(data, size, count, stream);
    if (FailStreams::active->error_) errno = FailStreams::active->error_;
    return 0;
}
int __wrap_fclose(FILE* stream) {
    int result = __real_fclose(stream);
    if (!FailStreams::active) return result;
    errno = FailStreams::active->error_;
    return EOF;
}
}
