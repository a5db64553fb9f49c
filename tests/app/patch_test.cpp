// The patch table applied to a target-sized file: the bytes that change are checked against
// the documented write sequence, written out here independently of the table in the product.
#include "app/patch.h"
#include "file/file.h"
#include "tests/support/e2e.h"

#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;
using Writes = std::vector<std::pair<size_t, unsigned char>>;

constexpr size_t kTargetLength = 1372160;
constexpr size_t kSkipIntro = 45404;

// (offset, byte) in the documented order: heights first, then widths.
Writes Documented(unsigned char widthLow, unsigned char widthHigh, unsigned char heightLow,
                  unsigned char heightHigh) {
    return {{24075, heightLow}, {24076, heightHigh}, {45970, heightLow},  {45971, heightHigh},
            {46170, heightLow}, {46171, heightHigh}, {452709, heightLow}, {452710, heightHigh},
            {24067, widthLow},  {24068, widthHigh},  {45986, widthLow},   {45987, widthHigh},
            {46180, widthLow},  {46181, widthHigh},  {452714, widthLow},  {452715, widthHigh}};
}

struct DocumentedResolution {
    intptr_t option;
    std::u16string text;
    Writes writes;
};

const std::vector<DocumentedResolution>& Resolutions() {
    static const std::vector<DocumentedResolution> table = {
        {3, u"1920x1080", Documented(0x80, 0x07, 0x38, 0x04)},
        {4, u"1600x900", Documented(0x40, 0x06, 0x84, 0x03)},
        {5, u"1366x768", Documented(0x56, 0x05, 0x00, 0x03)},
        {6, u"1280x720", Documented(0x00, 0x05, 0xD0, 0x02)},
    };
    return table;
}

Bytes Apply(Bytes bytes, const Writes& writes) {
    for (auto [offset, value] : writes)
        bytes[offset] = value;
    return bytes;
}

class PatchTable : public testing::Test {
  protected:
    void SetUp() override { InitFileLibrary(); }
    void TearDown() override { QX_CloseFile(-1); }
    bool OpenTarget() { return OpenFile(kPatchFile, name.c_str()) != 0; }
    // The resolution that option gadget `option` selects, applied through file 0.
    void Patch(intptr_t option) {
        const Resolution* resolution = ResolutionForOption(option);
        ASSERT_NE(resolution, nullptr);
        ApplyResolution(*resolution);
    }
    TempDir dir;
    std::string path = dir.File("Quellmire.exe");
    std::u16string name{path.begin(), path.end()};
};

} // namespace

TEST_F(PatchTable, EachResolutionChangesExactlyItsBytes) {
    unsigned seed = 1;
    for (const DocumentedResolution& documented : Resolutions()) {
        for (bool skipIntro : {false, true}) {
            SCOPED_TRACE(std::string(documented.text.begin(), documented.text.end()) +
                         (skipIntro ? " skipping the intro" : ""));
            const Resolution* resolution = ResolutionForOption(documented.option);
            ASSERT_NE(resolution, nullptr);
            EXPECT_EQ(std::u16string(resolution->text), documented.text);

            // Every byte that is to be written starts out different from its new value.
            Bytes original = RandomBytes(kTargetLength, seed++);
            for (auto [offset, value] : documented.writes)
                original[offset] = static_cast<unsigned char>(value ^ 0xFF);
            original[kSkipIntro] = 0xAA;
            WriteBytes(path, original);

            Writes writes = documented.writes;
            if (skipIntro) writes.insert(writes.begin(), {kSkipIntro, 0x00});
            const Bytes expected = Apply(original, writes);

            ASSERT_TRUE(OpenTarget());
            if (skipIntro) ApplySkipIntro();
            ApplyResolution(*resolution);
            // Each seek has written out the byte before it; the last one waits for the close.
            Bytes beforeClose = expected;
            beforeClose[452715] = original[452715];
            EXPECT_EQ(ReadBytes(path), beforeClose);
            QX_CloseFile(kPatchFile);
            EXPECT_EQ(ReadBytes(path), expected);
        }
    }
    for (intptr_t other : {0, 1, 2, 7, 8})
        EXPECT_EQ(ResolutionForOption(other), nullptr);
}

TEST_F(PatchTable, PatchingAgainOverwritesTheSameBytes) {
    const Bytes original = RandomBytes(kTargetLength, 99);
    WriteBytes(path, original);
    ASSERT_TRUE(OpenTarget());
    Patch(3);
    ASSERT_TRUE(OpenTarget()); // reopening file 0 writes out the first patch
    Patch(6);
    QX_CloseFile(kPatchFile);
    const Bytes expected = Apply(original, Resolutions()[3].writes);
    EXPECT_EQ(ReadBytes(path), expected);

    ASSERT_TRUE(OpenTarget());
    Patch(6);
    QX_CloseFile(kPatchFile);
    EXPECT_EQ(ReadBytes(path), expected);
}
