#include <gtest/gtest.h>

#include "recognisers/raw/MrwFileCheck.h"
#include "support/TestSupport.h"

namespace pelorin::test {
namespace {

void be32(Bytes& b, std::size_t at, uint32_t v) {
    if (b.size() < at + 4) b.resize(at + 4);
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * (3 - i)));
}

// An MRW whose "PRD" block comes after `blocksBefore` other blocks.
Bytes mrw(uint32_t imageDataOffset, uint16_t height, uint16_t width, uint8_t method, int blocksBefore = 0) {
    Bytes b{0x00, 'M', 'R', 'M'};
    be32(b, 4, imageDataOffset);
    std::size_t at = 8;
    for (int i = 0; i < blocksBefore; ++i) {
        b.resize(at + 8);
        b[at] = 0; b[at + 1] = 'T'; b[at + 2] = 'T'; b[at + 3] = 'W';
        be32(b, at + 4, 100);
        at += 8 + 100;
    }
    b.resize(at + 8 + 24);
    b[at] = 0; b[at + 1] = 'P'; b[at + 2] = 'R'; b[at + 3] = 'D';
    be32(b, at + 4, 24);
    const std::size_t data = at + 8;
    b[data + 8] = uint8_t(height >> 8); b[data + 9] = uint8_t(height);
    b[data + 10] = uint8_t(width >> 8); b[data + 11] = uint8_t(width);
    b[data + 18] = method;
    return b;
}

uint64_t sizeOf(const Bytes& file) {
    TempImage image(64 * 1024);
    image.write(512, file);
    auto ctx = contextFor(image.path());
    MrwFileCheck check(*ctx);
    return recognise(check, image.path(), 1);
}

TEST(MrwFileCheck, LengthFromSensorSizeAndStorage) {
    EXPECT_EQ(sizeOf(mrw(1000, 2000, 3000, 'Y')), 9000000u + 1000 + 8 + 512);
    EXPECT_EQ(sizeOf(mrw(1000, 2000, 3000, 'R')), 12000000u + 1000 + 8 + 512);
    EXPECT_EQ(sizeOf(mrw(1000, 2000, 3000, 'X')), 0u);
    EXPECT_EQ(sizeOf(mrw(0x3200001, 20, 30, 'R')), 0u);
    EXPECT_EQ(sizeOf(mrw(1000, 9000, 9000, 'R')), 0u);  // beyond 150 MiB
}

TEST(MrwFileCheck, PrdMustBeAmongTheFirstFiveBlocks) {
    EXPECT_EQ(sizeOf(mrw(1000, 20, 30, 'R', 4)), 1200u + 1008 + 512);
    EXPECT_EQ(sizeOf(mrw(1000, 20, 30, 'R', 5)), 0u);
}

TEST(MrwFileCheck, FoundByAScan) {
    TempImage image(64 * 1024);
    image.write(512 * 3, mrw(1000, 20, 30, 'Y'));
    const ScanResult result = scanImage(image.path(), selectionOf({FileType::Mrw}));
    const HDIR* folder = folderNamed(*result.root, "MRW Files");
    ASSERT_NE(folder, nullptr);
    ASSERT_EQ(folder->children().size(), 1u);
    EXPECT_EQ(folder->children()[0]->fileSize(), 900u + 1008 + 512);
}

}  // namespace
}  // namespace pelorin::test
