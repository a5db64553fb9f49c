// Test helpers for real toolkit widgets on a real (virtual) X server.
#include "tests/support/gui.h"

#include <X11/Xatom.h>
#include <cstdlib>
#include <gdk/gdkx.h>
#include <sys/wait.h>

bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
    const gint64 deadline = g_get_monotonic_time() + gint64{timeoutMs} * 1000;
    for (PumpPending(); !done(); PumpPending()) {
        if (g_get_monotonic_time() >= deadline) return false;
        g_usleep(1000);
    }
    return true;
}

void PumpPending() {
    gdk_flush();
    while (gtk_events_pending())
        gtk_main_iteration_do(FALSE);
}

MotifHints ReadMotifHints(GdkWindow* window) {
    Display* display = GDK_WINDOW_XDISPLAY(window);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, remaining = 0, *values = nullptr;
    gdk_flush();
    XGetWindowProperty(display, GDK_WINDOW_XID(window),
                       XInternAtom(display, "_MOTIF_WM_HINTS", False), 0, 5, False, AnyPropertyType,
                       &type, &format, &count, &remaining,
                       reinterpret_cast<unsigned char**>(&values));
    MotifHints hints;
    if (values && count >= 3) hints = {true, values[0], values[1], values[2]};
    if (values) XFree(values);
    return hints;
}

std::vector<WindowIcon> ReadWindowIcons(unsigned long xid) {
    std::vector<WindowIcon> icons;
    Display* display = XOpenDisplay(nullptr);
    if (!display) return icons;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, remaining = 0, *values = nullptr;
    XGetWindowProperty(display, xid, XInternAtom(display, "_NET_WM_ICON", False), 0, 1 << 20, False,
                       XA_CARDINAL, &type, &format, &count, &remaining,
                       reinterpret_cast<unsigned char**>(&values));
    // Width, height, then width x height pixels, for each icon in turn.
    for (unsigned long at = 0; values && at + 2 <= count;) {
        WindowIcon icon{values[at], values[at + 1], {}};
        at += 2;
        if (icon.width * icon.height > count - at) break;
        // Xlib hands 32-bit items over as longs, sign-extended.
        for (unsigned long i = 0; i < icon.width * icon.height; ++i)
            icon.pixels.push_back(values[at + i] & 0xFFFFFFFFul);
        at += icon.width * icon.height;
        icons.push_back(std::move(icon));
    }
    if (values) XFree(values);
    XCloseDisplay(display);
    return icons;
}

bool PressKeys(const std::string& keys, const std::string& display) {
    const std::string prefix = display.empty() ? "" : "DISPLAY=" + display + " ";
    return RunCommand(prefix + "xdotool key --delay 80 " + keys) == 0;
}

void SendDeleteRequest(GdkWindow* window) {
    gdk_flush(); // the window must exist on the server before another connection names it
    SendDeleteRequestToXid(GDK_WINDOW_XID(window));
}

bool SendDeleteRequestToXid(unsigned long xid) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    XEvent event{};
    event.xclient = {
        ClientMessage, 0, True, display, xid, XInternAtom(display, "WM_PROTOCOLS", False), 32, {}};
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    XSendEvent(display, xid, False, NoEventMask, &event);
    XCloseDisplay(display);
    return true;
}

int RunCommand(const std::string& command) {
    gdk_flush();
    int status = std::system(command.c_str());
    return status == -1 ? -1 : WEXITSTATUS(status);
}

bool PointerMove(int x, int y) {
    // A connection of our own (end-to-end tests have no toolkit); once synced, the pointer is
    // there.
    static Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    XWarpPointer(display, None, DefaultRootWindow(display), 0, 0, 0, 0, x, y);
    XSync(display, False);
    return true;
}

bool PointerClick(int button, int repeat) {
    return RunCommand("xdotool click --repeat " + std::to_string(repeat) + " --delay 50 " +
                      std::to_string(button)) == 0;
}

bool PointerDown(int button) {
    return RunCommand("xdotool mousedown " + std::to_string(button)) == 0;
}

bool PointerUp(int button) {
    return RunCommand("xdotool mouseup " + std::to_string(button)) == 0;
}

void WidgetRootPosition(GtkWidget* widget, int x, int y, int* rootX, int* rootY) {
    gdk_window_get_origin(widget->window, rootX, rootY);
    // A widget without a window of its own is placed inside its parent's window.
    bool inParent = !gtk_widget_get_has_window(widget);
    *rootX += x + (inParent ? widget->allocation.x : 0);
    *rootY += y + (inParent ? widget->allocation.y : 0);
}

bool ClickWidget(GtkWidget* widget, int button, int repeat) {
    int x = 0, y = 0;
    WidgetRootPosition(widget, widget->allocation.width / 2, widget->allocation.height / 2, &x, &y);
    return PointerMove(x, y) && PointerClick(button, repeat);
}
