// The registry of image decoders and the one state record that a decoding runs on.
#include "image/image.h"

#include <cstring>

ImageDecoder* QX_ImageDecoder_Decoders[kMaxImageDecoders];
int32_t QX_ImageDecoder_NbDecoders;
void* QX_ImageDecoder_Globals;

ImageDecoderState* ImageDecoderGlobals() {
    return static_cast<ImageDecoderState*>(GetGlobalsBlock(QX_ImageDecoder_Globals));
}

void InitImageDecoders() {
    QX_ImageDecoder_NbDecoders = 0;
    QX_ImageDecoder_Globals = NewGlobalsBlock(sizeof(ImageDecoderState), nullptr);
}

void RegisterImageDecoder(ImageDecoder* decoder) {
    if (QX_ImageDecoder_NbDecoders >= kMaxImageDecoders) return;
    QX_ImageDecoder_Decoders[QX_ImageDecoder_NbDecoders++] = decoder;
}

uint32_t FindImageDecoder(const void* data, int32_t size) {
    ImageDecoderState* state = ImageDecoderGlobals();
    if (!state) return 0;
    std::memset(state, 0, sizeof(*state));
    state->memory = static_cast<const uint8_t*>(data);
    state->memorySize = size;
    for (int32_t i = 0; i < QX_ImageDecoder_NbDecoders; ++i) {
        ImageDecoder* decoder = QX_ImageDecoder_Decoders[i];
        state->private1 = nullptr;
        state->private2 = nullptr;
        state->readCursor = nullptr;
        state->colourType = 0;
        state->bitDepth = 0;
        if (decoder->check && decoder->check(state)) {
            state->decoder = decoder;
            return decoder->identifier;
        }
    }
    return 0;
}

int32_t DecodeImage(void* block, int32_t pitch, int32_t flags) {
    ImageDecoderState* state = ImageDecoderGlobals();
    if (!state || !state->decoder || !state->decoder->decode) return 0;
    return state->decoder->decode(state, block, pitch, flags);
}

void CloseImageDecoder() {
    ImageDecoderState* state = ImageDecoderGlobals();
    if (!state || !state->decoder) return;
    // A stray second close, or a decode after it, must find nothing to act on.
    ImageDecoder* decoder = state->decoder;
    state->decoder = nullptr;
    if (decoder->close) decoder->close(state);
}
