// Entry point of the patcher: start the runtime, check the target, patch or warn, shut down.
#include "app/app.h"
#include "runtime/runtime.h"

#include <cstdlib>

int main(int argc, char** argv) {
    KeepStandardDescriptors();
    QX_ArgC = argc;
    QX_ArgV = argv;
    StartRuntime();
    SetProgramIcon();
    // 1 only when a patch failed; every other way out, patched or not, is 0.
    int status = RunPatcher();
    EndRuntime();
    std::exit(status);
}
