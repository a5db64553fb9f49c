// The BMP decoder: the suite's good pictures against the toolkit's loader, the decoder's own
// rules where they differ from it, and every hostile file handled inside its bounds.
#include "tests/image/support.h"

#include <cstring>
#include <gtest/gtest.h>
#include <map>

namespace {

class BmpDecoding : public testing::Test {
  protected:
    void SetUp() override { StartImageLibraries(); }
};

void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    b[at] = v & 0xFF;
    b[at + 1] = (v >> 8) & 0xFF;
}

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}

// A bitmap with a 40-byte info header, the palette right behind it and the pixel data behind
// the palette. Palette entries are given as 0xRRGGBB.
std::vector<uint8_t> MakeBmp(int32_t width, int32_t height, uint16_t bits, uint32_t compression,
                             const std::vector<uint32_t>& palette, int32_t coloursUsed,
                             const std::vector<uint8_t>& pixels) {
    std::vector<uint8_t> b(54 + 4 * palette.size());
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 10, static_cast<uint32_t>(b.size()));
    Put32(b, 14, 40);
    Put32(b, 18, static_cast<uint32_t>(width));
    Put32(b, 22, static_cast<uint32_t>(height));
    Put16(b, 26, 1);
    Put16(b, 28, bits);
    Put32(b, 30, compression);
    Put32(b, 46, static_cast<uint32_t>(coloursUsed));
    for (size_t i = 0; i < palette.size(); ++i) {
        b[54 + 4 * i] = palette[i] & 0xFF;
        b[55 + 4 * i] = (palette[i] >> 8) & 0xFF;
        b[56 + 4 * i] = (palette[i] >> 16) & 0xFF;
    }
    b.insert(b.end(), pixels.begin(), pixels.end());
    Put32(b, 2, static_cast<uint32_t>(b.size()));
    return b;
}

// Decodes into a block of exactly height rows of `pitch` bytes, first filled with `fill`.
// Returns the block, or an empty one when no decoder accepts the data.
std::vector<uint8_t> DecodeExactly(const std::vector<uint8_t>& bytes, int32_t pitch,
                                   uint8_t fill = 0) {
    ExactBuffer source(bytes);
    if (FindImageDecoder(source.data(), source.size()) != kBMPDecoderIdentifier) return {};
    const ImageDecoderState* state = ImageDecoderGlobals();
    size_t rows = state->height > 0 ? size_t(state->height) : 1;
    std::vector<uint8_t> block(size_t(pitch) * rows, fill);
    EXPECT_EQ(DecodeImage(block.data(), pitch, 0), 1);
    CloseImageDecoder();
    return block;
}

std::vector<uint8_t> Rgb(std::initializer_list<uint32_t> colours) {
    std::vector<uint8_t> out;
    for (uint32_t c : colours) {
        out.push_back((c >> 16) & 0xFF);
        out.push_back((c >> 8) & 0xFF);
        out.push_back(c & 0xFF);
    }
    return out;
}

std::vector<uint8_t> Slice(const std::vector<uint8_t>& v, size_t from, size_t count) {
    return std::vector<uint8_t>(v.begin() + from, v.begin() + from + count);
}

// How a good picture of the suite compares with the toolkit's reading of it.
enum class Rule {
    Same,          // the same colours wherever the toolkit drew a pixel
    BlackAndWhite, // 1 bit: palette index 0 is black, 1 white, whatever the palette says
    FiveBits,      // 5-5-5: the toolkit widens 5 bits to 8, the decoder shifts them up
    Untouched,     // RLE4: nothing is drawn
    Refused,       // OS/2 headers and rows stored top-down do not make an image
    Differs,       // masks the decoder does not read (5-6-5, odd 32-bit masks)
};

