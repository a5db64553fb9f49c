// Allocation fault injection through the linker's symbol wrapping (--wrap=malloc etc.): only
// calls made from statically linked code are routed here, so the toolkit is never affected.
#include "tests/support/faults.h"

#include <cstddef>

bool FailAllocations::Refuse() {
    if (!active || (active->remaining_ > 0 && active->remaining_--)) return false;
    ++active->refused_;
    return true;
}

extern "C" {
void* __real_malloc(size_t size);
void* __real_calloc(size_t count, size_t size);
void* __real_realloc(void* block, size_t size);

void* __wrap_malloc(size_t size) {
    return FailAllocations::Refuse() ? nullptr : __real_malloc(size);
}
void* __wrap_calloc(size_t count, size_t size) {
    return FailAllocations::Refuse() ? nullptr : __real_calloc(count, size);
}
void* __wrap_realloc(void* block, size_t size) {
    return FailAllocations::Refuse() ? nullptr : __real_realloc(block, size);
}
}
