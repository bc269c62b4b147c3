#include <gtest/gtest.h>

#include "recognisers/media/WavFileCheck.h"
#include "support/MediaTestSupport.h"

namespace pelorin::test {
namespace {

// The real file is scanned with the other chunked types (MpgFileCheckTest).
TEST(WavFileCheck, RiffSizeBounds) {
    // RIFF size field and size: below 4,096 nothing, no 32-bit wrap of the + 8.
    const std::vector<std::pair<uint32_t, uint64_t>> cases{
        {4095, 0}, {4096, 4104}, {4294967280u, 4294967288u}, {4294967281u, 0}};
    ScanContext ctx;
    WavFileCheck check(ctx);
    for (const auto& [riffSize, size] : cases) {
        const Bytes head = ByteWriter().text("RIFF").le32(riffSize).text("WAVEfmt ").fill(9).bytes;
        const std::optional<Match> match = recogniseBytes(check, head.data(), 0);
        ASSERT_TRUE(match);
        EXPECT_EQ(match->size, size) << riffSize;
    }
}

}  // namespace
}  // namespace pelorin::test
