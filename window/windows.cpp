// Numbered top-level windows: building them from a flag set, and the signal handlers that turn
// what happens to them into events.
#include "gadget/gadget.h"
#include "runtime/runtime.h"
#include "window/window.h"

#include <gdk/gdkkeysyms.h>
#include <gtk/gtk.h>

ObjectTable* QX_Window_Objects = nullptr;

namespace {

// Set by any window's first configuration; OpenWindow waits for it.
bool WindowConfigured = false;

// The longest that OpenWindow waits for a shown window's first configuration.
constexpr int32_t kConfigurationBoundMs = 2000;

// A window's number travels as the handlers' data; for Any it is a record address.
gpointer NumberData(intptr_t number) {
    return reinterpret_cast<gpointer>(number);
}

intptr_t NumberOf(gpointer data) {
    return reinterpret_cast<intptr_t>(data);
}

gpointer IntData(gint value) {
    return GINT_TO_POINTER(value);
}

gint IntKey(GtkWidget* widget, const char* key) {
    return GPOINTER_TO_INT(gtk_object_get_data(GTK_OBJECT(widget), key));
}

void SetIntKey(GtkWidget* widget, const char* key, gint value) {
    gtk_object_set_data(GTK_OBJECT(widget), key, IntData(value));
}

bool IsDisabled(GtkWidget* toplevel) {
    return gtk_object_get_data(GTK_OBJECT(toplevel), "qx_disabled") != nullptr;
}

void PostWindowEvent(int32_t kind, gpointer number) {
    PostEvent(kind, 0, NumberOf(number), 0);
}

gboolean OnDelete(GtkWidget* toplevel, GdkEvent*, gpointer number) {
    if (!IsDisabled(toplevel)) PostWindowEvent(CloseWindow, number);
    return TRUE; // only the application closes windows
}

gboolean OnConfigure(GtkWidget* toplevel, GdkEventConfigure* event, gpointer number) {
    if (event->width == IntKey(toplevel, "qx_previous_width") &&
        event->height == IntKey(toplevel, "qx_previous_height")) {
        if (event->x != IntKey(toplevel, "qx_previous_x") ||
            event->y != IntKey(toplevel, "qx_previous_y")) {
            SetIntKey(toplevel, "qx_previous_x", event->x);
            SetIntKey(toplevel, "qx_previous_y", event->y);
            PostWindowEvent(MoveWindow, number);
        }
    } else {
        SetIntKey(toplevel, "qx_previous_width", event->width);
        SetIntKey(toplevel, "qx_previous_height", event->height);
        if (!IsDisabled(toplevel)) PostWindowEvent(SizeWindow, number);
    }
    WindowConfigured = true;
    return FALSE;
}

gboolean OnWindowState(GtkWidget*, GdkEventWindowState* event, gpointer number) {
    const GdkWindowState state = event->new_window_state;
    if (event->changed_mask & GDK_WINDOW_STATE_ICONIFIED) {
        if (state & GDK_WINDOW_STATE_ICONIFIED)
            PostWindowEvent(MinimizeWindow, number);
        else if (state & GDK_WINDOW_STATE_MAXIMIZED)
            PostWindowEvent(MaximizeWindow, number);
        else
            PostWindowEvent(RestoreWindow, number);
    } else if (event->changed_mask & GDK_WINDOW_STATE_MAXIMIZED) {
        PostWindowEvent(state & GDK_WINDOW_STATE_MAXIMIZED ? MaximizeWindow : RestoreWindow,
                        number);
    }
    return FALSE;
}

gboolean OnFocusIn(GtkWidget* toplevel, GdkEventFocus*, gpointer number) {
    if (!IsDisabled(toplevel)) PostWindowEvent(ActivateWindow, number);
    return FALSE;
}

gboolean OnFocusOut(GtkWidget* toplevel, GdkEventFocus*, gpointer number) {
    if (!IsDisabled(toplevel)) PostWindowEvent(DeactivateWindow, number);
    return FALSE;
}

gboolean OnMotion(GtkWidget* toplevel, GdkEventMotion*, gpointer number) {
    if (!IsDisabled(toplevel)) PostWindowEvent(MouseMove, number);
    return FALSE;
}

gboolean RestoreFocus(gpointer window) {
    gtk_window_set_accept_focus(GTK_WINDOW(window), TRUE);
    return FALSE;
}

gboolean OnExpose(GtkWidget* gadgetArea, GdkEventExpose*, gpointer number) {
    PostWindowEvent(Repaint, number);
    GtkWidget* toplevel = gtk_widget_get_toplevel(gadgetArea);
    if (IntKey(toplevel, "qx_restore_focus")) {
        SetIntKey(toplevel, "qx_restore_focus", 0);
        // The timeout holds its own reference: the window may be destroyed within the 50 ms.
        g_timeout_add_full(G_PRIORITY_DEFAULT, 50, RestoreFocus, g_object_ref(toplevel),
                           g_object_unref);
    }
    return FALSE;
}

gboolean OnButton(GtkWidget*, GdkEventButton* event, gpointer number) {
    if (event->type == GDK_2BUTTON_PRESS && event->button == 1)
        PostWindowEvent(LeftDoubleClick, number);
    else if (event->type == GDK_BUTTON_RELEASE && event->button == 1)
        PostWindowEvent(LeftClick, number);
    else if (event->type == GDK_BUTTON_RELEASE && event->button == 3)
        PostWindowEvent(RightClick, number);
    return FALSE;
}

void OnDestroy(GtkWidget*, gpointer data) {
    intptr_t number = NumberOf(data);
    auto* record = static_cast<WindowObject*>(GetObject(QX_Window_Objects, number));
    if (!record) return;
    g_object_unref(record->accelerators);
    for (ListBlock* timer = record->timers; timer; timer = timer->next)
        g_source_remove(*reinterpret_cast<guint*>(timer + 1));
    FreeListBlocks(&record->timers);
    // The spare container was never placed anywhere; the record held its only reference.
    gtk_widget_destroy(GTK_WIDGET(record->spareContainer));
    g_object_unref(record->spareContainer);
    RemoveWindowEvents(number);
    FreeObject(QX_Window_Objects, number);
}

void Connect(GtkWidget* widget, const char* signal, GCallback handler, intptr_t number) {
    gtk_signal_connect_full(GTK_OBJECT(widget), signal, GTK_SIGNAL_FUNC(handler), nullptr,
                            NumberData(number), nullptr, FALSE, FALSE);
}

void CentreOverParent(GtkWidget* window, GtkWindow* parent) {
    GdkRectangle outer{}, own{};
    gdk_window_get_frame_extents(GTK_WIDGET(parent)->window, &outer);
    gdk_window_get_frame_extents(window->window, &own);
    gtk_widget_set_uposition(window, outer.x + outer.width / 2 - own.width / 2,
                             outer.y + outer.height / 2 - own.height / 2);
}

// Waits until the toolkit reports a window's first configuration, or a 500 ms wait sees no
// activity, but no longer than kConfigurationBoundMs in all: without a window manager nothing
// configures the window, and a toolkit that never falls quiet (a module's timer, an input method)
// would keep the wait going for ever. What these waits take from the queue (the window's first
// repaint and the like) is consumed here.
void WaitForFirstConfiguration() {
    const gint64 deadline = g_get_monotonic_time() + gint64{kConfigurationBoundMs} * 1000;
    while (!WindowConfigured) {
        const gint64 left = (deadline - g_get_monotonic_time()) / 1000;
        if (left <= 0 || WaitWindowEvent(static_cast<int32_t>(left < 500 ? left : 500)) == 0)
            return;
    }
}

} // namespace