TEST_F(BmpDecoding, GoodSuitePicturesFollowTheToolkitOrTheirOwnRule) {
    const std::map<std::string, Rule> rules = {
        {"pal1.bmp", Rule::BlackAndWhite},   {"pal1bg.bmp", Rule::BlackAndWhite},
        {"pal1wb.bmp", Rule::BlackAndWhite}, {"pal4rle.bmp", Rule::Untouched},
        {"pal8os2.bmp", Rule::Refused},      {"pal8topdown.bmp", Rule::Refused},
        {"rgb16.bmp", Rule::FiveBits},       {"rgb16bfdef.bmp", Rule::FiveBits},
        {"rgb16-565.bmp", Rule::Differs},    {"rgb16-565pal.bmp", Rule::Differs},
        {"rgb32bf.bmp", Rule::Differs},
    };
    std::vector<std::string> names = TestDataFiles("bmpsuite/g");
    ASSERT_GE(names.size(), 27u);
    int compared = 0;
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        std::string path = TestDataPath("bmpsuite/g/" + name);
        std::vector<uint8_t> bytes = ReadFileBytes(path);
        ExactBuffer source(bytes);
        auto found = rules.find(name);
        Rule rule = found == rules.end() ? Rule::Same : found->second;
        GdkPixbuf* ours = Pixbuf(CatchImage(0, source.data(), source.size()));
        if (rule == Rule::Refused) {
            EXPECT_EQ(ours, nullptr);
            continue;
        }
        ASSERT_NE(ours, nullptr);
        EXPECT_EQ(ImageDepth(0), 24);
        EXPECT_EQ(ImageDepth(0, -2), bytes[28]);
        if (rule == Rule::Differs) continue;
        GdkPixbuf* reference = gdk_pixbuf_new_from_file(path.c_str(), nullptr);
        ASSERT_NE(reference, nullptr);
        ASSERT_EQ(gdk_pixbuf_get_width(ours), gdk_pixbuf_get_width(reference));
        ASSERT_EQ(gdk_pixbuf_get_height(ours), gdk_pixbuf_get_height(reference));
        int differences = 0;
        for (int y = 0; y < gdk_pixbuf_get_height(ours); ++y)
            for (int x = 0; x < gdk_pixbuf_get_width(ours); ++x) {
                Rgba a = PixelAt(ours, x, y), b = PixelAt(reference, x, y);
                Rgba want = b;
                switch (rule) {
                case Rule::Same:
                    // Pixels the toolkit left transparent were never drawn.
                    if (b.a == 0) want = {0, 0, 0, 255};
                    break;
                case Rule::BlackAndWhite: {
                    bool isSecondEntry = b.b == bytes[58] && b.g == bytes[59] && b.r == bytes[60];
                    uint8_t level = isSecondEntry ? 255 : 0;
                    want = {level, level, level, 255};
                    break;
                }
                case Rule::FiveBits:
                    want = {uint8_t(b.r & 0xF8), uint8_t(b.g & 0xF8), uint8_t(b.b & 0xF8), 255};
                    break;
                default:
                    want = {0, 0, 0, 255};
                }
                if (a.r != want.r || a.g != want.g || a.b != want.b) ++differences;
            }
        EXPECT_EQ(differences, 0);
        ++compared;
        g_object_unref(reference);
    }
    EXPECT_EQ(compared, 22);
    QX_FreeImage(0);
}

// Every file of the suite, hostile ones included, is read only inside its data, decoded only
// inside a block of exactly its rows, and left unchanged (the source may be read-only).
TEST_F(BmpDecoding, EveryFileIsHandledInsideItsBounds) {
    int files = 0, decoded = 0;
    for (const char* folder : {"g", "q", "b", "x"}) {
        for (const std::string& name : TestDataFiles(std::string("bmpsuite/") + folder)) {
            SCOPED_TRACE(std::string(folder) + "/" + name);
            std::vector<uint8_t> bytes =
                ReadFileBytes(TestDataPath(std::string("bmpsuite/") + folder + "/" + name));
            ++files;
            ExactBuffer source(bytes);
            CatchImage(0, source.data(), source.size());
            ASSERT_EQ(0, std::memcmp(source.data(), bytes.data(), bytes.size()));
            if (FindImageDecoder(source.data(), source.size()) == kBMPDecoderIdentifier) {
                const ImageDecoderState* state = ImageDecoderGlobals();
                int64_t width = state->width, height = state->height;
                CloseImageDecoder();
                if (width > 0 && height > 0 && width * height <= (1 << 22)) {
                    DecodeExactly(bytes, static_cast<int32_t>(width * 3));
                    ++decoded;
                }
            }
            ASSERT_EQ(0, std::memcmp(source.data(), bytes.data(), bytes.size()));
        }
    }
    EXPECT_GE(files, 90);
    EXPECT_GE(decoded, 60);
    QX_FreeImage(0);
}

