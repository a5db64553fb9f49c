// Test helpers for real toolkit widgets on a real (virtual) X server.
#pragma once

#include <cstdint>
#include <functional>
#include <gtk/gtk.h>
#include <string>

// Runs the toolkit's main loop until `done` holds or `timeoutMs` has passed; true when it held.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 5000);
// Runs every pending toolkit event.
void PumpPending();

// The _MOTIF_WM_HINTS that the toolkit put on a window, read back from the X server.
struct MotifHints {
    bool present = false;
    unsigned long flags = 0;
    unsigned long functions = 0;
    unsigned long decorations = 0;
};
MotifHints ReadMotifHints(GdkWindow* window);

// Sends WM_DELETE_WINDOW to a toplevel as a window manager's close request would.
void SendDeleteRequest(GdkWindow* window);
// The same for a window of another process, named by its X id, over a display connection of
// its own. False when the display cannot be opened.
bool SendDeleteRequestToXid(unsigned long xid);

// Real pointer input through xdotool, in root-window coordinates. Returns false when the
// command fails.
bool PointerMove(int x, int y);
bool PointerClick(int button, int repeat = 1);
bool PointerDown(int button);
bool PointerUp(int button);
// Moves to the centre of a realised widget's allocation and clicks.
bool ClickWidget(GtkWidget* widget, int button = 1, int repeat = 1);
// The root-window position of a point inside a realised widget's allocation.
void WidgetRootPosition(GtkWidget* widget, int x, int y, int* rootX, int* rootY);

// Runs a shell command and returns its exit status.
int RunCommand(const std::string& command);