void InitWindowLibrary() {
    QX_Window_Objects = NewObjectTable(sizeof(WindowObject), 16, QX_CloseWindow);
}

void EndWindowLibrary() {
    FreeAllObjects(QX_Window_Objects);
}

intptr_t OpenWindow(intptr_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                    const char16_t* title, uint32_t flags, GtkWindow* parent) {
    if (x == -65535 || y == -65535) x = y = -1;

    auto* record = static_cast<WindowObject*>(AllocateObject(QX_Window_Objects, number));
    if (!record) return 0;
    const intptr_t id = number == Any ? reinterpret_cast<intptr_t>(record) : number;
    WindowConfigured = false;

    GtkWidget* toplevel = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    if (!toplevel) {
        FreeObject(QX_Window_Objects, id);
        return 0;
    }
    GtkWindow* window = GTK_WINDOW(toplevel);
    GtkObject* object = GTK_OBJECT(toplevel);

    gtk_object_set_data(object, "Window", toplevel);
    char* utf8 = ToToolkitText(title);
    gtk_window_set_title(window, utf8);
    gtk_window_set_default_size(window, width, height);
    SetIntKey(toplevel, "qx_previous_width", width);
    SetIntKey(toplevel, "qx_previous_height", height);
    FreeToolkitText(utf8);

    if (!(flags & (ScreenCentered | ParentCentered))) gtk_widget_set_uposition(toplevel, x, y);

    guint decorations = 0;
    guint functions = GDK_FUNC_MOVE | GDK_FUNC_CLOSE;
    if (flags & (Resizable | MaximizeButton)) {
        gtk_widget_set_usize(toplevel, 30, 30);
        decorations = GDK_DECOR_BORDER | GDK_DECOR_RESIZEH;
        functions |= GDK_FUNC_RESIZE;
    } else {
        gtk_window_set_resizable(window, FALSE);
        gtk_widget_set_usize(toplevel, width, height);
    }

    gtk_widget_realize(toplevel);

    if (flags & ToolWindow) {
        flags &= ~(MaximizeButton | MinimizeButton | StartMaximized | StartMinimized);
        gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_UTILITY);
        gtk_window_set_skip_taskbar_hint(window, FALSE);
        gtk_window_set_skip_pager_hint(window, FALSE);
    }

    if (flags & MinimizeButton) {
        decorations |= GDK_DECOR_MINIMIZE | GDK_DECOR_TITLE | GDK_DECOR_BORDER;
        functions |= GDK_FUNC_MINIMIZE;
    }
    if (flags & MaximizeButton) {
        decorations |= GDK_DECOR_MAXIMIZE | GDK_DECOR_TITLE | GDK_DECOR_BORDER;
        functions |= GDK_FUNC_MAXIMIZE;
    }
    if (flags & SystemMenu) decorations |= GDK_DECOR_MENU | GDK_DECOR_TITLE | GDK_DECOR_BORDER;
    decorations |= GDK_DECOR_TITLE | GDK_DECOR_BORDER;
    if (flags & Borderless) decorations = 0;
    gdk_window_set_decorations(toplevel->window, static_cast<GdkWMDecoration>(decorations));
    gdk_window_set_functions(toplevel->window, static_cast<GdkWMFunction>(functions));

    if (flags & ScreenCentered)
        gtk_window_set_position(window, GTK_WIN_POS_CENTER);
    else if ((flags & ParentCentered) && parent)
        CentreOverParent(toplevel, parent);

    GtkWidget* vbox = gtk_vbox_new(FALSE, 0);
    gtk_container_add(GTK_CONTAINER(toplevel), vbox);
    gtk_object_set_data(object, "qx_vbox", vbox);
    GtkWidget* gadgetArea = gtk_fixed_new();
    gtk_fixed_set_has_window(GTK_FIXED(gadgetArea), TRUE);
    gtk_box_pack_start(GTK_BOX(vbox), gadgetArea, TRUE, TRUE, 0);
    gtk_object_set_data(object, "qx_gadgetlist", gadgetArea);

    Connect(gadgetArea, "expose-event", G_CALLBACK(OnExpose), id);
    gtk_widget_add_events(gadgetArea, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK);
    Connect(gadgetArea, "button-press-event", G_CALLBACK(OnButton), id);
    Connect(gadgetArea, "button-release-event", G_CALLBACK(OnButton), id);
    gtk_widget_show_all(vbox);

    if (parent) gtk_window_set_transient_for(window, parent);

    Connect(toplevel, "destroy", G_CALLBACK(OnDestroy), id);
    Connect(toplevel, "configure-event", G_CALLBACK(OnConfigure), id);
    Connect(toplevel, "window-state-event", G_CALLBACK(OnWindowState), id);
    gtk_object_set_data(object, "qx_id", NumberData(id));
    Connect(toplevel, "delete-event", G_CALLBACK(OnDelete), id);
    Connect(toplevel, "focus-in-event", G_CALLBACK(OnFocusIn), id);
    Connect(toplevel, "focus-out-event", G_CALLBACK(OnFocusOut), id);
    Connect(toplevel, "motion-notify-event", G_CALLBACK(OnMotion), id);

    record->window = window;
    record->accelerators = gtk_accel_group_new();
    gtk_object_set_data(object, "qx_accelerators", record->accelerators);
    GtkWidget* spare = gtk_fixed_new();
    g_object_ref_sink(spare);
    gtk_fixed_set_has_window(GTK_FIXED(spare), TRUE);
    record->spareContainer = GTK_FIXED(spare);
    record->flags = flags;
    record->minimumWidth = 0;
    record->minimumHeight = 0;
    record->maximumWidth = 32767;
    record->maximumHeight = 32767;
    gtk_window_add_accel_group(window, record->accelerators);

    if (flags & StartMaximized)
        SetWindowState(id, StartMaximized);
    else if (flags & StartMinimized)
        SetWindowState(id, StartMinimized);
    record->reserved = -1;

    if (!(flags & Invisible)) {
        if (flags & NoActivate) {
            gtk_window_set_accept_focus(window, FALSE);
            SetIntKey(toplevel, "qx_restore_focus", 1);
        }
        gtk_widget_show(toplevel);
        WaitForFirstConfiguration();
    }

    FlushToolkitEvents();
    if (!(flags & KeepGadgetList)) UseGadgetList(toplevel);

    return number == Any ? id : reinterpret_cast<intptr_t>(window);
}

