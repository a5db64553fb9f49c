// The handlers that turn toolkit signals on gadgets into Gadget events: clicks, image gadget
// mouse buttons and drag starts.
#include "gadget/frame.h"
#include "window/window.h"

namespace {

// The press on an image gadget's event box that waits for its release: the event type that the
// release may post, plus 1 (0 for none).
constexpr const char* kPendingPress = "qx_gadget_eventtype";

intptr_t PendingPress(GtkWidget* widget) {
    return reinterpret_cast<intptr_t>(gtk_object_get_data(GTK_OBJECT(widget), kPendingPress));
}

void SetPendingPress(GtkWidget* widget, intptr_t value) {
    gtk_object_set_data(GTK_OBJECT(widget), kPendingPress, reinterpret_cast<gpointer>(value));
}

void PressStored(GtkWidget* widget, guint button, intptr_t left, intptr_t right) {
    if (button == 1) SetPendingPress(widget, left);
    if (button == 3) SetPendingPress(widget, right);
}

void GadgetSize(intptr_t number, int* width, int* height) {
    *width = *height = 0;
    auto* gadget = static_cast<GadgetRecord*>(GetObject(QX_Gadget_Objects, number));
    if (!gadget) return;
    GtkRequisition requisition{};
    gtk_widget_size_request(gadget->outer ? gadget->outer : gadget->widget, &requisition);
    *width = requisition.width;
    *height = requisition.height;
}

gboolean OnDragPress(GtkWidget*, GdkEventButton* event, gpointer data) {
    auto* tracker = static_cast<DragTracker*>(data);
    if (event->button == 1) {
        tracker->armed = 1;
        tracker->started = 0;
        tracker->x = static_cast<int32_t>(event->x);
        tracker->y = static_cast<int32_t>(event->y);
    }
    return FALSE;
}

gboolean OnDragRelease(GtkWidget*, GdkEventButton*, gpointer data) {
    static_cast<DragTracker*>(data)->armed = 0;
    return FALSE;
}

gboolean OnDragMotion(GtkWidget* widget, GdkEventMotion* event, gpointer data) {
    auto* tracker = static_cast<DragTracker*>(data);
    constexpr guint kButtons = GDK_BUTTON1_MASK | GDK_BUTTON2_MASK | GDK_BUTTON3_MASK |
                               GDK_BUTTON4_MASK | GDK_BUTTON5_MASK;
    if (tracker->armed && !tracker->started && (event->state & kButtons) == GDK_BUTTON1_MASK &&
        gtk_drag_check_threshold(widget, tracker->x, tracker->y, static_cast<gint>(event->x),
                                 static_cast<gint>(event->y))) {
        PostEvent(Gadget, tracker->number, WidgetWindowNumber(widget), EventTypeDragStart);
        tracker->started = 1;
    }
    return FALSE;
}

void FreeTracker(gpointer tracker, GClosure*) {
    g_free(tracker);
}

} // namespace

intptr_t WidgetWindowNumber(GtkWidget* widget) {
    GtkWidget* toplevel = widget ? gtk_widget_get_toplevel(widget) : nullptr;
    if (!toplevel || !GTK_WIDGET_TOPLEVEL(toplevel)) return -1;
    return reinterpret_cast<intptr_t>(gtk_object_get_data(GTK_OBJECT(toplevel), "qx_id"));
}

void PostGadgetEventUnlessClosing(intptr_t number, GtkWidget* widget, intptr_t type) {
    if (PeekEventKind() == CloseWindow) return;
    PostEvent(Gadget, number, WidgetWindowNumber(widget), type);
}

void QX_Gadget_EventHandler(GtkWidget* widget, gpointer number) {
    PostGadgetEventUnlessClosing(reinterpret_cast<intptr_t>(number), widget, EventTypeLeftClick);
}

void PostWidgetEvent(GtkWidget* widget, intptr_t type) {
    auto id = reinterpret_cast<intptr_t>(gtk_object_get_data(GTK_OBJECT(widget), "qx_id"));
    PostGadgetEventUnlessClosing(id - 1, widget, type);
}

gboolean QX_Gadget_MouseHandler(GtkWidget* widget, GdkEventButton* event, gpointer data) {
    if (!event) return FALSE;
    auto number = reinterpret_cast<intptr_t>(data);
    switch (event->type) {
    case GDK_BUTTON_PRESS:
        PressStored(widget, event->button, EventTypeLeftClick + 1, EventTypeRightClick + 1);
        break;
    case GDK_2BUTTON_PRESS:
        PressStored(widget, event->button, EventTypeLeftDoubleClick + 1,
                    EventTypeRightDoubleClick + 1);
        break;
    case GDK_BUTTON_RELEASE: {
        intptr_t type = PendingPress(widget) - 1;
        int x = 0, y = 0, width = 0, height = 0;
        gtk_widget_get_pointer(widget, &x, &y);
        GadgetSize(number, &width, &height);
        bool inside = x >= 0 && x < width && y >= 0 && y < height;
        bool left =
            event->button == 1 && (type == EventTypeLeftClick || type == EventTypeLeftDoubleClick);
        bool right = event->button == 3 &&
                     (type == EventTypeRightClick || type == EventTypeRightDoubleClick);
        if (inside && (left || right)) PostEvent(Gadget, number, WidgetWindowNumber(widget), type);
        SetPendingPress(widget, 0);
        break;
    }
    default:
        break;
    }
    return FALSE;
}

void InstallDragStartDetector(GtkWidget* widget, intptr_t number) {
    auto* tracker = static_cast<DragTracker*>(g_try_malloc0(sizeof(DragTracker)));
    if (!tracker) return;
    tracker->number = number;
    gtk_widget_add_events(widget, gtk_widget_get_events(widget) | GDK_BUTTON_MOTION_MASK |
                                      GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK);
    g_signal_connect_data(widget, "button-press-event", G_CALLBACK(OnDragPress), tracker, nullptr,
                          GConnectFlags(0));
    g_signal_connect_data(widget, "button-release-event", G_CALLBACK(OnDragRelease), tracker,
                          nullptr, GConnectFlags(0));
    g_signal_connect_data(widget, "motion-notify-event", G_CALLBACK(OnDragMotion), tracker,
                          FreeTracker, GConnectFlags(0));
}
