// Start-up and shutdown sequences of the runtime, and the target check between them.
#include "app/app.h"
#include "file/file.h"
#include "gadget/gadget.h"
#include "image/image.h"
#include "runtime/runtime.h"
#include "window/window.h"

#include <cerrno>
#include <fcntl.h>

void StartRuntime() {
    InitStrings();
    InitToolkit();
    InitImageDecoders();
    RegisterBMPDecoder();
    InitImageLibrary();
    // The drawing key is made at start-up; nothing in the patcher stores into it.
    pthread_key_create(&QX_2DDrawing_Storage, nullptr);
    InitEventQueue();
    InitGadgetLibrary();
    InitWindowLibrary();
    InitFileLibrary();
    RegisterPNGDecoder();
}

void EndRuntime() {
    EndFileLibrary();
    // The patcher makes no directory table, so there is no directory library to end.
    EndWindowLibrary();
    EndImageLibrary();
    EndStrings();
}

void KeepStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        // open gives the lowest free number, which is this one.
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) open("/dev/null", O_RDWR);
    }
}

int RunPatcher() {
    if (FileSize(kTargetName) == -1) {
        MessageRequester(u"Warning!",
                         u"This application failed to start because Quellmire.exe was not found");
        return 0;
    }
    if (FileSize(kTargetName) != kTargetSize) {
        MessageRequester(u"Warning!", u"Can not find the original file Quellmire.exe v1.05b");
        return 0;
    }
    return RunMainWindow();
}
