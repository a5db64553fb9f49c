// ParseLibraryFolders on any input: it must stay within the bytes it is given (the sanitizers
// catch a read past them) and give only non-empty library folders, never more than its limit.
#include "launcher/launcher.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    const std::vector<std::string> libraries =
        ParseLibraryFolders(reinterpret_cast<const char*>(data), size);
    if (libraries.size() > kMaxLibraries) std::abort();
    for (const std::string& library : libraries)
        if (library.empty()) std::abort();
    return 0;
}
