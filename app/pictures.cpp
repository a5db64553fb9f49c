// The two pictures of the main window: caught from the program's own PNG data as images 10 and
// 11 and shown by image gadgets 8 and 9. They are decoration only.
#include "app/app.h"
#include "assets/assets.h"
#include "gadget/gadget.h"
#include "image/image.h"

namespace {

void ShowPicture(intptr_t image, const unsigned char* png, size_t size, intptr_t gadget, int32_t x,
                 int32_t y) {
    // The real size bounds the decoder's reading to the embedded data.
    CatchImage(image, png, static_cast<int32_t>(size));
    ImageGadget(gadget, x, y, 130, 130, reinterpret_cast<GdkPixbuf*>(ImageID(image)));
}

} // namespace

void ShowPictures() {
    ShowPicture(10, monster_archer_png, monster_archer_png_size, 8, 10, 10);
    ShowPicture(11, adventurers_png, adventurers_png_size, 9, 240, 40);
}
