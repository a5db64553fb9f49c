// Windows on a real X server: what the flags ask of the window manager, placement, the events
// that moving, resizing and close requests post, and closing.
#include "runtime/runtime.h"
#include "tests/support/faults.h"
#include "tests/support/gui.h"
#include "window/window.h"

#include <chrono>
#include <gtest/gtest.h>
#include <vector>

namespace {

class WindowLibrary : public testing::Environment {
    void SetUp() override {
        InitEventQueue();
        InitWindowLibrary();
    }
};
const testing::Environment* const library = testing::AddGlobalTestEnvironment(new WindowLibrary);

class Windows : public testing::Test {
  protected:
    void TearDown() override {
        QX_CloseWindow(-1);
        PumpPending();
        while (PeekEventKind() != 0)
            WaitWindowEvent(0);
    }

    static GtkWidget* Toplevel(intptr_t number) {
        auto* record = static_cast<WindowObject*>(GetObject(QX_Window_Objects, number));
        return record ? GTK_WIDGET(record->window) : nullptr;
    }
};

bool IsQueued(int32_t kind, intptr_t window) {
    for (const EventRecord* record = QX_Event_Head; record; record = record->next)
        if (record->kind == kind && record->window == window) return true;
    return false;
}

// Whether the window asked the window manager, through _NET_WM_STATE, to map it maximized.
bool AskedMaximized(GdkWindow* window) {
    GdkAtom type = GDK_NONE;
    gint format = 0, length = 0;
    guchar* data = nullptr;
    bool maximized = false;
    if (gdk_property_get(window, gdk_atom_intern("_NET_WM_STATE", FALSE), GDK_NONE, 0, 64, FALSE,
                         &type, &format, &length, &data)) {
        auto* atoms = reinterpret_cast<GdkAtom*>(data);
        for (size_t i = 0; i < length / sizeof(GdkAtom); ++i)
            maximized |= atoms[i] == gdk_atom_intern("_NET_WM_STATE_MAXIMIZED_VERT", FALSE);
        g_free(data);
    }
    return maximized;
}

struct FlagCase {
    uint32_t flags;
    unsigned long decorations;
    unsigned long functions;
    bool resizable;
    bool maximized = false;
};

class WindowHints : public testing::TestWithParam<FlagCase> {
  protected:
    void TearDown() override { QX_CloseWindow(-1); }
};

} // namespace