void QX_CloseWindow(intptr_t number) {
    if (number == -1) {
        FreeAllObjects(QX_Window_Objects);
        return;
    }
    auto* record = static_cast<WindowObject*>(GetObject(QX_Window_Objects, number));
    if (!record) return;
    // The destroy handler releases the record.
    gtk_widget_destroy(GTK_WIDGET(record->window));
    FlushToolkitEvents();
}

namespace {

gboolean OnEscape(GtkAccelGroup*, GObject* toplevel, guint, GdkModifierType, gpointer number) {
    OnDelete(GTK_WIDGET(toplevel), nullptr, number);
    return TRUE;
}

} // namespace

void CloseOnEscape(intptr_t number) {
    auto* record = static_cast<WindowObject*>(GetObject(QX_Window_Objects, number));
    if (!record) return;
    gpointer id = gtk_object_get_data(GTK_OBJECT(record->window), "qx_id");
    gtk_accel_group_connect(record->accelerators, GDK_KEY_Escape, GdkModifierType(0),
                            GtkAccelFlags(0), g_cclosure_new(G_CALLBACK(OnEscape), id, nullptr));
}

void SetWindowBusy(intptr_t number, bool busy) {
    auto* record = static_cast<WindowObject*>(GetObject(QX_Window_Objects, number));
    if (!record) return;
    GtkWidget* toplevel = GTK_WIDGET(record->window);
    // The gadgets' own windows have no cursor of their own, so they show the toplevel's.
    GdkCursor* cursor =
        busy ? gdk_cursor_new_for_display(gtk_widget_get_display(toplevel), GDK_WATCH) : nullptr;
    gdk_window_set_cursor(toplevel->window, cursor);
    if (cursor) gdk_cursor_unref(cursor);
    auto* content = static_cast<GtkWidget*>(gtk_object_get_data(GTK_OBJECT(toplevel), "qx_vbox"));
    if (content) gtk_widget_set_sensitive(content, !busy);
    FlushToolkitEvents();
}

void SetWindowState(intptr_t number, int32_t state) {
    auto* record = static_cast<WindowObject*>(GetObject(QX_Window_Objects, number));
    if (!record) return;
    if (state == StartMaximized) {
        gtk_window_maximize(record->window);
        gtk_window_deiconify(record->window);
    } else if (state == StartMinimized) {
        gtk_window_iconify(record->window);
    } else {
        gtk_window_unmaximize(record->window);
        gtk_window_deiconify(record->window);
    }
}
