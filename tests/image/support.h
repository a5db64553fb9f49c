// Shared pieces of the image suites: the libraries started once, test pictures read from disk
// into buffers of exactly their size (so that the sanitizer sees any read past the end), and
// pixel access.
#pragma once

#include "image/image.h"

#include <cstdint>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <string>
#include <vector>

// Decoders in start-up order (BMP, then PNG) and the image library.
void StartImageLibraries();

std::string TestDataPath(const std::string& relative);
// The names of the files in a test data folder, sorted.
std::vector<std::string> TestDataFiles(const std::string& folder);
std::vector<uint8_t> ReadFileBytes(const std::string& path);

// A malloc'd copy of some bytes, exactly as large as they are.
class ExactBuffer {
  public:
    explicit ExactBuffer(const std::vector<uint8_t>& bytes, size_t size = SIZE_MAX);
    ~ExactBuffer();
    ExactBuffer(const ExactBuffer&) = delete;
    ExactBuffer& operator=(const ExactBuffer&) = delete;
    const uint8_t* data() const { return data_; }
    int32_t size() const { return static_cast<int32_t>(size_); }

  private:
    uint8_t* data_;
    size_t size_;
};

// One pixel as red, green, blue, alpha (255 for pixbufs without alpha).
struct Rgba {
    uint8_t r, g, b, a;
};
Rgba PixelAt(GdkPixbuf* pixbuf, int x, int y);

GdkPixbuf* Pixbuf(intptr_t id);
// A PNG of the given picture, encoded by the toolkit.
std::vector<uint8_t> EncodePng(GdkPixbuf* pixbuf);
// A picture with a recognisable pattern.
GdkPixbuf* PatternPixbuf(int width, int height, bool alpha);
