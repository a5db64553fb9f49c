// The event queue: order, merging, suspension, removal by window, the current event's data,
// and waiting on the toolkit.
#include "runtime/runtime.h"
#include "tests/support/faults.h"
#include "tests/support/gui.h"
#include "window/window.h"

#include <chrono>
#include <gtest/gtest.h>
#include <vector>

namespace {

struct Queued {
    int32_t kind;
    intptr_t window;
    bool operator==(const Queued&) const = default;
};

std::vector<Queued> QueuedEvents() {
    std::vector<Queued> events;
    for (const EventRecord* record = QX_Event_Head; record; record = record->next)
        events.push_back({record->kind, record->window});
    return events;
}

void DrainQueue() {
    intptr_t object, window, type;
    void* data;
    EventFreeFunction freeData;
    while (PopEvent(&object, &window, &type, &data, &freeData) != 0) {
    }
}

class EventQueue : public testing::Test {
  protected:
    static void SetUpTestSuite() { InitEventQueue(); }
    void SetUp() override {
        PumpPending();
        DrainQueue();
    }
    void TearDown() override { DrainQueue(); }
};

int freeCalls = 0;
void CountFree(void* data) {
    ++freeCalls;
    EXPECT_EQ(*static_cast<int*>(data), 42);
}

} // namespace

TEST_F(EventQueue, FirstInFirstOutAndOnlyTheNewestEventMerges) {
    PostEvent(Repaint, 0, 1, 0);
    PostEvent(Repaint, 0, 1, 0); // a repeat of the newest: merged
    PostEvent(ActivateWindow, 0, 1, 0);
    PostEvent(Repaint, 0, 1, 0); // a repeat of an older one: queued
    PostEvent(Gadget, 4, 1, 0);
    PostEvent(Gadget, 4, 1, 2); // another type: queued
    PostEvent(0x10001, 0, 1, 0);
    PostEvent(0x10001, 0, 1, 0); // never merged above 65536
    PostEvent(0x10000, 0, 1, 0);
    PostEvent(0x10000, 0, 1, 0);
    EXPECT_EQ(PeekEventKind(), Repaint);

    std::vector<int32_t> kinds;
    std::vector<intptr_t> types;
    intptr_t object = -5, window = -5, type = -5;
    while (PeekEventKind() != 0) {
        kinds.push_back(WaitWindowEvent(0));
        types.push_back(EventType());
        if (kinds.back() == Gadget && object == -5) object = EventGadget();
        EXPECT_EQ(EventWindow(), 1);
    }
    EXPECT_EQ(kinds, (std::vector<int32_t>{Repaint, ActivateWindow, Repaint, Gadget, Gadget,
                                           0x10001, 0x10001, 0x10000}));
    EXPECT_EQ(types, (std::vector<intptr_t>{0, 0, 0, 0, 2, 0, 0, 0}));
    EXPECT_EQ(object, 4);
    EXPECT_EQ(PeekEvent(&object, &window, &type), 0);
    EXPECT_EQ(QX_Event_Tail, nullptr);
}

TEST_F(EventQueue, SuspendedPostsAreDropped) {
    SuspendEvents();
    SuspendEvents();
    PostEvent(Gadget, 1, 0, 0);
    ResumeEvents();
    PostEvent(Gadget, 2, 0, 0);
    ResumeEvents();
    PostEvent(Gadget, 3, 0, 0);
    intptr_t object = 0, window = 0, type = 0;
    EXPECT_EQ(PeekEvent(&object, &window, &type), Gadget);
    EXPECT_EQ(object, 3);
    EXPECT_EQ(QX_Event_Head, QX_Event_Tail);
}

TEST_F(EventQueue, RemovingAWindowsEventsKeepsTheOthersInOrder) {
    PostEvent(Repaint, 0, 1, 0);
    PostEvent(Repaint, 0, 2, 0);
    PostEvent(MoveWindow, 0, 1, 0);
    PostEvent(Repaint, 0, 3, 0);
    PostEvent(SizeWindow, 0, 1, 0);
    RemoveWindowEvents(1);
    EXPECT_EQ(QueuedEvents(), (std::vector<Queued>{{Repaint, 2}, {Repaint, 3}}));
    ASSERT_NE(QX_Event_Tail, nullptr);
    EXPECT_EQ(QX_Event_Tail->window, 3);
    EXPECT_EQ(QX_Event_Tail->next, nullptr);
    PostEvent(Gadget, 0, 4, 0); // appended behind the new tail
    EXPECT_EQ(QueuedEvents().back(), (Queued{Gadget, 4}));

    RemoveWindowEvents(2);
    RemoveWindowEvents(3);
    RemoveWindowEvents(4);
    EXPECT_EQ(QX_Event_Head, nullptr);
    EXPECT_EQ(QX_Event_Tail, nullptr);
    PostEvent(Repaint, 0, 5, 0); // a fresh list
    EXPECT_EQ(QueuedEvents(), (std::vector<Queued>{{Repaint, 5}}));
    EXPECT_EQ(QX_Event_Head, QX_Event_Tail);
}