TEST_P(WindowHints, DecorationsAndFunctionsReachTheWindowManager) {
    const FlagCase& c = GetParam();
    intptr_t handle = OpenWindow(0, 0, 0, 380, 220, u"Hints", c.flags);
    ASSERT_NE(handle, 0);
    GtkWidget* toplevel = GTK_WIDGET(reinterpret_cast<GtkWindow*>(handle));
    MotifHints hints = ReadMotifHints(toplevel->window);
    ASSERT_TRUE(hints.present);
    EXPECT_EQ(hints.decorations, c.decorations);
    EXPECT_EQ(hints.functions, c.functions);
    EXPECT_EQ(gtk_window_get_resizable(GTK_WINDOW(toplevel)), c.resizable);
    EXPECT_EQ(AskedMaximized(toplevel->window), c.maximized);
    if (c.flags & ToolWindow) {
        EXPECT_EQ(gtk_window_get_type_hint(GTK_WINDOW(toplevel)), GDK_WINDOW_TYPE_HINT_UTILITY);
        auto* record = static_cast<WindowObject*>(GetObject(QX_Window_Objects, 0));
        EXPECT_EQ(record->flags & 0x630u, 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    FlagSets, WindowHints,
    testing::Values(FlagCase{0, 0x0A, 0x24, false}, FlagCase{SystemMenu, 0x1A, 0x24, false},
                    FlagCase{Resizable, 0x0E, 0x26, true},
                    FlagCase{Resizable | MinimizeButton | MaximizeButton, 0x6E, 0x3E, true},
                    FlagCase{MinimizeButton, 0x2A, 0x2C, false},
                    FlagCase{Borderless | SystemMenu | MaximizeButton, 0, 0x36, true},
                    FlagCase{StartMaximized, 0x0A, 0x24, false, true},
                    FlagCase{ToolWindow | MaximizeButton | StartMaximized, 0x0E, 0x26, true}));

TEST_F(Windows, OpensPlacedSizedAndShownBeforeReturning) {
    intptr_t handle = OpenWindow(0, 30, 40, 380, 220, u"Widescreen", SystemMenu);
    GtkWidget* toplevel = Toplevel(0);
    ASSERT_NE(toplevel, nullptr);
    EXPECT_EQ(handle, reinterpret_cast<intptr_t>(toplevel));
    EXPECT_TRUE(gtk_widget_get_mapped(toplevel));
    EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(toplevel)), "Widescreen");
    int width = 0, height = 0;
    gtk_widget_get_size_request(toplevel, &width, &height);
    EXPECT_EQ(width, 380);
    EXPECT_EQ(height, 220);
    EXPECT_EQ(toplevel->allocation.width, 380);
    EXPECT_EQ(toplevel->allocation.height, 220);
    int x = 0, y = 0;
    gdk_window_get_root_origin(toplevel->window, &x, &y);
    EXPECT_EQ(x, 30);
    EXPECT_EQ(y, 40);

    auto* gadgetArea =
        static_cast<GtkWidget*>(gtk_object_get_data(GTK_OBJECT(toplevel), "qx_gadgetlist"));
    ASSERT_TRUE(gadgetArea && GTK_IS_FIXED(gadgetArea));
    EXPECT_TRUE(gtk_widget_get_has_window(gadgetArea));
    EXPECT_EQ(gtk_widget_get_parent(gadgetArea),
              gtk_object_get_data(GTK_OBJECT(toplevel), "qx_vbox"));
    EXPECT_EQ(gtk_bin_get_child(GTK_BIN(toplevel)),
              gtk_object_get_data(GTK_OBJECT(toplevel), "qx_vbox"));

    // A window chosen by the registry is known by its record's address everywhere.
    intptr_t chosen = OpenWindow(Any, 0, 0, 100, 80, nullptr);
    GtkWidget* other = Toplevel(chosen);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(gtk_object_get_data(GTK_OBJECT(other), "qx_id"), reinterpret_cast<gpointer>(chosen));
    EXPECT_EQ(chosen, reinterpret_cast<intptr_t>(GetObject(QX_Window_Objects, chosen)));
}

TEST_F(Windows, CloseRequestPostsCloseWindowAndLeavesTheWindowOpen) {
    OpenWindow(2, 0, 0, 200, 100, u"Close me");
    GtkWidget* toplevel = Toplevel(2);
    ASSERT_NE(toplevel, nullptr);
    SendDeleteRequest(toplevel->window);
    ASSERT_TRUE(PumpUntil([] { return IsQueued(CloseWindow, 2); }));
    EXPECT_EQ(Toplevel(2), toplevel);
    EXPECT_TRUE(gtk_widget_get_mapped(toplevel));
}

TEST_F(Windows, MovingPostsMoveWindowAndResizingPostsSizeWindowOnly) {
    OpenWindow(1, 0, 0, 200, 100, u"Move me", Resizable);
    GtkWidget* toplevel = Toplevel(1);
    ASSERT_NE(toplevel, nullptr);
    PumpPending();
    while (PeekEventKind() != 0)
        WaitWindowEvent(0);

    gtk_window_move(GTK_WINDOW(toplevel), 120, 90);
    ASSERT_TRUE(PumpUntil([] { return IsQueued(MoveWindow, 1); }));
    EXPECT_FALSE(IsQueued(SizeWindow, 1));
    while (PeekEventKind() != 0)
        WaitWindowEvent(0);

    gtk_window_resize(GTK_WINDOW(toplevel), 300, 250);
    ASSERT_TRUE(PumpUntil([] { return IsQueued(SizeWindow, 1); }));
    EXPECT_FALSE(IsQueued(MoveWindow, 1));
}

TEST_F(Windows, ClosingAllWindowsLeavesNoEventNamingThem) {
    OpenWindow(0, 0, 0, 100, 100, u"a");
    OpenWindow(5, 50, 50, 100, 100, u"b", Resizable);
    intptr_t chosen = OpenWindow(Any, 100, 100, 100, 100, u"c");
    PostEvent(Repaint, 0, 0, 0);
    PostEvent(Gadget, 3, 77, 0); // names no window: stays
    PostEvent(MoveWindow, 0, 5, 0);
    PostEvent(SizeWindow, 0, chosen, 0);
    QX_CloseWindow(-1);
    EXPECT_EQ(Toplevel(0), nullptr);
    EXPECT_EQ(Toplevel(5), nullptr);
    EXPECT_EQ(GetObject(QX_Window_Objects, 0), nullptr);
    for (const EventRecord* record = QX_Event_Head; record; record = record->next)
        EXPECT_EQ(record->window, 77) << "kind " << record->kind;
    EXPECT_TRUE(IsQueued(Gadget, 77));
    QX_CloseWindow(5); // already closed: nothing happens
}

