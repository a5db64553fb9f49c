// Loaded into the real patcher through GTK_MODULES: after toolkit events it describes every shown
// toplevel and its widgets in QX_INSPECT_FILE, one "type rootx rooty width height state xid
// textwidth textx text" line each (textwidth and textx: the width and root x of a label's text as
// laid out, else 0), a toplevel with a cursor of its own followed by a "GdkCursor" line whose
// text is the cursor's kind ("watch"); after a file chooser, lines "KIND 0 0 0 0 0 0 0 0 path"
// with the file it has selected (GtkFileChooserSelection), its folder (...Folder) and each
// shortcut (...Shortcut); after a list, a line "GtkTreeViewRow 0 0 0 0 0 0 0 0 text" for each
// row it shows. With QX_TICK_MS it also keeps a periodic toolkit source that does nothing, as
// some modules do.
#include <cstdio>
#include <cstdlib>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <string>

namespace {

void Describe(GtkWidget* widget, gpointer out) {
    int x = 0, y = 0; // a widget without a window of its own lies in its parent's
    if (widget->window) gdk_window_get_origin(widget->window, &x, &y);
    bool inParent = !gtk_widget_get_has_window(widget);
    // A button is named by its label, so that it is found before the label inside it.
    GtkWidget* label = GTK_IS_BUTTON(widget) ? gtk_bin_get_child(GTK_BIN(widget)) : widget;
    std::string text = label && GTK_IS_LABEL(label) ? gtk_label_get_text(GTK_LABEL(label)) : "";
    if (GTK_IS_IMAGE(widget) && gtk_image_get_storage_type(GTK_IMAGE(widget)) == GTK_IMAGE_PIXBUF) {
        GdkPixbuf* p = gtk_image_get_pixbuf(GTK_IMAGE(widget));
        text = std::to_string(gdk_pixbuf_get_width(p)) + "x" +
               std::to_string(gdk_pixbuf_get_height(p));
    }
    int state =
        GTK_IS_TOGGLE_BUTTON(widget) && gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(widget));
    unsigned long xid = 0;
    if (GTK_IS_WINDOW(widget) && gtk_window_get_title(GTK_WINDOW(widget))) {
        text = gtk_window_get_title(GTK_WINDOW(widget));
        state = gtk_window_get_resizable(GTK_WINDOW(widget));
        xid = GDK_WINDOW_XID(widget->window);
    }
    int textWidth = 0, textX = 0;
    if (GTK_IS_LABEL(widget) && widget->window) {
        pango_layout_get_pixel_size(gtk_label_get_layout(GTK_LABEL(widget)), &textWidth, nullptr);
        gtk_label_get_layout_offsets(GTK_LABEL(widget), &textX, nullptr);
        textX += x;
    }
    char numbers[128];
    std::snprintf(numbers, sizeof numbers, " %d %d %d %d %d %lu %d %d ",
                  x + (inParent ? widget->allocation.x : 0),
                  y + (inParent ? widget->allocation.y : 0), widget->allocation.width,
                  widget->allocation.height, state, xid, textWidth, textX);
    *static_cast<std::string*>(out) += G_OBJECT_TYPE_NAME(widget) + (numbers + text) + "\n";
    // A toplevel's cursor follows it as an item of its own, named by the cursor's kind.
    if (GdkCursor* cursor = GTK_IS_WINDOW(widget) && widget->window
                                ? gdk_window_get_cursor(widget->window)
                                : nullptr) {
        auto* kinds = static_cast<GEnumClass*>(g_type_class_ref(GDK_TYPE_CURSOR_TYPE));
        GEnumValue* kind = g_enum_get_value(kinds, gdk_cursor_get_cursor_type(cursor));
        *static_cast<std::string*>(out) +=
            std::string("GdkCursor 0 0 0 0 0 0 0 0 ") + (kind ? kind->value_nick : "?") + "\n";
        g_type_class_unref(kinds);
    }
    // What a file chooser shows: the file it has selected, its folder and its shortcut folders.
    if (GTK_IS_FILE_CHOOSER_DIALOG(widget)) {
        GtkFileChooser* chooser = GTK_FILE_CHOOSER(widget);
        auto line = [out](const char* kind, gchar* path) {
            if (path)
                *static_cast<std::string*>(out) +=
                    kind + (" 0 0 0 0 0 0 0 0 " + std::string(path)) + "\n";
            g_free(path);
        };
        line("GtkFileChooserSelection", gtk_file_chooser_get_filename(chooser));
        line("GtkFileChooserFolder", gtk_file_chooser_get_current_folder(chooser));
        GSList* shortcuts = gtk_file_chooser_list_shortcut_folders(chooser);
        for (GSList* item = shortcuts; item; item = item->next)
            line("GtkFileChooserShortcut", static_cast<gchar*>(item->data));
        g_slist_free(shortcuts);
    }
    // The rows a list shows, by their first text column.
    if (GTK_IS_TREE_VIEW(widget) && gtk_tree_view_get_model(GTK_TREE_VIEW(widget))) {
        GtkTreeModel* model = gtk_tree_view_get_model(GTK_TREE_VIEW(widget));
        int column = 0;
        while (column < gtk_tree_model_get_n_columns(model) &&
               gtk_tree_model_get_column_type(model, column) != G_TYPE_STRING)
            ++column;
        GtkTreeIter row;
        for (bool more = column < gtk_tree_model_get_n_columns(model) &&
                         gtk_tree_model_get_iter_first(model, &row);
             more; more = gtk_tree_model_iter_next(model, &row)) {
            gchar* shown = nullptr;
            gtk_tree_model_get(model, &row, column, &shown, -1);
            if (shown)
                *static_cast<std::string*>(out) +=
                    "GtkTreeViewRow 0 0 0 0 0 0 0 0 " + std::string(shown) + "\n";
            g_free(shown);
        }
    }
    if (GTK_IS_CONTAINER(widget)) gtk_container_forall(GTK_CONTAINER(widget), Describe, out);
}

guint pendingWrite = 0;

gboolean WriteDescription(gpointer) {
    pendingWrite = 0;
    std::string out;
    GList* toplevels = gtk_window_list_toplevels();
    for (GList* item = toplevels; item; item = item->next)
        if (GTK_WIDGET_MAPPED(item->data)) Describe(GTK_WIDGET(item->data), &out);
    g_list_free(toplevels);
    // Replaced at once, so that a reader never sees half a description.
    g_file_set_contents(std::getenv("QX_INSPECT_FILE"), out.data(), gssize(out.size()), nullptr);
    return FALSE;
}

void HandleEvent(GdkEvent* event, gpointer) {
    gtk_main_do_event(event);
    // Below the toolkit's resizing and redrawing, so that no widget is described before it has
    // its place.
    if (!pendingWrite)
        pendingWrite = g_timeout_add_full(G_PRIORITY_LOW, 20, WriteDescription, nullptr, nullptr);
}

gboolean Tick(gpointer) {
    return TRUE;
}

} // namespace

extern "C" G_MODULE_EXPORT void gtk_module_init(gint*, gchar***) {
    if (std::getenv("QX_INSPECT_FILE")) gdk_event_handler_set(HandleEvent, nullptr, nullptr);
    if (const char* tick = std::getenv("QX_TICK_MS")) g_timeout_add(std::atoi(tick), Tick, nullptr);
}
