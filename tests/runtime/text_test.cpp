// Runtime text conversions, compared with GLib's own on valid text and pinned on invalid text.
#include "runtime/runtime.h"
#include "tests/support/faults.h"

#include <cstring>
#include <glib.h>
#include <gtest/gtest.h>
#include <random>
#include <string>

namespace {

std::u16string RandomText(std::mt19937& generator) {
    std::u16string text;
    int length = std::uniform_int_distribution<int>(0, 40)(generator);
    for (int i = 0; i < length; ++i) {
        uint32_t codePoint;
        switch (std::uniform_int_distribution<int>(0, 3)(generator)) {
        case 0:
            codePoint = std::uniform_int_distribution<uint32_t>(1, 0x7F)(generator);
            break;
        case 1:
            codePoint = std::uniform_int_distribution<uint32_t>(0x80, 0x7FF)(generator);
            break;
        case 2:
            do
                codePoint = std::uniform_int_distribution<uint32_t>(0x800, 0xFFFF)(generator);
            while (codePoint >= 0xD800 && codePoint <= 0xDFFF);
            break;
        default:
            codePoint = std::uniform_int_distribution<uint32_t>(0x10000, 0x10FFFF)(generator);
        }
        if (codePoint > 0xFFFF) {
            text += static_cast<char16_t>(0xD800 | ((codePoint - 0x10000) >> 10));
            text += static_cast<char16_t>(0xDC00 | ((codePoint - 0x10000) & 0x3FF));
        } else {
            text += static_cast<char16_t>(codePoint);
        }
    }
    return text;
}

std::u16string ToText(const std::string& utf8) {
    int64_t units = UTF8ToText(utf8.c_str(), utf8.size() + 1, nullptr, 0);
    std::u16string out(units, u'\0');
    EXPECT_EQ(UTF8ToText(utf8.c_str(), utf8.size() + 1, out.data(), units), units);
    if (!out.empty() && out.back() == u'\0') out.pop_back();
    return out;
}

} // namespace

TEST(RuntimeText, AgreesWithGLibOnRandomValidText) {
    std::mt19937 generator(1234);
    for (int round = 0; round < 2000; ++round) {
        std::u16string text = RandomText(generator);
        gchar* expected = g_utf16_to_utf8(reinterpret_cast<const gunichar2*>(text.c_str()), -1,
                                          nullptr, nullptr, nullptr);
        ASSERT_NE(expected, nullptr);
        char* ours = ToToolkitText(text.c_str());
        EXPECT_STREQ(ours, expected);
        EXPECT_EQ(TextToUTF8(text.c_str(), text.size() + 1, nullptr, 0),
                  static_cast<int64_t>(strlen(expected)) + 1);
        EXPECT_EQ(ToText(expected), text);
        FreeToolkitText(ours);
        g_free(expected);
    }
}

TEST(RuntimeText, SurrogatesAndEmptyText) {
    EXPECT_EQ(TextLength(u""), 0);
    EXPECT_EQ(TextLength(nullptr), 0);
    for (const char16_t* text : {static_cast<const char16_t*>(nullptr), u""}) {
        char* utf8 = ToToolkitText(text);
        EXPECT_STREQ(utf8, "");
        FreeToolkitText(utf8);
        char* system = ToSystemText(text);
        EXPECT_STREQ(system, "");
        FreeSystemText(system);
    }
    // An unpaired high surrogate ends the text; at the start it leaves nothing.
    const char16_t broken[] = {u'A', 0xD800, u'B', 0};
    char* utf8 = ToToolkitText(broken);
    EXPECT_STREQ(utf8, "A");
    FreeToolkitText(utf8);
    const char16_t leading[] = {0xD834, u'x', 0};
    utf8 = ToSystemText(leading);
    EXPECT_STREQ(utf8, "");
    FreeSystemText(utf8);

    // A pair is one four-byte sequence; a lone low surrogate three bytes of its own value.
    const char16_t pair[] = {0xD834, 0xDD1E, 0};
    utf8 = ToToolkitText(pair);
    EXPECT_STREQ(utf8, "\xF0\x9D\x84\x9E");
    FreeToolkitText(utf8);
    const char16_t low[] = {0xDC00, 0};
    utf8 = ToToolkitText(low);
    EXPECT_STREQ(utf8, "\xED\xB0\x80");
    FreeToolkitText(utf8);
}

TEST(RuntimeText, WritingPassStaysInsideItsOutput) {
    const char16_t text[] = {u'a', 0x00E9, 0x20AC, 0xD834, 0xDD1E, 0};
    char out[16];
    for (int size = 1; size <= 11; ++size) {
        std::memset(out, 0x55, sizeof out);
        int64_t written = TextToUTF8(text, 6, out, size);
        EXPECT_LE(written, size);
        for (int i = size; i < static_cast<int>(sizeof out); ++i)
            ASSERT_EQ(out[i], 0x55) << "size " << size;
    }
    EXPECT_EQ(TextToUTF8(text, 6, out, 0), 0);
    EXPECT_EQ(TextToUTF8(text, 0, out, 16), 0);
    // A high surrogate followed by something else fails the writing pass, not the count.
    const char16_t broken[] = {u'A', 0xD800, u'B', 0};
    EXPECT_EQ(TextToUTF8(broken, 4, out, 16), 0);
    EXPECT_EQ(TextToUTF8(broken, 4, nullptr, 0), 1);
    // ...but one as the last given unit ends the pass with what was written.
    EXPECT_EQ(TextToUTF8(broken, 2, out, 16), 1);
}

