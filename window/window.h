// The window library: the event queue and the waiting for events, numbered top-level windows,
// and the message requester.
#pragma once

#include "runtime/runtime.h"

#include <cstddef>
#include <cstdint>
#include <gtk/gtk.h>

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

// ---------------------------------------------------------------------------------------------
// The event queue. Toolkit signal handlers post events; the application takes them one at a time
// with WaitWindowEvent, which runs the toolkit only when the queue is empty.

enum EventKind : int32_t {
    CloseWindow = 2,
    Gadget = 3,
    Repaint = 4,
    MoveWindow = 5,
    SizeWindow = 6,
    ActivateWindow = 7,
    DeactivateWindow = 8,
    Drop = 10, // the drop kinds carry a DropRecord as their type
    PrivateDrop = 11,
    MinimizeWindow = 12,
    MaximizeWindow = 13,
    RestoreWindow = 14,
    RightClick = 16,
    LeftClick = 17,
    LeftDoubleClick = 18,
    MouseMove = 24,
};

// Kinds above this are never merged with the newest queued event.
inline constexpr int32_t LastMergedEventKind = 0x10000;

using EventFreeFunction = void (*)(void* data);

// One queued event, a block of QX_Event_Allocator.
struct EventRecord {
    EventRecord* next;
    int32_t kind;
    intptr_t object;            // the gadget number for Gadget, 0 for window events
    intptr_t window;            // the window number as the window's handlers know it
    intptr_t type;              // gadget event type, DropRecord for the drop kinds, else 0
    void* data;                 // owned by the event, or null
    EventFreeFunction freeData; // releases data; null when there is nothing to release
};
static_assert(offsetof(EventRecord, kind) == 8);
static_assert(offsetof(EventRecord, object) == 16);
static_assert(offsetof(EventRecord, window) == 24);
static_assert(offsetof(EventRecord, type) == 32);
static_assert(offsetof(EventRecord, data) == 40);
static_assert(offsetof(EventRecord, freeData) == 48);
static_assert(sizeof(EventRecord) == 56);

// What a drop event hands over: a sized block (AllocateBlock) whose fourth word is a copy of the
// toolkit's selection data; the rest belongs to the poster. The queue side frees both.
struct DropRecord {
    intptr_t posterFields[3];
    GtkSelectionData* selection;
};
static_assert(offsetof(DropRecord, selection) == 3 * sizeof(intptr_t));

extern EventRecord* QX_Event_Head; // oldest queued event, null when empty
extern EventRecord* QX_Event_Tail; // newest queued event, null when empty
extern BlockPool* QX_Event_Allocator;
extern int32_t QX_Event_LockCount; // while non-zero, posting queues nothing

// Non-zero in thread-safe builds of the runtime, where the queue operations hold a recursive
// mutex. Fixed when the system is built; 0 here.
extern const int32_t QX_Compiler_Thread;

// The current event: what the last WaitWindowEvent delivered.
extern int32_t QX_Event_ID; // the last wait's result: a kind, 0 or -1
extern intptr_t QX_Event_ObjectID;
extern intptr_t QX_Event_WindowID; // -1 when no event was delivered
extern intptr_t QX_Event_Type;
extern void* QX_Event_Data;
extern EventFreeFunction QX_Event_FreeData;
extern DropRecord* QX_Window_DropEvent; // the last drop event's record until the next wait

// Makes the pool of event records and keeps one record taken for good, so that the pool's
// first chunk is never released. Runs once, before any window or gadget exists.
void InitEventQueue();

// Appends an event. Posts while the lock count is non-zero are dropped, and so is a repeat of
// the newest queued event (same kind, object, window and type; kinds up to
// LastMergedEventKind). When no record can be had the event is dropped as well.
void PostEvent(int32_t kind, intptr_t object, intptr_t window, intptr_t type, void* data = nullptr,
               EventFreeFunction freeData = nullptr);
