#include <gtest/gtest.h>

#include <cstring>

#include "recognisers/raw/RafFileCheck.h"
#include "support/TestSupport.h"

namespace pelorin::test {
namespace {

void be32(Bytes& b, std::size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * (3 - i)));
}

Bytes raf(uint32_t previewAt, uint32_t previewLength, uint32_t rawAt, uint32_t rawLength, uint32_t at132) {
    Bytes b(160, 0);
    std::memcpy(b.data(), "FUJIFILMCCD-RAW 0201FF383501", 28);
    be32(b, 84, previewAt);
    be32(b, 88, previewLength);
    be32(b, 100, rawAt);
    be32(b, 104, rawLength);
    be32(b, 132, at132);
    return b;
}

TEST(RafFileCheck, FoundWithItsPreviewByAScan) {
    TempImage image(64 * 1024);
    image.write(512 * 2, raf(1300, 2000, 5000, 100000, 7));
    const ScanResult result = scanImage(image.path(), selectionOf({FileType::Raf}));
    const HDIR* folder = folderNamed(*result.root, "RAF Files");
    ASSERT_NE(folder, nullptr);
    ASSERT_EQ(folder->children().size(), 1u);
    EXPECT_EQ(folder->children()[0]->fileSize(), 105000u + 512);
    const HDIR* previews = folderNamed(*result.root, "RAW Jpg Files");
    ASSERT_NE(previews, nullptr);
    EXPECT_EQ(previews->children()[0]->sectorNumber(), 2u + 1300 / 512);
    EXPECT_EQ(previews->children()[0]->extraBytesToMove(), 1300 % 512);
    EXPECT_EQ(previews->children()[0]->fileSize(), 2000u);
}

TEST(RafFileCheck, LengthRules) {
    TempImage image(64 * 1024);
    auto ctx = contextFor(image.path());
    RafFileCheck check(*ctx);
    const auto sized = [&](const Bytes& file) {
        image.write(0, file);
        return recognise(check, image.path(), 0);
    };
    EXPECT_EQ(sized(raf(200, 2000, 5000, 100000, 100000)), 205000u + 512);  // raw data counted twice
    EXPECT_EQ(sized(raf(200, 2000, 0xC800001, 10, 0)), 0u);
    EXPECT_EQ(sized(raf(200, 2000, 0xC000000, 0x1000000, 0)), 0u);
    EXPECT_EQ(sized(raf(200, 1024, 50, 40, 0)), 0u);  // below 100 bytes
    EXPECT_EQ(sized(raf(200, 1024, 5000, 40, 0)), 5040u + 512);
    EXPECT_FALSE(ctx->found.bRawJpgFileFound);  // a preview of 1,024 bytes is not reported
    Bytes other = raf(200, 2000, 5000, 100, 0);
    other[14] = 'X';
    EXPECT_EQ(sized(other), 0u);
}

}  // namespace
}  // namespace pelorin::test
