// The patcher: what it knows about its target, and the pieces the entry point runs.
#pragma once

#include <cstdint>

// The target is "Quellmire.exe" in the current working directory, recognised by its size.
inline constexpr const char16_t* kTargetName = u"Quellmire.exe";
inline constexpr int64_t kTargetSize = 1372160;

// Start-up and shutdown of the runtime libraries, in their fixed orders.
void StartRuntime();
void EndRuntime();

// The target check and whatever follows it (a warning, or the main window and its loop).
void RunPatcher();
