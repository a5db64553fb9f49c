// The PNG decoder against the toolkit's own PNG loader, and its handling of damaged data.
#include "tests/image/support.h"

#include <cstring>
#include <gtest/gtest.h>

namespace {

class PngDecoding : public testing::Test {
  protected:
    void SetUp() override { StartImageLibraries(); }
};

std::vector<std::string> SuitePictures(bool corrupt) {
    std::vector<std::string> names;
    for (const std::string& name : TestDataFiles("pngsuite"))
        if ((name[0] == 'x') == corrupt) names.push_back(name);
    return names;
}

// Compares every byte: both sides as RGBA, with 255 standing for the alpha of a picture without
// an alpha channel. Returns the number of differing pixels and describes the first.
int CountDifferences(GdkPixbuf* ours, GdkPixbuf* reference, std::string* first) {
    int differences = 0;
    for (int y = 0; y < gdk_pixbuf_get_height(reference); ++y)
        for (int x = 0; x < gdk_pixbuf_get_width(reference); ++x) {
            Rgba a = PixelAt(ours, x, y), b = PixelAt(reference, x, y);
            if (a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a) continue;
            if (differences++ == 0)
                *first = "at " + std::to_string(x) + "," + std::to_string(y) + " ours " +
                         std::to_string(a.r) + "/" + std::to_string(a.g) + "/" +
                         std::to_string(a.b) + "/" + std::to_string(a.a) + " reference " +
                         std::to_string(b.r) + "/" + std::to_string(b.g) + "/" +
                         std::to_string(b.b) + "/" + std::to_string(b.a);
        }
    return differences;
}

TEST_F(PngDecoding, EverySuitePictureMatchesTheToolkitLoader) {
    std::vector<std::string> names = SuitePictures(false);
    ASSERT_GT(names.size(), 150u);
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        std::string path = TestDataPath("pngsuite/" + name);
        ExactBuffer source(ReadFileBytes(path));
        GdkPixbuf* ours = Pixbuf(CatchImage(0, source.data(), source.size()));
        ASSERT_NE(ours, nullptr);
        GdkPixbuf* reference = gdk_pixbuf_new_from_file(path.c_str(), nullptr);
        ASSERT_NE(reference, nullptr);
        ASSERT_EQ(gdk_pixbuf_get_width(ours), gdk_pixbuf_get_width(reference));
        ASSERT_EQ(gdk_pixbuf_get_height(ours), gdk_pixbuf_get_height(reference));
        std::string first;
        EXPECT_EQ(CountDifferences(ours, reference, &first), 0) << first;
        g_object_unref(reference);
    }
    QX_FreeImage(0);
}

// What the picture is given as: 24 (RGB) or 32 (RGBA), and the depth reported for the encoded
// picture, which follows the picture as transparency leaves it.
TEST_F(PngDecoding, ReportsDepthAndEncodedDepth) {
    struct Case {
        const char* name;
        int32_t depth;
        int32_t encodedDepth;
    };
    const Case cases[] = {
        {"basn2c08.png", 24, 24}, // RGB
        {"tbrn2c08.png", 32, 32}, // RGB with tRNS
        {"basn2c16.png", 24, 24}, // 16-bit RGB
        {"basn3p04.png", 24, 4},  // palette
        {"basn3p01.png", 24, 1},  //
        {"tbbn3p08.png", 32, 32}, // palette with tRNS
        {"tm3n3p02.png", 32, 32}, //
        {"basn0g16.png", 24, 16}, // 16-bit grey
        {"basn0g02.png", 24, 2},  //
        {"tbbn0g04.png", 32, 8},  // 4-bit grey with tRNS reads as 8-bit grey and alpha
        {"tbwn0g16.png", 32, 16}, // 16-bit grey with tRNS
        {"basn4a08.png", 32, 8},  // grey and alpha
        {"basn4a16.png", 32, 16}, //
        {"basn6a08.png", 32, 32}, // RGBA
        {"basi6a16.png", 32, 32}, //
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ExactBuffer source(ReadFileBytes(TestDataPath(std::string("pngsuite/") + c.name)));
        GdkPixbuf* pixbuf = Pixbuf(CatchImage(5, source.data(), source.size()));
        ASSERT_NE(pixbuf, nullptr);
        EXPECT_EQ(ImageDepth(5), c.depth);
        EXPECT_EQ(ImageDepth(5, -2), c.encodedDepth);
        EXPECT_EQ(gdk_pixbuf_get_has_alpha(pixbuf), c.depth == 32);
        EXPECT_EQ(gdk_pixbuf_get_n_channels(pixbuf), c.depth / 8);
    }
    QX_FreeImage(5);
}

