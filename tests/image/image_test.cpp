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
#include <set>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using Pixel = std::array<int, 4>;

std::string Path(const std::string& relative) {
    return QX_TESTDATA_DIR "/" + relative;
}

std::set<std::string> Files(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(Path(folder)))
        names.insert(entry.path().filename());
    return names;
}

Bytes Read(const std::string& relative) {
    std::ifstream in(Path(relative), std::ios::binary);
    Bytes all((std::istreambuf_iterator<char>(in)), {});
    return Bytes(all.begin(), all.end()); // capacity == size
}

GdkPixbuf* Catch(intptr_t number, const Bytes& data) {
    return reinterpret_cast<GdkPixbuf*>(CatchImage(number, data.data(), int32_t(data.size())));
}

// A 24-bit bitmap header of the given size with no pixels behind it.
Bytes BmpHeader(int32_t width, int32_t height) {
    Bytes b(54);
    b[0] = 'B', b[1] = 'M', b[10] = 54, b[14] = 40, b[28] = 24;
    std::memcpy(&b[18], &width, 4);
    std::memcpy(&b[22], &height, 4);
    return b;
}

Pixel At(GdkPixbuf* p, int x, int y) {
    const guchar* q = gdk_pixbuf_get_pixels(p) + y * gdk_pixbuf_get_rowstride(p) +
                      x * gdk_pixbuf_get_n_channels(p);
    return {q[0], q[1], q[2], gdk_pixbuf_get_has_alpha(p) ? q[3] : 255};
}

// Pixels where `ours` is not what `want` makes of the reference's pixel; -1 for another size.
template <typename Want> int Differences(GdkPixbuf* ours, GdkPixbuf* reference, Want want) {
    int width = gdk_pixbuf_get_width(reference), height = gdk_pixbuf_get_height(reference), n = 0;
    if (gdk_pixbuf_get_width(ours) != width || gdk_pixbuf_get_height(ours) != height) return -1;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            n += At(ours, x, y) != want(At(reference, x, y));
    return n;
}

class Images : public testing::Test {
  protected:
    void SetUp() override {
        [[maybe_unused]] static bool started = (InitImageDecoders(), RegisterBMPDecoder(),
                                                InitImageLibrary(), RegisterPNGDecoder(), true);
    }
    void TearDown() override { QX_FreeImage(-1); }
};

// Good pictures read byte for byte as the toolkit reads them, in the layout it chooses too, and
// DecodeBottomUp flips their rows (interlaced ones' seven passes included); deliberately corrupt
// pictures are rejected or fail to decode.
TEST_F(Images, PngSuiteMatchesTheToolkitLoader) {
    const std::map<std::string, std::pair<int, int>> depths = {
        {"basn6a08.png", {32, 32}}, {"basn2c08.png", {24, 24}}, {"tbrn2c08.png", {32, 32}},
        {"basn3p04.png", {24, 4}},  {"tbbn3p08.png", {32, 32}}, {"basn0g16.png", {24, 16}}};
    int good = 0, corrupt = 0, tabled = 0;
    for (const std::string& name : Files("pngsuite")) {
        SCOPED_TRACE(name);
        Bytes source = Read("pngsuite/" + name);
        if (name[0] == 'x') {
            ++corrupt;
            if (!FindImageDecoder(source.data(), int32_t(source.size()))) continue;
            const ImageDecoderState* state = ImageDecoderGlobals();
            Bytes block(size_t(state->width) * 4 * state->height);
            EXPECT_EQ(DecodeImage(block.data(), state->width * 4, 0), 0);
            CloseImageDecoder();
            continue;
        }
        GdkPixbuf* ours = Catch(0, source);
        GdkPixbuf* reference = gdk_pixbuf_new_from_file(Path("pngsuite/" + name).c_str(), nullptr);
        ASSERT_TRUE(ours && reference);
        EXPECT_EQ(gdk_pixbuf_get_has_alpha(ours), gdk_pixbuf_get_has_alpha(reference));
        EXPECT_EQ(Differences(ours, reference, [](Pixel p) { return p; }), 0);
        ASSERT_EQ(FindImageDecoder(source.data(), int32_t(source.size())), kPNGDecoderIdentifier);
        int pitch = gdk_pixbuf_get_rowstride(ours), height = gdk_pixbuf_get_height(ours), flips = 0;
        Bytes flipped(size_t(pitch) * height);
        EXPECT_EQ(DecodeImage(flipped.data(), pitch, DecodeBottomUp), 1);
        CloseImageDecoder();
        for (int y = 0; y < height; ++y)
            flips += !std::memcmp(gdk_pixbuf_get_pixels(ours) + y * pitch,
                                  &flipped[size_t(height - 1 - y) * pitch], size_t(pitch));
        EXPECT_EQ(flips, height);
        if (auto d = depths.find(name); d != depths.end()) {
            EXPECT_EQ(std::pair(ImageDepth(0), ImageDepth(0, -2)), d->second);
            ++tabled;
        }
        g_object_unref(reference);
        ++good;
    }
    EXPECT_EQ((std::array{good, corrupt, tabled}), (std::array{161, 14, 6}));
}

