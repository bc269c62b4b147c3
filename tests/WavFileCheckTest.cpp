#include <gtest/gtest.h>

#include "recognisers/media/WavFileCheck.h"
#include "support/MediaTestSupport.h"

namespace pelorin::test {
namespace {

uint64_t wavSize(uint32_t riffSize) {
    ByteWriter head;
    head.text("RIFF").le32(riffSize).text("WAVEfmt ").fill(9);
    ScanContext ctx;
    WavFileCheck check(ctx);
    if (!check.isFile(head.bytes.data(), 0)) return ~uint64_t{0};
    return check.fileSizeCalculation(head.bytes.data(), 0);
}

TEST(WavFileCheck, RealFileIsItsRiffSizePlusEight) {
    const Bytes wav = fixture("wav/tiny.wav");
    ASSERT_EQ(wav.size(), 4844u);  // RIFF size field 4,836 + 8
    TempImage image(64 * 1024);
    image.write(9 * 512, wav);
    auto result = scanImage(image.path(), chunkedMediaTypes());
    EXPECT_EQ(leavesIn(*result.root, "WAV Files"), (std::vector<Leaf>{{9, 4844}}));
    EXPECT_EQ(result.root->children().size(), 1u);
}

TEST(WavFileCheck, RiffSizeBounds) {
    EXPECT_EQ(wavSize(4095), 0u);
    EXPECT_EQ(wavSize(4096), 4104u);
    EXPECT_EQ(wavSize(36 + 1000000), 1000044u);
    EXPECT_EQ(wavSize(4294967280u), 4294967288u);  // no 32-bit wrap of the + 8
    EXPECT_EQ(wavSize(4294967281u), 0u);
    EXPECT_EQ(wavSize(0xFFFFFFFFu), 0u);
}

}  // namespace
}  // namespace pelorin::test
