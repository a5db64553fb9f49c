// The two pictures of the main window: caught from the program's own PNG data as images 10 and
// 11 and shown by image gadgets 8 and 9, at the window's scale and in the theme's colours. They
// are decoration only.
#include "app/app.h"
#include "assets/assets.h"
#include "gadget/gadget.h"
#include "image/image.h"

#include <cmath>

namespace {

struct Picture {
    intptr_t image, gadget;
    int32_t x, y, width, height; // in the window at its normal size
    const unsigned char* png;    // drawn at that size
    size_t size;
    const unsigned char* largePng; // drawn at twice that size
    size_t largeSize;
};

const Picture kPictures[] = {
    {10, 8, 10, 10, 130, 130, monster_archer_png, monster_archer_png_size, monster_archer_2x_png,
     monster_archer_2x_png_size},
    {11, 9, 240, 40, 130, 91, adventurers_png, adventurers_png_size, adventurers_2x_png,
     adventurers_2x_png_size},
};

// The relative luminance of a toolkit colour, as contrast between colours is measured.
double Luminance(const GdkColor& colour) {
    auto linear = [](guint16 channel) {
        const double value = channel / 65535.0;
        return value <= 0.04045 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(colour.red) + 0.7152 * linear(colour.green) +
           0.0722 * linear(colour.blue);
}

guchar Mix(guint16 ink, guint16 paper, int grey) {
    return static_cast<guchar>(((ink >> 8) * (255 - grey) + (paper >> 8) * grey + 127) / 255);
}

// The drawings are grey ink with its coverage in alpha, made for dark text on a light
// background: their greys, from black to white, become the text colour to the background
// colour, so that the lines keep their shading and stand out as text does.
void Recolour(GdkPixbuf* picture, const GdkColor& ink, const GdkColor& paper) {
    if (gdk_pixbuf_get_n_channels(picture) != 4) return;
    const int width = gdk_pixbuf_get_width(picture), height = gdk_pixbuf_get_height(picture);
    const int stride = gdk_pixbuf_get_rowstride(picture);
    guchar* rows = gdk_pixbuf_get_pixels(picture);
    for (int y = 0; y < height; ++y)
        for (guchar* pixel = rows + y * stride; pixel < rows + y * stride + width * 4; pixel += 4) {
            if (!pixel[3]) continue;
            const int grey = pixel[0]; // every pixel has R = G = B
            pixel[0] = Mix(ink.red, paper.red, grey);
            pixel[1] = Mix(ink.green, paper.green, grey);
            pixel[2] = Mix(ink.blue, paper.blue, grey);
        }
}

} // namespace

void ShowPictures(Scale scale, GtkWidget* window) {
    const GtkStyle* style = window ? gtk_widget_get_style(window) : nullptr;
    const bool dark =
        style && Luminance(style->bg[GTK_STATE_NORMAL]) < Luminance(style->fg[GTK_STATE_NORMAL]);
    for (const Picture& picture : kPictures) {
        // Larger windows show the art drawn at twice the size, scaled smoothly to any other:
        // never the small pictures enlarged. The real size bounds the decoder's reading.
        const bool large = scale.halves > 2;
        CatchImage(picture.image, large ? picture.largePng : picture.png,
                   static_cast<int32_t>(large ? picture.largeSize : picture.size));
        const int32_t width = scale(picture.width), height = scale(picture.height);
        if (ImageWidth(picture.image) != width || ImageHeight(picture.image) != height)
            ResizeImage(picture.image, width, height);
        auto* pixbuf = reinterpret_cast<GdkPixbuf*>(ImageID(picture.image));
        if (pixbuf && dark)
            Recolour(pixbuf, style->fg[GTK_STATE_NORMAL], style->bg[GTK_STATE_NORMAL]);
        ImageGadget(picture.gadget, scale(picture.x), scale(picture.y), scale(130), scale(130),
                    pixbuf);
    }
}