TEST_F(BmpDecoding, RecognisesOnlyBitmapHeaders) {
    std::vector<uint8_t> bmp = MakeBmp(2, 2, 24, 0, {}, 0, std::vector<uint8_t>(16));
    EXPECT_EQ(DecodeExactly(bmp, 8).size(), 16u);
    std::vector<uint8_t> reserved = bmp;
    reserved[8] = 1;
    EXPECT_EQ(DecodeExactly(reserved, 8).size(), 0u);
    std::vector<uint8_t> png = ReadFileBytes(TestDataPath("pngsuite/basn2c08.png"));
    ExactBuffer pngSource(png);
    EXPECT_EQ(FindImageDecoder(pngSource.data(), pngSource.size()), kPNGDecoderIdentifier);
    CloseImageDecoder();
    // "BM" and too little behind it for a header.
    ExactBuffer shortHeader(bmp, 40);
    EXPECT_EQ(FindImageDecoder(shortHeader.data(), shortHeader.size()), 0u);
}

TEST_F(BmpDecoding, DrawsEachDepthBottomRowLast) {
    // 24 bits, width 5: one padding byte per row; the file's first row is the bottom one.
    std::vector<uint8_t> rows24;
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 5; ++x)
            rows24.insert(rows24.end(), {uint8_t(x), uint8_t(y), 200}); // blue, green, red
        rows24.push_back(0xEE);
    }
    std::vector<uint8_t> block = DecodeExactly(MakeBmp(5, 2, 24, 0, {}, 0, rows24), 16);
    EXPECT_EQ(Slice(block, 16, 15), Rgb({0xC80000, 0xC80001, 0xC80002, 0xC80003, 0xC80004}));
    EXPECT_EQ(Slice(block, 0, 15), Rgb({0xC80100, 0xC80101, 0xC80102, 0xC80103, 0xC80104}));

    // 16 bits are 5-5-5 with the top bit ignored; odd widths skip two bytes per row.
    std::vector<uint8_t> rows16 = {0xFF, 0x7F, 0x00, 0x80, 0x1F, 0x00, 9, 9,
                                   0x00, 0x7C, 0xE0, 0x03, 0,    0,    9, 9};
    block = DecodeExactly(MakeBmp(3, 2, 16, 0, {}, 0, rows16), 12);
    EXPECT_EQ(Slice(block, 12, 9), Rgb({0xF8F8F8, 0x000000, 0x0000F8}));
    EXPECT_EQ(Slice(block, 0, 9), Rgb({0xF80000, 0x00F800, 0x000000}));

    // 1 bit is black and white whatever the palette says.
    block = DecodeExactly(MakeBmp(3, 1, 1, 0, {0x123456, 0x654321}, 2, {0xA0, 0, 0, 0}), 12);
    EXPECT_EQ(Slice(block, 0, 9), Rgb({0xFFFFFF, 0x000000, 0xFFFFFF}));

    // 4 bits, width 3: two bytes and two padding bytes per row, high half first.
    std::vector<uint32_t> palette = {0x000000, 0x112233, 0x445566, 0x778899};
    block =
        DecodeExactly(MakeBmp(3, 2, 4, 0, palette, 4, {0x12, 0x3F, 9, 9, 0x21, 0x00, 9, 9}), 12);
    EXPECT_EQ(Slice(block, 12, 9), Rgb({0x112233, 0x445566, 0x778899}));
    EXPECT_EQ(Slice(block, 0, 9), Rgb({0x445566, 0x112233, 0x000000}));

    // 8 bits with a colours-used field of 0 have the full palette of 256 entries.
    std::vector<uint32_t> full(256);
    for (uint32_t i = 0; i < 256; ++i)
        full[i] = i * 0x010101;
    block = DecodeExactly(MakeBmp(2, 1, 8, 0, full, 0, {200, 255, 0, 0}), 8);
    EXPECT_EQ(Slice(block, 0, 6), Rgb({0xC8C8C8, 0xFFFFFF}));

    // RLE4 and 2 bits are not drawn.
    EXPECT_EQ(DecodeExactly(MakeBmp(2, 1, 4, 2, palette, 4, {2, 0x11, 0, 1}), 8, 0xAA),
              std::vector<uint8_t>(8, 0xAA));
    EXPECT_EQ(DecodeExactly(MakeBmp(2, 1, 2, 0, palette, 4, {0xFF, 0, 0, 0}), 8, 0xAA),
              std::vector<uint8_t>(8, 0xAA));
}

