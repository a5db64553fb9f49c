// The image library: both decoders against the toolkit's loaders, hostile and cut data read from
// buffers of exactly their size (the sanitizer build catches any stray access), image objects.
#include "image/image.h"
#include "tests/support/faults.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <malloc.h>
#include <map>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using Pixel = std::array<int, 4>;

// Every file of a test folder, each exactly its bytes (no spare capacity behind them).
std::map<std::string, Bytes> Folder(const std::string& folder) {
    std::map<std::string, Bytes> files;
    for (const auto& entry : std::filesystem::directory_iterator(QX_TESTDATA_DIR "/" + folder)) {
        std::ifstream in(entry.path(), std::ios::binary);
        Bytes all((std::istreambuf_iterator<char>(in)), {});
        files[entry.path().filename()] = Bytes(all.begin(), all.end());
    }
    return files;
}

GdkPixbuf* Catch(intptr_t number, const Bytes& data) {
    return reinterpret_cast<GdkPixbuf*>(CatchImage(number, data.data(), int32_t(data.size())));
}

// Decodes into a new 0xAA-filled block of exactly the picture's rows; -1: no decoder or no size.
int32_t Decode(const Bytes& data, Bytes& block, int32_t flags = 0) {
    if (!FindImageDecoder(data.data(), int32_t(data.size()))) return -1;
    const ImageDecoderState* state = ImageDecoderGlobals();
    int64_t pitch = int64_t{state->width} * state->depth / 8, rows = std::abs(state->height);
    bool sensible = pitch > 0 && rows > 0 && pitch * rows <= (1 << 24);
    if (sensible) block = Bytes(size_t(pitch * rows), 0xAA);
    int32_t result = sensible ? DecodeImage(block.data(), int32_t(pitch), flags) : -1;
    CloseImageDecoder();
    return result;
}

// A 24-bit bitmap header of the given size with no pixels behind it.
Bytes BmpHeader(int32_t width, int32_t height) {
    Bytes b(54);
    b[0] = 'B', b[1] = 'M', b[10] = 54, b[14] = 40, b[28] = 24;
    std::memcpy(&b[18], &width, 4), std::memcpy(&b[22], &height, 4);
    return b;
}

Pixel At(GdkPixbuf* p, int x, int y) {
    const guchar* q = gdk_pixbuf_get_pixels(p) + y * gdk_pixbuf_get_rowstride(p) +
                      x * gdk_pixbuf_get_n_channels(p);
    return {q[0], q[1], q[2], gdk_pixbuf_get_has_alpha(p) ? q[3] : 255};
}

struct Images : testing::Test {
    static void SetUpTestSuite() {
        [[maybe_unused]] static bool started = (InitImageDecoders(), RegisterBMPDecoder(),
                                                InitImageLibrary(), RegisterPNGDecoder(), true);
    }
};

// Good pictures read byte for byte as the toolkit reads them, in its row layout, into a block with
// a spare row; DecodeBottomUp flips their rows; deliberately corrupt ones fail to decode.
TEST_F(Images, PngSuiteMatchesTheToolkitLoader) {
    const std::map<std::string, std::pair<int, int>> depths = {
        {"basn6a08.png", {32, 32}}, {"basn2c08.png", {24, 24}}, {"tbrn2c08.png", {32, 32}},
        {"basn3p04.png", {24, 4}},  {"tbbn3p08.png", {32, 32}}, {"basn0g16.png", {24, 16}}};
    int good = 0, corrupt = 0, tabled = 0;
    for (const auto& [name, source] : Folder("pngsuite")) {
        SCOPED_TRACE(name);
        Bytes flipped;
        if (name[0] == 'x') {
            corrupt += Decode(source, flipped) <= 0;
            continue;
        }
        GdkPixbuf* ours = Catch(0, source);
        GdkPixbuf* reference =
            gdk_pixbuf_new_from_file((QX_TESTDATA_DIR "/pngsuite/" + name).c_str(), nullptr);
        ASSERT_TRUE(ours && reference);
        int pitch = gdk_pixbuf_get_rowstride(ours), height = gdk_pixbuf_get_height(ours), same = 0;
        ASSERT_EQ((std::array{pitch, height, gdk_pixbuf_get_has_alpha(ours)}),
                  (std::array{gdk_pixbuf_get_rowstride(reference), gdk_pixbuf_get_height(reference),
                              gdk_pixbuf_get_has_alpha(reference)}));
        EXPECT_GE(malloc_usable_size(gdk_pixbuf_get_pixels(ours)), size_t(pitch) * (height + 1));
        ASSERT_EQ(Decode(source, flipped, DecodeBottomUp), 1);
        size_t row = flipped.size() / size_t(height);
        for (int y = 0; y < height; ++y) {
            const guchar* line = gdk_pixbuf_get_pixels(ours) + y * pitch;
            same += !std::memcmp(line, gdk_pixbuf_get_pixels(reference) + y * pitch, row) &&
                    !std::memcmp(line, &flipped[size_t(height - 1 - y) * row], row);
        }
        if (auto d = depths.find(name); d != depths.end())
            tabled += std::pair(ImageDepth(0), ImageDepth(0, -2)) == d->second;
        g_object_unref(reference);
        good += same == height;
    }
    EXPECT_EQ((std::array{good, corrupt, tabled}), (std::array{161, 14, 6}));
}

