// The window library on a real X server: message requester, event queue and waiting, windows.
#include "tests/support/faults.h"
#include "tests/support/gui.h"
#include "window/window.h"

#include <array>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <tuple>
#include <vector>

namespace {

using Event = std::array<intptr_t, 4>; // kind, object, window, type as delivered

std::vector<Event> Deliver() {
    std::vector<Event> events;
    while (PeekEventKind() != 0)
        events.push_back({WaitWindowEvent(0), EventGadget(), EventWindow(), EventType()});
    return events;
}

bool IsQueued(int32_t kind, intptr_t window) {
    for (const EventRecord* record = QX_Event_Head; record; record = record->next)
        if (record->kind == kind && record->window == window) return true;
    return false;
}

std::vector<GtkWidget*> Widgets(GList* list) {
    std::vector<GtkWidget*> widgets;
    for (GList* item = list; item; item = item->next)
        widgets.push_back(GTK_WIDGET(item->data));
    g_list_free(list);
    return widgets;
}

// Runs MessageRequester and hands its dialog, once mapped, to `answer` from inside its own loop.
intptr_t Ask(const char16_t* text, int32_t flags, std::function<void(GtkWidget*)> answer) {
    auto find = [](gpointer data) -> gboolean {
        auto& pending = *static_cast<std::function<void(GtkWidget*)>*>(data);
        for (GtkWidget* widget : Widgets(gtk_window_list_toplevels()))
            if (pending && GTK_IS_DIALOG(widget) && GTK_WIDGET_MAPPED(widget))
                std::exchange(pending, nullptr)(widget);
        return pending != nullptr;
    };
    g_timeout_add(10, find, &answer);
    intptr_t result = MessageRequester(u"Question", text, flags);
    EXPECT_FALSE(g_source_remove_by_user_data(&answer)) << "the dialog was never answered";
    return result;
}

class WindowLibrary : public testing::Test {
    void SetUp() override {
        InitEventQueue();
        if (!QX_Window_Objects) InitWindowLibrary();
        QX_CloseWindow(-1);
        PumpPending();
        Deliver();
    }
};

} // namespace

TEST_F(WindowLibrary, MessageRequester) {
    const std::tuple<std::vector<int32_t>, int, std::string, std::vector<intptr_t>> rows[] = {
        {{0, 8}, 100, "gtk-ok ", {RequesterOk}},
        {{1, 3}, 250, "gtk-yes gtk-no ", {RequesterYes, RequesterNo}},
        {{2}, 300, "gtk-yes gtk-no gtk-cancel ", {RequesterYes, RequesterNo, RequesterCancel}}};
    for (const auto& [flagValues, defaultWidth, stock, results] : rows)
        for (int32_t flags : flagValues)
            for (size_t pressed = 0; pressed < results.size(); ++pressed) {
                std::string shown;
                int width = 0, height = 0;
                intptr_t result = Ask(u"Go on?", flags, [&](GtkWidget* dialog) {
                    std::vector<GtkWidget*> buttons = Widgets(
                        gtk_container_get_children(GTK_CONTAINER(GTK_DIALOG(dialog)->action_area)));
                    for (GtkWidget* button : buttons)
                        shown += std::string(gtk_button_get_label(GTK_BUTTON(button))) + " ";
                    gtk_window_get_default_size(GTK_WINDOW(dialog), &width, &height);
                    if (pressed >= buttons.size()) return gtk_widget_destroy(dialog);
                    gtk_button_clicked(GTK_BUTTON(buttons[pressed]));
                });
                EXPECT_EQ(shown, stock);
                EXPECT_EQ((std::array{width, height}), (std::array{defaultWidth, 50})) << stock;
                EXPECT_EQ(result, results[pressed]) << flags << " " << pressed;
            }
    EXPECT_EQ(Ask(u"Going away", 1, [](GtkWidget* dialog) { gtk_widget_destroy(dialog); }), 0);

    intptr_t result = Ask(u"Centred", 0, [](GtkWidget* dialog) {
        MotifHints hints = ReadMotifHints(dialog->window);
        EXPECT_EQ((std::array{hints.present ? 1ul : 0ul, hints.decorations, hints.functions}),
                  (std::array{1ul, 0x3Aul, 0x0Cul}));
        GtkWidget* label =
            Widgets(gtk_container_get_children(GTK_CONTAINER(GTK_DIALOG(dialog)->vbox))).front();
        int padX = 0, padY = 0, x = 0, y = 0, width = 0, height = 0;
        gtk_misc_get_padding(GTK_MISC(label), &padX, &padY);
        EXPECT_EQ((std::array{padX, padY}), (std::array{10, 10}));
        gdk_window_get_origin(dialog->window, &x, &y);
        gdk_drawable_get_size(dialog->window, &width, &height);
        EXPECT_NEAR(x + width / 2, gdk_screen_get_width(gtk_widget_get_screen(dialog)) / 2, 2);
        EXPECT_NEAR(y + height / 2, gdk_screen_get_height(gtk_widget_get_screen(dialog)) / 2, 2);
        GtkWidget* ok = gtk_window_get_focus(GTK_WINDOW(dialog)); // the OK button
        if (!PumpUntil([&] { return GTK_WIDGET_MAPPED(ok); }) || !ClickWidget(ok))
            gtk_widget_destroy(dialog); // fails below rather than hanging
    });
    EXPECT_EQ(result, RequesterOk);
}