// Removes the oldest event, writes its fields to the places given and returns its kind; 0 and
// nothing written when the queue is empty.
int32_t PopEvent(intptr_t* object, intptr_t* window, intptr_t* type, void** data,
                 EventFreeFunction* freeData);
int32_t PeekEventKind(); // the oldest event's kind, 0 when the queue is empty
int32_t PeekEvent(intptr_t* object, intptr_t* window, intptr_t* type);
// Discards every queued event of the window, keeping the order of the others. Their data is not
// released.
void RemoveWindowEvents(intptr_t window);
// A state change that the runtime makes itself is bracketed by these, so that the toolkit
// signals it raises post nothing.
void SuspendEvents();
void ResumeEvents();

// Releases the previous event's data and drop record, then delivers the next event: a queued
// one at once, else after one toolkit iteration. A negative timeout blocks in the toolkit until
// it has something to do; a positive one polls for toolkit work for up to that many
// milliseconds; 0 only polls. Returns the event's kind, 0 when nothing happened, -1 when the
// toolkit ran but queued nothing.
int32_t WaitWindowEvent(int32_t timeout = -1);
// Runs the toolkit until it has nothing pending.
void FlushToolkitEvents();

intptr_t EventGadget();
intptr_t EventWindow();
intptr_t EventType();

// ---------------------------------------------------------------------------------------------
// Windows: numbered toplevels with a fixed-position gadget area, whose signal handlers post to
// the event queue.

enum WindowFlags : uint32_t {
    Invisible = 0x1,
    Resizable = 0x2,
    SystemMenu = 0x4,
    MaximizeButton = 0x10, // resizable too
    MinimizeButton = 0x20,
    ScreenCentered = 0x40,
    Borderless = 0x80,
    ParentCentered = 0x100,
    StartMaximized = 0x200,
    StartMinimized = 0x400, // ignored with StartMaximized
    ToolWindow = 0x800,     // clears MaximizeButton, MinimizeButton and both start states
    KeepGadgetList = 0x1000,
    NoActivate = 0x2000,
};

struct WindowObject {
    GtkWindow* window; // null: no window
    GtkAccelGroup* accelerators;
    GtkFixed* spareContainer; // a second gadget container, not placed in the window
    ListBlock* timers;        // list blocks each holding a GLib source id (guint)
    int32_t reserved;
    uint32_t flags; // as applied
    int16_t minimumWidth;
    int16_t minimumHeight;
    int16_t maximumWidth;
    int16_t maximumHeight;
};
static_assert(offsetof(WindowObject, window) == 0);
static_assert(offsetof(WindowObject, accelerators) == 8);
static_assert(offsetof(WindowObject, spareContainer) == 16);
static_assert(offsetof(WindowObject, timers) == 24);
static_assert(offsetof(WindowObject, reserved) == 32);
static_assert(offsetof(WindowObject, flags) == 36);
static_assert(offsetof(WindowObject, minimumWidth) == 40);
static_assert(offsetof(WindowObject, maximumHeight) == 46);
static_assert(sizeof(WindowObject) == 48);

extern ObjectTable* QX_Window_Objects;

void InitWindowLibrary();
void EndWindowLibrary(); // closes every window still open

// Builds, shows and waits for a window (see WindowFlags). Returns the chosen number when
// `number` is Any, else the window's toolkit handle; 0 when no window could be made.
intptr_t OpenWindow(intptr_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                    const char16_t* title, uint32_t flags = 0, GtkWindow* parent = nullptr);
// Destroys the window (every window for -1); its record and queued events go with it.
void QX_CloseWindow(intptr_t number);
// Makes Escape in the window a close request: a CloseWindow event, as the title bar's close
// button posts it.
void CloseOnEscape(intptr_t number);
// While busy, the window shows the busy cursor and its gadgets take no input, so that nothing
// the player does can change what the program is busy with; a close request from the title bar
// or Escape still posts its CloseWindow event. Not busy undoes both.
void SetWindowBusy(intptr_t number, bool busy);
// 0x200 maximizes, 0x400 iconifies, anything else restores.
void SetWindowState(intptr_t number, int32_t state);
