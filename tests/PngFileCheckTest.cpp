#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "recognisers/media/PngFileCheck.h"
#include "support/SectorLayout.h"

namespace pelorin::test {
namespace {

// A chunk with `length` bytes of data; the CRC is not checked by the walk.
void appendChunk(Bytes& out, const char* type, uint32_t length, uint8_t fill = 0x5A) {
    const std::size_t at = out.size();
    putBe32(out, at, length);
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), length, fill);
    out.insert(out.end(), {0xC1, 0xC2, 0xC3, 0xC4});
}

// Signature and IHDR: 33 bytes.
Bytes pngHead() {
    Bytes out{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    appendChunk(out, "IHDR", 13, 0x01);
    return out;
}

uint64_t sizeOfImageAt(const Bytes& file, uint64_t sector, uint32_t sectorSize = 512, bool cancel = false) {
    TempImage image;
    image.write(sector * sectorSize, file);
    auto ctx = contextFor(image.path(), sectorSize);
    ctx->bCancelScanning = cancel;
    PngFileCheck check(*ctx);
    return recognise(check, image.path(), sector, sectorSize);
}

TEST(PngFileCheck, HeaderNeedsSignatureAndIhdr) {
    ScanContext ctx;
    PngFileCheck check(ctx);
    Bytes head = pngHead();
    EXPECT_TRUE(check.isFile(head.data(), 0));
    Bytes noIhdr = head;
    noIhdr[12] = 'i';
    EXPECT_FALSE(check.isFile(noIhdr.data(), 0));
    for (unsigned first = 0; first < 256; ++first) {
        Bytes probe = head;
        probe[0] = uint8_t(first);
        EXPECT_EQ(check.isFile(probe.data(), 0), check.acceptedFirstBytes()[first]) << first;
    }
}

TEST(PngFileCheck, WalkGoesPastIendAndStopsAtTheFirstUnlistedChunk) {
    Bytes png = pngHead();
    appendChunk(png, "IDAT", 700);
    appendChunk(png, "IEND", 0);
    // Zeros follow on the device: the length of the file plus the slack.
    EXPECT_EQ(sizeOfImageAt(png, 4), png.size() + 512);

    // An unlisted type stops the walk before its chunk, wherever it stands.
    Bytes exif = pngHead();
    appendChunk(exif, "sRGB", 1);
    appendChunk(exif, "PLTE", 48);
    const uint64_t exifAt = exif.size();
    appendChunk(exif, "eXIf", 40);
    appendChunk(exif, "IDAT", 300);
    appendChunk(exif, "IEND", 0);
    EXPECT_EQ(sizeOfImageAt(exif, 1), exifAt + 512);

    // A listed chunk after IEND still belongs to the walk.
    Bytes trailing = pngHead();
    appendChunk(trailing, "IDAT", 10);
    appendChunk(trailing, "IEND", 0);
    appendChunk(trailing, "tEXt", 20);
    EXPECT_EQ(sizeOfImageAt(trailing, 1), trailing.size() + 512);

    // Type names are case-sensitive.
    Bytes lower = pngHead();
    appendChunk(lower, "IDAT", 100);
    const uint64_t lowerAt = lower.size();
    appendChunk(lower, "idat", 10);
    EXPECT_EQ(sizeOfImageAt(lower, 0), lowerAt + 512);
}

TEST(PngFileCheck, SignatureAndIhdrAloneAreNoFile) {
    EXPECT_EQ(sizeOfImageAt(pngHead(), 0), 0u);
}

TEST(PngFileCheck, WalkAcrossManyWindowsAtEitherSectorSize) {
    Bytes png = pngHead();
    appendChunk(png, "gAMA", 4);
    for (int i = 0; i < 230; ++i) appendChunk(png, "IDAT", 997 + i);  // headers fall anywhere, also across 64 KiB
    appendChunk(png, "IEND", 0);
    ASSERT_GT(png.size(), 3u * 65536);
    EXPECT_EQ(sizeOfImageAt(png, 9, 512), png.size() + 512);
    EXPECT_EQ(sizeOfImageAt(png, 2, 4096), png.size() + 512);

    // Empty chunks, 12 bytes each, for a mebibyte.
    Bytes empties = pngHead();
    for (int i = 0; i < 90000; ++i) appendChunk(empties, "IDAT", 0);
    EXPECT_EQ(sizeOfImageAt(empties, 0), empties.size() + 512);
}

TEST(PngFileCheck, ChunkLengthLimits) {
    // A length above 51,404,800 (also one that would wrap in 32 bits) ends the walk before it.
    for (uint32_t huge : {51404801u, 0xFFFFFFF4u, 0xFFFFFFFFu}) {
        Bytes png = pngHead();
        appendChunk(png, "IDAT", 100);
        const uint64_t before = png.size();
        putBe32(png, before, huge);
        png.insert(png.end(), {'I', 'D', 'A', 'T', 1, 2, 3, 4});
        EXPECT_EQ(sizeOfImageAt(png, 0), before + 512) << huge;
    }

    // 51,404,800 is believed: the walk goes on after it, into zeros beyond the device.
    Bytes big = pngHead();
    putBe32(big, 33, 51404800);
    big.insert(big.end(), {'I', 'D', 'A', 'T'});
    EXPECT_EQ(sizeOfImageAt(big, 0), 33u + 51404800 + 12 + 512);

    // Two such chunks pass 102,809,600 bytes: filed at 5 MiB.
    TempImage image;
    image.write(0, big);
    Bytes second;
    putBe32(second, 0, 51404800);
    second.insert(second.end(), {'I', 'D', 'A', 'T'});
    image.write(33 + 51404800 + 12, second);
    auto ctx = contextFor(image.path());
    PngFileCheck check(*ctx);
    EXPECT_EQ(recognise(check, image.path(), 0), 5242880u + 4 + 512);
}

TEST(PngFileCheck, CancelledOrUnreadable) {
    Bytes png = pngHead();
    appendChunk(png, "IDAT", 700);
    appendChunk(png, "IEND", 0);
    // Stopped at once, the walk has only passed IHDR: too small to file.
    EXPECT_EQ(sizeOfImageAt(png, 0, 512, true), 0u);

    ScanContext ctx;
    ctx.cDriveMountedPath = "/nonexistent/pelorin-source";
    PngFileCheck check(ctx);
    EXPECT_EQ(check.fileSizeCalculation(png.data(), 0), 0u);
}

TEST(PngFileCheck, GarbageChunkChainsEndWithinBounds) {
    static const char* kTypes[] = {"IDAT", "tEXt", "IEND", "PLTE", "zTXt"};
    std::mt19937 random(7);
    for (int round = 0; round < 30; ++round) {
        Bytes png = pngHead();
        while (png.size() < 300000) {
            const uint32_t r = random();
            appendChunk(png, kTypes[r % 5], (r >> 8) % 4000, uint8_t(r >> 20));
            if ((r & 0xFF) == 7) png.push_back(uint8_t(r >> 24));  // misalign the chain now and then
        }
        const uint64_t size = sizeOfImageAt(png, 0);
        EXPECT_LE(size, png.size() + 4000 + 512) << "round " << round;
    }
}

// Where the chunk-list walk of a whole file stops: the first chunk whose
// type is not in the list, or the file's end.
uint64_t chunkListEnd(const Bytes& png) {
    static const std::string kListed = "IDAT IHDR IEND PLTE cHRM gAMA iCCP sBIT sRGB bKGD hIST tRNS pHYs sPLT tIME iTXt tEXt zTXt";
    uint64_t at = 8;
    while (at + 8 <= png.size() && kListed.find(std::string(png.begin() + at + 4, png.begin() + at + 8)) != std::string::npos)
        at += 12 + be32At(png, at);
    return at;
}

TEST(PngFileCheck, ScanFindsRealPngsAtTheirSectors) {
    const Bytes plain = fixture("png/image.png");
    const Bytes withCanvas = fixture("png/offset.png");
    // The plain file ends with IEND; the other has a caNv chunk (not listed) after tIME.
    ASSERT_EQ(std::string(plain.end() - 8, plain.end() - 4), "IEND");
    ASSERT_EQ(chunkListEnd(plain), plain.size());
    const auto canvas = std::search(withCanvas.begin(), withCanvas.end(), std::begin("caNv"), std::end("caNv") - 1);
    ASSERT_NE(canvas, withCanvas.end());
    const uint64_t canvasChunk = uint64_t(canvas - withCanvas.begin()) - 4;
    ASSERT_EQ(chunkListEnd(withCanvas), canvasChunk);

    SectorLayout layout(512);
    layout.other(1);
    const uint64_t plainAt = layout.place(plain);
    layout.other(4);
    const uint64_t canvasAt = layout.place(withCanvas);
    layout.other(2);
    // The last one ends where the device ends, without padding.
    const uint64_t lastAt = layout.bytes.size() / 512;
    layout.bytes.insert(layout.bytes.end(), plain.begin(), plain.end());
    TempImage image;
    layout.writeTo(image);

    ScanResult result = scanImage(image.path(), selectionOf({FileType::Png, FileType::Jpg, FileType::Gif}));
    using Leaves = std::vector<std::pair<uint64_t, uint64_t>>;
    EXPECT_EQ(leavesOf(folderNamed(*result.root, "PNG Files")),
              (Leaves{{plainAt, plain.size() + 512}, {canvasAt, canvasChunk + 512}, {lastAt, plain.size() + 512}}));
}

}  // namespace
}  // namespace pelorin::test