TEST_F(BmpDecoding, RunLengthDataStaysInsideThePicture) {
    std::vector<uint32_t> palette = {0, 0x010101, 0x020202, 0x030303, 0x040404, 0xABCDEF};
    // Three pixels of entry 5 on the bottom row, then the end of the bitmap.
    std::vector<uint8_t> block =
        DecodeExactly(MakeBmp(4, 2, 8, 1, palette, 6, {3, 5, 0, 0, 0, 1}), 12);
    EXPECT_EQ(Slice(block, 12, 12), Rgb({0xABCDEF, 0xABCDEF, 0xABCDEF, 0}));
    EXPECT_EQ(Slice(block, 0, 12), std::vector<uint8_t>(12, 0));

    // A run longer than the row, an absolute run past the right edge (odd, so padded), a delta
    // past the top and no end marker: nothing lands outside the 4 x 2 picture, not even in the
    // spare bytes at the end of its rows.
    block = DecodeExactly(MakeBmp(4, 2, 8, 1, palette, 6,
                                  {9, 1, 0, 0, 1, 2, 0, 5, 3, 4, 3, 4, 3, 0, 0, 2, 0, 9, 7, 5}),
                          16, 0xAA);
    EXPECT_EQ(Slice(block, 16, 12), Rgb({0x010101, 0x010101, 0x010101, 0x010101}));
    EXPECT_EQ(Slice(block, 0, 12), Rgb({0x020202, 0x030303, 0x040404, 0x030303}));
    EXPECT_EQ(Slice(block, 12, 4), std::vector<uint8_t>(4, 0xAA));
    EXPECT_EQ(Slice(block, 28, 4), std::vector<uint8_t>(4, 0xAA));

    // Stored top-down: no image, and a decode writes nothing anywhere.
    std::vector<uint8_t> topDown = MakeBmp(4, -2, 8, 1, palette, 6, {3, 5, 0, 0, 3, 5, 0, 1});
    ExactBuffer source(topDown);
    EXPECT_EQ(CatchImage(0, source.data(), source.size()), 0);
    ASSERT_EQ(FindImageDecoder(source.data(), source.size()), kBMPDecoderIdentifier);
    std::vector<uint8_t> guard(64, 0xAA);
    EXPECT_EQ(DecodeImage(guard.data() + 32, 12, 0), 1);
    CloseImageDecoder();
    EXPECT_EQ(guard, std::vector<uint8_t>(64, 0xAA));
}

// Rows, palettes and pixel offsets that point outside the data draw what the data holds.
TEST_F(BmpDecoding, DrawsOnlyWhatTheDataHolds) {
    std::vector<uint8_t> bmp = MakeBmp(2, 2, 24, 0, {}, 0, {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9});
    EXPECT_EQ(DecodeExactly(bmp, 8), (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0, 0, //
                                                           3, 2, 1, 6, 5, 4, 0, 0}));
    std::vector<uint8_t> farOffset = bmp;
    Put32(farOffset, 10, 0x7FFFFFF0);
    EXPECT_EQ(DecodeExactly(farOffset, 8), std::vector<uint8_t>(16, 0));
    std::vector<uint8_t> negativeOffset = bmp;
    Put32(negativeOffset, 10, 0xFFFFFFF0);
    EXPECT_EQ(DecodeExactly(negativeOffset, 8), std::vector<uint8_t>(16, 0));
    // A palette that begins beyond the data leaves every entry black.
    std::vector<uint8_t> farPalette = MakeBmp(2, 1, 8, 0, {0xFFFFFF, 0xFFFFFF}, 2, {1, 0, 0, 0});
    Put32(farPalette, 14, 0xFFFFFFF0);
    EXPECT_EQ(DecodeExactly(farPalette, 8, 0xAA),
              (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0xAA, 0xAA}));
}

} // namespace
