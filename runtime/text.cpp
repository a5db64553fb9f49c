// Runtime text (UTF-16) and its conversions to and from UTF-8; the string accumulator.
#include "runtime/runtime.h"

#include <cstdlib>
#include <cstring>
#include <glib.h>

char* QX_StringBase = nullptr;
int64_t QX_StringBaseSize = 0;
int64_t QX_StringBasePosition = 0;

namespace {

bool IsHighSurrogate(char16_t unit) {
    return (unit & 0xFC00) == 0xD800;
}
bool IsLowSurrogate(char16_t unit) {
    return (unit & 0xFC00) == 0xDC00;
}

int EncodedLength(uint32_t codePoint) {
    if (codePoint <= 0x7F) return 1;
    if (codePoint <= 0x7FF) return 2;
    if (codePoint <= 0xFFFF) return 3;
    return 4;
}

void Encode(uint32_t codePoint, char* out) {
    auto* bytes = reinterpret_cast<unsigned char*>(out);
    switch (EncodedLength(codePoint)) {
    case 1:
        bytes[0] = static_cast<unsigned char>(codePoint);
        break;
    case 2:
        bytes[0] = static_cast<unsigned char>(0xC0 | (codePoint >> 6));
        bytes[1] = static_cast<unsigned char>(0x80 | (codePoint & 0x3F));
        break;
    case 3:
        bytes[0] = static_cast<unsigned char>(0xE0 | (codePoint >> 12));
        bytes[1] = static_cast<unsigned char>(0x80 | ((codePoint >> 6) & 0x3F));
        bytes[2] = static_cast<unsigned char>(0x80 | (codePoint & 0x3F));
        break;
    default:
        bytes[0] = static_cast<unsigned char>(0xF0 | (codePoint >> 18));
        bytes[1] = static_cast<unsigned char>(0x80 | ((codePoint >> 12) & 0x3F));
        bytes[2] = static_cast<unsigned char>(0x80 | ((codePoint >> 6) & 0x3F));
        bytes[3] = static_cast<unsigned char>(0x80 | (codePoint & 0x3F));
        break;
    }
}

// Both conversions of runtime text to UTF-8 share this shape: null text, count, allocate,
// write bounded by the count, terminate.
template <typename Allocate, typename Fallback>
char* ConvertToUTF8(const char16_t* text, Allocate allocate, Fallback fallback) {
    if (!text) return fallback();
    int64_t count = TextToUTF8(text, TextLength(text) + 1, nullptr, 0);
    if (count <= 0) return fallback();
    auto* out = static_cast<char*>(allocate(static_cast<size_t>(count) + 1));
    if (!out) return fallback();
    int64_t written = TextToUTF8(text, TextLength(text) + 1, out, count);
    out[written] = '\0';
    return out;
}

} // namespace

int64_t TextLength(const char16_t* text) {
    if (!text) return 0;
    int64_t length = 0;
    while (text[length])
        ++length;
    return length;
}

int64_t TextToUTF8(const char16_t* text, int64_t units, char* out, int64_t outSize) {
    if (!text || units <= 0) return 0;
    if (out && outSize <= 0) return 0;
    int64_t written = 0;
    for (int64_t i = 0; i < units;) {
        uint32_t codePoint = text[i];
        if (IsHighSurrogate(text[i])) {
            if (i + 1 >= units) return written;
            if (!IsLowSurrogate(text[i + 1])) return out ? 0 : written;
            codePoint = (((text[i] & 0x3FFu) << 10) | (text[i + 1] & 0x3FFu)) + 0x10000;
            i += 2;
        } else {
            i += 1;
        }
        int length = EncodedLength(codePoint);
        if (out) {
            if (written + length > outSize) return written;
            Encode(codePoint, out + written);
            written += length;
            if (written >= outSize) return written;
        } else {
            written += length;
        }
    }
    return written;
}

