// Image objects: pixel layout, numbers, replacement and refusal.
#include "tests/image/support.h"
#include "tests/support/faults.h"

#include <gtest/gtest.h>
#include <malloc.h>

namespace {

class ImageObjects : public testing::Test {
  protected:
    void SetUp() override { StartImageLibraries(); }
    void TearDown() override { QX_FreeImage(-1); }
};

std::vector<uint8_t> PatternPng(int width, int height, bool alpha) {
    GdkPixbuf* pattern = PatternPixbuf(width, height, alpha);
    std::vector<uint8_t> png = EncodePng(pattern);
    g_object_unref(pattern);
    return png;
}

// A 24-bit bitmap header of the given size with no pixel data behind it.
std::vector<uint8_t> BmpHeader(int32_t width, int32_t height) {
    std::vector<uint8_t> b(54);
    b[0] = 'B';
    b[1] = 'M';
    b[10] = 54;
    b[14] = 40;
    for (int i = 0; i < 4; ++i) {
        b[18 + i] = static_cast<uint8_t>(uint32_t(width) >> (8 * i));
        b[22 + i] = static_cast<uint8_t>(uint32_t(height) >> (8 * i));
    }
    b[28] = 24;
    return b;
}

// Each pixel block holds pitch x (height + 1) bytes, rows a pitch apart.
TEST_F(ImageObjects, PitchFollowsWidthAndDepth) {
    for (auto [height, blockRows] : {std::pair{130, 131}, std::pair{91, 92}}) {
        std::vector<uint8_t> png = PatternPng(130, height, true);
        ExactBuffer source(png);
        GdkPixbuf* pixbuf = Pixbuf(CatchImage(10, source.data(), source.size()));
        ASSERT_NE(pixbuf, nullptr);
        EXPECT_EQ(ImageWidth(10), 130);
        EXPECT_EQ(ImageHeight(10), height);
        EXPECT_EQ(ImageDepth(10), 32);
        EXPECT_EQ(ImageDepth(10, -2), 32);
        EXPECT_EQ(gdk_pixbuf_get_rowstride(pixbuf), 520);
        EXPECT_GE(malloc_usable_size(gdk_pixbuf_get_pixels(pixbuf)), size_t(520) * blockRows);
        Rgba p = PixelAt(pixbuf, 129, height - 1);
        EXPECT_EQ(p.r, uint8_t(129 * 7));
        EXPECT_EQ(p.g, uint8_t((height - 1) * 13));
        EXPECT_EQ(p.a, uint8_t(129 + height - 1));
    }
    for (auto [width, pitch] : {std::pair{1, 4}, std::pair{5, 16}, std::pair{130, 392}}) {
        std::vector<uint8_t> png = PatternPng(width, 3, false);
        ExactBuffer source(png);
        GdkPixbuf* pixbuf = Pixbuf(CatchImage(11, source.data(), source.size()));
        ASSERT_NE(pixbuf, nullptr);
        EXPECT_EQ(ImageDepth(11), 24);
        EXPECT_FALSE(gdk_pixbuf_get_has_alpha(pixbuf));
        EXPECT_EQ(gdk_pixbuf_get_rowstride(pixbuf), pitch);
        EXPECT_GE(malloc_usable_size(gdk_pixbuf_get_pixels(pixbuf)), size_t(pitch) * 4);
        EXPECT_EQ(PixelAt(pixbuf, width - 1, 2).r, uint8_t((width - 1) * 7));
    }
}

TEST_F(ImageObjects, SameNumberReplacesAndRefusedSourceKeeps) {
    std::vector<uint8_t> first = PatternPng(4, 4, true), second = PatternPng(8, 2, false);
    ExactBuffer a(first), b(second);
    GdkPixbuf* old = Pixbuf(CatchImage(3, a.data(), a.size()));
    ASSERT_NE(old, nullptr);
    g_object_ref(old);
    EXPECT_EQ(G_OBJECT(old)->ref_count, 2u);

    // Data no decoder takes, and a picture too large to hold, leave the image as it was.
    const uint8_t garbage[32] = {'B', 'X'};
    EXPECT_EQ(CatchImage(3, garbage, sizeof garbage), 0);
    for (auto [width, height] : {std::pair{32768, 1}, std::pair{1, 40000}, std::pair{0, 5},
                                 std::pair{5, -3}, std::pair{32767, 32767}}) {
        std::vector<uint8_t> header = BmpHeader(width, height);
        ExactBuffer source(header);
        EXPECT_EQ(CatchImage(3, source.data(), source.size()), 0) << width << "x" << height;
    }
    EXPECT_EQ(Pixbuf(ImageID(3)), old);
    EXPECT_EQ(G_OBJECT(old)->ref_count, 2u);

    // A valid picture replaces it; the old pixbuf loses the image's reference.
    GdkPixbuf* replacement = Pixbuf(CatchImage(3, b.data(), b.size()));
    ASSERT_NE(replacement, nullptr);
    EXPECT_NE(replacement, old);
    EXPECT_EQ(Pixbuf(ImageID(3)), replacement);
    EXPECT_EQ(ImageWidth(3), 8);
    EXPECT_EQ(ImageDepth(3), 24);
    EXPECT_EQ(G_OBJECT(old)->ref_count, 1u);
    g_object_unref(old);
    EXPECT_EQ(G_OBJECT(replacement)->ref_count, 1u);
}

TEST_F(ImageObjects, RefusedPixelMemoryLeavesTheImage) {
    std::vector<uint8_t> first = PatternPng(4, 4, true), second = PatternPng(6, 6, true);
    ExactBuffer a(first), b(second);
    GdkPixbuf* old = Pixbuf(CatchImage(4, a.data(), a.size()));
    ASSERT_NE(old, nullptr);
    {
        FailAllocations refuse;
        EXPECT_EQ(CatchImage(4, b.data(), b.size()), 0);
        EXPECT_GT(refuse.Refused(), 0);
    }
    EXPECT_EQ(Pixbuf(ImageID(4)), old);
    EXPECT_EQ(ImageWidth(4), 4);
}

TEST_F(ImageObjects, AnyNumbersAndUnknownNumbers) {
    EXPECT_EQ(ImageID(9), 0);
    EXPECT_EQ(ImageWidth(9), 0);
    EXPECT_EQ(ImageHeight(9), 0);
    EXPECT_EQ(ImageDepth(9, -2), 0);
    QX_FreeImage(9); // nothing to free

    std::vector<uint8_t> bmp = ReadFileBytes(TestDataPath("bmpsuite/g/pal4.bmp"));
    ExactBuffer source(bmp);
    intptr_t one = CatchImage(Any, source.data(), source.size());
    intptr_t two = CatchImage(Any, source.data(), source.size());
    ASSERT_NE(one, 0);
    ASSERT_NE(two, 0);
    EXPECT_NE(one, two);
    auto* record = reinterpret_cast<ImageObject*>(one);
    EXPECT_EQ(ImageID(one), reinterpret_cast<intptr_t>(record->pixbuf));
    EXPECT_EQ(record->decoderIdentifier, kBMPDecoderIdentifier);
    EXPECT_EQ(ImageWidth(one), 127);
    EXPECT_EQ(ImageHeight(one), 64);
    EXPECT_EQ(ImageDepth(one), 24);
    EXPECT_EQ(ImageDepth(one, -2), 4);
    EXPECT_EQ(ImageDepth(one, -1), 24);
    EXPECT_EQ(ImageDepth(one, 7), 24);

    GdkPixbuf* kept = Pixbuf(ImageID(two));
    g_object_ref(kept);
    QX_FreeImage(one);
    EXPECT_EQ(IsObject(QX_Image_Objects, one), nullptr);
    QX_FreeImage(-1);
    EXPECT_EQ(IsObject(QX_Image_Objects, two), nullptr);
    EXPECT_EQ(G_OBJECT(kept)->ref_count, 1u);
    g_object_unref(kept);
}

// The library's end frees every image and destroys its hidden window; it can start again.
TEST_F(ImageObjects, EndFreesImagesAndTheHiddenWindow) {
    ASSERT_NE(QX_Image_Window, nullptr);
    EXPECT_FALSE(gdk_window_is_visible(QX_Image_Window));
    int width = 0, height = 0;
    gdk_drawable_get_size(QX_Image_Window, &width, &height);
    EXPECT_EQ(width, 10);
    EXPECT_EQ(height, 10);

    std::vector<uint8_t> png = PatternPng(3, 3, false);
    ExactBuffer source(png);
    GdkPixbuf* pixbuf = Pixbuf(CatchImage(2, source.data(), source.size()));
    ASSERT_NE(pixbuf, nullptr);
    g_object_ref(pixbuf);
    EndImageLibrary();
    EXPECT_EQ(QX_Image_Window, nullptr);
    EXPECT_EQ(ImageID(2), 0);
    EXPECT_EQ(G_OBJECT(pixbuf)->ref_count, 1u);
    g_object_unref(pixbuf);
    InitImageLibrary();
    EXPECT_NE(QX_Image_Window, nullptr);
}

} // namespace
