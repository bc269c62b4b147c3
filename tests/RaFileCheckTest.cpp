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

TEST(RaFileCheck, SizeIsHeaderAndDataWithOrWithoutTagChunk) {
    EXPECT_EQ(sizeOf<RaFileCheck>(withTag(500000, 100), 3), 500124u);
    EXPECT_EQ(sizeOf<RaFileCheck>(withTag(500000, 100), 3, 4096), 500124u);
    EXPECT_EQ(sizeOf<RaFileCheck>(realAudio4(500000), 3), 500016u);
    // A tag chunk that would take the file past the limit: its 8 header bytes count, its length not.
    EXPECT_EQ(sizeOf<RaFileCheck>(withTag(500000, 2136500000u), 3), 500024u);
    // A data size past the limit gives nothing.
    EXPECT_EQ(sizeOf<RaFileCheck>(realAudio4(2136746214u), 3), 0u);
    EXPECT_EQ(sizeOf<RaFileCheck>(realAudio4(2136746213u), 3), 2136746229u);
    // The source has gone: the trailer window cannot be read.
    EXPECT_EQ(sizeWithoutSource<RaFileCheck>(realAudio4(500000), 7), 500016u);
}

TEST(RaFileCheck, VersionsThreeAndFourOnly) {
    ScanContext ctx;
    RaFileCheck check(ctx);
    const std::vector<std::tuple<int, uint8_t, bool>> cases{
        {11, '5', false},  // ".ra5" where version 4 has ".ra4"
        {5, 5, false}, {3, 0xFE, false}, {5, 3, true}};
    for (const auto& [at, value, accepted] : cases) {
        Bytes head = realAudio4(1000);
        head[at] = value;
        if (value == 3) head[8] = 'X';  // version 3 has no further test
        EXPECT_EQ(check.isFile(head.data(), 0), accepted) << at;
    }
}

TEST(RaFileCheck, FoundInAScanApartFromRealMedia) {
    const ScanResult scan = scanPlaced({{6, withTag(20000, 60)}}, chunkedMediaTypes(), 512, 1024 * 1024);
    EXPECT_EQ(leavesIn(*scan.root, "RA Files"), (Leaves{{6, 20016 + 68}}));
    EXPECT_EQ(scan.root->children().size(), 1u);
}

}  // namespace
}  // namespace pelorin::test
