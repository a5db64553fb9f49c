// The patch table applied through file number 0: blind single-byte writes, nothing read back.
#include "app/patch.h"
#include "file/file.h"

void PatchWord(int32_t offset, uint16_t value) {
    FileSeek(kPatchFile, offset);
    WriteByte(kPatchFile, static_cast<uint8_t>(value & 0xFF));
    FileSeek(kPatchFile, int64_t{offset} + 1);
    WriteByte(kPatchFile, static_cast<uint8_t>(value >> 8));
}

void ApplyResolution(const Resolution& resolution) {
    for (int32_t offset : kHeightOffsets)
        PatchWord(offset, resolution.height);
    for (int32_t offset : kWidthOffsets)
        PatchWord(offset, resolution.width);
}

void ApplySkipIntro() {
    FileSeek(kPatchFile, kSkipIntroOffset);
    WriteByte(kPatchFile, kSkipIntroValue);
}
