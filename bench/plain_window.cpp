// The start-up benchmark's baseline: the patcher's main window built with direct toolkit calls,
// the same window, controls and pictures (decoded by gdk-pixbuf from the same embedded PNG data),
// and nothing else. An argument of half steps (4: twice the size) builds it at that scale, every
// place and size multiplied, the pictures from the art drawn at twice the size, as the patcher
// does on a desktop that asks for it.
#include "assets/assets.h"

#include <algorithm>
#include <cstdlib>
#include <gtk/gtk.h>
#include <initializer_list>

namespace {

int halves = 2; // the scale in half steps

int Scaled(int length) {
    return (length * halves + 1) / 2;
}

GtkWidget* Picture(const unsigned char* png, size_t size, int width, int height) {
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type("png", nullptr);
    gdk_pixbuf_loader_write(loader, png, size, nullptr);
    gdk_pixbuf_loader_close(loader, nullptr);
    GdkPixbuf* picture = gdk_pixbuf_loader_get_pixbuf(loader);
    GdkPixbuf* scaled = gdk_pixbuf_get_width(picture) == width
                            ? GDK_PIXBUF(g_object_ref(picture))
                            : gdk_pixbuf_scale_simple(picture, width, height, GDK_INTERP_BILINEAR);
    GtkWidget* image = gtk_image_new_from_pixbuf(scaled);
    g_object_unref(scaled);
    g_object_unref(loader);
    return image;
}

void Put(GtkWidget* fixed, GtkWidget* widget, int x, int y, int width, int height) {
    gtk_widget_set_size_request(widget, Scaled(width), Scaled(height));
    gtk_fixed_put(GTK_FIXED(fixed), widget, Scaled(x), Scaled(y));
}

} // namespace

int main(int argc, char** argv) {
    gtk_init(&argc, &argv);
    if (argc > 1) halves = std::max(2, std::atoi(argv[1]));
    const bool large = halves > 2;
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), "Widescreen. Patch for QuellMire 1.05");
    gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
    gtk_widget_set_size_request(window, Scaled(380), Scaled(220));
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
    GtkWidget* archer =
        large ? Picture(monster_archer_2x_png, monster_archer_2x_png_size, Scaled(130), Scaled(130))
              : Picture(monster_archer_png, monster_archer_png_size, 130, 130);
    Put(fixed, archer, 10, 10, 130, 130);
    GtkWidget* adventurers =
        large ? Picture(adventurers_2x_png, adventurers_2x_png_size, Scaled(130), Scaled(91))
              : Picture(adventurers_png, adventurers_png_size, 130, 91);
    Put(fixed, adventurers, 240, 40, 130, 91);

    gtk_widget_show_all(window);
    gtk_main();
    return 0;
}