int64_t UTF8ToText(const char* utf8, int64_t bytes, char16_t* out, int64_t outUnits) {
    if (!utf8 || bytes <= 0) return 0;
    const auto* in = reinterpret_cast<const unsigned char*>(utf8);
    int64_t produced = 0;
    for (int64_t i = 0; i < bytes;) {
        unsigned lead = in[i++];
        int following;
        uint32_t value;
        if (lead <= 0x7F) {
            following = 0;
            value = lead;
        } else if (lead >= 0xC0 && lead <= 0xDF) {
            following = 1;
            value = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            following = 2;
            value = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF7) {
            following = 3;
            value = lead & 0x07;
        } else {
            return out ? 0 : produced;
        }
        // A zero byte never belongs to a sequence: it ends the one before it and is then the
        // zero unit, so a text converted with its terminator keeps it whatever comes before.
        int taken = 0;
        while (taken < following && i + taken < bytes && in[i + taken] != 0)
            ++taken;
        const bool endsAtZero = taken < following && i + taken < bytes;
        if (!endsAtZero && bytes - i < following) return produced;
        for (int k = 0; k < taken; ++k) {
            unsigned next = in[i++];
            if ((next & 0xC0) != 0x80) break;
            value = (value << 6) | (next & 0x3F);
        }
        if (value > 0x10FFFF) return produced;
        int needed = value > 0xFFFF ? 2 : 1;
        if (out) {
            if (produced + needed > outUnits) return produced;
            if (needed == 1) {
                out[produced] = static_cast<char16_t>(value);
            } else {
                out[produced] = static_cast<char16_t>(0xD800 | ((value - 0x10000) >> 10));
                out[produced + 1] = static_cast<char16_t>(0xDC00 | ((value - 0x10000) & 0x3FF));
            }
        }
        produced += needed;
    }
    return produced;
}

char* ToToolkitText(const char16_t* text) {
    return ConvertToUTF8(
        text, [](size_t size) { return g_try_malloc(size); }, [] { return g_strdup(""); });
}

void FreeToolkitText(char* text) {
    g_free(text);
}

char* ToSystemText(const char16_t* text) {
    return ConvertToUTF8(
        text, [](size_t size) { return std::malloc(size); },
        [] { return static_cast<char*>(std::calloc(1, 1)); });
}

void FreeSystemText(char* text) {
    std::free(text);
}

int64_t FromToolkitText(const char* text, int64_t position) {
    if (!text) text = "";
    int64_t length = static_cast<int64_t>(std::strlen(text)) + 1;
    int64_t units = UTF8ToText(text, length, nullptr, 0);
    if (units <= 0 || units - 1 > INT32_MAX || position < 0 || position > INT32_MAX) return 0;
    auto* out = static_cast<char16_t*>(
        ReserveString(static_cast<int32_t>(units - 1), static_cast<int32_t>(position)));
    if (!out) return 0;
    return UTF8ToText(text, length, out, units);
}

void InitStrings() {
    QX_StringBasePosition = 0;
    QX_StringBaseSize = 16;
    QX_StringBase = static_cast<char*>(std::malloc(16));
}

void EndStrings() {
    std::free(QX_StringBase);
    QX_StringBase = nullptr;
    QX_StringBaseSize = 0;
    QX_StringBasePosition = 0;
}

void* ReserveString(int32_t chars, int32_t position) {
    if (chars < 0 || position < 0 || !QX_StringBase) return nullptr;
    // The result runs from `position`, so the test covers whichever of it and the current
    // position lies further on.
    int64_t start = position > QX_StringBasePosition ? position : QX_StringBasePosition;
    int64_t need = start + 2 * int64_t{chars};
    if (need >= QX_StringBaseSize - 4) {
        int64_t size = need + 16384;
        auto* grown = static_cast<char*>(std::realloc(QX_StringBase, size + 10));
        if (!grown) return nullptr;
        QX_StringBase = grown;
        QX_StringBaseSize = size;
    }
    QX_StringBasePosition = position + 2 * int64_t{chars};
    return QX_StringBase + position;
}
