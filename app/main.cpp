// Entry point of the patcher: start the runtime, check the target, patch or warn, shut down.
#include "app/app.h"
#include "runtime/runtime.h"

#include <cstdlib>

namespace {
// Nothing changes it: the patcher ends with status 0 on every path.
int exitStatus = 0;
} // namespace

int main(int argc, char** argv) {
    QX_ArgC = argc;
    QX_ArgV = argv;
    StartRuntime();
    RunPatcher();
    EndRuntime();
    std::exit(exitStatus);
}
