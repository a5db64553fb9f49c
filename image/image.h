// Images: numbered pictures caught from encoded data in memory, the registry of decoders that
// read them, and the PNG and BMP decoders.
#pragma once

#include "runtime/runtime.h"

#include <cstddef>
#include <cstdint>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gdk/gdk.h>
#include <pthread.h>

// ---------------------------------------------------------------------------------------------
// Decoder registry. One decoding runs at a time: FindImageDecoder, at most one DecodeImage, and
// always CloseImageDecoder, all on the one state record.

struct ImageDecoderState;

struct ImageDecoder {
    // Non-zero when the decoder accepts the source; it has then filled width, height, depth and
    // encoded depth and holds what it needs to decode.
    int32_t (*check)(ImageDecoderState* state);
    // Writes the picture into `block`, rows `pitch` bytes apart; 1 on success, 0 on failure.
    int32_t (*decode)(ImageDecoderState* state, void* block, int32_t pitch, int32_t flags);
    // Releases what check and decode hold.
    void (*close)(ImageDecoderState* state);
    // Three ASCII letters, little-endian.
    uint32_t identifier;
};

inline constexpr uint32_t kPNGDecoderIdentifier = 0x474E50; // "PNG"
inline constexpr uint32_t kBMPDecoderIdentifier = 0x504D42; // "BMP"

// The first decoded row goes to the last row of the block, the next one a pitch before it.
inline constexpr int32_t DecodeBottomUp = 2;

struct ImageDecoderState {
    ImageDecoder* decoder; // the decoder that accepted the source
    const uint8_t* memory; // the encoded data
    int32_t memorySize;    // in bytes; no decoder reads at or beyond memory + memorySize
    int32_t width;
    int32_t height;
    int32_t depth; // 24 (RGB) or 32 (RGBA): the layout the decoder writes
    void* private1;
    void* private2;
    const uint8_t* readCursor;
    int64_t colourType; // the PNG decoder's record of the picture's output format
    int64_t bitDepth;
    int32_t encodedDepth; // the depth of the encoded picture as the decoder reports it
};
static_assert(offsetof(ImageDecoderState, memory) == 8);
static_assert(offsetof(ImageDecoderState, memorySize) == 16);
static_assert(offsetof(ImageDecoderState, width) == 20);
static_assert(offsetof(ImageDecoderState, height) == 24);
static_assert(offsetof(ImageDecoderState, depth) == 28);
static_assert(offsetof(ImageDecoderState, private1) == 32);
static_assert(offsetof(ImageDecoderState, private2) == 40);
static_assert(offsetof(ImageDecoderState, readCursor) == 48);
static_assert(offsetof(ImageDecoderState, colourType) == 56);
static_assert(offsetof(ImageDecoderState, bitDepth) == 64);
static_assert(offsetof(ImageDecoderState, encodedDepth) == 72);
static_assert(sizeof(ImageDecoderState) == 80);

inline constexpr int32_t kMaxImageDecoders = 30;
extern ImageDecoder* QX_ImageDecoder_Decoders[kMaxImageDecoders];
extern int32_t QX_ImageDecoder_NbDecoders;
extern void* QX_ImageDecoder_Globals; // the one ImageDecoderState

void InitImageDecoders();
// `decoder` lives for the whole run; more than kMaxImageDecoders registrations are ignored.
void RegisterImageDecoder(ImageDecoder* decoder);
// The identifier of the first registered decoder that accepts the data, or 0.
uint32_t FindImageDecoder(const void* data, int32_t size);
int32_t DecodeImage(void* block, int32_t pitch, int32_t flags);
void CloseImageDecoder();
// The decoder state filled by the last FindImageDecoder.
ImageDecoderState* ImageDecoderGlobals();

void RegisterPNGDecoder(); // registers once; later calls do nothing
void RegisterBMPDecoder();

// ---------------------------------------------------------------------------------------------
// Image objects.

struct ImageObject {
    GdkPixbuf* pixbuf; // non-null while the number holds an image
    int16_t width;
    int16_t height;
    int16_t depth; // 24 or 32, the pixbuf's bits per pixel
    int16_t encodedDepth;
    uint32_t decoderIdentifier;
};
static_assert(offsetof(ImageObject, pixbuf) == 0);
static_assert(offsetof(ImageObject, width) == 8);
static_assert(offsetof(ImageObject, height) == 10);
static_assert(offsetof(ImageObject, depth) == 12);
static_assert(offsetof(ImageObject, encodedDepth) == 14);
static_assert(offsetof(ImageObject, decoderIdentifier) == 16);
static_assert(sizeof(ImageObject) == 24);

extern ObjectTable* QX_Image_Objects;
extern GdkWindow* QX_Image_Window; // hidden 10 x 10 window, never shown
extern pthread_key_t QX_2DDrawing_Storage;

void InitImageLibrary();
void EndImageLibrary();

// Decodes `data` (at most `size` bytes are read) into a new image under `number`. Returns the
// pixbuf for a given number, the record's address (the image's number from then on) for Any,
// and 0 when no decoder accepts the data or the picture cannot be held; an image already held
// under the number then stays.
intptr_t CatchImage(intptr_t number, const void* data, int32_t size = 10000000);
intptr_t ImageID(intptr_t number); // the GdkPixbuf, or 0
int32_t ImageWidth(intptr_t number);
int32_t ImageHeight(intptr_t number);
// The encoded depth for mode -2, the pixbuf's depth (24 or 32) for any other mode.
int32_t ImageDepth(intptr_t number, int32_t mode = 0);
// Replaces the image's picture with a smooth scaling of it to width x height, in pixel memory of
// its own laid out as CatchImage lays it out. Returns the new pixbuf; 0 for a number that holds no
// image, a size below 1 or above 32767, or when the memory cannot be had (the image then stays as
// it was). Gadgets that show the old picture keep it.
intptr_t ResizeImage(intptr_t number, int32_t width, int32_t height);
void QX_FreeImage(intptr_t number); // -1 frees every image
