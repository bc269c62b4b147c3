#include <gtest/gtest.h>

#include "recognisers/media/RaFileCheck.h"
#include "support/MediaTestSupport.h"

namespace pelorin::test {
namespace {

// A version 4 RealAudio header with the given data size at 12: 46 bytes, the file's header 16.
Bytes realAudio4(uint32_t dataSize) {
    return ByteWriter().text(".ra\xFD").be16(4).be16(0).text(".ra4").be32(dataSize).be16(4).fill(30, 0x33).bytes;
}

// The header, then a "RaTC" tag chunk where the data ends.
Bytes withTag(uint32_t dataSize, uint32_t tagLength) {
    Bytes file = realAudio4(dataSize);
    file.resize(16 + dataSize);
    return concat({file, ByteWriter().text("RaTC").be32(tagLength).fill(std::min<uint32_t>(tagLength, 200), 0x44).bytes});
}

// A file with a tag chunk is scanned with the other chunked types (MpgFileCheckTest).
TEST(RaFileCheck, HeaderAndSize) {
    EXPECT_EQ(sizeOf<RaFileCheck>(withTag(500000, 100), 3), 500124u);
    EXPECT_EQ(sizeOf<RaFileCheck>(realAudio4(500000), 3), 500016u);
    // A tag chunk that would take the file past the limit: its 8 header bytes count, its length not.
    EXPECT_EQ(sizeOf<RaFileCheck>(withTag(500000, 2136500000u), 3), 500024u);
    // A data size past the limit gives nothing.
    EXPECT_EQ(sizeOf<RaFileCheck>(realAudio4(2136746214u), 3), 0u);
    EXPECT_EQ(sizeOf<RaFileCheck>(realAudio4(2136746213u), 3), 2136746229u);
    // Versions 3 and 4 only; ".ra4" where version 4 has it.
    for (const auto& [at, value] : std::vector<std::pair<int, uint8_t>>{{11, '5'}, {5, 5}, {3, 0xFE}})
        EXPECT_EQ(sizeOf<RaFileCheck>(with(realAudio4(500000), at, value), 3), 0u);
    // The source has gone: the trailer window cannot be read.
    ScanContext ctx;
    ctx.sourcePath = "/nonexistent/pelorin-source";
    RaFileCheck gone(ctx);
    const Bytes head = realAudio4(500000);
    ASSERT_TRUE(recogniseBytes(gone, head.data(), 7));
    EXPECT_EQ(recogniseBytes(gone, head.data(), 7)->size, 500016u);
    EXPECT_TRUE(recogniseBytes(gone, with(with(head, 5, 3), 8, 'X').data(), 0));  // version 3 has no further test
}

}  // namespace
}  // namespace pelorin::test
