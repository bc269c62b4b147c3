#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "recognisers/media/PsdFileCheck.h"
#include "support/SectorLayout.h"

namespace pelorin::test {
namespace {

// Header of a version-1 document: 26 bytes.
Bytes psdHead(uint32_t width, uint32_t height, uint32_t depth = 8, uint32_t mode = 3) {
    Bytes out{'8', 'B', 'P', 'S', 0, 1, 0, 0, 0, 0, 0, 0, 0, 3};
    putBe32(out, 14, height);
    putBe32(out, 18, width);
    putBe16(out, 22, depth);
    putBe16(out, 24, mode);
    return out;
}

// Empty colour mode data and image resources, and a layer section that
// holds only its layer count: the sections end at 48.
Bytes psdWithLayers(uint32_t width, uint32_t height, uint32_t layers, uint32_t depth = 8, uint32_t mode = 3) {
    Bytes out = psdHead(width, height, depth, mode);
    putBe32(out, 26, 0);
    putBe32(out, 30, 0);
    putBe32(out, 34, 10);  // layer and mask information: 10 bytes
    putBe32(out, 38, 6);   // layer information: 6 bytes
    putBe16(out, 42, layers);
    putBe32(out, 44, 0);
    return out;
}

uint64_t sizeOfImageAt(const Bytes& file, uint64_t sector, uint32_t sectorSize = 512, bool cancel = false) {
    TempImage image;
    image.write(sector * sectorSize, file);
    auto ctx = contextFor(image.path(), sectorSize);
    ctx->bCancelScanning = cancel;
    PsdFileCheck check(*ctx);
    return recognise(check, image.path(), sector, sectorSize);
}

// The first offset start + 4 k at or past the limit, or the thirteenth zero
// word in a row before it; bytes past the device are zeros.
uint64_t zeroSearchEnd(const Bytes& device, uint64_t fileStart, uint64_t start, uint64_t limit) {
    auto zeroWord = [&](uint64_t at) {
        for (uint64_t i = fileStart + at; i < fileStart + at + 4; ++i)
            if (i < device.size() && device[i] != 0) return false;
        return true;
    };
    uint64_t at = start;
    int zeros = 0;
    for (; at < limit; at += 4) {
        zeros = zeroWord(at) ? zeros + 1 : 0;
        if (zeros == 13) break;
    }
    return at;
}

TEST(PsdFileCheck, HeaderIsVersionOneWithZeroReservedBytes) {
    ScanContext ctx;
    PsdFileCheck check(ctx);
    Bytes head = psdHead(10, 10);
    EXPECT_TRUE(check.isFile(head.data(), 0));
    Bytes psb = head;
    psb[5] = 2;  // large document format
    EXPECT_FALSE(check.isFile(psb.data(), 0));
    for (int reserved = 6; reserved <= 11; ++reserved) {
        Bytes spoilt = head;
        spoilt[reserved] = 1;
        EXPECT_FALSE(check.isFile(spoilt.data(), 0)) << reserved;
    }
    for (unsigned first = 0; first < 256; ++first) {
        Bytes probe = head;
        probe[0] = uint8_t(first);
        EXPECT_EQ(check.isFile(probe.data(), 0), check.acceptedFirstBytes()[first]) << first;
    }
}

TEST(PsdFileCheck, FactorsByColourModeAndDepth) {
    EXPECT_EQ(PsdFileCheck::bytesPerPixelFactor(0, 1), 648.0f);
    EXPECT_EQ(PsdFileCheck::bytesPerPixelFactor(0, 8), 0.0f);
    EXPECT_EQ(PsdFileCheck::bytesPerPixelFactor(2, 16), 10342.4f);
    EXPECT_EQ(PsdFileCheck::bytesPerPixelFactor(3, 32), 62259.2f);
    EXPECT_EQ(PsdFileCheck::bytesPerPixelFactor(4, 8), 20787.2f);
    EXPECT_EQ(PsdFileCheck::bytesPerPixelFactor(4, 32), 0.0f);
    EXPECT_EQ(PsdFileCheck::bytesPerPixelFactor(8, 32), 20787.2f);
    EXPECT_EQ(PsdFileCheck::bytesPerPixelFactor(9, 16), 31129.6f);
    EXPECT_EQ(PsdFileCheck::bytesPerPixelFactor(9, 32), 0.0f);
    EXPECT_EQ(PsdFileCheck::bytesPerPixelFactor(5, 8), 0.0f);
}

TEST(PsdFileCheck, ZeroWidthOrHeightIsNoFile) {
    EXPECT_EQ(sizeOfImageAt(psdWithLayers(0, 100, 1), 0), 0u);
    EXPECT_EQ(sizeOfImageAt(psdWithLayers(100, 0, 1), 0), 0u);
}

TEST(PsdFileCheck, EstimateFromDimensionsBoundsTheSearch) {
    // RGB 8-bit, 1,000 × 1,000, one layer: width × height × 15,564.8 / 5,184 bytes.
    Bytes psd = psdWithLayers(1000, 1000, 1);
    psd.resize(3100000, 0x11);  // pixel data without a zero run
    const uint64_t estimate = uint64_t(std::floor(1000.0 * 1000.0 * 15564.8 / 5184.0));
    ASSERT_EQ(estimate, 3002469u);
    // The search steps by 4 from 48 and ends at the first offset at or past the estimate.
    const uint64_t end = 48 + (estimate - 48 + 3) / 4 * 4;
    EXPECT_EQ(sizeOfImageAt(psd, 3), end + 512);
}

TEST(PsdFileCheck, LayerCountMultipliesTheEstimate) {
    auto expectedFor = [](uint32_t layers) {
        const uint64_t estimate = uint64_t(std::floor(120.0 * 80.0 * 15564.8 / 5184.0 * layers));
        return 48 + (estimate - 48 + 3) / 4 * 4 + 512;
    };
    for (uint32_t layers : {1u, 3u, 100u}) {
        Bytes psd = psdWithLayers(120, 80, layers);
        psd.resize(3100000, 0x22);
        EXPECT_EQ(sizeOfImageAt(psd, 1), expectedFor(layers)) << layers;
    }
    // Counts above 100, zero and negative counts are taken as one layer.
    for (uint32_t layers : {101u, 0u, 0xFFFFu}) {
        Bytes psd = psdWithLayers(120, 80, layers);
        psd.resize(400000, 0x22);
        EXPECT_EQ(sizeOfImageAt(psd, 1), expectedFor(1)) << layers;
    }
}

TEST(PsdFileCheck, ThirteenthZeroWordInARowEndsTheFile) {
    Bytes psd = psdWithLayers(1000, 1000, 1);
    psd.resize(4000, 0x33);
    psd.resize(psd.size() + 12 * 4, 0);  // twelve zero words do not end it
    psd.resize(psd.size() + 1000, 0x33);
    const uint64_t zerosFrom = psd.size();  // 5,048: a multiple of 4 from 48
    psd.resize(psd.size() + 13 * 4, 0);
    psd.resize(psd.size() + 1000, 0x33);
    EXPECT_EQ(sizeOfImageAt(psd, 0), zerosFrom + 12 * 4 + 512);

    // Without a known colour mode the search goes to three times the sections' end.
    Bytes unknown = psdWithLayers(1000, 1000, 1, 8, 5);
    unknown.resize(1000, 0x44);
    EXPECT_EQ(sizeOfImageAt(unknown, 0), 3u * 48 + 512);
}

TEST(PsdFileCheck, SectionsPastTheFirstWindowAtEitherSectorSize) {
    Bytes psd = psdHead(20, 20);
    putBe32(psd, 26, 768);  // indexed-style colour data
    psd.resize(30 + 768, 0x10);
    putBe32(psd, psd.size(), 70001);  // image resources reaching past 64 KiB
    psd.resize(psd.size() + 70001, 0x20);
    const std::size_t layerSection = psd.size();
    putBe32(psd, layerSection, 12);
    putBe32(psd, layerSection + 4, 8);
    putBe16(psd, layerSection + 8, 2);  // two layers
    psd.resize(layerSection + 16, 0);
    const uint64_t sectionsEnd = psd.size();
    psd.resize(sectionsEnd + 300000, 0x30);
    ASSERT_EQ(sectionsEnd, 26u + 4 + 768 + 4 + 70001 + 16);
    // The small image's estimate is below three times the sections' end.
    const uint64_t limit = 3 * sectionsEnd;
    const uint64_t end = sectionsEnd + (limit - sectionsEnd + 3) / 4 * 4;
    EXPECT_EQ(sizeOfImageAt(psd, 6, 512), end + 512);
    EXPECT_EQ(sizeOfImageAt(psd, 2, 4096), end + 512);
}

TEST(PsdFileCheck, GarbageSectionLengthsNeverLeaveTheWindow) {
    // A length of 0xFFFFFFFF plus its 4 bytes wraps to 3 in the field's 32
    // bits, so the next length (0xFFFFFF7F) starts 3 bytes on and sends the
    // walk 4 GiB further, past the end of the device: the third length reads
    // 0 there, and the zero run is found at once.
    Bytes psd = psdHead(64, 64);
    psd.resize(32, 0xFF);
    psd.push_back(0x7F);
    psd.resize(4096, 0x55);
    const uint64_t sectionsEnd = 26 + 3 + (0xFFFFFF7Full + 4) + 4;
    EXPECT_EQ(sizeOfImageAt(psd, 0), sectionsEnd + 12 * 4 + 512);

    // The largest step, 0xFFFFFFFB + 4, would bring a 32-bit window position
    // back to 25; the walk reads the next lengths at their true place instead,
    // past the end of the device.
    Bytes far = psdHead(64, 64);
    putBe32(far, 26, 0xFFFFFFFB);
    far.resize(4096, 0x55);
    EXPECT_EQ(sizeOfImageAt(far, 0), 26 + 0xFFFFFFFFull + 4 + 4 + 12 * 4 + 512);

    // 0xFFFFFFFC wraps to 0: every section is read at the same place.
    Bytes still = psdHead(64, 64);
    putBe32(still, 26, 0xFFFFFFFC);
    still.resize(1000, 0x55);
    // The search starts at 26 and meets the device's end: the first zero word is at 1,002.
    EXPECT_EQ(sizeOfImageAt(still, 0), 1002u + 12 * 4 + 512);
}

TEST(PsdFileCheck, RandomDocumentsEndAsTheRuleSays) {
    std::mt19937 random(11);
    for (int round = 0; round < 25; ++round) {
        Bytes psd = psdHead(1 + random() % 3000, 1 + random() % 3000, (round & 1) ? 8 : 16, random() % 10);
        psd.resize(96 * 1024);
        for (std::size_t i = 26; i < psd.size(); ++i) psd[i] = uint8_t(random() % 7 ? random() : 0);
        putBe32(psd, 26, random() % 20000);
        const uint64_t size = sizeOfImageAt(psd, 0);
        EXPECT_GE(size, 26u + 512) << round;
    }
}

TEST(PsdFileCheck, CancelledOrUnreadable) {
    const Bytes psd = fixture("psd/image.psd");
    // Stopped at once, the file ends where its sections end.
    const uint64_t sectionsEnd = 26 + 4 + 4 + 28 + 4 + be32At(psd, 62);
    EXPECT_EQ(sizeOfImageAt(psd, 0, 512, true), sectionsEnd + 512);

    ScanContext ctx;
    ctx.cDriveMountedPath = "/nonexistent/pelorin-source";
    PsdFileCheck check(ctx);
    EXPECT_EQ(check.fileSizeCalculation(psd.data(), 0), 0u);
}

TEST(PsdFileCheck, ScanFindsARealDocumentAtItsSector) {
    const Bytes psd = fixture("psd/image.psd");
    // Sections of the file: colour mode data, image resources, layers.
    uint64_t sectionsEnd = 26;
    for (int i = 0; i < 3; ++i) sectionsEnd += 4 + be32At(psd, sectionsEnd);
    const uint32_t width = be32At(psd, 18), height = be32At(psd, 14);
    ASSERT_EQ(psd[25], 3);  // RGB
    ASSERT_EQ(psd[23], 8);  // 8 bits
    const double estimate = double(width) * height * 15564.8 / 5184.0;
    const uint64_t limit = uint64_t(std::max(3.0 * double(sectionsEnd), estimate));

    for (uint32_t sectorSize : {512u, 4096u}) {
        SectorLayout layout(sectorSize);
        layout.other(2);
        const uint64_t first = layout.place(psd);
        layout.other(3);
        const uint64_t second = layout.place(psd);
        // The last one runs to the device's end: zeros follow it.
        const uint64_t last = layout.bytes.size() / sectorSize;
        layout.bytes.insert(layout.bytes.end(), psd.begin(), psd.end());
        TempImage image;
        layout.writeTo(image);

        std::vector<std::pair<uint64_t, uint64_t>> expected;
        for (uint64_t sector : {first, second, last}) {
            const uint64_t end = zeroSearchEnd(layout.bytes, sector * sectorSize, sectionsEnd, limit);
            EXPECT_GE(end, psd.size());  // the pixel data has no zero run of its own
            expected.emplace_back(sector, end + 512);
        }
        ScanResult result = scanImage(image.path(), selectionOf({FileType::Psd, FileType::Bmp}), sectorSize);
        EXPECT_EQ(leavesOf(folderNamed(*result.root, "PSD Files")), expected) << "sector size " << sectorSize;
    }
}

}  // namespace
}  // namespace pelorin::test
