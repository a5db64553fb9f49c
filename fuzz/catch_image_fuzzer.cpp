// libFuzzer target: CatchImage on arbitrary bytes, given exactly their size. The same program
// is built twice, once seeded with PNG pictures and once with bitmaps.
#include "image/image.h"

#include <cstddef>
#include <cstdint>

namespace {

// Pictures larger than this only measure the allocator; the fuzzer skips them to stay fast.
constexpr int64_t kMaxPixels = int64_t{1} << 22;

[[noreturn]] void Fail() {
    __builtin_trap();
}

} // namespace

// The decoders and the image table, without the toolkit's display: pixbufs need no display,
// only the library's hidden window does.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    InitImageDecoders();
    RegisterBMPDecoder();
    RegisterPNGDecoder();
    QX_Image_Objects = NewObjectTable(sizeof(ImageObject), 16, QX_FreeImage);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > INT32_MAX) return 0;
    int32_t length = static_cast<int32_t>(size);
    if (FindImageDecoder(data, length)) {
        const ImageDecoderState* state = ImageDecoderGlobals();
        int64_t pixels = int64_t{state->width} * state->height;
        CloseImageDecoder();
        if (pixels > kMaxPixels) return 0;
    }
    auto* pixbuf = reinterpret_cast<GdkPixbuf*>(CatchImage(0, data, length));
    if (!pixbuf) {
        if (ImageID(0)) Fail(); // a refused picture makes no image
        return 0;
    }
    // The image describes its pixbuf, and every byte of its rows can be read.
    int32_t width = ImageWidth(0), height = ImageHeight(0), depth = ImageDepth(0);
    if (width != gdk_pixbuf_get_width(pixbuf) || height != gdk_pixbuf_get_height(pixbuf)) Fail();
    if ((depth == 32) != bool(gdk_pixbuf_get_has_alpha(pixbuf))) Fail();
    int rowstride = gdk_pixbuf_get_rowstride(pixbuf);
    if (rowstride < width * depth / 8) Fail();
    const guchar* rows = gdk_pixbuf_get_pixels(pixbuf);
    unsigned sum = 0;
    for (int64_t i = 0; i < int64_t{rowstride} * height; ++i)
        sum += rows[i];
    if (sum == 0xFFFFFFFFu) Fail(); // keeps the reads from being optimised away
    QX_FreeImage(0);
    return 0;
}
