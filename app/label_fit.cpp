// Whole labels in the main window: when the desktop's font is too wide for the room the gadgets
// give their labels, every label takes one smaller size of that font, the largest that fits.
#include "app/app.h"
#include "gadget/gadget.h"

#include <memory>

namespace {

struct FontFree {
    void operator()(PangoFontDescription* font) const { pango_font_description_free(font); }
};

// The labels keep the font they were given for as long as they live, to the end of the process.
std::unique_ptr<PangoFontDescription, FontFree> fittedFont;

bool AllFit(std::initializer_list<intptr_t> gadgets, const PangoFontDescription* font) {
    for (intptr_t gadget : gadgets)
        if (!GadgetTextFits(gadget, font)) return false;
    return true;
}

// Sizes are searched in tenths of the font's own unit (points, or pixels for an absolute size).
void SetTenths(PangoFontDescription* font, int tenths, bool absolute) {
    const int size = tenths * PANGO_SCALE / 10;
    if (absolute)
        pango_font_description_set_absolute_size(font, size);
    else
        pango_font_description_set_size(font, size);
}

} // namespace

void FitLabels(std::initializer_list<intptr_t> gadgets) {
    const PangoFontDescription* shown = GetGadgetFont(*gadgets.begin());
    if (!shown || AllFit(gadgets, shown)) return;
    std::unique_ptr<PangoFontDescription, FontFree> font(pango_font_description_copy(shown));
    const bool absolute = pango_font_description_get_size_is_absolute(font.get());
    // The widths grow with the size, so the largest size that fits lies between the smallest
    // size there is, one tenth (taken even if it does not fit), and the size shown.
    int fits = 1, tooWide = pango_font_description_get_size(font.get()) * 10 / PANGO_SCALE;
    while (tooWide - fits > 1) {
        const int middle = (fits + tooWide) / 2;
        SetTenths(font.get(), middle, absolute);
        (AllFit(gadgets, font.get()) ? fits : tooWide) = middle;
    }
    SetTenths(font.get(), fits, absolute);
    for (intptr_t gadget : gadgets)
        SetGadgetFont(gadget, font.get());
    fittedFont = std::move(font);
}
