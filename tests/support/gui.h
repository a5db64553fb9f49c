// Test helpers for real toolkit widgets on a real (virtual) X server.
#pragma once

#include <functional>
#include <gtk/gtk.h>
#include <string>
#include <vector>

// Runs the toolkit's main loop until `done` holds or `timeoutMs` has passed; true when it held.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 5000);
void PumpPending();

// The _MOTIF_WM_HINTS that the toolkit put on a window, read back from the X server.
struct MotifHints {
    bool present = false;
    unsigned long flags = 0, functions = 0, decorations = 0;
};
MotifHints ReadMotifHints(GdkWindow* window);

// WM_DELETE_WINDOW as a window manager sends it, to a window of this or of another process
// (false when no display connection can be opened).
void SendDeleteRequest(GdkWindow* window);
bool SendDeleteRequestToXid(unsigned long xid);

// The _NET_WM_ICON of a window of any process, read from the X server: each icon's size and its
// pixels as ARGB words.
struct WindowIcon {
    unsigned long width = 0, height = 0;
    std::vector<unsigned long> pixels;
};
std::vector<WindowIcon> ReadWindowIcons(unsigned long xid);

// Real key presses through xdotool ("Tab space"), on `display` or the test's own; they go to the
// window with the input focus, or without a window manager to the one under the pointer.
bool PressKeys(const std::string& keys, const std::string& display = "");

// Real pointer input in root-window coordinates (buttons through xdotool); false on failure.
bool PointerMove(int x, int y);
bool PointerClick(int button, int repeat = 1);
bool PointerDown(int button);
bool PointerUp(int button);
// The root position of a point inside a realised widget's allocation; a click on its centre.
void WidgetRootPosition(GtkWidget* widget, int x, int y, int* rootX, int* rootY);
bool ClickWidget(GtkWidget* widget, int button = 1, int repeat = 1);

int RunCommand(const std::string& command); // a shell command's exit status
