// Start-up and shutdown sequences of the runtime, and the target check between them.
#include "app/app.h"
#include "file/file.h"
#include "gadget/gadget.h"
#include "image/image.h"
#include "runtime/runtime.h"
#include "window/window.h"

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

void RunPatcher() {
    if (FileSize(kTargetName) == -1) {
        MessageRequester(u"Warning!",
                         u"This application failed to start because Quellmire.exe was not found");
        return;
    }
    if (FileSize(kTargetName) != kTargetSize) {
        MessageRequester(u"Warning!", u"Can not find the original file Quellmire.exe v1.05b");
        return;
    }
    RunMainWindow();
}
