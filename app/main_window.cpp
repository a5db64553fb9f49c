// The patcher's window: four resolutions, the intro switch, "Patch" and "Exit", and the loop
// that opens the target afresh for every event and patches it when asked.
#include "app/app.h"
#include "app/patch.h"
#include "file/file.h"
#include "gadget/gadget.h"
#include "window/window.h"

#include <cerrno>

namespace {

constexpr intptr_t kMainWindow = 0;
constexpr intptr_t kPatchButton = 1;
constexpr intptr_t kExitButton = 2;
constexpr intptr_t kSkipIntroCheckBox = 7;

// The window as laid out at its normal size; shown at the desktop's scale, every place and size
// multiplied by it.
void BuildMainWindow() {
    const Scale s = WindowScale(0, 0);
    auto* window = reinterpret_cast<GtkWidget*>(OpenWindow(
        kMainWindow, 0, 0, s(380), s(220), u"Widescreen. Patch for QuellMire 1.05", SystemMenu));
    int32_t y = 20;
    for (const Resolution& resolution : kResolutions) {
        OptionGadget(resolution.option, s(145), s(y), s(100), s(20), resolution.text);
        y += 30;
    }
    CheckBoxGadget(kSkipIntroCheckBox, s(130), s(140), s(130), s(20), u"Skip intro videos");
    ButtonGadget(kPatchButton, s(30), s(180), s(120), s(25), u"Patch");
    ButtonGadget(kExitButton, s(230), s(180), s(120), s(25), u"Exit");
    // The labels keep the desktop's font unless it is too wide for their scaled room.
    FitLabels({kResolutions[0].option, kResolutions[1].option, kResolutions[2].option,
               kResolutions[3].option, kSkipIntroCheckBox, kPatchButton, kExitButton});
    ShowPictures(s, window);
    // The keys work at once: the arrows change the resolution, Escape closes.
    SetActiveGadget(kResolutions[0].option);
    CloseOnEscape(kMainWindow);
}

// The choice the window shows: the first option that reads selected, and the intro switch.
PatchPlan ChosenPlan() {
    const Resolution* chosen = nullptr;
    for (const Resolution& resolution : kResolutions) {
        if (GetGadgetState(resolution.option) == 1) {
            chosen = &resolution;
            break;
        }
    }
    return PlanPatch(chosen, GetGadgetState(kSkipIntroCheckBox) == 1);
}

} // namespace

int RunMainWindow() {
    BuildMainWindow();
    for (;;) {
        int32_t kind = WaitWindowEvent();
        // The patcher never creates the target: when it has gone, or cannot be opened for
        // update, the event is handled without any file work, and "Patch" says why.
        bool targetOpen = OpenFile(kPatchFile, kTargetName, NoCreate) != 0;
        int openError = errno;
        if (kind == Gadget) {
            intptr_t gadget = EventGadget();
            // "Exit" ends the program even when the target could not be opened.
            if (gadget == kExitButton) return 0;
            if (gadget == kPatchButton && !targetOpen) WarnCannotOpen(openError);
            if (gadget == kPatchButton && targetOpen) {
                PatchPlan plan = ChosenPlan();
                PatchOutcome outcome = PatchTarget(plan, kMainWindow);
                if (outcome == PatchOutcome::Failed) return 1;
                if (outcome == PatchOutcome::Cancelled) return 0;
                // A refused press leaves the window open, so the player can mend and retry.
                if (outcome == PatchOutcome::Patched && plan.resolution) return 0;
            }
        }
        if (targetOpen) QX_CloseFile(kPatchFile);
        if (kind == CloseWindow) return 0;
    }
}
