#include <gtest/gtest.h>

#include "recognisers/media/WebpFileCheck.h"
#include "support/MediaTestSupport.h"

namespace pelorin::test {
namespace {

Bytes webpHead(uint32_t riffSize, std::string_view firstChunk, uint32_t chunkSize) {
    return ByteWriter().text("RIFF").le32(riffSize).text("WEBP").text(firstChunk).le32(chunkSize).fill(5).bytes;
}

TEST(WebpFileCheck, HeaderAndLength) {
    // The RIFF size, the first chunk and its size; the file's length (0: no match).
    const std::vector<std::tuple<uint32_t, std::string_view, uint32_t, uint64_t>> cases{
        {1000, "VP8 ", 988, 1008}, {1001, "VP8L", 900, 1010},  // padded to even
        {30, "VP8X", 10, 38}, {0xFFFFFFFFu, "VP8 ", 100, 0x100000008u},  // no 32-bit wrap
        {1000, "VP8 ", 989, 0},                                         // the chunk overruns the RIFF chunk
        {11, "VP8 ", 0, 0}, {1000, "ALPH", 10, 0}, {1000, "vp8 ", 10, 0},
    };
    ScanContext ctx;
    WebpFileCheck check(ctx);
    for (const auto& [riffSize, chunk, chunkSize, length] : cases) {
        const Bytes head = webpHead(riffSize, chunk, chunkSize);
        const std::optional<Match> match = recogniseBytes(check, head.data(), 0);
        EXPECT_EQ(match ? match->size : 0, length) << riffSize << " " << chunk;
    }
}

// WebP shares its first bytes with AVI and WAV: each goes to its own folder,
// exact; a WebP cut off by the source's end is cut there.
TEST(WebpFileCheck, RealFilesBesideAviAndWav) {
    const Bytes lossy = fixture("webp/small.webp"), lossless = fixture("webp/lossless.webp");
    const Bytes avi = fixture("avi/tiny.avi"), wav = fixture("wav/tiny.wav");
    const uint64_t imageSize = 200 * 512;
    const ScanResult result = scanPlaced({{2, lossy}, {10, avi}, {60, lossless}, {70, wav}, {199, Bytes(lossy.begin(), lossy.begin() + 512)}},
                                         selectionOf({FileType::Avi, FileType::Wav, FileType::Webp}), 512, imageSize);
    EXPECT_EQ(leavesIn(*result.root, "WEBP Files"), (Leaves{{2, lossy.size()}, {60, lossless.size()}, {199, 512}}));
    EXPECT_EQ(leavesIn(*result.root, "AVI Files").size(), 1u);
    EXPECT_EQ(leavesIn(*result.root, "WAV Files"), (Leaves{{70, wav.size()}}));
}

}  // namespace
}  // namespace pelorin::test