// Cut anywhere, a picture is read only up to the cut and, cut before its last quarter, fails to
// decode; an image caught from half a picture keeps the rows decoded before the cut, zero after.
TEST_F(Images, PngIsNeverReadPastTheCut) {
    const auto png = Folder("pngsuite");
    for (const char* name : {"basn6a08.png", "oi9n2c16.png", "basi3p08.png"}) {
        const Bytes& whole = png.at(name);
        for (size_t size = 0; size < whole.size(); size += 3) {
            Bytes cut(whole.begin(), whole.begin() + ptrdiff_t(size)), block;
            EXPECT_TRUE(Decode(cut, block) <= 0 || size >= whole.size() * 3 / 4)
                << name << " cut at " << size;
        }
    }
    // The picture's own bytes lie behind the cut, so that anything read past it would show; in
    // the second, the one chunk of image data claims more bytes than the data holds.
    for (const char* name : {"oi9n2c16.png", "basn2c08.png"}) {
        SCOPED_TRACE(name);
        const Bytes& whole = png.at(name);
        GdkPixbuf* full = Catch(1, whole);
        auto* cut = reinterpret_cast<GdkPixbuf*>(
            CatchImage(2, whole.data(), int32_t(name[0] == 'o' ? whole.size() / 2 : 100)));
        ASSERT_TRUE(full && cut);
        if (name[0] == 'o') { // the rows before the cut are there
            EXPECT_EQ(0, std::memcmp(gdk_pixbuf_get_pixels(full), gdk_pixbuf_get_pixels(cut), 96));
        }
        const guchar* last = gdk_pixbuf_get_pixels(cut) + 31 * gdk_pixbuf_get_rowstride(cut);
        EXPECT_EQ(Bytes(last, last + 32 * 3), Bytes(32 * 3, 0));
    }
}

// 16-bit rows of every width class: odd widths carry two bytes of padding, even ones none.
TEST_F(Images, SixteenBitRowsOfOddAndEvenWidths) {
    for (int32_t width : {1, 2, 3, 4}) {
        SCOPED_TRACE(width);
        const int32_t height = 3;
        Bytes bmp = BmpHeader(width, height), block;
        bmp[28] = 16;
        auto grey = [](int x, int y) { return (x + 5 * y + 1) & 0x1F; }; // y from the bottom
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const int v = grey(x, y) * 0x421; // the same five bits in red, green and blue
                bmp.push_back(uint8_t(v)), bmp.push_back(uint8_t(v >> 8));
            }
            bmp.resize(bmp.size() + size_t(-2 * width & 3)); // rows end on four bytes
        }
        ASSERT_EQ(Decode(bmp, block), 1);
        int wrong = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                for (int c = 0; c < 3; ++c)
                    wrong += block[size_t((height - 1 - y) * width * 3 + x * 3 + c)] != grey(x, y)
                                                                                            << 3;
        EXPECT_EQ(wrong, 0);
    }
}

// How a good bitmap compares with the toolkit's reading: the same (pixels it left transparent never
// drawn), 1-bit palette entries black then white, 5-bit colours shifted up, RLE4 never drawn,
// refused, or bit-field masks unread. pal8-0.bmp (0 colours used: the full palette) is the same.
enum Rule { Same, BlackAndWhite, FiveBits, Untouched, Refused, Unread };

