// Allocation fault injection through the linker's symbol wrapping (--wrap=malloc etc.): only
// calls made from statically linked code are routed here, so the toolkit is never affected.
#include "tests/support/faults.h"

#include <cstddef>

namespace {
bool armed = false;
int remaining = 0, refused = 0;

bool Refuse() {
    if (!armed || (remaining > 0 && remaining--)) return false;
    ++refused;
    return true;
}
} // namespace

extern "C" {
void* __real_malloc(size_t size);
void* __real_calloc(size_t count, size_t size);
void* __real_realloc(void* block, size_t size);

void* __wrap_malloc(size_t size) {
    return Refuse() ? nullptr : __real_malloc(size);
}
void* __wrap_calloc(size_t count, size_t size) {
    return Refuse() ? nullptr : __real_calloc(count, size);
}
void* __wrap_realloc(void* block, size_t size) {
    return Refuse() ? nullptr : __real_realloc(block, size);
}
}

FailAllocations::FailAllocations(int allowed) {
    armed = true;
    remaining = allowed;
    refused = 0;
}

FailAllocations::~FailAllocations() {
    armed = false;
}

int FailAllocations::Refused() const {
    return refused;
}
