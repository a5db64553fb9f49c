// A toolkit module for end-to-end tests: loaded into the real patcher through GTK_MODULES, it
// writes a description of every toplevel window and its widgets to the file named by
// QX_INSPECT_FILE after the toolkit has handled any event, so a test can read the running
// program from outside. It adds no activity of its own while the program is idle: a periodic
// timer would keep the program's waits from ever seeing a quiet toolkit.
#include <cstdio>
#include <cstdlib>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <string>

namespace {

std::string Quote(const char* text) {
    std::string out = "\"";
    for (const char* p = text ? text : ""; *p; ++p) {
        if (*p == '"' || *p == '\\') out += '\\';
        if (*p == '\n')
            out += "\\n";
        else
            out += *p;
    }
    return out + "\"";
}

void Describe(GtkWidget* widget, std::string& out);

void DescribeChild(GtkWidget* child, gpointer out) {
    Describe(child, *static_cast<std::string*>(out));
}

void Describe(GtkWidget* widget, std::string& out) {
    int rootX = 0, rootY = 0;
    if (widget->window) {
        gdk_window_get_origin(widget->window, &rootX, &rootY);
        if (!gtk_widget_get_has_window(widget)) {
            rootX += widget->allocation.x;
            rootY += widget->allocation.y;
        }
    }
    out += "widget type=" + std::string(G_OBJECT_TYPE_NAME(widget));
    out += " x=" + std::to_string(widget->allocation.x);
    out += " y=" + std::to_string(widget->allocation.y);
    out += " w=" + std::to_string(widget->allocation.width);
    out += " h=" + std::to_string(widget->allocation.height);
    out += " rootx=" + std::to_string(rootX) + " rooty=" + std::to_string(rootY);
    out += " visible=" + std::to_string(GTK_WIDGET_VISIBLE(widget) ? 1 : 0);
    if (GTK_IS_LABEL(widget)) out += " text=" + Quote(gtk_label_get_text(GTK_LABEL(widget)));
    if (GTK_IS_TOGGLE_BUTTON(widget)) {
        out += " active=" +
               std::to_string(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(widget)) ? 1 : 0);
        out +=
            " inconsistent=" +
            std::to_string(gtk_toggle_button_get_inconsistent(GTK_TOGGLE_BUTTON(widget)) ? 1 : 0);
    }
    if (GTK_IS_IMAGE(widget)) {
        GdkPixbuf* pixbuf = gtk_image_get_storage_type(GTK_IMAGE(widget)) == GTK_IMAGE_PIXBUF
                                ? gtk_image_get_pixbuf(GTK_IMAGE(widget))
                                : nullptr;
        out +=
            " pixbuf=" + std::string(pixbuf ? std::to_string(gdk_pixbuf_get_width(pixbuf)) + "x" +
                                                  std::to_string(gdk_pixbuf_get_height(pixbuf))
                                            : "none");
    }
    out += "\n";
    if (GTK_IS_CONTAINER(widget)) gtk_container_forall(GTK_CONTAINER(widget), DescribeChild, &out);
}

guint pendingWrite = 0;

gboolean WriteDescription(gpointer) {
    pendingWrite = 0;
    const char* path = std::getenv("QX_INSPECT_FILE");
    if (!path) return FALSE;
    std::string out;
    GList* toplevels = gtk_window_list_toplevels();
    for (GList* item = toplevels; item; item = item->next) {
        auto* window = GTK_WINDOW(item->data);
        GtkWidget* widget = GTK_WIDGET(window);
        if (!widget->window || !GTK_WIDGET_VISIBLE(widget)) continue;
        int x = 0, y = 0, width = 0, height = 0;
        gdk_window_get_origin(widget->window, &x, &y);
        gdk_drawable_get_size(widget->window, &width, &height);
        out += "window title=" + Quote(gtk_window_get_title(window));
        out += " x=" + std::to_string(x) + " y=" + std::to_string(y);
        out += " w=" + std::to_string(width) + " h=" + std::to_string(height);
        out += " resizable=" + std::to_string(gtk_window_get_resizable(window) ? 1 : 0);
        out += " xid=" + std::to_string(GDK_WINDOW_XID(widget->window));
        out += "\n";
        Describe(widget, out);
    }
    g_list_free(toplevels);
    std::string temporary = std::string(path) + ".tmp";
    if (FILE* file = std::fopen(temporary.c_str(), "w")) {
        std::fwrite(out.data(), 1, out.size(), file);
        std::fclose(file);
        std::rename(temporary.c_str(), path);
    }
    return FALSE;
}

void HandleEvent(GdkEvent* event, gpointer) {
    gtk_main_do_event(event);
    if (!pendingWrite) pendingWrite = g_timeout_add(20, WriteDescription, nullptr);
}

} // namespace

extern "C" G_MODULE_EXPORT void gtk_module_init(gint*, gchar***) {
    gdk_event_handler_set(HandleEvent, nullptr, nullptr);
}
