// The main window's scale: as much larger than its normal size as the desktop's font is larger
// than the toolkit's own default, so that a player who set large text, or whose high-density
// screen the desktop sets at a higher dpi, gets a window to match.
#include "app/app.h"

#include <algorithm>

namespace {

// Half steps of a font size over that of the toolkit's default, Sans 10 at 96 dpi (40/3 pixels).
// Sizes come in 1024ths of a point or a pixel, the dpi in 1024ths of a dot per inch. A size a
// fiftieth of a step short of one counts as that step: a dpi that the X server computes from the
// screen's millimetres comes out as 95.98 where 96 was meant.
int64_t FontHalves(int64_t size, bool absolute, int64_t dpi) {
    // pixels = size / 1024, or size / 1024 * dpi / 1024 / 72; halves = pixels * 2 * 3 / 40
    const int64_t value = absolute ? size * 3 : size * dpi;
    const int64_t step = absolute ? int64_t{20} * 1024 : int64_t{480} * 1024 * 1024;
    return (value * 50 + step) / (step * 50);
}

// Beyond any screen: the fitting below takes it down from there. Sizes and dpi are held below
// what the arithmetic above can take.
constexpr int64_t kMostHalves = 40;
constexpr int64_t kLargestSize = 4096 * 1024, kLargestDpi = 4096 * 1024;

} // namespace

Scale WindowScale(int32_t x, int32_t y) {
    gchar* name = nullptr;
    gint dpi = -1; // -1: the toolkit's 96
    g_object_get(gtk_settings_get_default(), "gtk-font-name", &name, "gtk-xft-dpi", &dpi, nullptr);
    PangoFontDescription* font = pango_font_description_from_string(name ? name : "");
    g_free(name);
    const int64_t size = std::min<int64_t>(pango_font_description_get_size(font), kLargestSize);
    const bool absolute = pango_font_description_get_size_is_absolute(font);
    pango_font_description_free(font);
    const int64_t dots = dpi > 0 ? std::min<int64_t>(dpi, kLargestDpi) : 96 * 1024;
    Scale scale;
    scale.halves = int32_t(std::clamp<int64_t>(FontHalves(size, absolute, dots), 2, kMostHalves));
    GdkScreen* screen = gdk_screen_get_default();
    GdkRectangle monitor{0, 0, 0, 0};
    gdk_screen_get_monitor_geometry(screen, gdk_screen_get_monitor_at_point(screen, x, y),
                                    &monitor);
    while (scale.halves > 2 && (scale(380) > monitor.width || scale(220) > monitor.height))
        --scale.halves;
    return scale;
}
