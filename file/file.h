// The file library: the size query.
#pragma once

#include <cstdint>

// Size in bytes of the named entry, following symbolic links; -2 for a directory, -1 when the
// name is null or the entry cannot be examined.
int64_t FileSize(const char16_t* name);
