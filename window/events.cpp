// The one event queue, the current event, and the waiting that drives the toolkit.
#include "runtime/runtime.h"
#include "window/window.h"

#include <ctime>
#include <gtk/gtk.h>

EventRecord* QX_Event_Head = nullptr;
EventRecord* QX_Event_Tail = nullptr;
BlockPool* QX_Event_Allocator = nullptr;
int32_t QX_Event_LockCount = 0;
extern const int32_t QX_Compiler_Thread = 0;

int32_t QX_Event_ID = 0;
intptr_t QX_Event_ObjectID = 0;
intptr_t QX_Event_WindowID = -1;
intptr_t QX_Event_Type = 0;
void* QX_Event_Data = nullptr;
EventFreeFunction QX_Event_FreeData = nullptr;
DropRecord* QX_Window_DropEvent = nullptr;

namespace {

pthread_mutex_t EventMutex;

// Holds EventMutex for a scope in thread-safe builds; does nothing otherwise.
class QueueLock {
  public:
    QueueLock() : locked_(QX_Compiler_Thread != 0) {
        if (locked_) pthread_mutex_lock(&EventMutex);
    }
    ~QueueLock() {
        if (locked_) pthread_mutex_unlock(&EventMutex);
    }
    QueueLock(const QueueLock&) = delete;
    QueueLock& operator=(const QueueLock&) = delete;

  private:
    bool locked_;
};

void FreeDropRecord(DropRecord* record) {
    if (record->selection) gtk_selection_data_free(record->selection);
    FreeBlock(record);
}

// A clock that no change of the system time moves, so that a timed wait stays bounded.
int64_t NowMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1000000;
}

// Polls for toolkit work in 2 ms steps until some is pending or `timeout` ms have passed.
void PollToolkit(int32_t timeout) {
    const int64_t start = NowMilliseconds();
    const timespec step{0, 2000000};
    while (!gtk_events_pending()) {
        nanosleep(&step, nullptr);
        if (NowMilliseconds() - start > timeout) break;
    }
}

} // namespace

void InitEventQueue() {
    if (QX_Event_Allocator) return; // a second pool would receive the first one's records
    QX_Event_Allocator = NewBlockPool(sizeof(EventRecord), 16, 256, 2);
    // Never given back: the pool releases a chunk once all it handed out is back, and the first
    // chunk is to stay for the life of the process.
    AllocatePoolBlock(QX_Event_Allocator);
    if (QX_Compiler_Thread) {
        InitRecursiveMutex(&EventMutex);
    }
}

void PostEvent(int32_t kind, intptr_t object, intptr_t window, intptr_t type, void* data,
               EventFreeFunction freeData) {
    QueueLock lock;
    if (QX_Event_LockCount != 0) return;
    const EventRecord* tail = QX_Event_Tail;
    if (tail && tail->kind <= LastMergedEventKind && tail->kind == kind && tail->object == object &&
        tail->window == window && tail->type == type)
        return;
    auto* record = static_cast<EventRecord*>(AllocatePoolBlock(QX_Event_Allocator));
    if (!record) return; // no memory for a record: the event is dropped
    *record = EventRecord{nullptr, kind, object, window, type, data, freeData};
    if (QX_Event_Tail)
        QX_Event_Tail->next = record;
    else
        QX_Event_Head = record;
    QX_Event_Tail = record;
}

int32_t PopEvent(intptr_t* object, intptr_t* window, intptr_t* type, void** data,
                 EventFreeFunction* freeData) {
    QueueLock lock;
    EventRecord* record = QX_Event_Head;
    if (!record) return 0;
    *object = record->object;
    *window = record->window;
    *type = record->type;
    *data = record->data;
    *freeData = record->freeData;
    int32_t kind = record->kind;
    QX_Event_Head = record->next;
    if (record == QX_Event_Tail) QX_Event_Tail = nullptr;
    FreePoolBlock(QX_Event_Allocator, record);
    return kind;
}

int32_t PeekEventKind() {
    QueueLock lock;
    return QX_Event_Head ? QX_Event_Head->kind : 0;
}

int32_t PeekEvent(intptr_t* object, intptr_t* window, intptr_t* type) {
    QueueLock lock;
    const EventRecord* record = QX_Event_Head;
    if (!record) return 0;
    *object = record->object;
    *window = record->window;
    *type = record->type;
    return record->kind;
}

void RemoveWindowEvents(intptr_t window) {
    EventRecord* lastKept = nullptr;
    QX_Event_Tail = nullptr;
    for (EventRecord* record = QX_Event_Head; record;) {
        EventRecord* next = record->next;
        if (record->window != window) {
            lastKept = record;
            QX_Event_Tail = record;
        } else {
            if (record == QX_Event_Head)
                QX_Event_Head = next;
            else
                lastKept->next = next;
            FreePoolBlock(QX_Event_Allocator, record);
        }
        record = next;
    }
}

void SuspendEvents() {
    ++QX_Event_LockCount;
}

void ResumeEvents() {
    --QX_Event_LockCount;
}

int32_t WaitWindowEvent(int32_t timeout) {
    if (QX_Event_Data && QX_Event_FreeData) {
        QX_Event_FreeData(QX_Event_Data);
        QX_Event_Data = nullptr;
        QX_Event_FreeData = nullptr;
    }
    if (QX_Window_DropEvent) {
        FreeDropRecord(QX_Window_DropEvent);
        QX_Window_DropEvent = nullptr;
    }
    QX_Event_Type = 0;
    QX_Event_ID = 0;
    QX_Event_ObjectID = 0;
    QX_Event_WindowID = -1;

    // A queued event is delivered without running the toolkit at all.
    QX_Event_ID = PopEvent(&QX_Event_ObjectID, &QX_Event_WindowID, &QX_Event_Type, &QX_Event_Data,
                           &QX_Event_FreeData);
    if (QX_Event_ID == 0) {
        bool active = false;
        if (timeout < 0) {
            gtk_main_iteration();
            active = true;
        } else {
            if (timeout > 0) PollToolkit(timeout);
            if (gtk_events_pending()) {
                gtk_main_iteration_do(FALSE);
                active = true;
            }
        }
        QX_Event_ID = PopEvent(&QX_Event_ObjectID, &QX_Event_WindowID, &QX_Event_Type,
                               &QX_Event_Data, &QX_Event_FreeData);
        if (QX_Event_ID == 0 && active) QX_Event_ID = -1;
    }

    if (QX_Event_ID == Drop || QX_Event_ID == PrivateDrop) {
        QX_Window_DropEvent = reinterpret_cast<DropRecord*>(QX_Event_Type);
        QX_Event_Type = 0;
    }
    return QX_Event_ID;
}

void FlushToolkitEvents() {
    while (gtk_events_pending())
        gtk_main_iteration_do(FALSE);
}

intptr_t EventGadget() {
    return QX_Event_ObjectID;
}

intptr_t EventWindow() {
    return QX_Event_WindowID;
}

intptr_t EventType() {
    return QX_Event_Type;
}
