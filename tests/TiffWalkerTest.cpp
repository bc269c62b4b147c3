#include <gtest/gtest.h>

#include "recognisers/raw/TiffWalker.h"
#include "support/TestSupport.h"
#include "support/TiffBuilder.h"

namespace pelorin::test {
namespace {

// A JPEG whose end marker starts `endAt` bytes after its start.
Bytes jpegEndingAt(uint32_t endAt) {
    Bytes b{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10};
    b.resize(b.size() + 14, 0x20);
    b.insert(b.end(), {0xFF, 0xDA, 0x00, 0x08});
    b.resize(endAt, 0x42);
    b.insert(b.end(), {0xFF, 0xD9});
    return b;
}

uint64_t jpegLength(const Bytes& jpeg, uint64_t address, uint64_t imageSize = 256 * 1024) {
    TempImage image(imageSize);
    image.write(address, jpeg);
    auto ctx = contextFor(image.path());
    ReadWindow window(*ctx);
    TiffWalker walker(window, *ctx, 0, true);
    return walker.jpgFileSizeCalculation(address);
}

TEST(TiffWalker, JpegLengthWalk) {
    EXPECT_EQ(jpegLength(jpegEndingAt(300), 1000), 302u + 512);
    // End marker as the last byte pair of the 64 KiB window, and straddling it.
    EXPECT_EQ(jpegLength(jpegEndingAt(65534), 0), 65536u + 512);
    EXPECT_EQ(jpegLength(jpegEndingAt(65535), 0), 65537u + 512);
    EXPECT_EQ(jpegLength(jpegEndingAt(65535), 700), 65537u + 512);
    EXPECT_EQ(jpegLength({0x12, 0x34}, 0), 0u);
    // A marker that is no marker ends the walk with what it has.
    EXPECT_EQ(jpegLength({0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x04, 0, 0, 0x12}, 0), 10u);
    // A runaway stream is capped.
    Bytes runaway = jpegEndingAt(40);
    runaway.resize(40);
    EXPECT_EQ(jpegLength(runaway, 0, 27 * 1024 * 1024), 0x500000u);
}

TEST(TiffWalker, PentaxIfdCount) {
    for (int ifds : {1, 2, 3, 4, 10, 11, 30}) {
        TiffBuilder b;
        b.padTo(16);
        uint32_t next = 0;
        for (int i = 0; i < ifds; ++i) next = b.placeIfd({b.short1(256, 1), b.short1(257, 1)}, next);
        b.firstIfd(next);
        TempImage image(64 * 1024);
        image.write(0, b.bytes());
        auto ctx = contextFor(image.path());
        ReadWindow window(*ctx);
        TiffWalker walker(window, *ctx, 0, true);
        const int expected = ifds <= 2 ? 1 : ifds == 3 ? 2 : 3;
        EXPECT_EQ(walker.pentaxIfdCount(next), expected) << ifds;
    }
}

TEST(TiffWalker, ValuesAcrossWindowsInBothByteOrders) {
    TempImage image(256 * 1024);
    image.write(65534, {0x11, 0x22, 0x33, 0x44});
    image.write(140000, {0xAA, 0xBB});
    auto ctx = contextFor(image.path());
    ReadWindow window(*ctx);
    TiffWalker little(window, *ctx, 0, true);
    uint32_t v = 0;
    ASSERT_TRUE(little.u32(65534, v));
    EXPECT_EQ(v, 0x44332211u);
    ASSERT_TRUE(little.u16(140000, v));
    EXPECT_EQ(v, 0xBBAAu);
    TiffWalker big(window, *ctx, 0, false);
    ASSERT_TRUE(big.u32(65534, v));
    EXPECT_EQ(v, 0x11223344u);
    // Another walker moved the window: the first one reads its bytes again.
    ASSERT_TRUE(little.u32(65534, v));
    EXPECT_EQ(v, 0x44332211u);
}

}  // namespace
}  // namespace pelorin::test
