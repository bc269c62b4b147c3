#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "recognisers/media/GifFileCheck.h"
#include "support/SectorLayout.h"

namespace pelorin::test {
namespace {

// Header and logical screen descriptor; a packed byte with bit 7 set adds a
// global colour table of 3 × 2^((packed & 7) + 1) bytes.
Bytes gifHead(uint8_t packed = 0, const char* version = "89a") {
    Bytes out{'G', 'I', 'F', '8', uint8_t(version[1]), uint8_t(version[2]), 64, 0, 48, 0, packed, 0, 0};
    if (packed & 0x80) out.resize(out.size() + (3u << ((packed & 7) + 1)), 0x33);
    return out;
}

// An image descriptor without local colour table, the LZW code size and
// `count` full data sub-blocks, then the block terminator.
void appendImage(Bytes& out, std::size_t count, uint8_t fill = 0x55) {
    out.insert(out.end(), {0x2C, 0, 0, 0, 0, 64, 0, 48, 0, 0x00, 0x08});
    for (std::size_t i = 0; i < count; ++i) {
        out.push_back(255);
        out.insert(out.end(), 255, fill);
    }
    out.push_back(0);
}

uint64_t sizeOfImageAt(const Bytes& file, uint64_t sector, uint32_t sectorSize = 512, bool cancel = false) {
    TempImage image;
    image.write(sector * sectorSize, file);
    auto ctx = contextFor(image.path(), sectorSize);
    ctx->bCancelScanning = cancel;
    GifFileCheck check(*ctx);
    return recognise(check, image.path(), sector, sectorSize);
}

TEST(GifFileCheck, Only87aAnd89aHeadersAreAccepted) {
    ScanContext ctx;
    GifFileCheck check(ctx);
    auto accepts = [&](const char* text) {
        uint8_t probe[kProbeSize] = {};
        std::memcpy(probe, text, 6);
        return check.isFile(probe, 0);
    };
    EXPECT_TRUE(accepts("GIF87a"));
    EXPECT_TRUE(accepts("GIF89a"));
    EXPECT_FALSE(accepts("GIF88a"));
    EXPECT_FALSE(accepts("GIF89b"));
    EXPECT_FALSE(accepts("GIF87A"));
    EXPECT_FALSE(accepts("gif89a"));
    for (unsigned first = 0; first < 256; ++first) {
        uint8_t probe[kProbeSize] = {uint8_t(first), 'I', 'F', '8', '9', 'a'};
        EXPECT_EQ(check.isFile(probe, 0), check.acceptedFirstBytes()[first]) << first;
    }
}

TEST(GifFileCheck, WalkEndsAtTrailerOrAnyOtherIntroducer) {
    // A global colour table of 256 entries puts the first block at 13 + 768.
    Bytes withTable = gifHead(0xF7);
    ASSERT_EQ(withTable.size(), 781u);
    withTable.push_back(0x3B);
    EXPECT_EQ(sizeOfImageAt(withTable, 5), 782u + 512);

    // Graphic control extension, image, trailer: the trailer is part of the file.
    Bytes still = gifHead(0x80);
    still.insert(still.end(), {0x21, 0xF9, 0x04, 0x01, 0x0A, 0x00, 0x00, 0x00});
    appendImage(still, 3);
    still.push_back(0x3B);
    EXPECT_EQ(sizeOfImageAt(still, 2), still.size() + 512);

    // A byte that starts no block ends the file before it.
    Bytes broken = gifHead();
    appendImage(broken, 2);
    const uint64_t where = broken.size();
    broken.insert(broken.end(), {0x77, 0x3B});
    EXPECT_EQ(sizeOfImageAt(broken, 0), where + 512);

    // A file that ends before byte 25 is nothing.
    Bytes tiny = gifHead();
    tiny.push_back(0x3B);
    EXPECT_EQ(sizeOfImageAt(tiny, 0), 0u);
}

TEST(GifFileCheck, ExtensionSkipsAtMostTwoSubBlocks) {
    Bytes gif = gifHead();
    appendImage(gif, 1);
    const uint64_t comment = gif.size();
    gif.insert(gif.end(), {0x21, 0xFE, 3, 'a', 'b', 'c', 2, 'd', 'e'});
    const uint64_t third = gif.size();  // this size byte is taken for a block introducer
    gif.insert(gif.end(), {4, 'f', 'g', 'h', 'i', 0});
    appendImage(gif, 1);
    gif.push_back(0x3B);
    ASSERT_EQ(third, comment + 9);
    EXPECT_EQ(sizeOfImageAt(gif, 1), third + 512);

    // With two sub-blocks the walk goes on to the trailer.
    Bytes two = gifHead();
    two.insert(two.end(), {0x21, 0xFE, 3, 'a', 'b', 'c', 2, 'd', 'e', 0});
    appendImage(two, 1);
    two.push_back(0x3B);
    EXPECT_EQ(sizeOfImageAt(two, 1), two.size() + 512);
}

TEST(GifFileCheck, MoreThan2048ZerosEndTheFileWithoutSlack) {
    Bytes gif = gifHead();
    gif.resize(gif.size() + 3000, 0);
    gif.push_back(0x3B);
    EXPECT_EQ(sizeOfImageAt(gif, 0), 13u + 2049);

    Bytes fewer = gifHead();
    fewer.resize(fewer.size() + 2048, 0);
    fewer.push_back(0x3B);
    EXPECT_EQ(sizeOfImageAt(fewer, 0), fewer.size() + 512);
}

TEST(GifFileCheck, WalkAcrossManyWindowsAtEitherSectorSize) {
    Bytes gif = gifHead(0x85);
    for (int frame = 0; frame < 3; ++frame) {
        gif.insert(gif.end(), {0x21, 0xF9, 0x04, 0x00, 0x0A, 0x00, 0x00, 0x00});
        appendImage(gif, 300 + frame);  // about 77 KB each
    }
    gif.push_back(0x3B);
    ASSERT_GT(gif.size(), 3u * 65536);
    EXPECT_EQ(sizeOfImageAt(gif, 7, 512), gif.size() + 512);
    EXPECT_EQ(sizeOfImageAt(gif, 3, 4096), gif.size() + 512);
}

TEST(GifFileCheck, FileCutByTheEndOfTheDeviceEndsInItsZeros) {
    Bytes gif = gifHead();
    appendImage(gif, 300);
    // Sub-block size bytes stand at 24 + 256 k; cut inside sub-block 280's data.
    const uint64_t end = 24 + 256 * 280 + 100;
    gif.resize(end);
    TempImage image;
    image.write(0, gif);
    auto ctx = contextFor(image.path());
    GifFileCheck check(*ctx);
    // The walk meets a zero size byte at the first size-byte place past the
    // end, steps over it as a terminator, and then counts 2,049 zeros.
    const uint64_t firstMissingSizeByte = 24 + 256 * 281;
    EXPECT_EQ(recognise(check, image.path(), 0), firstMissingSizeByte + 1 + 2049);
}

TEST(GifFileCheck, LongWalksStopAtFiveMebibytes) {
    // Bytes 0x21 everywhere: an endless chain of extensions.
    Bytes bangs = gifHead();
    bangs.resize(6 * 1024 * 1024, 0x21);
    EXPECT_EQ(sizeOfImageAt(bangs, 0), 5242880u);

    // One image whose data sub-blocks never end.
    Bytes endless = gifHead();
    appendImage(endless, 6 * 1024 * 4);
    EXPECT_EQ(sizeOfImageAt(endless, 0), 5242880u);
}

TEST(GifFileCheck, CancelledWalkGivesTheSizeReached) {
    Bytes gif = fixture("gif/still87.gif");
    // Global colour table of 64 entries: the walk stands at 13 + 192 when it sees the stop.
    ASSERT_EQ(gif[10] & 0x87, 0x85);
    EXPECT_EQ(sizeOfImageAt(gif, 0, 512, true), 13u + 192 + 512);
}

TEST(GifFileCheck, UnreadableSourceGivesZero) {
    ScanContext ctx;
    ctx.cDriveMountedPath = "/nonexistent/pelorin-source";
    GifFileCheck check(ctx);
    const Bytes head = gifHead();
    EXPECT_EQ(check.fileSizeCalculation(head.data(), 0), 0u);
}

TEST(GifFileCheck, GarbageAfterTheHeaderEndsWithinBounds) {
    std::mt19937 random(42);
    for (int round = 0; round < 40; ++round) {
        Bytes gif(128 * 1024);
        // Mostly block introducers and small sizes, so the walk goes far.
        for (auto& b : gif) {
            const uint32_t r = random();
            b = (r & 3) == 0 ? uint8_t(0x21) : (r & 3) == 1 ? uint8_t(0x2C) : uint8_t(r >> 8);
        }
        const Bytes head = gifHead(uint8_t(random()));
        std::copy(head.begin(), head.begin() + 13, gif.begin());
        const uint64_t size = sizeOfImageAt(gif, 0);
        EXPECT_LE(size, 5242880u + 1024) << "round " << round;
    }
}

TEST(GifFileCheck, ScanFindsRealGifsAtTheirSectors) {
    const char* names[] = {"gif/still87.gif", "gif/still89.gif", "gif/animated.gif"};
    for (uint32_t sectorSize : {512u, 4096u}) {
        SectorLayout layout(sectorSize);
        std::vector<std::pair<uint64_t, uint64_t>> expected;
        layout.other(2);
        for (const char* name : names) {
            const Bytes gif = fixture(name);
            // Each ends with its trailer, so the length is the file's plus the slack.
            ASSERT_EQ(gif.back(), 0x3B) << name;
            expected.emplace_back(layout.place(gif), gif.size() + 512);
            layout.other(3);
        }
        TempImage image;
        layout.writeTo(image);
        ScanResult result = scanImage(image.path(), selectionOf({FileType::Gif, FileType::Bmp, FileType::Png}), sectorSize);
        EXPECT_EQ(leavesOf(folderNamed(*result.root, "GIF Files")), expected) << "sector size " << sectorSize;
    }
}

}  // namespace
}  // namespace pelorin::test
