// The toolkit's start, once per process, with the command line kept by the entry point.
#include "runtime/runtime.h"

#include <gtk/gtk.h>

int32_t QX_ArgC = 0;
char** QX_ArgV = nullptr;

namespace {
bool toolkitStarted = false;
}

void InitToolkit() {
    if (toolkitStarted) return;
    gtk_init(&QX_ArgC, &QX_ArgV);
    toolkitStarted = true;
}