// The deliberately damaged pictures never decode: either no decoder accepts them or the decode
// reports failure.
TEST_F(PngDecoding, CorruptPicturesAreRejectedOrFailToDecode) {
    std::vector<std::string> names = SuitePictures(true);
    ASSERT_GE(names.size(), 14u);
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        ExactBuffer source(ReadFileBytes(TestDataPath("pngsuite/" + name)));
        if (!FindImageDecoder(source.data(), source.size())) continue;
        const ImageDecoderState* state = ImageDecoderGlobals();
        ASSERT_GT(state->width, 0);
        ASSERT_GT(state->height, 0);
        std::vector<uint8_t> block(size_t(state->width) * 4 * state->height);
        EXPECT_EQ(DecodeImage(block.data(), state->width * 4, 0), 0);
        CloseImageDecoder();
    }
}

// The reader stops at the size it was given. Cut anywhere, a picture is rejected or decodes
// part-way (the rest of the image stays zero); cut inside the image data it fails to decode.
TEST_F(PngDecoding, TruncatedDataIsNeverReadPastItsEnd) {
    for (const char* name : {"basn6a08.png", "oi9n2c16.png", "basi3p08.png"}) {
        SCOPED_TRACE(name);
        std::vector<uint8_t> bytes = ReadFileBytes(TestDataPath(std::string("pngsuite/") + name));
        ASSERT_FALSE(bytes.empty());
        for (size_t size = 0; size < bytes.size(); size += 5) {
            ExactBuffer source(bytes, size);
            if (!FindImageDecoder(source.data(), source.size())) continue;
            std::vector<uint8_t> block(32 * 4 * 32);
            int32_t decoded = DecodeImage(block.data(), 32 * 4, 0);
            CloseImageDecoder();
            // Only the tail (the stream's checksum, IEND) can go without harm.
            if (size < bytes.size() * 3 / 4) {
                EXPECT_EQ(decoded, 0) << size;
            }
        }
    }

    // Cut in the middle of the image data (here in chunks of one byte each): the image still
    // exists, with the first row of the whole picture and zero in the last.
    std::vector<uint8_t> bytes = ReadFileBytes(TestDataPath("pngsuite/oi9n2c16.png"));
    ExactBuffer whole(bytes);
    ExactBuffer half(bytes, bytes.size() / 2);
    GdkPixbuf* full = Pixbuf(CatchImage(6, whole.data(), whole.size()));
    GdkPixbuf* cut = Pixbuf(CatchImage(7, half.data(), half.size()));
    ASSERT_TRUE(full && cut);
    EXPECT_EQ(0, std::memcmp(gdk_pixbuf_get_pixels(full), gdk_pixbuf_get_pixels(cut), 32 * 3));
    const guchar* last = gdk_pixbuf_get_pixels(cut) + 31 * gdk_pixbuf_get_rowstride(cut);
    EXPECT_EQ(std::vector<guchar>(last, last + 32 * 3), std::vector<guchar>(32 * 3, 0));
    QX_FreeImage(-1);

    // A PNG signature alone, or 7 bytes of it, is no picture.
    EXPECT_EQ(FindImageDecoder(bytes.data(), 7), 0u);
    ExactBuffer signature(bytes, 8);
    EXPECT_EQ(FindImageDecoder(signature.data(), signature.size()), 0u);
}

// DecodeBottomUp puts the first row of the picture in the last row of the block, for
// interlaced pictures (seven passes over every row) as for plain ones.
TEST_F(PngDecoding, BottomUpDecodingFlipsTheRows) {
    for (const char* name : {"basn6a08.png", "basi6a08.png", "basi0g04.png"}) {
        SCOPED_TRACE(name);
        ExactBuffer source(ReadFileBytes(TestDataPath(std::string("pngsuite/") + name)));
        std::vector<uint8_t> blocks[2];
        int32_t pitch = 0, height = 0;
        for (int32_t flags : {0, DecodeBottomUp}) {
            ASSERT_EQ(FindImageDecoder(source.data(), source.size()), kPNGDecoderIdentifier);
            const ImageDecoderState* state = ImageDecoderGlobals();
            pitch = state->width * state->depth / 8;
            height = state->height;
            std::vector<uint8_t>& block = blocks[flags ? 1 : 0];
            block.assign(size_t(pitch) * height, 0);
            EXPECT_EQ(DecodeImage(block.data(), pitch, flags), 1);
            CloseImageDecoder();
        }
        for (int32_t y = 0; y < height; ++y)
            ASSERT_EQ(0, std::memcmp(&blocks[0][size_t(y) * pitch],
                                     &blocks[1][size_t(height - 1 - y) * pitch], pitch))
                << "row " << y;
    }
}

} // namespace