TEST_F(WindowLibrary, EventQueueAndWaiting) {
    SuspendEvents();
    PostEvent(Gadget, 5, 1, 0);
    ResumeEvents();
    for (int32_t kind : std::array<int32_t, 8>{Repaint, Repaint, ActivateWindow, Repaint, 0x10001,
                                               0x10001, 0x10000, 0x10000})
        PostEvent(kind, 0, 1, 0); // only a repeat of the newest merges, never above 65536
    PostEvent(Gadget, 4, 1, 0);
    PostEvent(Gadget, 4, 1, 2);
    std::vector<Event> expected;
    for (intptr_t kind :
         std::array<intptr_t, 6>{Repaint, ActivateWindow, Repaint, 0x10001, 0x10001, 0x10000})
        expected.push_back({kind, 0, 1, 0});
    expected.insert(expected.end(), {{Gadget, 4, 1, 0}, {Gadget, 4, 1, 2}});
    EXPECT_EQ(Deliver(), expected);

    for (intptr_t window : {1, 2, 1, 3, 1})
        PostEvent(Gadget, window * 10, window, 0);
    RemoveWindowEvents(1);
    PostEvent(Gadget, 40, 4, 0); // appended behind the new tail
    EXPECT_EQ(Deliver(),
              (std::vector<Event>{{Gadget, 20, 2, 0}, {Gadget, 30, 3, 0}, {Gadget, 40, 4, 0}}));
    PostEvent(Repaint, 0, 1, 0);
    RemoveWindowEvents(1);
    PostEvent(Repaint, 0, 5, 0); // a fresh list
    EXPECT_EQ(Deliver(), (std::vector<Event>{{Repaint, 0, 5, 0}}));

    static int payload = 42, freeCalls = 0;
    PostEvent(Gadget, 1, 0, 0, &payload, [](void* data) { freeCalls += data == &payload; });
    PostEvent(Gadget, 2, 0, 0);
    std::array<int, 3> freedAfterWait{};
    for (int& freed : freedAfterWait)
        freed = (WaitWindowEvent(0), freeCalls);
    EXPECT_EQ(freedAfterWait, (std::array{0, 1, 1}));

    GtkSelectionData selection{};
    auto* drop = static_cast<DropRecord*>(AllocateBlock(sizeof(DropRecord)));
    drop->selection = gtk_selection_data_copy(&selection);
    PostEvent(PrivateDrop, 0, 7, reinterpret_cast<intptr_t>(drop));
    EXPECT_EQ(Deliver(), (std::vector<Event>{{PrivateDrop, 0, 7, 0}}));
    EXPECT_EQ(QX_Window_DropEvent, drop);
    EXPECT_EQ(WaitWindowEvent(0), 0); // frees the record (a double free shows under ASan)
    EXPECT_EQ(QX_Window_DropEvent, nullptr);

    {
        FailAllocations refuse; // outruns the pool's first chunk
        for (int i = 0; i < 40; ++i)
            PostEvent(Gadget, i, 0, 0);
    }
    PostEvent(Gadget, 100, 2, 1); // memory is back
    std::vector<Event> delivered = Deliver();
    ASSERT_TRUE(delivered.size() > 1 && delivered.size() < 40) << delivered.size();
    for (size_t i = 0; i < delivered.size(); ++i)
        EXPECT_EQ(delivered[i][1], i + 1 < delivered.size() ? intptr_t(i) : 100);
    EXPECT_EQ(WaitWindowEvent(0), 0); // nothing pending: the current event is reset
    EXPECT_EQ((Event{QX_Event_ID, EventGadget(), EventWindow(), EventType()}),
              (Event{0, 0, -1, 0}));

    bool idleRan = false;
    g_idle_add([](gpointer ran) { return *static_cast<bool*>(ran) = true, FALSE; }, &idleRan);
    PostEvent(Gadget, 9, 3, 1);
    EXPECT_EQ(WaitWindowEvent(), Gadget);
    EXPECT_FALSE(idleRan);
    EXPECT_EQ(WaitWindowEvent(), -1); // one iteration, whose idle callback queued nothing
    EXPECT_TRUE(idleRan);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitWindowEvent(150), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
}