TEST_F(Images, BmpSuiteFollowsTheToolkitOrItsOwnRule) {
    const std::map<std::string, Rule> rules = {
        {"pal1.bmp", BlackAndWhite},  {"pal1bg.bmp", BlackAndWhite}, {"pal1wb.bmp", BlackAndWhite},
        {"pal4rle.bmp", Untouched},   {"pal8os2.bmp", Refused},      {"pal8topdown.bmp", Refused},
        {"rgb16.bmp", FiveBits},      {"rgb16bfdef.bmp", FiveBits},  {"rgb16-565.bmp", Unread},
        {"rgb16-565pal.bmp", Unread}, {"rgb32bf.bmp", Unread}};
    int compared = 0;
    for (const auto& file : Folder("bmpsuite/g")) {
        const std::string& name = file.first; // named, not bound: the lambda below reads it
        const Bytes& source = file.second;
        SCOPED_TRACE(name);
        Rule rule = rules.contains(name) ? rules.at(name) : Same;
        GdkPixbuf* ours = Catch(0, source);
        EXPECT_EQ(ours == nullptr, rule == Refused);
        if (rule == Refused || rule == Unread || !ours) continue;
        EXPECT_EQ(ImageDepth(0, -2), source[28]);
        GdkPixbuf* reference =
            gdk_pixbuf_new_from_file((QX_TESTDATA_DIR "/bmpsuite/g/" + name).c_str(), nullptr);
        ASSERT_EQ((std::array{ImageWidth(0), ImageHeight(0)}),
                  (std::array{gdk_pixbuf_get_width(reference), gdk_pixbuf_get_height(reference)}));
        auto want = [&](Pixel p) -> Pixel {
            if (rule == FiveBits) return {p[0] & 0xF8, p[1] & 0xF8, p[2] & 0xF8, 255};
            if (rule == Same && p[3] != 0) return {p[0], p[1], p[2], 255};
            bool white = rule == BlackAndWhite && p[0] == source[60] && p[1] == source[59] &&
                         p[2] == source[58];
            return {255 * white, 255 * white, 255 * white, 255};
        };
        int differences = 0;
        for (int y = 0; y < ImageHeight(0); ++y)
            for (int x = 0; x < ImageWidth(0); ++x)
                differences += At(ours, x, y) != want(At(reference, x, y));
        EXPECT_EQ(differences, 0);
        g_object_unref(reference);
        ++compared;
    }
    EXPECT_EQ(compared, 22);
}

// Every bitmap, hostile ones included, is read only inside its data, drawn only inside its rows
// and left as it was (it may be read-only); one stored top-down (RLE8 too) draws nothing.
TEST_F(Images, EveryBitmapStaysInsideItsData) {
    int files = 0, decoded = 0, topDown = 0;
    for (std::string folder : {"g", "q", "b", "x"})
        for (const auto& [name, original] : Folder("bmpsuite/" + folder)) {
            SCOPED_TRACE(folder + "/" + name);
            Bytes source = original, block;
            Catch(0, source), ++files;
            if (int32_t result = Decode(source, block); result >= 0) {
                decoded += result == 1;
                if (ImageDecoderGlobals()->height < 0)
                    topDown += block == Bytes(block.size(), 0xAA);
            }
            EXPECT_EQ(source, original);
        }
    EXPECT_EQ((std::array{files, decoded, topDown}), (std::array{91, 84, 2}));
}

