// The patcher: what it knows about its target, and the pieces the entry point runs.
#pragma once

#include <cstdint>
#include <initializer_list>

// The target is "Quellmire.exe" in the current working directory, recognised by its size.
inline constexpr const char16_t* kTargetName = u"Quellmire.exe";
inline constexpr int64_t kTargetSize = 1372160;

// Start-up and shutdown of the runtime libraries, in their fixed orders.
void StartRuntime();
void EndRuntime();

// The target check and whatever follows it (a warning, or the main window and its loop).
void RunPatcher();

// Builds the main window and runs its event loop until a patch, "Exit" or a close request.
void RunMainWindow();

// Gives the labels of these gadgets (the first one's font shown) one smaller size of their font
// when any of them is too wide for its gadget: the largest size at which all fit whole.
void FitLabels(std::initializer_list<intptr_t> gadgets);

// The two pictures of the main window, caught as images and shown in image gadgets.
void ShowPictures();
