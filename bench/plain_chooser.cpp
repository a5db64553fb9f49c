// The chooser benchmark's baseline: the launcher's file chooser (same title, buttons and filter)
// opened by a plain toolkit program on the file given, with no search before it.
#include <gtk/gtk.h>

namespace {

gboolean HasGameName(const GtkFileFilterInfo* info, gpointer) {
    return info->display_name && g_ascii_strcasecmp(info->display_name, "Quellmire.exe") == 0;
}

} // namespace

int main(int argc, char** argv) {
    gtk_init(&argc, &argv);
    GtkWidget* chooser = gtk_file_chooser_dialog_new(
        "Choose Quellmire.exe", nullptr, GTK_FILE_CHOOSER_ACTION_OPEN, GTK_STOCK_CANCEL,
        GTK_RESPONSE_CANCEL, GTK_STOCK_OPEN, GTK_RESPONSE_ACCEPT, nullptr);
    GtkFileFilter* filter = gtk_file_filter_new();
    gtk_file_filter_add_custom(filter, GTK_FILE_FILTER_DISPLAY_NAME, HasGameName, nullptr, nullptr);
    gtk_file_chooser_set_filter(GTK_FILE_CHOOSER(chooser), filter);
    if (argc > 1) gtk_file_chooser_set_filename(GTK_FILE_CHOOSER(chooser), argv[1]);
    gtk_dialog_run(GTK_DIALOG(chooser));
    return 0;
}
