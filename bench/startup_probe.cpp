// Loaded through GTK_MODULES into both programs that the start-up benchmark compares. It writes
// "mark nanoseconds" lines (monotonic clock) to the descriptor named by QX_PROBE_FD as the
// main window passes the steps of its start-up, the last one "usable": the window is mapped and
// every button, option, checkbox, label and picture in it has been drawn since. It only watches
// signals the programs emit anyway, and looks at the window only after a draw.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <gtk/gtk.h>
#include <unistd.h>

namespace {

const char* const kTitle = "Widescreen. Patch for QuellMire 1.05";
int probeFd = -1;
GQuark drawnQuark = 0;
bool usableSeen = false;

void Mark(const char* name) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    char line[64];
    int length = std::snprintf(line, sizeof line, "%s %lld\n", name,
                               static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
    if (write(probeFd, line, static_cast<size_t>(length)) != length) probeFd = -1;
}

// Marks a step the first time it happens.
void MarkOnce(const char* name, bool& seen) {
    if (seen) return;
    seen = true;
    Mark(name);
}

bool IsMainWindow(GtkWidget* widget) {
    if (!GTK_IS_WINDOW(widget)) return false;
    const char* title = gtk_window_get_title(GTK_WINDOW(widget));
    return title && std::strcmp(title, kTitle) == 0;
}

struct Count {
    int buttons = 0, labels = 0, images = 0;
    bool allDrawn = true;
};

void CountDrawn(GtkWidget* widget, gpointer data) {
    auto* count = static_cast<Count*>(data);
    bool counted = GTK_IS_BUTTON(widget) || GTK_IS_LABEL(widget) || GTK_IS_IMAGE(widget);
    count->buttons += GTK_IS_BUTTON(widget);
    count->labels += GTK_IS_LABEL(widget);
    count->images += GTK_IS_IMAGE(widget);
    if (counted && !g_object_get_qdata(G_OBJECT(widget), drawnQuark)) count->allDrawn = false;
    if (GTK_IS_CONTAINER(widget)) gtk_container_forall(GTK_CONTAINER(widget), CountDrawn, data);
}

// Runs once the draw or map that completed the window is over.
gboolean MarkUsable(gpointer) {
    gdk_flush(); // the drawing has reached the X server
    Mark("usable");
    return FALSE;
}

bool windowSeen = false, mappedSeen = false, configuredSeen = false, gadgetSeen = false;
int imagesRealized = 0;

// The window is usable once the X server has mapped it (its map event came) and every control,
// label and picture has been drawn. What a program draws before a window manager maps its window
// is kept by the server: it sends no exposure for it when the window appears.
void CheckUsable(GtkWidget* toplevel) {
    if (usableSeen || !mappedSeen) return;
    Count count;
    CountDrawn(toplevel, &count);
    // Seven buttons (two buttons, four options, a checkbox), their seven labels, two pictures.
    if (count.allDrawn && count.buttons == 7 && count.labels == 7 && count.images == 2) {
        usableSeen = true;
        g_idle_add_full(G_PRIORITY_HIGH, MarkUsable, nullptr, nullptr);
    }
}

gboolean OnExpose(GSignalInvocationHint*, guint, const GValue* values, gpointer) {
    auto* widget = static_cast<GtkWidget*>(g_value_get_object(&values[0]));
    g_object_set_qdata(G_OBJECT(widget), drawnQuark, GINT_TO_POINTER(1));
    GtkWidget* toplevel = gtk_widget_get_toplevel(widget);
    if (IsMainWindow(toplevel)) CheckUsable(toplevel);
    return TRUE;
}

gboolean OnRealize(GSignalInvocationHint*, guint, const GValue* values, gpointer) {
    auto* widget = static_cast<GtkWidget*>(g_value_get_object(&values[0]));
    if (IsMainWindow(widget)) MarkOnce("window", windowSeen);
    if (GTK_IS_RADIO_BUTTON(widget)) MarkOnce("first-gadget", gadgetSeen);
    if (GTK_IS_IMAGE(widget) && ++imagesRealized == 2) Mark("last-picture");
    return TRUE;
}

gboolean OnMapEvent(GSignalInvocationHint*, guint, const GValue* values, gpointer) {
    auto* widget = static_cast<GtkWidget*>(g_value_get_object(&values[0]));
    if (!IsMainWindow(widget)) return TRUE;
    MarkOnce("mapped", mappedSeen);
    CheckUsable(widget);
    return TRUE;
}

gboolean OnConfigure(GSignalInvocationHint*, guint, const GValue* values, gpointer) {
    if (IsMainWindow(static_cast<GtkWidget*>(g_value_get_object(&values[0]))))
        MarkOnce("configured", configuredSeen);
    return TRUE;
}

void Hook(const char* signal, GSignalEmissionHook hook) {
    g_signal_add_emission_hook(g_signal_lookup(signal, GTK_TYPE_WIDGET), 0, hook, nullptr, nullptr);
}

} // namespace

extern "C" G_MODULE_EXPORT void gtk_module_init(gint*, gchar***) {
    const char* fd = std::getenv("QX_PROBE_FD");
    if (!fd) return;
    probeFd = std::atoi(fd);
    drawnQuark = g_quark_from_static_string("qx-probe-drawn");
    Mark("toolkit");
    g_type_class_ref(GTK_TYPE_WIDGET); // its signals exist once the class does, kept for good
    Hook("expose-event", OnExpose);
    Hook("realize", OnRealize);
    Hook("map-event", OnMapEvent);
    Hook("configure-event", OnConfigure);
}
