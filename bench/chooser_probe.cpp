// Loaded through GTK_MODULES into the launcher and into plain_chooser: once a file chooser's
// window has been mapped by the X server and shows a file selected, writes "ready NS PATH" to the
// descriptor named by QX_PROBE_FD (monotonic nanoseconds; PATH the file selected). The selection
// is looked at every millisecond from the mapping on, as the chooser loads its folder by itself.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <gtk/gtk.h>
#include <string>
#include <unistd.h>

namespace {

int probeFd = -1;

gboolean CheckSelection(gpointer chooser) {
    gchar* selected = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser));
    if (!selected) return TRUE;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const std::string line = "ready " +
                             std::to_string(int64_t{now.tv_sec} * 1000000000 + now.tv_nsec) + " " +
                             selected + "\n";
    g_free(selected);
    if (write(probeFd, line.data(), line.size()) != ssize_t(line.size())) probeFd = -1;
    return FALSE;
}

gboolean OnMapEvent(GSignalInvocationHint*, guint, const GValue* values, gpointer) {
    auto* widget = static_cast<GtkWidget*>(g_value_get_object(&values[0]));
    if (probeFd < 0 || !GTK_IS_FILE_CHOOSER_DIALOG(widget)) return TRUE;
    if (CheckSelection(widget)) g_timeout_add(1, CheckSelection, widget);
    return FALSE; // once is enough
}

} // namespace

extern "C" G_MODULE_EXPORT void gtk_module_init(gint*, gchar***) {
    const char* fd = std::getenv("QX_PROBE_FD");
    if (!fd) return;
    probeFd = std::atoi(fd);
    g_type_class_ref(GTK_TYPE_WIDGET);
    g_signal_add_emission_hook(g_signal_lookup("map-event", GTK_TYPE_WIDGET), 0, OnMapEvent,
                               nullptr, nullptr);
}
