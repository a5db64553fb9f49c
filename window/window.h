// The window library: the message requester.
#pragma once

#include <cstdint>

// Flags of MessageRequester, tested in this order: Yes/No, Yes/No/Cancel, else OK alone.
enum RequesterFlags : int32_t {
    RequesterYesNo = 0x1,
    RequesterYesNoCancel = 0x2,
};

// Results of MessageRequester; 0 when the dialog was destroyed without a button.
enum RequesterResultValue : intptr_t {
    RequesterOk = 1,
    RequesterCancel = 2,
    RequesterYes = 6,
    RequesterNo = 7,
};

// Shows `text` in a small centred dialog titled `title` and runs the toolkit until a button is
// pressed or the dialog is destroyed. Does not use the event queue.
intptr_t MessageRequester(const char16_t* title, const char16_t* text, int32_t flags = 0);