// Cut anywhere, a picture is read only up to the cut, and cut before its last quarter (the
// checksum and end chunk) it fails to decode. An image caught from half a picture keeps the rows
// decoded before the cut and shows zero after it.
TEST_F(Images, PngIsNeverReadPastTheCut) {
    for (const char* name : {"basn6a08.png", "oi9n2c16.png", "basi3p08.png"}) {
        Bytes whole = Read(std::string("pngsuite/") + name);
        for (size_t size = 0; size < whole.size(); size += 3) {
            Bytes cut(whole.begin(), whole.begin() + ptrdiff_t(size));
            if (!FindImageDecoder(cut.data(), int32_t(size))) continue;
            Bytes block(32 * 4 * 32);
            int32_t decoded = DecodeImage(block.data(), 32 * 4, 0);
            CloseImageDecoder();
            EXPECT_TRUE(decoded == 0 || size >= whole.size() * 3 / 4) << name << " cut at " << size;
        }
    }
    Bytes whole = Read("pngsuite/oi9n2c16.png"),
          half(whole.begin(), whole.begin() + ptrdiff_t(whole.size() / 2));
    GdkPixbuf *full = Catch(1, whole), *cut = Catch(2, half);
    ASSERT_TRUE(full && cut);
    EXPECT_EQ(0, std::memcmp(gdk_pixbuf_get_pixels(full), gdk_pixbuf_get_pixels(cut), 32 * 3));
    const guchar* last = gdk_pixbuf_get_pixels(cut) + 31 * gdk_pixbuf_get_rowstride(cut);
    EXPECT_EQ(Bytes(last, last + 32 * 3), Bytes(32 * 3, 0));
}

// How a good bitmap compares with the toolkit's reading of it (Unread: bit-field masks this
// decoder ignores). pal8-0.bmp (colours used 0: the full palette) is compared like the rest.
enum Rule { Same, BlackAndWhite, FiveBits, Untouched, Refused, Unread };

TEST_F(Images, BmpSuiteFollowsTheToolkitOrItsOwnRule) {
    const std::map<std::string, Rule> rules = {
        {"pal1.bmp", BlackAndWhite},  {"pal1bg.bmp", BlackAndWhite}, {"pal1wb.bmp", BlackAndWhite},
        {"pal4rle.bmp", Untouched},   {"pal8os2.bmp", Refused},      {"pal8topdown.bmp", Refused},
        {"rgb16.bmp", FiveBits},      {"rgb16bfdef.bmp", FiveBits},  {"rgb16-565.bmp", Unread},
        {"rgb16-565pal.bmp", Unread}, {"rgb32bf.bmp", Unread}};
    int compared = 0;
    for (const std::string& name : Files("bmpsuite/g")) {
        SCOPED_TRACE(name);
        Bytes source = Read("bmpsuite/g/" + name);
        Rule rule = rules.contains(name) ? rules.at(name) : Same;
        GdkPixbuf* ours = Catch(0, source);
        EXPECT_EQ(ours == nullptr, rule == Refused);
        if (rule == Refused || rule == Unread || !ours) continue;
        EXPECT_EQ(ImageDepth(0, -2), source[28]);
        GdkPixbuf* reference =
            gdk_pixbuf_new_from_file(Path("bmpsuite/g/" + name).c_str(), nullptr);
        ASSERT_NE(reference, nullptr);
        // A 1-bit picture's second palette entry is white, its first black; 5-bit colours are
        // shifted up; RLE4 pictures, and pixels the toolkit left transparent, are never drawn.
        auto want = [&](Pixel p) -> Pixel {
            if (rule == FiveBits) return {p[0] & 0xF8, p[1] & 0xF8, p[2] & 0xF8, 255};
            if (rule == Same && p[3] != 0) return {p[0], p[1], p[2], 255};
            bool white = rule == BlackAndWhite && p[0] == source[60] && p[1] == source[59] &&
                         p[2] == source[58];
            return {255 * white, 255 * white, 255 * white, 255};
        };
        EXPECT_EQ(Differences(ours, reference, want), 0);
        g_object_unref(reference);
        ++compared;
    }
    EXPECT_EQ(compared, 22);
}

