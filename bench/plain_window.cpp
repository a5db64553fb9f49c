// The start-up benchmark's baseline: the patcher's main window built with direct toolkit calls,
// the same window, controls and pictures (decoded by gdk-pixbuf from the same embedded PNG data),
// and nothing else.
#include "assets/assets.h"

#include <gtk/gtk.h>
#include <initializer_list>

namespace {

GtkWidget* Picture(const unsigned char* png, size_t size) {
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type("png", nullptr);
    gdk_pixbuf_loader_write(loader, png, size, nullptr);
    gdk_pixbuf_loader_close(loader, nullptr);
    GtkWidget* image = gtk_image_new_from_pixbuf(gdk_pixbuf_loader_get_pixbuf(loader));
    g_object_unref(loader);
    return image;
}

void Put(GtkWidget* fixed, GtkWidget* widget, int x, int y, int width, int height) {
    gtk_widget_set_size_request(widget, width, height);
    gtk_fixed_put(GTK_FIXED(fixed), widget, x, y);
}

} // namespace

int main(int argc, char** argv) {
    gtk_init(&argc, &argv);
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), "Widescreen. Patch for QuellMire 1.05");
    gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
    gtk_widget_set_size_request(window, 380, 220);
    gtk_window_move(GTK_WINDOW(window), 0, 0);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    GtkWidget* fixed = gtk_fixed_new();
    gtk_container_add(GTK_CONTAINER(window), fixed);

    GtkWidget* option = nullptr;
    int y = 20;
    for (const char* text : {"1920x1080", "1600x900", "1366x768", "1280x720"}) {
        option = gtk_radio_button_new_with_label_from_widget(
            option ? GTK_RADIO_BUTTON(option) : nullptr, text);
        Put(fixed, option, 145, y, 100, 20);
        y += 30;
    }
    Put(fixed, gtk_check_button_new_with_label("Skip intro videos"), 130, 140, 130, 20);
    Put(fixed, gtk_button_new_with_label("Patch"), 30, 180, 120, 25);
    Put(fixed, gtk_button_new_with_label("Exit"), 230, 180, 120, 25);
    GtkWidget* archer = Picture(monster_archer_png, monster_archer_png_size);
    Put(fixed, archer, 10, 10, 130, 130);
    GtkWidget* adventurers = Picture(adventurers_png, adventurers_png_size);
    Put(fixed, adventurers, 240, 40, 130, 91);

    gtk_widget_show_all(window);
    gtk_main();
    return 0;
}
