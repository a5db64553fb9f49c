// The BMP decoder: Windows bitmaps held in memory, written as 24-bit RGB rows from the bottom of
// the block up. Every read stays inside the data and every write inside the block.
#include "image/image.h"

#include <cstring>

namespace {

// The header reaches up to the colours-used field.
constexpr int64_t kHeaderSize = 50;

uint32_t Le16(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8;
}

uint32_t Le32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// A read position in the data that refuses to go past its end.
class Cursor {
  public:
    Cursor(const uint8_t* data, int64_t size, int64_t position)
        : data_(data), size_(size), position_(position) {}

    // The next n bytes, or null (and no move) when the data does not hold them.
    const uint8_t* Take(int64_t n) {
        if (position_ < 0 || position_ > size_ || n > size_ - position_) return nullptr;
        const uint8_t* bytes = data_ + position_;
        position_ += n;
        return bytes;
    }
    bool Byte(uint8_t* out) {
        const uint8_t* bytes = Take(1);
        if (!bytes) return false;
        *out = *bytes;
        return true;
    }
    void Skip(int64_t n) { position_ += n; }

  private:
    const uint8_t* data_;
    int64_t size_;
    int64_t position_;
};

struct Header {
    int64_t pixelOffset;
    int64_t paletteOffset;
    int32_t width;
    int32_t height;
    uint32_t bitsPerPixel;
    uint32_t compression;
    int32_t coloursUsed;
};

Header ReadHeader(const uint8_t* data) {
    Header header;
    header.pixelOffset = static_cast<int32_t>(Le32(data + 10));
    header.paletteOffset = 14 + int64_t{Le32(data + 14)};
    header.width = static_cast<int32_t>(Le32(data + 18));
    header.height = static_cast<int32_t>(Le32(data + 22));
    header.bitsPerPixel = Le16(data + 28);
    header.compression = Le32(data + 30);
    header.coloursUsed = static_cast<int32_t>(Le32(data + 46));
    return header;
}

// The block as rows of the picture counted from the bottom; writes outside it are dropped.
class Canvas {
  public:
    Canvas(uint8_t* block, int32_t pitch, int32_t width, int32_t height)
        : block_(block), pitch_(pitch), width_(width), height_(height) {}

    uint8_t* Row(int64_t y) const { return block_ + (height_ - 1 - y) * int64_t{pitch_}; }
    void Put(int64_t x, int64_t y, const uint8_t* rgb) const {
        if (x >= width_ || y >= height_) return;
        std::memcpy(Row(y) + 3 * x, rgb, 3);
    }
    int32_t width() const { return width_; }
    int32_t height() const { return height_; }

  private:
    uint8_t* block_;
    int32_t pitch_;
    int32_t width_;
    int32_t height_;
};

using Palette = uint8_t[256][3];

// The palette entries as red, green, blue, in a table of our own (the source may be read-only).
// A colours-used field of 0 means the full 2^bits entries; entries the data lacks stay black.
void ConvertPalette(const uint8_t* data, int64_t size, const Header& header, Palette palette) {
    int64_t count = header.coloursUsed;
    if (count == 0) count = int64_t{1} << header.bitsPerPixel;
    if (count > 256) count = 256;
    Cursor cursor(data, size, header.paletteOffset);
    for (int64_t i = 0; i < count; ++i) {
        const uint8_t* entry = cursor.Take(4);
        if (!entry) break;
        palette[i][0] = entry[2];
        palette[i][1] = entry[1];
        palette[i][2] = entry[0];
    }
}

// 32- and 24-bit pixels are blue, green, red (and an unused byte at 32 bits); written as red,
// green, blue. 24-bit rows skip width AND 3 bytes after them, 32-bit rows nothing.
void DrawDirect(Cursor& pixels, const Canvas& canvas, int64_t bytesPerPixel) {
    int64_t padding = bytesPerPixel == 3 ? canvas.width() & 3 : 0;
    for (int32_t y = 0; y < canvas.height(); ++y) {
        const uint8_t* in = pixels.Take(int64_t{canvas.width()} * bytesPerPixel);
        if (!in) return;
        uint8_t* out = canvas.Row(y);
        for (int32_t x = 0; x < canvas.width(); ++x, in += bytesPerPixel, out += 3) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
        }
        pixels.Skip(padding);
    }
}

// 5 bits each of red, green and blue; the top bit is ignored.
void Draw16(Cursor& pixels, const Canvas& canvas) {
    for (int32_t y = 0; y < canvas.height(); ++y) {
        const uint8_t* in = pixels.Take(int64_t{canvas.width()} * 2);
        if (!in) return;
        uint8_t* out = canvas.Row(y);
        for (int32_t x = 0; x < canvas.width(); ++x, in += 2, out += 3) {
            uint32_t v = Le16(in);
            out[0] = static_cast<uint8_t>(((v >> 10) & 0x1F) << 3);
            out[1] = static_cast<uint8_t>(((v >> 5) & 0x1F) << 3);
            out[2] = static_cast<uint8_t>((v & 0x1F) << 3);
        }
        pixels.Skip((canvas.width() & 1) ? 2 : 0);
    }
}

int64_t RowPadding(int64_t rowBytes) {
    return (4 - (rowBytes & 3)) & 3;
}

