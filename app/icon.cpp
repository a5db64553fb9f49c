// The program's icon on every window it opens: caught from the program's own data, so it shows
// whether or not the desktop has the icons installed.
#include "app/app.h"
#include "assets/assets.h"
#include "image/image.h"

#include <gtk/gtk.h>

void SetProgramIcon() {
    const struct {
        const unsigned char* png;
        size_t size;
    } icons[] = {{icon32_png, icon32_png_size},
                 {icon48_png, icon48_png_size},
                 {icon64_png, icon64_png_size},
                 {icon128_png, icon128_png_size}};
    GList* list = nullptr;
    for (const auto& icon : icons) {
        // The image table keeps the pictures; the toolkit takes references of its own.
        intptr_t image = CatchImage(Any, icon.png, static_cast<int32_t>(icon.size));
        if (image) list = g_list_append(list, reinterpret_cast<GdkPixbuf*>(ImageID(image)));
    }
    gtk_window_set_default_icon_list(list);
    g_list_free(list);
}
