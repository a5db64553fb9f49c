// Image objects: numbered GdkPixbufs made from encoded pictures by the registered decoders.
#include "image/image.h"

#include <cstdlib>

ObjectTable* QX_Image_Objects;
GdkWindow* QX_Image_Window;
pthread_key_t QX_2DDrawing_Storage;

namespace {

ImageObject* Image(intptr_t number) {
    return static_cast<ImageObject*>(GetObject(QX_Image_Objects, number));
}

void FreePixels(guchar* pixels, gpointer) {
    std::free(pixels);
}

// Zeroed pixel memory for a picture of width x height, rows pitch bytes apart; null when the
// size cannot be held.
guchar* NewPixels(int32_t width, int32_t height, bool alpha, int32_t& pitch) {
    // The record keeps width and height in 16 bits.
    if (width <= 0 || height <= 0 || width > INT16_MAX || height > INT16_MAX) return nullptr;
    // Rows of 24-bit pictures are rounded up to a multiple of 4 bytes.
    pitch = alpha ? width * 4 : width * 3 + (width & 3);
    // One spare row, as the pixel memory has always had; the whole block must fit 32 bits.
    int64_t blockSize = int64_t{pitch} * (int64_t{height} + 1);
    if (blockSize > INT32_MAX) return nullptr;
    return static_cast<guchar*>(std::calloc(static_cast<size_t>(blockSize), 1));
}

// The pixbuf that owns `block` from then on; null (the block freed) when none can be made.
GdkPixbuf* WrapPixels(guchar* block, int32_t width, int32_t height, bool alpha, int32_t pitch) {
    GdkPixbuf* pixbuf = gdk_pixbuf_new_from_data(block, GDK_COLORSPACE_RGB, alpha, 8, width, height,
                                                 pitch, FreePixels, nullptr);
    if (!pixbuf) std::free(block);
    return pixbuf;
}

// Turns the picture the accepting decoder describes into an image under `number`.
intptr_t MakeImage(intptr_t number, uint32_t decoderIdentifier) {
    const ImageDecoderState* state = ImageDecoderGlobals();
    int32_t width = state->width;
    int32_t height = state->height;
    bool alpha = state->depth == 32;
    int32_t pitch = 0;
    // Zeroed, so that rows a failed decode did not reach show no stale memory.
    guchar* block = NewPixels(width, height, alpha, pitch);
    if (!block) return 0;
    DecodeImage(block, pitch, 0); // a decode that stops part-way still makes an image

    GdkPixbuf* pixbuf = WrapPixels(block, width, height, alpha, pitch);
    if (!pixbuf) return 0;
    // An image already under this number is freed here, after the new one is ready.
    auto* image = static_cast<ImageObject*>(AllocateObject(QX_Image_Objects, number));
    if (!image) {
        g_object_unref(pixbuf);
        return 0;
    }
    image->pixbuf = pixbuf;
    image->width = static_cast<int16_t>(width);
    image->height = static_cast<int16_t>(height);
    image->depth = alpha ? 32 : 24;
    image->encodedDepth = static_cast<int16_t>(state->encodedDepth);
    image->decoderIdentifier = decoderIdentifier;
    return number == Any ? reinterpret_cast<intptr_t>(image) : reinterpret_cast<intptr_t>(pixbuf);
}

} // namespace

intptr_t CatchImage(intptr_t number, const void* data, int32_t size) {
    uint32_t decoder = FindImageDecoder(data, size);
    if (!decoder) return 0;
    intptr_t result = MakeImage(number, decoder);
    CloseImageDecoder();
    return result;
}

intptr_t ImageID(intptr_t number) {
    ImageObject* image = Image(number);
    return image ? reinterpret_cast<intptr_t>(image->pixbuf) : 0;
}

int32_t ImageWidth(intptr_t number) {
    ImageObject* image = Image(number);
    return image ? image->width : 0;
}

int32_t ImageHeight(intptr_t number) {
    ImageObject* image = Image(number);
    return image ? image->height : 0;
}

int32_t ImageDepth(intptr_t number, int32_t mode) {
    ImageObject* image = Image(number);
    if (!image) return 0;
    return mode == -2 ? image->encodedDepth : image->depth;
}

intptr_t ResizeImage(intptr_t number, int32_t width, int32_t height) {
    ImageObject* image = Image(number);
    if (!image) return 0;
    const bool alpha = image->depth == 32;
    int32_t pitch = 0;
    guchar* block = NewPixels(width, height, alpha, pitch);
    if (!block) return 0;
    GdkPixbuf* pixbuf = WrapPixels(block, width, height, alpha, pitch);
    if (!pixbuf) return 0;
    gdk_pixbuf_scale(image->pixbuf, pixbuf, 0, 0, width, height, 0, 0, double(width) / image->width,
                     double(height) / image->height, GDK_INTERP_BILINEAR);
    g_object_unref(image->pixbuf);
    image->pixbuf = pixbuf;
    image->width = static_cast<int16_t>(width);
    image->height = static_cast<int16_t>(height);
    return reinterpret_cast<intptr_t>(pixbuf);
}

void QX_FreeImage(intptr_t number) {
    if (number == Any) {
        FreeAllObjects(QX_Image_Objects);
        return;
    }
    ImageObject* image = Image(number);
    if (!image) return;
    // Gadgets that show the picture hold references of their own.
    g_object_unref(image->pixbuf);
    FreeObject(QX_Image_Objects, number);
}

void InitImageLibrary() {
    QX_Image_Objects = NewObjectTable(sizeof(ImageObject), 16, QX_FreeImage);
    gdk_rgb_init();
    GdkWindowAttr attributes = {};
    attributes.width = 10;
    attributes.height = 10;
    attributes.window_type = GDK_WINDOW_TOPLEVEL;
    QX_Image_Window = gdk_window_new(nullptr, &attributes, 0);
}

void EndImageLibrary() {
    FreeAllObjects(QX_Image_Objects);
    if (QX_Image_Window) {
        gdk_window_destroy(QX_Image_Window);
        QX_Image_Window = nullptr;
    }
}
