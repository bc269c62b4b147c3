#include <gtest/gtest.h>

#include <random>

#include "recognisers/raw/TiffFileCheck.h"
#include "recognisers/raw/X3fFileCheck.h"
#include "support/OpenCounter.h"
#include "support/TestSupport.h"
#include "support/TiffBuilder.h"

namespace pelorin::test {
namespace {

uint64_t sizeAt(const Bytes& file, uint64_t sector = 0, uint64_t imageSize = 256 * 1024) {
    TempImage image(imageSize);
    image.write(sector * 512, file);
    auto ctx = contextFor(image.path());
    TiffFileCheck check(*ctx);
    return recognise(check, image.path(), sector);
}

// Real files from ImageMagick; lengths worked out from their directories by
// the plain-TIFF rule (header, 12n + 6 per IFD, out-of-line values, strip or
// tile byte counts, 512 bytes of slack).
TEST(TiffFileCheck, RealFilesAreFoundAndSized) {
    const struct {
        const char* file;
        uint64_t length;
    } files[] = {{"tiff/strips.tiff", 2246}, {"tiff/tiles.tiff", 7754}, {"tiff/pages.tiff", 3110},
                 {"tiff/bigendian.tiff", 1010}};
    for (const auto& [file, length] : files) {
        const Bytes bytes = fixture(file);
        TempImage image(64 * 1024);
        image.write(512 * 7, bytes);
        const ScanResult result = scanImage(image.path(), selectionOf({FileType::Tiff}));
        const HDIR* folder = folderNamed(*result.root, "TIFF Files");
        ASSERT_NE(folder, nullptr) << file;
        ASSERT_EQ(folder->children().size(), 1u) << file;
        EXPECT_EQ(folder->children()[0]->sectorNumber(), 7u) << file;
        EXPECT_EQ(folder->children()[0]->fileSize(), length) << file;
        EXPECT_EQ(folder->children()[0]->fileName(), "file1.tiff");
    }
}

Bytes plainTiff(uint32_t entries, uint32_t stripBytes, bool bigEndianMagicBytes = false) {
    TiffBuilder b;
    if (bigEndianMagicBytes) b.magic(0x00, 0x2A);
    b.padTo(16);
    std::vector<TiffEntry> list;
    const uint16_t tags[] = {256, 257, 258, 259, 262, 277, 278};
    for (uint32_t i = 0; i + 2 < entries; ++i) list.push_back(b.short1(tags[i], 10));
    list.push_back(TiffBuilder::long1(273, 200));
    list.push_back(TiffBuilder::long1(279, stripBytes));
    b.firstIfd(b.placeIfd(list));
    return b.bytes();
}

TEST(TiffFileCheck, PlainLengthBoundsAndMagicArrangement) {
    // 8 + (12 × 5 + 6) + 200 bytes of strips, + 512.
    EXPECT_EQ(sizeAt(plainTiff(5, 200)), 274u + 512);
    EXPECT_EQ(sizeAt(plainTiff(5, 200, true)), 274u + 512);
    // Below 100 bytes in all, or above 200 MiB, is not a TIFF worth filing.
    EXPECT_EQ(sizeAt(plainTiff(5, 10)), 0u);
    EXPECT_EQ(sizeAt(plainTiff(5, 0xC800000)), 0u);
    // Two to four entries pass the header test, but not the length rule.
    TempImage image(64 * 1024);
    const Bytes small = plainTiff(4, 200);
    image.write(0, small);
    auto ctx = contextFor(image.path());
    TiffFileCheck check(*ctx);
    EXPECT_TRUE(check.isFile(small.data(), 0));
    EXPECT_EQ(check.fileSizeCalculation(small.data(), 0), 0u);
}

TEST(TiffFileCheck, ByteCountArraysAreSummedAcrossWindows) {
    // 40,000 strips of 3 bytes: the byte-count array spans three windows.
    TiffBuilder b;
    b.padTo(16);
    const uint32_t counts = b.placeValues16(std::vector<uint16_t>(40000, 3));
    const uint32_t ifd = b.placeIfd({b.short1(256, 10), b.short1(257, 10), b.short1(258, 8), b.short1(259, 1),
                                     TiffBuilder::long1(273, 16), {279, 3, 40000, counts}});
    b.firstIfd(ifd);
    // 8 + (12 × 6 + 6) + 80,000 (the array) + 120,000 (the strips) + 512.
    EXPECT_EQ(sizeAt(b.bytes(), 0, 512 * 1024), 8u + 78 + 80000 + 120000 + 512);
}

TEST(TiffFileCheck, ChainsThatLoopOrRunLongAreRefused) {
    TiffBuilder b;
    b.padTo(16);
    const uint32_t ifd = b.placeIfd({b.short1(256, 10), b.short1(257, 10), b.short1(258, 8), b.short1(259, 1),
                                     TiffBuilder::long1(279, 200)});
    b.link(ifd, ifd);  // points at itself
    b.firstIfd(ifd);
    EXPECT_EQ(sizeAt(b.bytes()), 0u);

    TiffBuilder huge;
    huge.padTo(16);
    const uint32_t first = huge.placeIfd({huge.short1(256, 10), huge.short1(257, 10), huge.short1(258, 8),
                                          huge.short1(259, 1), TiffBuilder::long1(279, 200)});
    const uint32_t second = huge.placeIfd({huge.short1(256, 10), huge.short1(257, 10)});
    huge.put16(second, 0xFFFF);  // an entry count no IFD has
    huge.link(first, second);
    huge.firstIfd(first);
    EXPECT_EQ(sizeAt(huge.bytes()), 0u);
}

TEST(TiffFileCheck, RawStyleLengthEndsAtTheLastImagesLastStrip) {
    TiffBuilder b;
    b.padTo(16);
    const uint32_t make = b.placeText("Phase One");
    const uint32_t offsets = b.placeValues32({1000, 3000, 5000});
    const uint32_t counts = b.placeValues32({2000, 2000, 1500});
    b.padTo(600);
    const uint32_t ifd0 = b.placeIfd({b.short1(256, 100), b.short1(257, 100), {271, 2, 10, make},
                                      TiffBuilder::long1(273, 700), TiffBuilder::long1(279, 100)});
    const uint32_t ifd1 = b.placeIfd({b.short1(256, 100), b.short1(257, 100), b.short1(258, 8), b.short1(259, 1),
                                      {271, 2, 10, make}, {273, 4, 3, offsets}, {279, 4, 3, counts}});
    b.link(ifd0, ifd1);
    b.firstIfd(ifd0);
    // First IFD beyond 512: 12n per IFD (60 + 84); IFD0's value at 700 lies
    // past the IFD (+4); the last IFD's arrays (+12 +12) and its last strip
    // (5000 + 1500); the header (8); slack.
    EXPECT_EQ(sizeAt(b.bytes()), 8u + 60 + 4 + 84 + 12 + 12 + 6500 + 512);
}

TEST(TiffFileCheck, RawStyleLastStripOffsetBeyondTheFirstWindow) {
    TiffBuilder b;
    b.padTo(16);
    const uint32_t make = b.placeText("Phase One");
    std::vector<uint32_t> offsets(20000, 7);
    offsets.back() = 90000;
    std::vector<uint32_t> counts(20000, 1);
    counts.back() = 1234;
    const uint32_t offsetsAt = b.placeValues32(offsets);
    const uint32_t countsAt = b.placeValues32(counts);
    const uint32_t ifd = b.placeIfd({b.short1(256, 10), b.short1(257, 10), {271, 2, 10, make},
                                     {273, 4, 20000, offsetsAt}, {279, 4, 20000, countsAt}});
    b.firstIfd(ifd);
    EXPECT_EQ(sizeAt(b.bytes(), 0, 512 * 1024), 8u + 12 * 5 + 80000 + 80000 + 90000 + 1234 + 512);
}

// A Canon TIFF whose maker note points at its preview JPEG.
Bytes canonTiff(bool cr) {
    TiffBuilder b;
    b.padTo(16);
    if (cr) b.poke(8, {'C', 'R', 2, 0});
    const uint32_t make = b.placeText("Canon");
    const uint32_t makerNote = b.placeIfd({TiffBuilder::long1(129, 400), TiffBuilder::long1(130, 0)});
    const uint32_t exif = b.placeIfd({{37500, 7, 30, makerNote}, {36864, 7, 4, 0x31323230}});
    b.firstIfd(b.placeIfd({b.short1(256, 10), b.short1(257, 10), {271, 2, 6, make}, TiffBuilder::long1(273, 300),
                           TiffBuilder::long1(279, 50), TiffBuilder::long1(34665, exif)}));
    b.padTo(400);
    Bytes jpeg{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10};
    jpeg.resize(jpeg.size() + 14, 0x20);
    jpeg.insert(jpeg.end(), {0xFF, 0xDA, 0x00, 0x08, 1, 2, 3, 4, 5, 6});
    jpeg.resize(jpeg.size() + 100, 0x42);
    jpeg.insert(jpeg.end(), {0xFF, 0xD9});
    b.poke(400, jpeg);
    return b.bytes();
}

TEST(TiffFileCheck, CanonTiffCarriesItsPreview) {
    // Strip end 350 + header 8, then the 132-byte preview with its own slack, then slack.
    EXPECT_EQ(sizeAt(canonTiff(false), 5), 358u + 132 + 512 + 512);
    // The same file marked 'CR' is a CR2, not a TIFF.
    EXPECT_EQ(sizeAt(canonTiff(true), 5), 0u);
}

TEST(TiffFileCheck, PreviewWithoutMakerNoteTypeIsNotCounted) {
    Bytes file = canonTiff(false);
    TempImage image(64 * 1024);
    image.write(0, file);
    auto ctx = contextFor(image.path());
    TiffFileCheck check(*ctx);
    EXPECT_EQ(check.canonTiffJpgFileSize(file.data(), 0), 132u + 512);
    // Maker note typed LONG instead of UNDEFINED.
    for (std::size_t at = 16; at + 2 < file.size(); ++at)
        if (file[at] == 0x7C && file[at + 1] == 0x92 && file[at + 2] == 7) file[at + 2] = 4;
    image.write(0, file);
    EXPECT_EQ(check.canonTiffJpgFileSize(file.data(), 0), 0u);
}

TEST(TiffFileCheck, GarbageAfterAByteOrderMarkIsRejectedQuickly) {
    std::mt19937 random(12345);
    TempImage image(128 * 1024);
    for (int round = 0; round < 120; ++round) {
        Bytes garbage(70 * 1024);
        for (auto& byte : garbage) byte = static_cast<uint8_t>(random());
        garbage[0] = garbage[1] = round % 2 ? 'I' : 'M';
        if (round % 3 == 0) {
            // A believable header and entry count over random entries.
            garbage[2] = round % 2 ? 0x2A : 0x00;
            garbage[3] = round % 2 ? 0x00 : 0x2A;
            garbage[4] = garbage[5] = garbage[6] = garbage[7] = 0;
            garbage[round % 2 ? 4 : 7] = 8;
            garbage[8] = garbage[9] = 0;
            garbage[round % 2 ? 8 : 9] = static_cast<uint8_t>(2 + round % 99);
        }
        image.write(0, garbage);
        auto ctx = contextFor(image.path());
        TiffFileCheck tiffCheck(*ctx);
        X3fFileCheck x3f(*ctx);
        OpenCounter counter(image.path());
        uint8_t probe[kProbeSize];
        std::copy_n(garbage.begin(), kProbeSize, probe);
        const bool tiffYes = tiffCheck.isFile(probe, 0);
        EXPECT_LE(counter.opens(), 2) << round;
        if (tiffYes) tiffCheck.fileSizeCalculation(probe, 0);  // must stay inside its buffers
        counter.opens();
        if (x3f.isFile(probe, 0)) x3f.fileSizeCalculation(probe, 0);
        EXPECT_LE(counter.opens(), 2) << round;
    }
}

TEST(TiffFileCheck, CancelledSizeReturnsWhatItHas) {
    TempImage image(64 * 1024);
    const Bytes file = plainTiff(5, 200);
    image.write(0, file);
    auto ctx = contextFor(image.path());
    TiffFileCheck check(*ctx);
    ASSERT_TRUE(check.isFile(file.data(), 0));
    ctx->bCancelScanning = true;
    EXPECT_EQ(check.fileSizeCalculation(file.data(), 0), 8u + 66);
}

}  // namespace
}  // namespace pelorin::test
