// The file chooser of the launcher: folders and files named Quellmire.exe in any case, the game's
// first copy found already selected.
#include "launcher/launcher.h"

#include <gtk/gtk.h>

namespace {

gboolean HasGameName(const GtkFileFilterInfo* info, gpointer) {
    return info->display_name && g_ascii_strcasecmp(info->display_name, "Quellmire.exe") == 0;
}

} // namespace

std::string ChooseGame(const std::vector<std::string>& copies, const std::string& home) {
    GtkWidget* chooser = gtk_file_chooser_dialog_new(
        "Choose Quellmire.exe", nullptr, GTK_FILE_CHOOSER_ACTION_OPEN, GTK_STOCK_CANCEL,
        GTK_RESPONSE_CANCEL, GTK_STOCK_OPEN, GTK_RESPONSE_ACCEPT, nullptr);
    gtk_dialog_set_default_response(GTK_DIALOG(chooser), GTK_RESPONSE_ACCEPT);
    GtkFileChooser* files = GTK_FILE_CHOOSER(chooser);
    gtk_file_chooser_set_local_only(files, TRUE);
    GtkFileFilter* filter = gtk_file_filter_new();
    gtk_file_filter_set_name(filter, "Quellmire.exe");
    gtk_file_filter_add_custom(filter, GTK_FILE_FILTER_DISPLAY_NAME, HasGameName, nullptr, nullptr);
    gtk_file_chooser_set_filter(files, filter);

    if (copies.empty()) {
        gtk_file_chooser_set_current_folder(files, home.c_str());
    } else {
        gtk_file_chooser_set_filename(files, copies.front().c_str());
        for (size_t i = 1; i < copies.size(); ++i) {
            gchar* folder = g_path_get_dirname(copies[i].c_str());
            gtk_file_chooser_add_shortcut_folder(files, folder, nullptr);
            g_free(folder);
        }
    }

    std::string chosen;
    if (gtk_dialog_run(GTK_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
        if (gchar* name = gtk_file_chooser_get_filename(files)) {
            chosen = name;
            g_free(name);
        }
    }
    gtk_widget_destroy(chooser);
    while (gtk_events_pending())
        gtk_main_iteration_do(FALSE);
    return chosen;
}
