// The window library on a real X server: message requester, event queue and waiting, windows.
#include "tests/support/faults.h"
#include "tests/support/gui.h"
#include "window/window.h"

#include <array>
#include <chrono>
#include <gtest/gtest.h>
#include <tuple>
#include <vector>

namespace {

using Event = std::array<intptr_t, 4>; // kind, object, window, type as delivered

std::vector<GtkWidget*> Children(GtkWidget* container) {
    std::vector<GtkWidget*> widgets;
    GList* list = container ? gtk_container_get_children(GTK_CONTAINER(container))
                            : gtk_window_list_toplevels();
    for (GList* item = list; item; item = item->next)
        widgets.push_back(GTK_WIDGET(item->data));
    g_list_free(list);
    return widgets;
}

// Hands the requester's dialog, once mapped, to `*data` from inside the requester's own loop.
gboolean AnswerDialog(gpointer data) {
    auto& pending = *static_cast<std::function<void(GtkWidget*)>*>(data);
    for (GtkWidget* widget : Children(nullptr))
        if (GTK_IS_DIALOG(widget) && GTK_WIDGET_MAPPED(widget))
            return std::exchange(pending, nullptr)(widget), FALSE;
    return TRUE;
}

struct WindowLibrary : testing::Test {
    void SetUp() override {
        if (!QX_Window_Objects) InitEventQueue(), InitWindowLibrary();
        QX_CloseWindow(-1);
        PumpPending();
        Deliver();
    }
    static Event Next() { return {WaitWindowEvent(0), EventGadget(), EventWindow(), EventType()}; }
    static std::vector<Event> Deliver() {
        std::vector<Event> events;
        while (PeekEventKind() != 0)
            events.push_back(Next());
        return events;
    }
    static bool IsQueued(int32_t kind, intptr_t window) {
        for (const EventRecord* record = QX_Event_Head; record; record = record->next)
            if (record->kind == kind && record->window == window) return true;
        return false;
    }
};

} // namespace

TEST_F(WindowLibrary, MessageRequester) {
    // flags, default size and buttons shown (* the one with the keyboard focus), the result of
    // each button (none: destroyed outside)
    const std::tuple<int32_t, std::string, std::vector<intptr_t>> rows[] = {
        {0, "100x50 gtk-ok*", {RequesterOk, 0}},
        {8, "100x50 gtk-ok*", {RequesterOk, 0}},
        {1, "250x50 gtk-yes* gtk-no", {RequesterYes, RequesterNo, 0}},
        {3, "250x50 gtk-yes* gtk-no", {RequesterYes, RequesterNo, 0}},
        {2, "300x50 gtk-yes* gtk-no gtk-cancel", {RequesterYes, RequesterNo, RequesterCancel, 0}}};
    for (const auto& row : rows) {
        const int32_t flags = std::get<0>(row); // named, not bound: the lambda below reads it
        const std::string& expectedShown = std::get<1>(row);
        const std::vector<intptr_t>& results = std::get<2>(row);
        for (size_t pressed = 0; pressed < results.size(); ++pressed) {
            std::string shown;
            std::function<void(GtkWidget*)> answer = [&](GtkWidget* dialog) {
                std::vector<GtkWidget*> buttons = Children(GTK_DIALOG(dialog)->action_area);
                int width = 0, height = 0, x = 0, y = 0;
                gtk_window_get_default_size(GTK_WINDOW(dialog), &width, &height);
                shown = std::to_string(width) + "x" + std::to_string(height);
                for (GtkWidget* button : buttons)
                    shown += " " + std::string(gtk_button_get_label(GTK_BUTTON(button))) +
                             (gtk_widget_is_focus(button) ? "*" : "");
                GtkMisc* label = GTK_MISC(Children(GTK_DIALOG(dialog)->vbox).front());
                MotifHints hints = ReadMotifHints(dialog->window);
                gdk_window_get_origin(dialog->window, &x, &y);
                EXPECT_NEAR(2 * x + dialog->allocation.width, gdk_screen_width(), 4); // centred
                EXPECT_NEAR(2 * y + dialog->allocation.height, gdk_screen_height(), 4);
                EXPECT_EQ((std::array<unsigned long, 5>{hints.present, hints.decorations,
                                                        hints.functions, label->xpad, label->ypad}),
                          (std::array<unsigned long, 5>{1, 0x3A, 0x0C, 10, 10}));
                if (pressed >= buttons.size()) return gtk_widget_destroy(dialog);
                if (flags != 0) return gtk_button_clicked(GTK_BUTTON(buttons[pressed]));
                GtkWidget* ok = buttons[pressed]; // once, a real pointer click
                if (!PumpUntil([&] { return GTK_WIDGET_MAPPED(ok); }) || !ClickWidget(ok))
                    gtk_widget_destroy(dialog); // fails below rather than hanging
            };
            g_timeout_add(10, AnswerDialog, &answer);
            EXPECT_EQ(MessageRequester(u"Question", u"Go on?", flags), results[pressed])
                << flags << " " << pressed;
            EXPECT_FALSE(g_source_remove_by_user_data(&answer)) << "the dialog was never answered";
            EXPECT_EQ(shown, expectedShown);
        }
    }
}

