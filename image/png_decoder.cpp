// The PNG decoder: libpng reading from the source in memory, giving 8-bit RGB or RGBA rows.
#include "image/image.h"

#include <csetjmp>
#include <cstring>
#include <png.h>

namespace {

png_structp Png(const ImageDecoderState* state) {
    return static_cast<png_structp>(state->private1);
}

png_infop Info(const ImageDecoderState* state) {
    return static_cast<png_infop>(state->private2);
}

void PNGIgnoreWarning(png_structp, png_const_charp) {}

// libpng's reads never go past the data the caller gave: running out is a libpng error.
void PNGReadMemory(png_structp png, png_bytep destination, size_t length) {
    auto* state = static_cast<ImageDecoderState*>(png_get_io_ptr(png));
    const uint8_t* end = state->memory + state->memorySize;
    if (length > static_cast<size_t>(end - state->readCursor))
        png_error(png, "read beyond the end of the data");
    std::memcpy(destination, state->readCursor, length);
    state->readCursor += length;
}

uint32_t Be32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}

// Whether every chunk up to the first IDAT lies inside the data. libpng must read each of them
// whole and would fail on one that does not, but it allocates the claimed length first; a
// picture a few bytes long could make it ask for 2 GB.
bool ChunksBeforeImageDataFit(const ImageDecoderState* state) {
    constexpr uint32_t kIDAT = 0x49444154;
    int64_t size = state->memorySize;
    int64_t position = 8;
    while (size - position >= 8) {
        const uint8_t* header = state->memory + position;
        int64_t length = Be32(header);
        if (length > 0x7FFFFFFF) return false;
        if (Be32(header + 4) == kIDAT) return true;
        if (length + 12 > size - position) return false;
        position += length + 12;
    }
    return false;
}

void PNGClose(ImageDecoderState* state) {
    png_structp png = Png(state);
    png_infop info = Info(state);
    png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    state->private1 = nullptr;
    state->private2 = nullptr;
}

// Reads the chunks up to the image data and chooses the output: 8-bit RGB, or RGBA when the
// picture has alpha or transparency. libpng takes every transformation before its one
// png_read_update_info, so all of them, the 16-bit reduction and the interlace handling
// included, are set here. Errors leave through png_error to the caller's setjmp.
int32_t PNGReadHeader(ImageDecoderState* state) {
    png_structp png = Png(state);
    png_set_error_fn(png, png_get_error_ptr(png), nullptr, PNGIgnoreWarning);
    state->readCursor = state->memory;
    png_set_read_fn(png, state, PNGReadMemory);
    // Compressed ancillary chunks may not inflate past the size of the data holding them.
    png_set_chunk_malloc_max(png, static_cast<png_alloc_size_t>(state->memorySize));
    png_infop info = png_create_info_struct(png);
    state->private2 = info;
    if (!info) png_error(png, "out of memory");
    png_read_info(png, info);

    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colourType = 0, interlace = 0;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colourType, &interlace, nullptr, nullptr);

    // Transparency turns palette and grey pictures into pictures with alpha, and widens grey
    // below 8 bits to 8; the encoded depth is reported for the picture as it then reads.
    if (png_get_valid(png, info, PNG_INFO_tRNS)) {
        png_set_tRNS_to_alpha(png);
        if (colourType == PNG_COLOR_TYPE_PALETTE) {
            colourType = PNG_COLOR_TYPE_RGB_ALPHA;
            bitDepth = 8;
        } else {
            colourType |= PNG_COLOR_MASK_ALPHA;
            if (bitDepth < 8) bitDepth = 8;
        }
    }
    int32_t encodedDepth = 0;
    if (colourType == PNG_COLOR_TYPE_PALETTE || colourType == PNG_COLOR_TYPE_GRAY ||
        colourType == PNG_COLOR_TYPE_GRAY_ALPHA) {
        encodedDepth = bitDepth;
        if (bitDepth < 8) png_set_expand(png);
        if (colourType == PNG_COLOR_TYPE_PALETTE) {
            png_set_palette_to_rgb(png);
            bitDepth = 8;
        } else {
            png_set_gray_to_rgb(png);
            if (bitDepth < 8) bitDepth = 8;
        }
    } else {
        encodedDepth = colourType == PNG_COLOR_TYPE_RGB ? 24 : 32;
    }
    if (bitDepth == 16) png_set_strip_16(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);

    int outputDepth = 0, outputType = 0;
    png_get_IHDR(png, info, &width, &height, &outputDepth, &outputType, &interlace, nullptr,
                 nullptr);
    if (outputDepth != 8 ||
        (outputType != PNG_COLOR_TYPE_RGB && outputType != PNG_COLOR_TYPE_RGB_ALPHA))
        png_error(png, "unexpected output format");

    state->width = static_cast<int32_t>(width);
    state->height = static_cast<int32_t>(height);
    state->colourType = outputType;
    state->bitDepth = bitDepth; // before the 16-bit reduction
    state->depth = outputType == PNG_COLOR_TYPE_RGB ? 24 : 32;
    state->encodedDepth = encodedDepth;
    return 1;
}

int32_t PNGCheck(ImageDecoderState* state) {
    if (!state->memory || state->memorySize <= 7) return 0;
    if (png_sig_cmp(state->memory, 0, 8) != 0) return 0;
    if (!ChunksBeforeImageDataFit(state)) return 0;
    state->private1 = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!state->private1) return 0;
    state->private2 = nullptr;
    if (setjmp(png_jmpbuf(Png(state)))) {
        PNGClose(state);
        return 0;
    }
    return PNGReadHeader(state);
}

// Every pass walks all rows; libpng places each pass's pixels in them.
int32_t PNGReadRows(ImageDecoderState* state, uint8_t* block, int32_t pitch, int32_t flags) {
    png_structp png = Png(state);
    int passes = png_set_interlace_handling(png);
    bool bottomUp = (flags & DecodeBottomUp) != 0;
    ptrdiff_t step = bottomUp ? -ptrdiff_t{pitch} : ptrdiff_t{pitch};
    uint8_t* first = bottomUp ? block + ptrdiff_t{state->height - 1} * pitch : block;
    for (int pass = 0; pass < passes; ++pass) {
        png_bytep row = first;
        for (int32_t y = 0; y < state->height; ++y) {
            png_read_rows(png, &row, nullptr, 1);
            row += step;
        }
    }
    return 1;
}

int32_t PNGDecode(ImageDecoderState* state, void* block, int32_t pitch, int32_t flags) {
    if (!Png(state) || !Info(state) || !block || pitch <= 0) return 0;
    if (static_cast<size_t>(pitch) < png_get_rowbytes(Png(state), Info(state))) return 0;
    if (setjmp(png_jmpbuf(Png(state)))) return 0;
    return PNGReadRows(state, static_cast<uint8_t*>(block), pitch, flags);
}

ImageDecoder pngDecoder = {PNGCheck, PNGDecode, PNGClose, kPNGDecoderIdentifier};
bool pngRegistered = false;

} // namespace

void RegisterPNGDecoder() {
    if (pngRegistered) return;
    pngRegistered = true;
    RegisterImageDecoder(&pngDecoder);
}
