#include <gtest/gtest.h>

#include <cstring>

#include "recognisers/raw/X3fFileCheck.h"
#include "support/TestSupport.h"
#include "support/TiffBuilder.h"

namespace pelorin::test {
namespace {

void le32(Bytes& b, std::size_t at, uint32_t v) {
    if (b.size() < at + 4) b.resize(at + 4);
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

// An X3F with an image section holding a JPEG at 260 and its section
// directory ("SECd", c entries) at `directoryAt`.
Bytes fovb(uint32_t directoryAt, uint32_t entries, uint32_t previewLength) {
    Bytes b(directoryAt + 16 + 12 * entries, 0);
    std::memcpy(b.data(), "FOVb", 4);
    std::memcpy(b.data() + 232, "SECi", 4);
    b[260] = 0xFF; b[261] = 0xD8; b[262] = 0xFF; b[263] = 0xE0;
    std::memcpy(b.data() + directoryAt, "SECd", 4);
    le32(b, directoryAt + 8, entries);
    le32(b, directoryAt + 12, 232);  // the image section; its JPEG follows a 28-byte header
    le32(b, directoryAt + 16, previewLength);
    return b;
}

Bytes sigmaTiff(bool dng) {
    TiffBuilder b;
    b.padTo(16);
    const uint32_t make = b.placeText("SIGMA");
    std::vector<TiffEntry> entries{b.short1(256, 10), b.short1(257, 10), b.short1(258, 8), {271, 2, 6, make},
                                   TiffBuilder::long1(273, 300), TiffBuilder::long1(279, 400)};
    if (dng) entries.push_back({50706, 1, 4, 0x00000401});
    b.firstIfd(b.placeIfd(entries));
    return b.bytes();
}

TEST(X3fFileCheck, BothKindsFoundByAScanWithTheirExtensions) {
    TempImage image(128 * 1024);
    image.write(512 * 2, fovb(6000, 3, 3000));
    image.write(512 * 40, sigmaTiff(false));
    const ScanResult result = scanImage(image.path(), selectionOf({FileType::X3f}));
    const HDIR* folder = folderNamed(*result.root, "X3F Files");
    ASSERT_NE(folder, nullptr);
    ASSERT_EQ(folder->children().size(), 2u);
    EXPECT_EQ(folder->children()[0]->fileName(), "file1.x3f");
    EXPECT_EQ(folder->children()[0]->fileSize(), 6000u + 16 + 36);
    EXPECT_EQ(folder->children()[1]->fileName(), "file2.tif");
    // Header, one IFD of six entries, the 6-byte Make, 400 bytes of strips, slack.
    EXPECT_EQ(folder->children()[1]->fileSize(), 8u + 78 + 6 + 400 + 512);
    const HDIR* previews = folderNamed(*result.root, "RAW Jpg Files");
    ASSERT_NE(previews, nullptr);
    EXPECT_EQ(previews->children()[0]->sectorNumber(), 2u);
    EXPECT_EQ(previews->children()[0]->extraBytesToMove(), 260);
    EXPECT_EQ(previews->children()[0]->fileSize(), 3000u);
}

TEST(X3fFileCheck, HeaderTests) {
    TempImage image(64 * 1024);
    auto ctx = contextFor(image.path());
    X3fFileCheck check(*ctx);
    Bytes file = fovb(6000, 3, 3000);
    file[233] = 'X';  // no "SEC" at 232
    image.write(0, file);
    EXPECT_FALSE(check.isFile(file.data(), 0));
    const Bytes dng = sigmaTiff(true);
    image.write(0, dng);
    EXPECT_FALSE(check.isFile(dng.data(), 0));
}

TEST(X3fFileCheck, DirectoryAcrossAWindowBoundaryAndNeverFound) {
    TempImage image(0x1400000);
    auto ctx = contextFor(image.path());
    X3fFileCheck check(*ctx);
    for (uint32_t at : {65533u, 65535u}) {
        image.write(0, fovb(at, 2, 100));
        EXPECT_EQ(recognise(check, image.path(), 0), at + 16u + 24) << at;
        EXPECT_EQ(check.extensionOfFile(), ".x3f");
    }
    Bytes lost = fovb(6000, 3, 3000);
    std::memset(lost.data() + 6000, 0, 4);
    TempImage empty(0x1400000);
    empty.write(0, lost);
    auto emptyCtx = contextFor(empty.path());
    X3fFileCheck lostCheck(*emptyCtx);
    EXPECT_EQ(recognise(lostCheck, empty.path(), 0), 0x1300000u);
}

TEST(X3fFileCheck, PreviewOffsetBeyondItsBoundIsWithdrawn) {
    TempImage image(64 * 1024);
    Bytes file = fovb(6000, 3, 3000);
    le32(file, 6012, 0x1900000);  // + 28 passes the bound
    image.write(0, file);
    auto ctx = contextFor(image.path());
    X3fFileCheck check(*ctx);
    EXPECT_EQ(recognise(check, image.path(), 0), 6052u);
    EXPECT_FALSE(ctx->found.bRawJpgFileFound);
}

}  // namespace
}  // namespace pelorin::test
