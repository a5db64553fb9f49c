// The patcher: what it knows about its target, and the pieces the entry point runs.
#pragma once

#include <cstdint>
#include <gtk/gtk.h>
#include <initializer_list>

// The target is "Quellmire.exe" in the current working directory, recognised by its size.
inline constexpr const char16_t* kTargetName = u"Quellmire.exe";
inline constexpr int64_t kTargetSize = 1372160;

// Start-up and shutdown of the runtime libraries, in their fixed orders.
void StartRuntime();
void EndRuntime();

// Makes the program's icon the icon of every window opened from then on, warnings included.
void SetProgramIcon();

// Opens /dev/null on whichever of descriptors 0, 1 and 2 is closed, so that no file the program
// opens takes their numbers (and with them whatever the libraries print).
void KeepStandardDescriptors();

// The target check and whatever follows it (a warning, or the main window and its loop); the
// exit status: 1 when a patch failed, else 0.
int RunPatcher();

// Builds the main window and runs its event loop until a patch, "Exit" or a close request;
// returns the exit status.
int RunMainWindow();

struct PatchPlan;
enum class PatchOutcome {
    Patched,   // every byte written, durable and read back
    Refused,   // nothing written: the target is not the original, or is busy; the player was told
    Failed,    // the player was told that the writes failed, and whether the file is as it was
    Cancelled, // nothing written: the player closed the window while the press waited
};
// Writes the plan into the target open as file number 0, as one unit: on the open file only when
// it is still a regular file of the target's size, under an exclusive lock where the file system
// has one, with termination signals held, every write checked, synced and read back, and the old
// bytes put back on failure. While it waits for another program's lock, `window` is kept alive
// and shown busy, and a close request cancels. File 0 is closed afterwards unless the patch was
// refused or cancelled.
PatchOutcome PatchTarget(const PatchPlan& plan, intptr_t window);
// Tells the player that the target cannot be opened for writing, and why (an errno).
void WarnCannotOpen(int error);

// How much larger than its normal size the main window is shown, in half steps: 2 is the normal
// size, 3 one and a half times it, 4 twice it.
struct Scale {
    int32_t halves = 2;
    // A place or size of the normal window at this scale, rounded to whole pixels.
    int32_t operator()(int32_t length) const { return (length * halves + 1) / 2; }
};
// The scale the desktop asks for: its font's size in pixels over that of the toolkit's own default
// (Sans 10 at 96 dpi), rounded down to a half step (a size a hair short of a step counts as that
// step) and at least 1, lowered by half steps until the window fits the monitor at (x, y).
Scale WindowScale(int32_t x, int32_t y);

// Gives the labels of these gadgets (the first one's font shown) one smaller size of their font
// when any of them is too wide for its gadget: the largest size at which all fit whole.
void FitLabels(std::initializer_list<intptr_t> gadgets);

// The two pictures of the main window, caught as images and shown in image gadgets at the
// window's scale; on a theme whose background is darker than its text, drawn in the text colour.
void ShowPictures(Scale scale, GtkWidget* window);