TEST(RuntimeText, InvalidUTF8) {
    // 0xC3 0x41: the second byte ends the sequence and is consumed with it.
    const char sample[] = "\xC3\x41";
    char16_t out[4] = {0x7777, 0x7777, 0x7777, 0x7777};
    EXPECT_EQ(UTF8ToText(sample, 3, nullptr, 0), 2);
    EXPECT_EQ(UTF8ToText(sample, 3, out, 4), 2);
    EXPECT_EQ(out[0], 0x0003);
    EXPECT_EQ(out[1], 0);

    // A truncated sequence ends the conversion with what came before it.
    const char truncated[] = {'a', '\xE2', '\x82'};
    EXPECT_EQ(UTF8ToText(truncated, 3, nullptr, 0), 1);
    EXPECT_EQ(UTF8ToText(truncated, 3, out, 4), 1);

    // An invalid lead byte stops the count and fails the writing pass.
    const char invalid[] = "ab\x80z";
    EXPECT_EQ(UTF8ToText(invalid, 5, nullptr, 0), 2);
    EXPECT_EQ(UTF8ToText(invalid, 5, out, 4), 0);
    EXPECT_EQ(UTF8ToText(nullptr, 5, nullptr, 0), 0);

    // A pair needs room for two units.
    const char astral[] = "x\xF0\x9D\x84\x9E";
    EXPECT_EQ(UTF8ToText(astral, 6, nullptr, 0), 4);
    char16_t narrow[2] = {0, 0x7777};
    EXPECT_EQ(UTF8ToText(astral, 6, narrow, 2), 1);
    EXPECT_EQ(narrow[1], 0x7777);
    // Above 0x10FFFF the conversion ends.
    const char tooLarge[] = "y\xF4\x90\x80\x80";
    EXPECT_EQ(UTF8ToText(tooLarge, 6, nullptr, 0), 1);
}

class StringAccumulator : public testing::Test {
  protected:
    void SetUp() override { InitStrings(); }
    void TearDown() override { EndStrings(); }
};

TEST_F(StringAccumulator, GrowsWhenTheResultWouldReachTheEnd) {
    EXPECT_NE(ReserveString(5, 0), nullptr);
    EXPECT_EQ(QX_StringBaseSize, 16);
    QX_StringBasePosition = 0;
    EXPECT_NE(ReserveString(6, 0), nullptr);
    EXPECT_EQ(QX_StringBaseSize, 16396);
    EXPECT_EQ(QX_StringBasePosition, 12);
}

TEST_F(StringAccumulator, PositionBeyondTheCurrentOneStillFits) {
    // The current position is 0; the result is asked for far beyond it.
    auto* out = static_cast<char*>(ReserveString(3, 40000));
    ASSERT_NE(out, nullptr);
    EXPECT_GE(QX_StringBaseSize, 40000 + 6 + 2);
    EXPECT_EQ(FromToolkitText("abc", 40000), 4);
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(QX_StringBase + 40000)), u"abc");
}

TEST_F(StringAccumulator, FromToolkitTextAppendsAtPosition) {
    EXPECT_EQ(FromToolkitText(nullptr, 0), 1);
    EXPECT_EQ(QX_StringBasePosition, 0);
    EXPECT_EQ(reinterpret_cast<char16_t*>(QX_StringBase)[0], 0);

    EXPECT_EQ(FromToolkitText("Patch ", 0), 7);
    EXPECT_EQ(FromToolkitText("\xC3\xA9t\xC3\xA9", QX_StringBasePosition), 4);
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(QX_StringBase)), u"Patch \u00e9t\u00e9");
    EXPECT_EQ(QX_StringBasePosition, 18);
}

TEST_F(StringAccumulator, RefusedGrowthLeavesTheBufferAndWritesNothing) {
    char* before = QX_StringBase;
    int64_t size = QX_StringBaseSize;
    EXPECT_EQ(ReserveString(-1, 0), nullptr);
    {
        FailAllocations refuse;
        EXPECT_EQ(ReserveString(20, 0), nullptr);
        EXPECT_EQ(ReserveString(0, 9000), nullptr);
        EXPECT_EQ(FromToolkitText("longer than sixteen bytes", 0), 0);
        EXPECT_EQ(refuse.Refused(), 3);
    }
    EXPECT_EQ(QX_StringBase, before);
    EXPECT_EQ(QX_StringBaseSize, size);
    EXPECT_EQ(QX_StringBasePosition, 0);
}