TEST_F(WindowLibrary, Windows) {
    const uint32_t cases[][3] = {{0, 0x0A, 0x24},
                                 {SystemMenu, 0x1A, 0x24},
                                 {Resizable, 0x0E, 0x26},
                                 {Resizable | MinimizeButton | MaximizeButton, 0x6E, 0x3E},
                                 {Borderless | SystemMenu | MaximizeButton, 0, 0x36},
                                 {StartMaximized, 0x0A, 0x24},
                                 {ToolWindow | MaximizeButton | StartMaximized, 0x0E, 0x26}};
    for (auto [flags, decorations, functions] : cases) { // as the window manager reads them
        GtkWidget* toplevel = GTK_WIDGET(OpenWindow(0, 0, 0, 380, 220, u"Hints", flags));
        ASSERT_NE(toplevel, nullptr);
        MotifHints hints = ReadMotifHints(toplevel->window);
        EXPECT_EQ((std::array<unsigned long, 3>{hints.present, hints.decorations, hints.functions}),
                  (std::array<unsigned long, 3>{true, decorations, functions}))
            << "flags " << flags;
        EXPECT_EQ(bool(gdk_window_get_state(toplevel->window) & GDK_WINDOW_STATE_MAXIMIZED),
                  flags == StartMaximized);
        QX_CloseWindow(0);
    }

    GtkWidget* toplevel = GTK_WIDGET(OpenWindow(1, 30, 40, 380, 220, u"Move me", Resizable));
    ASSERT_TRUE(toplevel && gtk_widget_get_mapped(toplevel)); // shown before returning
    int x = 0, y = 0;
    gdk_window_get_root_origin(toplevel->window, &x, &y);
    EXPECT_EQ((std::array{x, y, toplevel->allocation.width, toplevel->allocation.height}),
              (std::array{30, 40, 380, 220}));

    SendDeleteRequest(toplevel->window);
    ASSERT_TRUE(PumpUntil([] { return IsQueued(CloseWindow, 1); }));
    EXPECT_TRUE(gtk_widget_get_mapped(toplevel));
    Deliver();
    gtk_window_move(GTK_WINDOW(toplevel), 120, 90);
    ASSERT_TRUE(PumpUntil([] { return IsQueued(MoveWindow, 1); }));
    EXPECT_FALSE(IsQueued(SizeWindow, 1));
    Deliver();
    gtk_window_resize(GTK_WINDOW(toplevel), 300, 250);
    ASSERT_TRUE(PumpUntil([] { return IsQueued(SizeWindow, 1); }));
    EXPECT_FALSE(IsQueued(MoveWindow, 1));

    OpenWindow(0, 0, 0, 100, 100, u"a");
    OpenWindow(5, 50, 50, 100, 100, u"b", Resizable);
    intptr_t chosen = OpenWindow(Any, 100, 100, 100, 100, u"c");
    for (intptr_t window : {intptr_t(0), intptr_t(77), intptr_t(5), chosen})
        PostEvent(Gadget, 3, window, 0); // 77 names no window: stays
    QX_CloseWindow(-1);
    ResetObjectEnumeration(QX_Window_Objects);
    EXPECT_EQ(NextObject(QX_Window_Objects, &chosen), nullptr);
    EXPECT_EQ(Deliver(), (std::vector<Event>{{Gadget, 3, 77, 0}}));

    const size_t before = Widgets(gtk_window_list_toplevels()).size();
    {
        FailAllocations refuse;
        EXPECT_EQ(OpenWindow(500, 0, 0, 100, 100, u"no room"), 0);
        EXPECT_EQ(OpenWindow(Any, 0, 0, 100, 100, u"no room"), 0);
    }
    EXPECT_EQ(Widgets(gtk_window_list_toplevels()).size(), before);

    PostEvent(Gadget, 1, 9, 0); // a wait inside OpenWindow would take this
    GtkWidget* hidden = GTK_WIDGET(OpenWindow(3, 0, 0, 100, 100, u"hidden", Invisible));
    EXPECT_TRUE(hidden && !gtk_widget_get_visible(hidden));
    EXPECT_TRUE(IsQueued(Gadget, 9));
}
