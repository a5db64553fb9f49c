// The message requester: a small dialog with stock buttons and a toolkit loop of its own.
#include "runtime/runtime.h"
#include "window/window.h"

#include <gtk/gtk.h>

namespace {

int32_t RequesterResult = 0;
int32_t RequesterState = 0; // 1 running, 0 a button was pressed, -1 the dialog was destroyed

struct ButtonRow {
    const char* stock[3];
    int32_t results[3];
    int count;
    int width;
    int focus; // index of the button that takes the focus, -1 for none
};

const ButtonRow kYesNo{{GTK_STOCK_YES, GTK_STOCK_NO}, {RequesterYes, RequesterNo}, 2, 250, 0};
const ButtonRow kYesNoCancel{{GTK_STOCK_YES, GTK_STOCK_NO, GTK_STOCK_CANCEL},
                             {RequesterYes, RequesterNo, RequesterCancel},
                             3,
                             300,
                             -1};
const ButtonRow kOk{{GTK_STOCK_OK}, {RequesterOk}, 1, 100, 0};

const ButtonRow& RowFor(int32_t flags) {
    if (flags & RequesterYesNo) return kYesNo;
    if (flags & RequesterYesNoCancel) return kYesNoCancel;
    return kOk;
}

void OnButtonClicked(GtkWidget*, gpointer result) {
    RequesterResult = static_cast<int32_t>(GPOINTER_TO_INT(result));
    RequesterState = 0;
}

void OnDialogDestroyed(GtkWidget*, gpointer) {
    RequesterState = -1;
}

// A text wider than three quarters of the monitor the dialog opens on is wrapped to that width,
// so that the dialog, all of its text and its buttons stay on the screen whatever the desktop's
// font. A text that fits is left on its line, and the dialog grows to it.
void KeepTextOnMonitor(GtkWidget* dialog, GtkWidget* label) {
    GdkScreen* screen = gtk_widget_get_screen(dialog);
    gint x = 0, y = 0;
    gdk_display_get_pointer(gdk_screen_get_display(screen), nullptr, &x, &y, nullptr);
    GdkRectangle monitor;
    gdk_screen_get_monitor_geometry(screen, gdk_screen_get_monitor_at_point(screen, x, y),
                                    &monitor);
    const gint limit = monitor.width * 3 / 4;
    GtkRequisition natural;
    gtk_widget_size_request(label, &natural);
    if (natural.width <= limit) return;
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_widget_set_size_request(label, limit, -1);
}

} // namespace

intptr_t MessageRequester(const char16_t* title, const char16_t* text, int32_t flags) {
    GtkWidget* dialog = gtk_dialog_new();

    char* utf8 = ToToolkitText(text);
    GtkWidget* label = gtk_label_new(utf8);
    FreeToolkitText(utf8);
    utf8 = ToToolkitText(title);
    gtk_window_set_title(GTK_WINDOW(dialog), utf8);
    FreeToolkitText(utf8);
    gtk_window_set_default_size(GTK_WINDOW(dialog), 300, 50);
    gtk_signal_connect_full(GTK_OBJECT(dialog), "destroy", GTK_SIGNAL_FUNC(OnDialogDestroyed),
                            nullptr, nullptr, nullptr, FALSE, FALSE);

    GtkAccelGroup* group = gtk_accel_group_new();
    const ButtonRow& row = RowFor(flags);
    GtkWidget* focus = nullptr;
    for (int i = 0; i < row.count; ++i) {
        GtkWidget* button = gtk_button_new_from_stock(row.stock[i]);
        gtk_signal_connect_full(GTK_OBJECT(button), "clicked", GTK_SIGNAL_FUNC(OnButtonClicked),
                                nullptr, GINT_TO_POINTER(row.results[i]), nullptr, FALSE, FALSE);
        gtk_container_add(GTK_CONTAINER(GTK_DIALOG(dialog)->action_area), button);
        if (i == row.focus) focus = button;
    }
    gtk_window_set_default_size(GTK_WINDOW(dialog), row.width, 50);
    if (focus) gtk_widget_grab_focus(focus);
    gtk_window_add_accel_group(GTK_WINDOW(dialog), group);

    gtk_misc_set_padding(GTK_MISC(label), 10, 10);
    gtk_container_add(GTK_CONTAINER(GTK_DIALOG(dialog)->vbox), label);
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
    gtk_widget_realize(dialog);
    KeepTextOnMonitor(dialog, label);
    gdk_window_set_decorations(dialog->window,
                               static_cast<GdkWMDecoration>(GDK_DECOR_BORDER | GDK_DECOR_TITLE |
                                                            GDK_DECOR_MENU | GDK_DECOR_MINIMIZE));
    gdk_window_set_functions(dialog->window,
                             static_cast<GdkWMFunction>(GDK_FUNC_MOVE | GDK_FUNC_MINIMIZE));
    gtk_widget_show_all(dialog);

    RequesterState = 1;
    RequesterResult = 0;
    while (RequesterState == 1)
        gtk_main_iteration();
    if (RequesterState == 0) gtk_widget_destroy(dialog);
    while (gtk_events_pending())
        gtk_main_iteration_do(FALSE);
    g_object_unref(group);
    return RequesterResult;
}
