// What the patcher knows about its target: where the game keeps its screen width and height,
// the resolutions that can be written there, and the byte that turns the intro videos off.
// Everything is written through file number 0, which the caller has open read/write.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>

// The file number through which the patch is written.
inline constexpr intptr_t kPatchFile = 0;

struct Resolution {
    intptr_t option;      // the option gadget that selects it
    const char16_t* text; // that gadget's text
    uint16_t width;
    uint16_t height;
};

inline constexpr Resolution kResolutions[] = {
    {3, u"1920x1080", 1920, 1080},
    {4, u"1600x900", 1600, 900},
    {5, u"1366x768", 1366, 768},
    {6, u"1280x720", 1280, 720},
};

// Offsets of the 16-bit little-endian values, in the order in which they are written.
inline constexpr int32_t kHeightOffsets[] = {24075, 45970, 46170, 452709};
inline constexpr int32_t kWidthOffsets[] = {24067, 45986, 46180, 452714};

inline constexpr int32_t kSkipIntroOffset = 45404;
inline constexpr uint8_t kSkipIntroValue = 0;

// One press of "Patch" as the bytes it writes, in order: the intro byte when asked, then the
// height at every height offset and the width at every width offset, each value little-endian.
struct PatchWrite {
    int32_t offset;
    uint8_t value;
};
// The most a plan holds: every value's two bytes and the intro byte.
inline constexpr size_t kMaxPatchWrites =
    2 * (std::size(kHeightOffsets) + std::size(kWidthOffsets)) + 1;
struct PatchPlan {
    PatchWrite writes[kMaxPatchWrites];
    int32_t count = 0;
    bool resolution = false; // a resolution is among the writes
};

// The plan for a resolution (null for none, which only a broken radio group gives) and the
// intro switch.
PatchPlan PlanPatch(const Resolution* resolution, bool skipIntro);

// Writes the plan through file number 0: an absolute seek before every single byte, so the seek
// before a byte writes out the one before it.
void WritePlan(const PatchPlan& plan);