// One-bit pictures are black and white whatever their palette says.
void Draw1(Cursor& pixels, const Canvas& canvas) {
    static const uint8_t kBlack[3] = {0, 0, 0};
    static const uint8_t kWhite[3] = {255, 255, 255};
    int64_t rowBytes = (int64_t{canvas.width()} + 7) / 8;
    for (int32_t y = 0; y < canvas.height(); ++y) {
        const uint8_t* in = pixels.Take(rowBytes);
        if (!in) return;
        for (int32_t x = 0; x < canvas.width(); ++x) {
            bool set = (in[x >> 3] >> (7 - (x & 7))) & 1;
            canvas.Put(x, y, set ? kWhite : kBlack);
        }
        pixels.Skip(RowPadding(rowBytes));
    }
}

void Draw4(Cursor& pixels, const Canvas& canvas, const Palette palette) {
    int64_t rowBytes = (int64_t{canvas.width()} + 1) / 2;
    for (int32_t y = 0; y < canvas.height(); ++y) {
        const uint8_t* in = pixels.Take(rowBytes);
        if (!in) return;
        for (int32_t x = 0; x < canvas.width(); ++x) {
            uint8_t pair = in[x >> 1];
            canvas.Put(x, y, palette[(x & 1) ? pair & 0x0F : pair >> 4]);
        }
        pixels.Skip(RowPadding(rowBytes));
    }
}

void Draw8(Cursor& pixels, const Canvas& canvas, const Palette palette) {
    for (int32_t y = 0; y < canvas.height(); ++y) {
        const uint8_t* in = pixels.Take(canvas.width());
        if (!in) return;
        for (int32_t x = 0; x < canvas.width(); ++x)
            canvas.Put(x, y, palette[in[x]]);
        pixels.Skip(RowPadding(canvas.width()));
    }
}

// Run-length encoded 8-bit data. It ends at the end-of-bitmap marker, at the end of the data,
// or once its position has left the top of the picture; pixels right of the picture are
// dropped.
void DrawRLE8(Cursor& pixels, const Canvas& canvas, const Palette palette) {
    int64_t x = 0;
    int64_t y = 0;
    uint8_t first = 0, second = 0;
    while (y < canvas.height() && pixels.Byte(&first) && pixels.Byte(&second)) {
        if (first != 0) {
            for (int64_t i = 0; i < first; ++i)
                canvas.Put(x + i, y, palette[second]);
            x += first;
        } else if (second == 0) {
            x = 0;
            ++y;
        } else if (second == 1) {
            return;
        } else if (second == 2) {
            uint8_t dx = 0, dy = 0;
            if (!pixels.Byte(&dx) || !pixels.Byte(&dy)) return;
            x += dx;
            y += dy;
        } else {
            for (int64_t i = 0; i < second; ++i) {
                uint8_t index = 0;
                if (!pixels.Byte(&index)) return;
                canvas.Put(x + i, y, palette[index]);
            }
            x += second;
            if (second & 1) pixels.Skip(1);
        }
    }
}

void BMPClose(ImageDecoderState* state) {
    if (state->private1) {
        FreeBlock(state->private1);
        state->private1 = nullptr;
    }
}

int32_t BMPCheck(ImageDecoderState* state) {
    const uint8_t* data = state->memory;
    if (!data || state->memorySize < kHeaderSize) {
        BMPClose(state);
        return 0;
    }
    if (Le16(data) != 0x4D42 || Le16(data + 6) != 0 || Le16(data + 8) != 0) {
        BMPClose(state);
        return 0;
    }
    Header header = ReadHeader(data);
    state->width = header.width;
    state->height = header.height;
    state->depth = 24;
    state->encodedDepth = static_cast<int32_t>(header.bitsPerPixel);
    state->private2 = const_cast<uint8_t*>(data);
    return 1;
}

// Unsupported combinations, and pictures stored from the top down (negative height), leave the
// block untouched; the result is always 1.
int32_t BMPDecode(ImageDecoderState* state, void* block, int32_t pitch, int32_t flags) {
    const auto* data = static_cast<const uint8_t*>(state->private2);
    int64_t size = state->memorySize;
    if (!data || !block || size < kHeaderSize) return 1;
    Header header = ReadHeader(data);
    if (header.width <= 0 || header.height <= 0 || pitch <= 0) return 1;
    if (int64_t{pitch} < int64_t{header.width} * 3) return 1;

    Canvas canvas(static_cast<uint8_t*>(block), pitch, header.width, header.height);
    Cursor pixels(data, size, header.pixelOffset);
    switch (header.bitsPerPixel) {
    case 32:
    case 24:
        DrawDirect(pixels, canvas, header.bitsPerPixel / 8);
        return 1;
    case 16:
        Draw16(pixels, canvas);
        return 1;
    case 1:
        Draw1(pixels, canvas);
        return 1;
    case 4:
    case 8: {
        Palette palette = {};
        ConvertPalette(data, size, header, palette);
        if (header.bitsPerPixel == 4) {
            if (header.compression != 2) Draw4(pixels, canvas, palette);
        } else if (header.compression == 1) {
            DrawRLE8(pixels, canvas, palette);
        } else {
            Draw8(pixels, canvas, palette);
        }
        return 1;
    }
    default:
        return 1;
    }
}

ImageDecoder bmpDecoder = {BMPCheck, BMPDecode, BMPClose, kBMPDecoderIdentifier};

} // namespace

void RegisterBMPDecoder() {
    RegisterImageDecoder(&bmpDecoder);
}
