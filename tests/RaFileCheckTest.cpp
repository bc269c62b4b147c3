#include <gtest/gtest.h>

#include "recognisers/media/RaFileCheck.h"
#include "recognisers/media/RmFileCheck.h"
#include "support/MediaTestSupport.h"

namespace pelorin::test {
namespace {

// A version 4 RealAudio header with the given data size at 12.
Bytes realAudio4(uint32_t dataSize) {
    ByteWriter head;
    head.text(".ra\xFD").be16(4).be16(0).text(".ra4").be32(dataSize).be16(4).fill(30, 0x33);
    return head.bytes;
}

Bytes tagChunk(uint32_t length) {
    ByteWriter tag;
    tag.text("RaTC").be32(length).fill(std::min<uint32_t>(length, 200), 0x44);
    return tag.bytes;
}

struct Placed {
    uint64_t offset;
    Bytes bytes;
};

uint64_t sizeOf(std::initializer_list<Placed> parts, uint32_t sectorSize = 512) {
    TempImage image(1024 * 1024);
    for (const Placed& part : parts) image.write(3 * sectorSize + part.offset, part.bytes);
    auto ctx = contextFor(image.path(), sectorSize);
    RaFileCheck check(*ctx);
    return recognise(check, image.path(), 3, sectorSize);
}

TEST(RaFileCheck, SizeIsHeaderAndDataWithOrWithoutTagChunk) {
    EXPECT_EQ(sizeOf({{0, realAudio4(500000)}, {500016, tagChunk(100)}}), 500124u);
    EXPECT_EQ(sizeOf({{0, realAudio4(500000)}, {500016, tagChunk(100)}}, 4096), 500124u);
    EXPECT_EQ(sizeOf({{0, realAudio4(500000)}}), 500016u);
    // A tag chunk that would take the file past the limit: its 8 header bytes count, its length not.
    EXPECT_EQ(sizeOf({{0, realAudio4(500000)}, {500016, tagChunk(2136500000u)}}), 500024u);
    // A data size past the limit gives nothing.
    EXPECT_EQ(sizeOf({{0, realAudio4(2136746214u)}}), 0u);
    EXPECT_EQ(sizeOf({{0, realAudio4(2136746213u)}}), 2136746229u);
}

TEST(RaFileCheck, VersionsThreeAndFourOnly) {
    ScanContext ctx;
    RaFileCheck check(ctx);
    Bytes head = realAudio4(1000);
    EXPECT_TRUE(check.isFile(head.data(), 0));
    head[11] = '5';  // ".ra5" where version 4 has ".ra4"
    EXPECT_FALSE(check.isFile(head.data(), 0));
    head = realAudio4(1000);
    head[5] = 5;
    EXPECT_FALSE(check.isFile(head.data(), 0));
    head[5] = 3;  // version 3 has no further test
    head[8] = 'X';
    EXPECT_TRUE(check.isFile(head.data(), 0));
    head[3] = 0xFE;
    EXPECT_FALSE(check.isFile(head.data(), 0));
}

TEST(RaFileCheck, UnreadableTrailerWindowGivesTheSizeWithoutTrailer) {
    // The source has gone: the trailer window cannot be read.
    ScanContext ctx;
    ctx.cDriveMountedPath = ctx.selectedDriveMountPoint = "/nonexistent/pelorin-source";
    RaFileCheck check(ctx);
    const Bytes head = realAudio4(500000);
    ASSERT_TRUE(check.isFile(head.data(), 7));
    EXPECT_EQ(check.fileSizeCalculation(head.data(), 7), 500016u);
}

TEST(RaFileCheck, FoundInAScanApartFromRealMedia) {
    TempImage image(1024 * 1024);
    const Bytes head = realAudio4(20000);
    image.write(6 * 512, head);
    image.write(6 * 512 + 20016, tagChunk(60));
    auto result = scanImage(image.path(), chunkedMediaTypes());
    EXPECT_EQ(leavesIn(*result.root, "RA Files"), (std::vector<Leaf>{{6, 20016 + 68}}));
    EXPECT_EQ(result.root->children().size(), 1u);
}

}  // namespace
}  // namespace pelorin::test