// Whatever the desktop's font, a long text stays whole on the screen with the button under it: it
// wraps when it would not fit, and keeps to one line when it does.
TEST_F(WindowLibrary, RequesterKeepsALongTextOnTheScreen) {
    const char16_t* text = u"Quellmire.exe could not be written: Input/output error. It may be "
                           u"partly patched: restore your copy of it.";
    GtkSettings* settings = gtk_settings_get_default();
    gchar* desktopFont = nullptr;
    g_object_get(settings, "gtk-font-name", &desktopFont, nullptr);
    for (const char* font : {"Sans 10", "Sans 40"}) {
        SCOPED_TRACE(font);
        gtk_settings_set_string_property(settings, "gtk-font-name", font, "test");
        bool wrapped = true;
        std::function<void(GtkWidget*)> answer = [&](GtkWidget* dialog) {
            GtkWidget* label = Children(GTK_DIALOG(dialog)->vbox).front();
            GtkWidget* ok = Children(GTK_DIALOG(dialog)->action_area).front();
            PumpUntil([&] { return GTK_WIDGET_MAPPED(ok) && ok->allocation.width > 1; });
            int x = 0, y = 0, textWidth = 0, textHeight = 0;
            gdk_window_get_origin(dialog->window, &x, &y);
            PangoLayout* layout = gtk_label_get_layout(GTK_LABEL(label));
            pango_layout_get_pixel_size(layout, &textWidth, &textHeight);
            wrapped = pango_layout_get_line_count(layout) > 1;
            EXPECT_GE(x, 0);
            EXPECT_LE(x + dialog->allocation.width, gdk_screen_width());
            EXPECT_LE(y + dialog->allocation.height, gdk_screen_height());
            EXPECT_LE(textWidth, label->allocation.width); // every line whole
            EXPECT_LE(textHeight, label->allocation.height);
            EXPECT_LE(ok->allocation.x + ok->allocation.width, dialog->allocation.width);
            gtk_button_clicked(GTK_BUTTON(ok));
        };
        g_timeout_add(10, AnswerDialog, &answer);
        EXPECT_EQ(MessageRequester(u"Warning!", text), RequesterOk);
        EXPECT_FALSE(g_source_remove_by_user_data(&answer)) << "the dialog was never answered";
        EXPECT_EQ(wrapped, std::string(font) == "Sans 40");
    }
    gtk_settings_set_string_property(settings, "gtk-font-name", desktopFont, "test");
    g_free(desktopFont);
}

TEST_F(WindowLibrary, EventQueueAndWaiting) {
    SuspendEvents();
    PostEvent(Gadget, 5, 1, 0);
    ResumeEvents();
    for (intptr_t kind : std::array<intptr_t, 9>{Repaint, Repaint, ActivateWindow, Repaint, 0x10001,
                                                 0x10001, 0x10000, 0x10000, Gadget})
        PostEvent(kind, 0, 1, 0); // only a repeat of the newest merges, never above 65536
    PostEvent(Gadget, 0, 1, 2);
    std::vector<Event> expected;
    for (intptr_t kind : std::array<intptr_t, 8>{Repaint, ActivateWindow, Repaint, 0x10001, 0x10001,
                                                 0x10000, Gadget, Gadget})
        expected.push_back({kind, 0, 1, 0});
    expected.back()[3] = 2;
    EXPECT_EQ(Deliver(), expected);

    for (intptr_t window : {1, 2, 1, 3, 1})
        PostEvent(Gadget, window * 10, window, 0);
    RemoveWindowEvents(1);
    PostEvent(Gadget, 40, 4, 0); // appended behind the new tail
    EXPECT_EQ(Deliver(),
              (std::vector<Event>{{Gadget, 20, 2, 0}, {Gadget, 30, 3, 0}, {Gadget, 40, 4, 0}}));
    PostEvent(Repaint, 0, 1, 0);
    RemoveWindowEvents(1); // what follows starts a fresh list

    GtkSelectionData selection{};
    auto* drop = static_cast<DropRecord*>(AllocateBlock(sizeof(DropRecord)));
    drop->selection = gtk_selection_data_copy(&selection);
    PostEvent(PrivateDrop, 0, 7, reinterpret_cast<intptr_t>(drop));
    static int payload = 42, freeCalls = 0;
    PostEvent(Gadget, 1, 8, 3, &payload, [](void* data) { freeCalls += data == &payload; });
    std::vector<std::tuple<Event, int, DropRecord*>> seen; // data and drops freed at the next wait
    for (int i = 0; i < 4; ++i)
        seen.push_back({Next(), freeCalls, QX_Window_DropEvent});
    EXPECT_EQ(seen,
              (decltype(seen){{{PrivateDrop, 0, 7, 0}, 0, drop},
                              {{Gadget, 1, 8, 3}, 0, nullptr},
                              {{0, 0, -1, 0}, 1, nullptr}, // an empty wait resets the current event
                              {{0, 0, -1, 0}, 1, nullptr}}));

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

    bool idleRan = false;
    g_idle_add([](gpointer ran) { return *static_cast<bool*>(ran) = true, FALSE; }, &idleRan);
    PostEvent(Gadget, 9, 3, 1);
    // The queued event comes without an iteration; then one iteration whose idle queued nothing.
    EXPECT_EQ((std::array{WaitWindowEvent(), +idleRan, WaitWindowEvent(), +idleRan}),
              (std::array<int, 4>{Gadget, 0, -1, 1}));
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitWindowEvent(150), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
}

