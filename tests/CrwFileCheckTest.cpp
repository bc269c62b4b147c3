#include <gtest/gtest.h>

#include "recognisers/raw/CrwFileCheck.h"
#include "support/TestSupport.h"
#include "support/TiffBuilder.h"

namespace pelorin::test {
namespace {

constexpr uint32_t kHeap = 26;  // header length: the heap starts here

// A CRW whose root directory of three entries ends at `pointerAt`, where the
// file's last four bytes give the directory's offset from the heap start.
// Its second entry is the preview.
Bytes crw(bool little, uint32_t pointerAt, uint32_t previewAt, uint32_t previewLength) {
    TiffBuilder b(little);
    b.put32(2, kHeap).poke(6, {'H', 'E', 'A', 'P', 'C', 'C', 'D', 'R'}).padTo(pointerAt + 4);
    const uint32_t directory = pointerAt - 32;
    b.put16(directory, 3).put16(directory + 2, 0x300A).put16(directory + 12, 0x2007);
    b.put32(directory + 14, previewLength).put32(directory + 18, previewAt - kHeap).put32(pointerAt, directory - kHeap);
    return b.bytes();
}

TEST(CrwFileCheck, FoundAndSizedWithItsPreviewByAScan) {
    const uint32_t pointerAt = 0x100000 + 4000;
    TempImage image(2 * 1024 * 1024);
    image.write(512 * 4, crw(true, pointerAt, 1000, 5000));
    image.write(512 * 4 + 1000, {0xFF, 0xD8});
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

TEST(CrwFileCheck, LengthsAndPreviews) {
    const struct {
        const char* name;
        bool little;
        uint32_t pointerAt, previewAt, previewLength;
        bool jpeg, preview;
        uint64_t sector = 0;
    } cases[] = {
        {"pointer ending 3 bytes before a window", true, 0x100000 + 65533, 1000, 5000, true, true},
        {"pointer straddling two windows", true, 0x100000 + 65534, 1000, 5000, true, true},
        {"pointer straddling two windows by 3", true, 0x100000 + 65535, 1000, 5000, true, true},
        {"pointer at a window's start", true, 0x100000 + 65536, 1000, 5000, true, true},
        {"big-endian, straddling", false, 0x200000 + 65534, 600, 2000, true, true},
        {"preview over 4 MiB", true, 0x100000 + 100, 1000, 0x400001, true, false},
        {"preview of 4 MiB", true, 0x100000 + 100, 1000, 0x400000, true, true},
        {"preview under 100 bytes", true, 0x100000 + 100, 1000, 99, true, false},
        {"preview that is no JPEG", true, 0x100000 + 100, 1000, 5000, false, false},
        // The preview bound is on the offset inside the file, not on the device.
        {"far into a large source", true, 0x100000 + 100, 1000, 5000, true, true, 0x1400000 + 10},
        {"preview 20 MiB into the file", true, 0x100000 + 100, 0x1400000, 5000, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempImage image(std::max<uint64_t>(c.sector * 512 + 0x1500000, 3 * 1024 * 1024));
        image.write(c.sector * 512, crw(c.little, c.pointerAt, c.previewAt, c.previewLength));
        if (c.jpeg) image.write(c.sector * 512 + c.previewAt, {0xFF, 0xD8});
        auto ctx = contextFor(image.path());
        CrwFileCheck check(*ctx);
        EXPECT_EQ(recognise(check, image.path(), c.sector), c.pointerAt + 4u);  // the CRW is filed either way
        EXPECT_EQ(ctx->found.bRawJpgFileFound, c.preview);
        if (!c.preview) continue;
        EXPECT_EQ(ctx->u64RawJpgFileSectorNumber, c.sector + c.previewAt / 512);
        EXPECT_EQ(ctx->uExtraBytesOfJpgFileOffset, c.previewAt % 512);
        EXPECT_EQ(ctx->u64RawJpgFileSize, c.previewLength);
    }
}

TEST(CrwFileCheck, DirectoryNeverFoundGivesTheFixedLength) {
    Bytes header = crw(true, 200, 100, 0);
    header.resize(100);  // no pointer anywhere
    TempImage image(0x1500000);
    image.write(0, header);
    auto ctx = contextFor(image.path());
    CrwFileCheck check(*ctx);
    EXPECT_EQ(recognise(check, image.path(), 0), 0xF00000u);
    // A cancelled search gives nothing.
    ASSERT_TRUE(check.isFile(header.data(), 0));
    ctx->bCancelScanning = true;
    EXPECT_EQ(check.fileSizeCalculation(header.data(), 0), 0u);
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

}  // namespace
}  // namespace pelorin::test
