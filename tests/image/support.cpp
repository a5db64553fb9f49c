// Shared pieces of the image suites.
#include "tests/image/support.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <iterator>

void StartImageLibraries() {
    static bool started = false;
    if (started) return;
    started = true;
    InitImageDecoders();
    RegisterBMPDecoder();
    InitImageLibrary();
    RegisterPNGDecoder();
}

std::string TestDataPath(const std::string& relative) {
    return std::string(QX_TESTDATA_DIR) + "/" + relative;
}

std::vector<std::string> TestDataFiles(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = opendir(TestDataPath(folder).c_str());
    if (!dir) return names;
    while (dirent* entry = readdir(dir))
        if (entry->d_name[0] != '.') names.emplace_back(entry->d_name);
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

ExactBuffer::ExactBuffer(const std::vector<uint8_t>& bytes, size_t size)
    : size_(std::min(size, bytes.size())) {
    data_ = static_cast<uint8_t*>(std::malloc(size_ ? size_ : 1));
    if (size_) std::memcpy(data_, bytes.data(), size_);
}

ExactBuffer::~ExactBuffer() {
    std::free(data_);
}

Rgba PixelAt(GdkPixbuf* pixbuf, int x, int y) {
    const guchar* p = gdk_pixbuf_get_pixels(pixbuf) + y * gdk_pixbuf_get_rowstride(pixbuf) +
                      x * gdk_pixbuf_get_n_channels(pixbuf);
    return {p[0], p[1], p[2], gdk_pixbuf_get_has_alpha(pixbuf) ? p[3] : uint8_t{255}};
}

GdkPixbuf* Pixbuf(intptr_t id) {
    return reinterpret_cast<GdkPixbuf*>(id);
}

std::vector<uint8_t> EncodePng(GdkPixbuf* pixbuf) {
    gchar* buffer = nullptr;
    gsize size = 0;
    std::vector<uint8_t> bytes;
    if (gdk_pixbuf_save_to_buffer(pixbuf, &buffer, &size, "png", nullptr, nullptr))
        bytes.assign(buffer, buffer + size);
    g_free(buffer);
    return bytes;
}

GdkPixbuf* PatternPixbuf(int width, int height, bool alpha) {
    GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, alpha, 8, width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            guchar* p = gdk_pixbuf_get_pixels(pixbuf) + y * gdk_pixbuf_get_rowstride(pixbuf) +
                        x * gdk_pixbuf_get_n_channels(pixbuf);
            p[0] = static_cast<guchar>(x * 7);
            p[1] = static_cast<guchar>(y * 13);
            p[2] = static_cast<guchar>(x ^ y);
            if (alpha) p[3] = static_cast<guchar>(x + y);
        }
    return pixbuf;
}
