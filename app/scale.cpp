// The main window's scale: as much larger than its normal size as the desktop's font is larger
// than the toolkit's own default, so that a player who set large text, or whose high-density
// screen the desktop sets at a higher dpi, gets a window to match.
#include "app/app.h"

#include <algorithm>

namespace {

// Half steps of a font size over that of the toolkit's default, Sans 10 at 96 dpi (40/3 pixels).
// Sizes come in 1024ths of a point or a pixel, the dpi in 1024ths of a dot per inch.
int64_t FontHalves(int64_t size, bool absolute, int64_t dpi) {
    // pixels = size / 1024, or size / 1024 * dpi / 1024 / 72; halves = pixels * 2 * 3 / 40
    return absolute ? size * 3 / (20 * 1024) : size * dpi / (int64_t{480} * 1024 * 1024);
}

// Beyond any screen: the fitting below takes it down from there.
constexpr int64_t kMostHalves = 40;

} // namespace

Scale WindowScale(int32_t x, int32_t y) {
    gchar* name = nullptr;
    gint dpi = -1; // -1: the toolkit's 96
    g_object_get(gtk_settings_get_default(), "gtk-font-name", &name, "gtk-xft-dpi", &dpi, nullptr);
    PangoFontDescription* font = pango_font_description_from_string(name ? name : "");
    g_free(name);
    const int64_t size = pango_font_description_get_size(font); // 0 when the name gives none
    const bool absolute = pango_font_description_get_size_is_absolute(font);
    pango_font_description_free(font);
    Scale scale;
    scale.halves = int32_t(
        std::clamp<int64_t>(FontHalves(size, absolute, dpi > 0 ? dpi : 96 * 1024), 2, kMostHalves));
    GdkScreen* screen = gdk_screen_get_default();
    GdkRectangle monitor{0, 0, 0, 0};
    gdk_screen_get_monitor_geometry(screen, gdk_screen_get_monitor_at_point(screen, x, y),
                                    &monitor);
    while (scale.halves > 2 && (scale(380) > monitor.width || scale(220) > monitor.height))
        --scale.halves;
    return scale;
}