TEST_F(EventQueue, DataIsReleasedOnceAtTheNextWaitAndDropRecordsAreHandedOver) {
    int payload = 42;
    freeCalls = 0;
    PostEvent(Gadget, 1, 0, 0, &payload, CountFree);
    PostEvent(Gadget, 2, 0, 0);
    EXPECT_EQ(WaitWindowEvent(0), Gadget);
    EXPECT_EQ(QX_Event_Data, &payload);
    EXPECT_EQ(freeCalls, 0);
    EXPECT_EQ(WaitWindowEvent(0), Gadget);
    EXPECT_EQ(freeCalls, 1);
    EXPECT_EQ(QX_Event_Data, nullptr);
    WaitWindowEvent(0);
    EXPECT_EQ(freeCalls, 1);

    GtkSelectionData selection{};
    selection.length = -1;
    auto* drop = static_cast<DropRecord*>(AllocateBlock(sizeof(DropRecord)));
    ASSERT_NE(drop, nullptr);
    drop->selection = gtk_selection_data_copy(&selection);
    PostEvent(Drop, 0, 7, reinterpret_cast<intptr_t>(drop));
    EXPECT_EQ(WaitWindowEvent(0), Drop);
    EXPECT_EQ(EventType(), 0);
    EXPECT_EQ(EventWindow(), 7);
    EXPECT_EQ(QX_Window_DropEvent, drop);
    EXPECT_EQ(WaitWindowEvent(0), 0); // frees the record (a double free shows under ASan)
    EXPECT_EQ(QX_Window_DropEvent, nullptr);
}

TEST_F(EventQueue, PostsWithoutARecordAreDroppedAndTheQueueStaysWhole) {
    // Outrun the pool's first chunk while every allocation is refused.
    {
        FailAllocations refuse;
        for (int i = 0; i < 40; ++i)
            PostEvent(Gadget, i, 0, 0);
    }
    std::vector<Queued> queued = QueuedEvents();
    EXPECT_LT(queued.size(), 40u);
    ASSERT_NE(QX_Event_Tail, nullptr);
    EXPECT_EQ(QX_Event_Tail->next, nullptr);
    int32_t expected = 0;
    for (const EventRecord* record = QX_Event_Head; record; record = record->next)
        EXPECT_EQ(record->object, expected++);
    PostEvent(Gadget, 100, 0, 0); // memory is back: posting works again
    EXPECT_EQ(QX_Event_Tail->object, 100);
    EXPECT_EQ(QueuedEvents().size(), queued.size() + 1);
}

TEST_F(EventQueue, AQueuedEventIsDeliveredWithoutRunningTheToolkit) {
    bool idleRan = false;
    guint idle = g_idle_add(
        [](gpointer ran) {
            *static_cast<bool*>(ran) = true;
            return FALSE;
        },
        &idleRan);
    PostEvent(SizeWindow, 0, 3, 0);
    EXPECT_EQ(WaitWindowEvent(), SizeWindow);
    EXPECT_FALSE(idleRan);
    // With the queue empty the wait runs one iteration, whose idle callback queues nothing.
    EXPECT_EQ(WaitWindowEvent(), -1);
    EXPECT_TRUE(idleRan);
    EXPECT_EQ(EventWindow(), -1);
    if (!idleRan) g_source_remove(idle);
}

TEST_F(EventQueue, PollingWithNothingPendingReturnsZeroWithTheCurrentEventReset) {
    PostEvent(Gadget, 9, 2, 1);
    ASSERT_EQ(WaitWindowEvent(0), Gadget);
    EXPECT_EQ(WaitWindowEvent(0), 0);
    EXPECT_EQ(QX_Event_ID, 0);
    EXPECT_EQ(EventWindow(), -1);
    EXPECT_EQ(EventGadget(), 0);
    EXPECT_EQ(EventType(), 0);
}

TEST_F(EventQueue, TimedWaitReturnsZeroAfterTheTimeoutAndMinusOneAfterWork) {
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitWindowEvent(150), 0);
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(150));
    EXPECT_LT(waited, std::chrono::seconds(5));

    g_timeout_add(
        20, [](gpointer) { return FALSE; }, nullptr);
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitWindowEvent(3000), -1); // the timer's iteration ends the wait early
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(3000));
}
