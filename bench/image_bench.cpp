// CatchImage against gdk-pixbuf's own loaders on the same bytes: a 4096 x 4096 RGBA PNG and a
// 4096 x 4096 24-bit BMP, both made in memory at start. The last lines give the ratios of the
// fastest runs (below 1: CatchImage is faster).
#include "image/image.h"

#include "bench/ratio.h"
#include <algorithm>

#include <benchmark/benchmark.h>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kSide = 4096;

std::vector<uint8_t> png;
std::vector<uint8_t> bmp;

// Smooth gradients with a little noise, so that the data compresses like a picture does.
uint8_t Sample(int x, int y, int channel, uint32_t& seed) {
    seed = seed * 1664525u + 1013904223u;
    int base = channel == 0 ? x / 16 : channel == 1 ? y / 16 : (x + y) / 32;
    return static_cast<uint8_t>(base + ((seed >> 24) & 7));
}

std::vector<uint8_t> MakePng() {
    GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, kSide, kSide);
    uint32_t seed = 1;
    for (int y = 0; y < kSide; ++y) {
        guchar* row = gdk_pixbuf_get_pixels(pixbuf) + y * gdk_pixbuf_get_rowstride(pixbuf);
        for (int x = 0; x < kSide; ++x)
            for (int c = 0; c < 4; ++c)
                row[4 * x + c] =
                    c == 3 ? static_cast<uint8_t>(255 - x / 32) : Sample(x, y, c, seed);
    }
    gchar* buffer = nullptr;
    gsize size = 0;
    std::vector<uint8_t> bytes;
    if (gdk_pixbuf_save_to_buffer(pixbuf, &buffer, &size, "png", nullptr, nullptr))
        bytes.assign(buffer, buffer + size);
    g_free(buffer);
    g_object_unref(pixbuf);
    return bytes;
}

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

std::vector<uint8_t> MakeBmp() {
    const size_t rowBytes = size_t{kSide} * 3; // a multiple of 4 already
    std::vector<uint8_t> b(54 + rowBytes * kSide);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, static_cast<uint32_t>(b.size()));
    Put32(b, 10, 54);
    Put32(b, 14, 40);
    Put32(b, 18, kSide);
    Put32(b, 22, kSide);
    b[26] = 1;
    b[28] = 24;
    Put32(b, 34, static_cast<uint32_t>(rowBytes * kSide));
    uint32_t seed = 1;
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x)
            for (int c = 0; c < 3; ++c)
                b[54 + y * rowBytes + 3 * x + c] = Sample(x, y, c, seed);
    return b;
}

void Catch(benchmark::State& state, const std::vector<uint8_t>& data) {
    for (auto _ : state) {
        intptr_t pixbuf = CatchImage(0, data.data(), static_cast<int32_t>(data.size()));
        if (!pixbuf) state.SkipWithError("CatchImage refused the picture");
        benchmark::DoNotOptimize(pixbuf);
        QX_FreeImage(0);
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kSide} * kSide * 4);
}

void Load(benchmark::State& state, const std::vector<uint8_t>& data, const char* type) {
    for (auto _ : state) {
        GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type(type, nullptr);
        bool loaded =
            loader && gdk_pixbuf_loader_write(loader, data.data(), data.size(), nullptr) &&
            gdk_pixbuf_loader_close(loader, nullptr) && gdk_pixbuf_loader_get_pixbuf(loader);
        if (!loaded) state.SkipWithError("the toolkit's loader refused the picture");
        if (loader) g_object_unref(loader);
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kSide} * kSide * 4);
}

void CatchImagePng(benchmark::State& state) {
    Catch(state, png);
}
void PixbufLoaderPng(benchmark::State& state) {
    Load(state, png, "png");
}
void CatchImageBmp(benchmark::State& state) {
    Catch(state, bmp);
}
void PixbufLoaderBmp(benchmark::State& state) {
    Load(state, bmp, "bmp");
}

BENCHMARK(PixbufLoaderPng)->Unit(benchmark::kMillisecond);
BENCHMARK(CatchImagePng)->Unit(benchmark::kMillisecond);
BENCHMARK(PixbufLoaderBmp)->Unit(benchmark::kMillisecond);
BENCHMARK(CatchImageBmp)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    // Pixbufs and their loaders need no display; the image table is made without the library's
    // hidden window for the same reason.
    InitImageDecoders();
    RegisterBMPDecoder();
    RegisterPNGDecoder();
    QX_Image_Objects = NewObjectTable(sizeof(ImageObject), 16, QX_FreeImage);
    png = MakePng();
    bmp = MakeBmp();
    if (png.empty()) return 1;
    return RunWithRatios(
        argc, argv,
        {{"PNG CatchImage / gdk-pixbuf loader", "CatchImagePng", "PixbufLoaderPng"},
         {"BMP CatchImage / gdk-pixbuf loader", "CatchImageBmp", "PixbufLoaderBmp"}});
}