TEST_F(Images, ObjectsLayoutNumbersAndReplacement) {
    // RGBA rows are not rounded up as 24-bit ones are (the suite's RGBA pictures are 32 wide).
    GdkPixbuf* pattern = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, 5, 3);
    gdk_pixbuf_fill(pattern, 0x8040C0FF);
    gchar* png = nullptr;
    gsize size = 0;
    ASSERT_TRUE(gdk_pixbuf_save_to_buffer(pattern, &png, &size, "png", nullptr, nullptr));
    auto* rgba = reinterpret_cast<GdkPixbuf*>(CatchImage(2, png, int32_t(size)));
    g_free(png);
    g_object_unref(pattern);
    ASSERT_NE(rgba, nullptr);
    EXPECT_EQ(gdk_pixbuf_get_rowstride(rgba), 20);

    // Refused data, sizes or memory keep the image; replacing it drops the old pixbuf's reference.
    Bytes first = Folder("pngsuite").at("basn6a08.png");
    GdkPixbuf* old = Catch(3, first);
    ASSERT_TRUE(old && g_object_ref(old));
    for (const Bytes& refused : {Bytes{'B', 'X'}, BmpHeader(32768, 1), BmpHeader(1, 40000),
                                 BmpHeader(0, 5), BmpHeader(5, -3), BmpHeader(32767, 32767)})
        EXPECT_EQ(Catch(3, refused), nullptr);
    {
        FailAllocations refuse;
        EXPECT_EQ(Catch(3, first), nullptr);
    }
    EXPECT_EQ(ImageID(3), intptr_t(old));
    EXPECT_EQ(G_OBJECT(old)->ref_count, 2u);
    GdkPixbuf* replacement = Catch(3, BmpHeader(8, 2));
    EXPECT_EQ(ImageID(3), intptr_t(replacement));
    EXPECT_EQ(G_OBJECT(old)->ref_count, 1u);

    // A resized image is laid out as a caught one; a refused size or memory keeps it as it was.
    g_object_ref(rgba);
    for (auto [width, height] : {std::pair{0, 6}, std::pair{10, 32768}, std::pair{-1, -1}})
        EXPECT_EQ(ResizeImage(2, width, height), 0);
    {
        FailAllocations refuse;
        EXPECT_EQ(ResizeImage(2, 10, 6), 0);
    }
    EXPECT_EQ(ResizeImage(7, 10, 6), 0);
    EXPECT_EQ(ImageID(2), intptr_t(rgba));
    auto* larger = reinterpret_cast<GdkPixbuf*>(ResizeImage(2, 10, 6));
    ASSERT_NE(larger, nullptr);
    EXPECT_EQ(G_OBJECT(rgba)->ref_count, 1u); // only the holder of the old picture keeps it
    g_object_unref(rgba);
    EXPECT_EQ((std::array{ImageID(2), intptr_t(ImageWidth(2)), intptr_t(ImageHeight(2)),
                          intptr_t(gdk_pixbuf_get_rowstride(larger))}),
              (std::array{intptr_t(larger), intptr_t{10}, intptr_t{6}, intptr_t{40}}));
    EXPECT_EQ(At(larger, 9, 5), (Pixel{0x80, 0x40, 0xC0, 0xFF}));
    ASSERT_TRUE(Catch(4, BmpHeader(8, 2)));
    auto* smaller = reinterpret_cast<GdkPixbuf*>(ResizeImage(4, 5, 1));
    ASSERT_TRUE(smaller && gdk_pixbuf_get_rowstride(smaller) == 16 && ImageDepth(4) == 24);

    // Any gives each picture a number of its own, the address of its record.
    Bytes bmp = Folder("bmpsuite/g").at("pal4.bmp");
    intptr_t one = CatchImage(Any, bmp.data(), int32_t(bmp.size()));
    intptr_t two = CatchImage(Any, bmp.data(), int32_t(bmp.size()));
    ASSERT_TRUE(one && two && one != two);
    EXPECT_EQ(ImageID(one), intptr_t(reinterpret_cast<ImageObject*>(one)->pixbuf));
    EXPECT_EQ((std::array{ImageWidth(one), ImageHeight(one), ImageDepth(one), ImageDepth(one, -2),
                          ImageDepth(9, -2)}),
              (std::array{127, 64, 24, 4, 0}));
    QX_FreeImage(one);
    EXPECT_TRUE(!IsObject(QX_Image_Objects, one) && ImageID(two));

    // Ending the library frees every image, numbered or Any, and destroys the hidden window.
    g_object_ref(replacement);
    EndImageLibrary();
    EXPECT_EQ((std::array{ImageID(3), intptr_t(QX_Image_Window),
                          intptr_t(IsObject(QX_Image_Objects, two))}),
              (std::array<intptr_t, 3>{}));
    EXPECT_EQ(G_OBJECT(replacement)->ref_count, 1u);
    g_object_unref(replacement);
    g_object_unref(old);
}

} // namespace