TEST_F(Windows, InvisibleReturnsWithoutWaitingOrShowing) {
    PostEvent(Gadget, 1, 9, 0); // a wait inside OpenWindow would take this
    intptr_t handle = OpenWindow(3, 0, 0, 100, 100, u"hidden", Invisible);
    ASSERT_NE(handle, 0);
    EXPECT_FALSE(gtk_widget_get_visible(Toplevel(3)));
    EXPECT_TRUE(IsQueued(Gadget, 9));
}

TEST_F(Windows, RefusedRecordOpensNothing) {
    GList* before = gtk_window_list_toplevels();
    intptr_t slot = 0, chosen = 0;
    {
        FailAllocations refuse;
        slot = OpenWindow(500, 0, 0, 100, 100, u"no room");
        chosen = OpenWindow(Any, 0, 0, 100, 100, u"no room");
    }
    GList* after = gtk_window_list_toplevels();
    EXPECT_EQ(slot, 0);
    EXPECT_EQ(chosen, 0);
    EXPECT_EQ(g_list_length(after), g_list_length(before));
    g_list_free(before);
    g_list_free(after);
}

TEST_F(Windows, NoActivateWindowAcceptsFocusAfterItsFirstRepaint) {
    // Whether the window accepted the focus when its gadget area was first exposed, and when.
    static int exposures;
    static bool acceptedAtFirstExpose;
    static std::chrono::steady_clock::time_point firstExpose;
    exposures = 0;
    g_type_class_unref(g_type_class_ref(GTK_TYPE_FIXED)); // registers the widget signals
    guint signal = g_signal_lookup("expose-event", GTK_TYPE_WIDGET);
    gulong hook = g_signal_add_emission_hook(
        signal, 0,
        [](GSignalInvocationHint*, guint, const GValue* values, gpointer) -> gboolean {
            auto* widget = static_cast<GtkWidget*>(g_value_get_object(&values[0]));
            GtkWidget* toplevel = gtk_widget_get_toplevel(widget);
            if (GTK_IS_FIXED(widget) && GTK_IS_WINDOW(toplevel) && exposures++ == 0) {
                acceptedAtFirstExpose = gtk_window_get_accept_focus(GTK_WINDOW(toplevel));
                firstExpose = std::chrono::steady_clock::now();
            }
            return TRUE;
        },
        nullptr, nullptr);
    OpenWindow(4, 0, 0, 100, 100, u"quiet", NoActivate | Resizable);
    GtkWindow* window = GTK_WINDOW(Toplevel(4));
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(PumpUntil([] { return exposures > 0; }));
    g_signal_remove_emission_hook(signal, hook);
    EXPECT_FALSE(acceptedAtFirstExpose);
    EXPECT_TRUE(PumpUntil([window] { return gtk_window_get_accept_focus(window); }));
    EXPECT_GE(std::chrono::steady_clock::now() - firstExpose, std::chrono::milliseconds(50));

    // Closed before its focus comes back, the window leaves a harmless pending restore: the
    // toolkit complains when a restore reaches a window that is gone.
    static int complaints;
    complaints = 0;
    auto count = [](const gchar*, GLogLevelFlags, const gchar*, gpointer) { ++complaints; };
    const auto levels = static_cast<GLogLevelFlags>(G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING);
    guint gtkHandler = g_log_set_handler("Gtk", levels, count, nullptr);
    guint objectHandler = g_log_set_handler("GLib-GObject", levels, count, nullptr);
    OpenWindow(6, 0, 0, 100, 100, u"brief", NoActivate | Resizable);
    QX_CloseWindow(6);
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(150);
    PumpUntil([until] { return std::chrono::steady_clock::now() >= until; });
    g_log_remove_handler("Gtk", gtkHandler);
    g_log_remove_handler("GLib-GObject", objectHandler);
    EXPECT_EQ(complaints, 0);
}
