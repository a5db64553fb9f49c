// Test helpers for real toolkit widgets on a real (virtual) X server.
#include "tests/support/gui.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <chrono>
#include <cstdlib>
#include <gdk/gdkx.h>
#include <sys/wait.h>
#include <thread>

bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        while (gtk_events_pending())
            gtk_main_iteration_do(FALSE);
        if (done()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        gdk_flush();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void PumpPending() {
    gdk_flush();
    while (gtk_events_pending())
        gtk_main_iteration_do(FALSE);
}

MotifHints ReadMotifHints(GdkWindow* window) {
    MotifHints hints;
    Display* display = GDK_WINDOW_XDISPLAY(window);
    Atom property = XInternAtom(display, "_MOTIF_WM_HINTS", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    gdk_flush();
    if (XGetWindowProperty(display, GDK_WINDOW_XID(window), property, 0, 5, False, AnyPropertyType,
                           &type, &format, &count, &remaining, &data) == Success &&
        data && count >= 3) {
        auto* values = reinterpret_cast<unsigned long*>(data);
        hints.present = true;
        hints.flags = values[0];
        hints.functions = values[1];
        hints.decorations = values[2];
    }
    if (data) XFree(data);
    return hints;
}

namespace {

void SendDelete(Display* display, Window window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);
}

} // namespace

void SendDeleteRequest(GdkWindow* window) {
    SendDelete(GDK_WINDOW_XDISPLAY(window), GDK_WINDOW_XID(window));
}

bool SendDeleteRequestToXid(unsigned long xid) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    SendDelete(display, static_cast<Window>(xid));
    XCloseDisplay(display);
    return true;
}

int RunCommand(const std::string& command) {
    gdk_flush();
    int status = std::system(command.c_str());
    return status == -1 ? -1 : WEXITSTATUS(status);
}

// Where the pointer is now, through a connection of our own (end-to-end tests have no toolkit).
bool PointerAt(int x, int y) {
    static Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    Window root = DefaultRootWindow(display), child = 0;
    int rootX = 0, rootY = 0, winX = 0, winY = 0;
    unsigned int mask = 0;
    XQueryPointer(display, root, &root, &child, &rootX, &rootY, &winX, &winY, &mask);
    return rootX == x && rootY == y;
}

bool PointerMove(int x, int y) {
    // xdotool's --sync waits for a motion that never comes when the pointer is there already.
    if (PointerAt(x, y)) return true;
    return RunCommand("xdotool mousemove --sync " + std::to_string(x) + " " + std::to_string(y)) ==
           0;
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
    int originX = 0, originY = 0;
    gdk_window_get_origin(widget->window, &originX, &originY);
    // A widget without a window of its own is placed inside its parent's window.
    if (!gtk_widget_get_has_window(widget)) {
        originX += widget->allocation.x;
        originY += widget->allocation.y;
    }
    *rootX = originX + x;
    *rootY = originY + y;
}

bool ClickWidget(GtkWidget* widget, int button, int repeat) {
    int x = 0, y = 0;
    WidgetRootPosition(widget, widget->allocation.width / 2, widget->allocation.height / 2, &x, &y);
    return PointerMove(x, y) && PointerClick(button, repeat);
}
