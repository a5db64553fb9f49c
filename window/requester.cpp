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

// A dialog wider than three quarters of the monitor it opens on has its text wrapped to the
// width that leaves it, so that the dialog, every line of its text and its buttons stay on the
// screen whatever the desktop's font. A dialog that fits keeps its text on one line.
void KeepTextOnMonitor(GtkWidget* dialog, GtkWidget* label) {
    GdkScreen* screen = gtk_widget_get_screen(dialog);
    gint x = 0, y = 0;
    gdk_display_get_pointer(gdk_screen_get_display(screen), nullptr, &x, &y, nullptr);
    GdkRectangle monitor;
    gdk_screen_get_monitor_geometry(screen, gdk_screen_get_monitor_at_point(screen, x, y),
                                    &monitor);
    const gint limit = monitor.width * 3 / 4;
    gtk_widget_show(label);
    GtkRequisition dialogSize, labelSize;
    gtk_widget_size_request(dialog, &dialogSize);
    gtk_widget_size_request(label, &labelSize);
    if (dialogSize.width <= limit) return;
    // A wrapped label lays its lines out at the whole width it is given, padding included, so the
    // padding moves to the box around it; the dialog's own margins stay as they are.
    gint xpad = 0, ypad = 0;
    gtk_misc_get_padding(GTK_MISC(label), &xpad, &ypad);
    gtk_misc_set_padding(GTK_MISC(label), 0, ypad);
    GtkContainer* box = GTK_CONTAINER(GTK_DIALOG(dialog)->vbox);
    gtk_container_set_border_width(box, gtk_container_get_border_width(box) + guint(xpad));
    const gint margins = dialogSize.width - labelSize.width + 2 * xpad;
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    // A word longer than a line (a long file name) is broken between its characters.
    gtk_label_set_line_wrap_mode(GTK_LABEL(label), PANGO_WRAP_WORD_CHAR);
    gtk_widget_set_size_request(label, limit - margins, -1);
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
