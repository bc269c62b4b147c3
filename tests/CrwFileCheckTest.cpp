#include <gtest/gtest.h>

#include "recognisers/raw/CrwFileCheck.h"
#include "support/TestSupport.h"

namespace pelorin::test {
namespace {

constexpr uint32_t kHeap = 26;  // header length: the heap starts here

void put32(Bytes& b, std::size_t at, uint32_t v, bool little) {
    if (b.size() < at + 4) b.resize(at + 4);
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(little ? v >> (8 * i) : v >> (8 * (3 - i)));
}
void put16(Bytes& b, std::size_t at, uint16_t v, bool little) {
    if (b.size() < at + 2) b.resize(at + 2);
    b[at] = uint8_t(little ? v : v >> 8);
    b[at + 1] = uint8_t(little ? v >> 8 : v);
}

// A CRW whose root directory of three entries ends at `pointerAt`, where the
// file's last four bytes give the directory's offset from the heap start.
// Its second entry is the preview JPEG.
Bytes crw(bool little, uint32_t pointerAt, uint32_t previewAt, uint32_t previewLength, bool previewIsJpeg = true) {
    Bytes b{uint8_t(little ? 'I' : 'M'), uint8_t(little ? 'I' : 'M')};
    put32(b, 2, kHeap, little);
    const char* signature = "HEAPCCDR";
    b.insert(b.end(), signature, signature + 8);
    b.resize(pointerAt + 4);
    const uint32_t directory = pointerAt - 32;
    put16(b, directory, 3, little);
    put16(b, directory + 2, 0x300A, little);
    put16(b, directory + 12, 0x2007, little);
    put32(b, directory + 14, previewLength, little);
    put32(b, directory + 18, previewAt - kHeap, little);
    put32(b, pointerAt, directory - kHeap, little);
    if (previewIsJpeg && previewAt + 2 <= b.size()) {
        b[previewAt] = 0xFF;
        b[previewAt + 1] = 0xD8;
    }
    return b;
}

struct Sized {
    uint64_t length;
    bool preview;
    uint64_t previewSector;
    uint32_t previewExtra;
    uint64_t previewLength;
};

Sized sizeAt(const Bytes& file, uint64_t sector, uint64_t imageSize) {
    TempImage image(imageSize);
    image.write(sector * 512, file);
    auto ctx = contextFor(image.path());
    CrwFileCheck check(*ctx);
    Sized out{recognise(check, image.path(), sector), ctx->found.bRawJpgFileFound, ctx->u64RawJpgFileSectorNumber,
              ctx->uExtraBytesOfJpgFileOffset, ctx->u64RawJpgFileSize};
    return out;
}

TEST(CrwFileCheck, FoundAndSizedWithItsPreviewByAScan) {
    const uint32_t pointerAt = 0x100000 + 4000;
    const Bytes file = crw(true, pointerAt, 1000, 5000);
    TempImage image(2 * 1024 * 1024);
    image.write(512 * 4, file);
    const ScanResult result = scanImage(image.path(), selectionOf({FileType::Crw}));
    const HDIR* folder = folderNamed(*result.root, "CRW Files");
    ASSERT_NE(folder, nullptr);
    ASSERT_EQ(folder->children().size(), 1u);
    EXPECT_EQ(folder->children()[0]->fileSize(), pointerAt + 4u);
    const HDIR* previews = folderNamed(*result.root, "RAW Jpg Files");
    ASSERT_NE(previews, nullptr);
    ASSERT_EQ(previews->children().size(), 1u);
    EXPECT_EQ(previews->children()[0]->sectorNumber(), 4u + 1000 / 512);
    EXPECT_EQ(previews->children()[0]->extraBytesToMove(), 1000 % 512);
    EXPECT_EQ(previews->children()[0]->fileSize(), 5000u);
}

TEST(CrwFileCheck, PointerStraddlingTwoWindowsIsFound) {
    for (uint32_t into : {65533u, 65534u, 65535u, 65536u}) {
        const uint32_t pointerAt = 0x100000 + into;
        EXPECT_EQ(sizeAt(crw(true, pointerAt, 1000, 5000), 0, 3 * 1024 * 1024).length, pointerAt + 4u) << into;
    }
    const uint32_t bigEndianAt = 0x200000 + 65534;
    const Sized big = sizeAt(crw(false, bigEndianAt, 600, 2000), 0, 3 * 1024 * 1024);
    EXPECT_EQ(big.length, bigEndianAt + 4u);
    EXPECT_TRUE(big.preview);
    EXPECT_EQ(big.previewExtra, 600u - 512);
}

TEST(CrwFileCheck, PreviewsThatAreNotBelievedAreWithdrawn) {
    const uint32_t pointerAt = 0x100000 + 100;
    EXPECT_FALSE(sizeAt(crw(true, pointerAt, 1000, 0x400001), 0, 2 * 1024 * 1024).preview);
    EXPECT_FALSE(sizeAt(crw(true, pointerAt, 1000, 99), 0, 2 * 1024 * 1024).preview);
    const Sized notJpeg = sizeAt(crw(true, pointerAt, 1000, 5000, false), 0, 2 * 1024 * 1024);
    EXPECT_FALSE(notJpeg.preview);
    EXPECT_EQ(notJpeg.length, pointerAt + 4u);  // the CRW itself is still filed
    EXPECT_TRUE(sizeAt(crw(true, pointerAt, 1000, 0x400000), 0, 2 * 1024 * 1024).preview);
}

TEST(CrwFileCheck, PreviewBoundIsAnOffsetInsideTheFile) {
    // A CRW far into a large source keeps its preview...
    const uint64_t farSector = 0x1400000 + 10;
    const Sized far = sizeAt(crw(true, 0x100000 + 100, 1000, 5000), farSector, (farSector + 4096) * 512);
    EXPECT_TRUE(far.preview);
    EXPECT_EQ(far.previewSector, farSector + 1);
    // ...while a preview 20 MiB into the file is not believed.
    Bytes file = crw(true, 0x100000 + 100, 0x1400000, 5000);
    TempImage image(0x1500000);
    image.write(0, file);
    image.write(0x1400000, {0xFF, 0xD8});
    auto ctx = contextFor(image.path());
    CrwFileCheck check(*ctx);
    EXPECT_EQ(recognise(check, image.path(), 0), 0x100000u + 104);
    EXPECT_FALSE(ctx->found.bRawJpgFileFound);
}

TEST(CrwFileCheck, DirectoryNeverFoundGivesTheFixedLength) {
    Bytes header = crw(true, 200, 100, 0);
    header.resize(100);  // no pointer anywhere
    EXPECT_EQ(sizeAt(header, 0, 0x1500000).length, 0xF00000u);
}

TEST(CrwFileCheck, HeaderTestAndHandOverFromTheTiffFamily) {
    TempImage image(64 * 1024);
    auto ctx = contextFor(image.path());
    CrwFileCheck check(*ctx);
    Bytes probe = crw(true, 200, 100, 0);
    EXPECT_TRUE(check.isFile(probe.data(), 0));
    EXPECT_TRUE(ctx->found.bLittleEndianFile);
    probe[0] = probe[1] = 'M';
    EXPECT_TRUE(check.isFile(probe.data(), 0));
    EXPECT_TRUE(ctx->found.bBigEndianFile);
    EXPECT_FALSE(ctx->found.bLittleEndianFile);
    probe[1] = 'I';
    EXPECT_FALSE(check.isFile(probe.data(), 0));
    // With a TIFF-family member ticked, only its verdict counts.
    ctx->selection.bTiffSelected = true;
    probe[1] = 'M';
    EXPECT_FALSE(check.isFile(probe.data(), 0));
    ctx->found.bCanonCrwFileFound = true;
    EXPECT_TRUE(check.isFile(probe.data(), 0));
}

TEST(CrwFileCheck, CancelledSearchGivesZero) {
    TempImage image(2 * 1024 * 1024);
    const Bytes file = crw(true, 0x100000 + 100, 1000, 5000);
    image.write(0, file);
    auto ctx = contextFor(image.path());
    CrwFileCheck check(*ctx);
    ASSERT_TRUE(check.isFile(file.data(), 0));
    ctx->bCancelScanning = true;
    EXPECT_EQ(check.fileSizeCalculation(file.data(), 0), 0u);
}

}  // namespace
}  // namespace pelorin::test
