// Whole labels in the main window: when the desktop's font is too wide for the room the gadgets
// give their labels, every label takes one smaller size of that font, the largest that fits.
#include "app/app.h"
#include "gadget/gadget.h"

#include <algorithm>
#include <memory>

namespace {

struct FontFree {
    void operator()(PangoFontDescription* font) const { pango_font_description_free(font); }
};
using Font = std::unique_ptr<PangoFontDescription, FontFree>;

// The labels keep the font they were given for as long as they live, to the end of the process.
Font fittedFont;

// Sizes go in half points (half pixels for a font of absolute size): every size measured loads
// the font anew, which is the cost of fitting, so the steps are few and the estimate close.
constexpr int kSteps = 2;

void SetSize(PangoFontDescription* font, int steps, bool absolute) {
    const int size = steps * PANGO_SCALE / kSteps;
    if (absolute)
        pango_font_description_set_absolute_size(font, size);
    else
        pango_font_description_set_size(font, size);
}

bool AllFit(std::initializer_list<intptr_t> gadgets, const PangoFontDescription* font) {
    for (intptr_t gadget : gadgets)
        if (GadgetTextWidth(gadget, font) > GadgetTextRoom(gadget)) return false;
    return true;
}

} // namespace

void FitLabels(std::initializer_list<intptr_t> gadgets) {
    const PangoFontDescription* shown = GetGadgetFont(*gadgets.begin());
    if (!shown) return;
    // The share of its text that the tightest label has room for.
    double scale = 1;
    for (intptr_t gadget : gadgets)
        if (int32_t width = GadgetTextWidth(gadget, shown); width > 0)
            scale = std::min(scale, double(GadgetTextRoom(gadget)) / width);
    if (scale >= 1) return; // a font that fits is left as it is
    Font font(pango_font_description_copy(shown));
    const bool absolute = pango_font_description_get_size_is_absolute(font.get());
    const int shownSteps = pango_font_description_get_size(font.get()) * kSteps / PANGO_SCALE;
    if (shownSteps <= 1) return; // no smaller size to give
    // Widths grow with the size, though not quite in proportion (glyph advances are whole
    // pixels): from the proportional estimate, go up while the next size fits, or down until one
    // does. The smallest size is taken even if it does not fit.
    int steps = std::clamp(int(shownSteps * scale), 1, std::max(shownSteps - 1, 1));
    SetSize(font.get(), steps, absolute);
    if (AllFit(gadgets, font.get())) {
        Font larger(pango_font_description_copy(font.get()));
        for (; steps + 1 < shownSteps; ++steps) {
            SetSize(larger.get(), steps + 1, absolute);
            if (!AllFit(gadgets, larger.get())) break;
        }
    } else {
        while (steps > 1) {
            SetSize(font.get(), --steps, absolute);
            if (AllFit(gadgets, font.get())) break;
        }
    }
    SetSize(font.get(), steps, absolute);
    for (intptr_t gadget : gadgets)
        SetGadgetFont(gadget, font.get());
    fittedFont = std::move(font);
}