// Every bitmap of the suite, hostile ones included, is read only inside its data and drawn only
// inside a block of exactly its rows; its data is left as it was (it may be read-only), and one
// stored top-down (RLE8 too) draws nothing.
TEST_F(Images, EveryBitmapStaysInsideItsData) {
    int files = 0, decoded = 0, topDown = 0;
    for (std::string folder : {"g/", "q/", "b/", "x/"})
        for (const std::string& name : Files("bmpsuite/" + folder)) {
            SCOPED_TRACE(folder + name);
            const Bytes original = Read("bmpsuite/" + folder + name);
            Bytes source = original;
            ++files;
            Catch(0, source);
            if (FindImageDecoder(source.data(), int32_t(source.size())) == kBMPDecoderIdentifier) {
                const ImageDecoderState* state = ImageDecoderGlobals();
                int64_t width = state->width, rows = std::abs(int64_t{state->height});
                if (width > 0 && rows > 0 && width * rows <= (1 << 22)) {
                    Bytes block(size_t(width * 3 * rows), 0xAA);
                    EXPECT_EQ(DecodeImage(block.data(), int32_t(width * 3), 0), 1);
                    if (state->height < 0) {
                        EXPECT_EQ(block, Bytes(block.size(), 0xAA));
                        ++topDown;
                    }
                    ++decoded;
                }
                CloseImageDecoder();
            }
            EXPECT_EQ(source, original);
        }
    EXPECT_EQ((std::array{files, decoded, topDown}), (std::array{91, 84, 2}));
}

TEST_F(Images, ObjectsLayoutNumbersAndReplacement) {
    // 24-bit rows are rounded up to 4 bytes, RGBA rows are not; the block has one spare row.
    for (auto [width, pitch] : {std::array{1, 4}, std::array{5, 16}, std::array{130, 392}}) {
        GdkPixbuf* pixbuf = Catch(1, BmpHeader(width, 3));
        ASSERT_NE(pixbuf, nullptr);
        EXPECT_EQ(gdk_pixbuf_get_rowstride(pixbuf), pitch);
        EXPECT_GE(malloc_usable_size(gdk_pixbuf_get_pixels(pixbuf)), size_t(pitch) * 4);
    }
    GdkPixbuf* pattern = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, 130, 91);
    gdk_pixbuf_fill(pattern, 0x8040C0FF);
    gchar* png = nullptr;
    gsize size = 0;
    ASSERT_TRUE(gdk_pixbuf_save_to_buffer(pattern, &png, &size, "png", nullptr, nullptr));
    auto* rgba = reinterpret_cast<GdkPixbuf*>(CatchImage(2, png, int32_t(size)));
    g_free(png);
    g_object_unref(pattern);
    ASSERT_NE(rgba, nullptr);
    EXPECT_EQ(gdk_pixbuf_get_rowstride(rgba), 520);
    EXPECT_GE(malloc_usable_size(gdk_pixbuf_get_pixels(rgba)), 520u * 92);

    // Data no decoder takes, sizes beyond 16 bits or 32-bit blocks and refused memory leave an
    // image in place; a new picture replaces it, and its pixbuf loses the image's reference.
    Bytes first = Read("pngsuite/basn6a08.png");
    GdkPixbuf* old = Catch(3, first);
    ASSERT_NE(old, nullptr);
    g_object_ref(old);
    for (const Bytes& refused : {Bytes{'B', 'X'}, BmpHeader(32768, 1), BmpHeader(1, 40000),
                                 BmpHeader(0, 5), BmpHeader(5, -3), BmpHeader(32767, 32767)})
        EXPECT_EQ(Catch(3, refused), nullptr);
    {
        FailAllocations refuse;
        EXPECT_EQ(Catch(3, first), nullptr);
        EXPECT_GT(refuse.Refused(), 0);
    }
    EXPECT_EQ(ImageID(3), intptr_t(old));
    EXPECT_EQ(G_OBJECT(old)->ref_count, 2u);
    GdkPixbuf* replacement = Catch(3, BmpHeader(8, 2));
    EXPECT_EQ(ImageID(3), intptr_t(replacement));
    EXPECT_EQ((std::array{ImageWidth(3), ImageHeight(3), ImageDepth(3)}), (std::array{8, 2, 24}));
    EXPECT_EQ(G_OBJECT(old)->ref_count, 1u);
    g_object_unref(old);

    // Any gives each picture a number of its own, the address of its record.
    Bytes bmp = Read("bmpsuite/g/pal4.bmp");
    intptr_t one = CatchImage(Any, bmp.data(), int32_t(bmp.size()));
    intptr_t two = CatchImage(Any, bmp.data(), int32_t(bmp.size()));
    ASSERT_TRUE(one && two && one != two);
    EXPECT_EQ(ImageID(one), intptr_t(reinterpret_cast<ImageObject*>(one)->pixbuf));
    EXPECT_EQ((std::array{ImageWidth(one), ImageHeight(one), ImageDepth(one), ImageDepth(one, -2)}),
              (std::array{127, 64, 24, 4}));
    QX_FreeImage(one);
    EXPECT_EQ(IsObject(QX_Image_Objects, one), nullptr);
    EXPECT_NE(ImageID(two), 0);
    EXPECT_EQ(ImageDepth(9, -2), 0);
}

} // namespace
