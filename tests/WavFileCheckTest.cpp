#include <gtest/gtest.h>

#include "recognisers/media/WavFileCheck.h"
#include "support/MediaTestSupport.h"

namespace pelorin::test {
namespace {

TEST(WavFileCheck, RealFileIsItsRiffSizePlusEight) {
    const Bytes wav = fixture("wav/tiny.wav");
    ASSERT_EQ(wav.size(), 4844u);  // RIFF size field 4,836 + 8
    const ScanResult scan = scanPlaced({{9, wav}}, chunkedMediaTypes());
    EXPECT_EQ(leavesIn(*scan.root, "WAV Files"), (Leaves{{9, 4844}}));
    EXPECT_EQ(scan.root->children().size(), 1u);
}

TEST(WavFileCheck, RiffSizeBounds) {
    const std::vector<std::pair<uint32_t, uint64_t>> cases{
        {4095, 0}, {4096, 4104}, {36 + 1000000, 1000044},
        {4294967280u, 4294967288u},  // no 32-bit wrap of the + 8
        {4294967281u, 0}, {0xFFFFFFFFu, 0}};
    ScanContext ctx;
    WavFileCheck check(ctx);
    for (const auto& [riffSize, size] : cases) {
        const Bytes head = ByteWriter().text("RIFF").le32(riffSize).text("WAVEfmt ").fill(9).bytes;
        ASSERT_TRUE(check.isFile(head.data(), 0));
        EXPECT_EQ(check.fileSizeCalculation(head.data(), 0), size) << riffSize;
    }
}

}  // namespace
}  // namespace pelorin::test