TEST_F(WindowLibrary, Windows) {
    // flags; decorations and functions as the window manager reads them; maximized
    const unsigned long cases[][4] = {
        {StartMaximized, 0x0A, 0x24, 1},
        {Borderless | SystemMenu | MaximizeButton, 0, 0x36, 0},
        {ToolWindow | MaximizeButton | StartMaximized, 0x0E, 0x26, 0},
        {Resizable | MinimizeButton | MaximizeButton | SystemMenu, 0x7E, 0x3E, 0}};
    GtkWidget* toplevel = nullptr;
    for (const auto& row : cases) { // each replaces the one before; the last stays open
        toplevel = GTK_WIDGET(OpenWindow(1, 30, 40, 380, 220, u"Window", row[0]));
        ASSERT_TRUE(toplevel && gtk_widget_get_mapped(toplevel)); // shown before returning
        MotifHints hints = ReadMotifHints(toplevel->window);
        const bool maximized = gdk_window_get_state(toplevel->window) & GDK_WINDOW_STATE_MAXIMIZED;
        EXPECT_EQ((std::array{row[0], hints.present ? hints.decorations : ~0ul, hints.functions,
                              0ul + maximized}),
                  std::to_array(row));
    }
    int x = 0, y = 0;
    gdk_window_get_root_origin(toplevel->window, &x, &y);
    EXPECT_EQ((std::array{x, y, toplevel->allocation.width, toplevel->allocation.height}),
              (std::array{30, 40, 380, 220}));

    SendDeleteRequest(toplevel->window);
    ASSERT_TRUE(PumpUntil([] { return IsQueued(CloseWindow, 1); }) &&
                gtk_widget_get_mapped(toplevel));
    Deliver();
    gtk_window_move(GTK_WINDOW(toplevel), 120, 90);
    ASSERT_TRUE(PumpUntil([] { return IsQueued(MoveWindow, 1); }) && !IsQueued(SizeWindow, 1));
    Deliver();
    gtk_window_resize(GTK_WINDOW(toplevel), 300, 250);
    EXPECT_TRUE(PumpUntil([] { return IsQueued(SizeWindow, 1); }) && !IsQueued(MoveWindow, 1));

    OpenWindow(5, 50, 50, 100, 100, u"b", Resizable);
    intptr_t chosen = OpenWindow(Any, 100, 100, 100, 100, u"c");
    for (intptr_t window : {intptr_t(1), intptr_t(77), intptr_t(5), chosen})
        PostEvent(Gadget, 3, window, 0); // 77 names no window: stays
    QX_CloseWindow(-1);
    ResetObjectEnumeration(QX_Window_Objects);
    EXPECT_EQ(NextObject(QX_Window_Objects, &chosen), nullptr);
    EXPECT_EQ(Deliver(), (std::vector<Event>{{Gadget, 3, 77, 0}}));

    const size_t before = Children(nullptr).size();
    {
        FailAllocations refuse;
        EXPECT_EQ(OpenWindow(500, 0, 0, 9, 9, u"no") | OpenWindow(Any, 0, 0, 9, 9, u"no"), 0);
    }
    EXPECT_EQ(Children(nullptr).size(), before);

    PostEvent(Gadget, 1, 9, 0); // a wait inside OpenWindow would take this
    GtkWidget* hidden = GTK_WIDGET(OpenWindow(3, 0, 0, 100, 100, u"hidden", Invisible));
    EXPECT_TRUE(hidden && !gtk_widget_get_visible(hidden));
    EXPECT_TRUE(IsQueued(Gadget, 9));
}
