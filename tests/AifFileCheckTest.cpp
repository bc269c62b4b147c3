#include <gtest/gtest.h>

#include "recognisers/media/AifFileCheck.h"
#include "support/MediaTestSupport.h"

namespace pelorin::test {
namespace {

struct Chunk {
    std::string_view id;
    uint32_t length;      // as stated in the chunk
    std::size_t written;  // payload bytes actually written
};

// FORM, its form type and the chunks; the FORM size field is left at 0, as
// the size calculation never reads it.
Bytes aiff(std::initializer_list<Chunk> chunks, std::string_view form = "AIFF") {
    ByteWriter file;
    file.text("FORM").be32(0).text(form);
    for (const Chunk& chunk : chunks) file.text(chunk.id).be32(chunk.length).fill(chunk.written, 0x11);
    return file.bytes;
}

uint64_t sizeOf(const Bytes& file, uint64_t imageSize = 256 * 1024, uint32_t sectorSize = 512) {
    TempImage image(imageSize);
    image.write(sectorSize, file);
    auto ctx = contextFor(image.path(), sectorSize);
    AifFileCheck check(*ctx);
    return recognise(check, image.path(), 1, sectorSize);
}

TEST(AifFileCheck, RealFileIsItsChunksPlusSlack) {
    const Bytes file = fixture("aiff/tiny.aiff");
    ASSERT_EQ(file.size(), 4854u);  // FORM size field 4,846 + 8
    TempImage image(64 * 1024);
    image.write(5 * 512, file);
    auto result = scanImage(image.path(), chunkedMediaTypes());
    // COMM (18 + 8) and SSND (4,808 + 8): the file less its 12-byte FORM header, + 512.
    EXPECT_EQ(leavesIn(*result.root, "AIFF Files"), (std::vector<Leaf>{{5, 26 + 4816 + 512}}));
    EXPECT_EQ(result.root->children().size(), 1u);
}

TEST(AifFileCheck, ChunkTotalsAcrossWindows) {
    // COMM (18) and SSND (100,000) followed by zeros: 26 + 100,008, + 512.
    EXPECT_EQ(sizeOf(aiff({{"COMM", 18, 18}, {"SSND", 100000, 100000}})), 100546u);
    EXPECT_EQ(sizeOf(aiff({{"COMM", 18, 18}, {"SSND", 100000, 100000}}), 256 * 1024, 4096), 100546u);
    // AIFF-C is accepted the same way.
    EXPECT_EQ(sizeOf(aiff({{"FVER", 4, 4}, {"COMM", 24, 24}, {"SSND", 5000, 5000}}, "AIFC")), 12u + 32 + 5008 + 512);
    // NAME and ANNO are taken to carry a pad byte whatever their length.
    EXPECT_EQ(sizeOf(aiff({{"COMM", 18, 18}, {"NAME", 5, 6}, {"ANNO", 4, 5}, {"SSND", 2000, 2000}})),
              26u + 14 + 13 + 2008 + 512);
}

TEST(AifFileCheck, SecondChunkMustBeAnAiffChunk) {
    // The second chunk's identifier is read where the first one's length says,
    // here four sectors on.
    EXPECT_EQ(sizeOf(aiff({{"COMM", 2030, 2030}, {"SSND", 3000, 3000}})), 2038u + 3008 + 512);
    EXPECT_EQ(sizeOf(aiff({{"COMM", 2030, 2030}, {"DATA", 3000, 3000}})), 0u);
    ScanContext ctx;
    AifFileCheck check(ctx);
    const Bytes wrongForm = aiff({{"COMM", 18, 18}}, "8SVX");
    EXPECT_FALSE(check.isFile(wrongForm.data(), 0));  // rejected before any read
}

TEST(AifFileCheck, SmallLargeAndWrappingTotals) {
    EXPECT_EQ(sizeOf(aiff({{"COMM", 18, 18}, {"SSND", 988, 988}})), 0u);  // total 1,022
    EXPECT_EQ(sizeOf(aiff({{"COMM", 18, 18}, {"SSND", 990, 990}})), 1024u + 512);
    // A total past 2^31 - 8 is taken as 60 MiB, with slack.
    EXPECT_EQ(sizeOf(aiff({{"COMM", 18, 18}, {"SSND", 0x80000000u, 16}})), 62914560u + 512);
    // Lengths that wrap in 32 bits (0xFFFFFFF8 + 8 = 0) still move the walk
    // past the 2^32 - 16 limit: 60 MiB, no slack.
    EXPECT_EQ(sizeOf(aiff({{"COMM", 18, 18}, {"SSND", 0xFFFFFFF8u, 16}})), 62914560u);
    // Zero-length chunks still take their 8 bytes each.
    ByteWriter zeros;
    zeros.text("FORM").be32(0).text("AIFF");
    for (int i = 0; i < 200; ++i) zeros.text("MARK").be32(0);
    EXPECT_EQ(sizeOf(zeros.bytes), 1600u + 512);
}

TEST(AifFileCheck, StoppedWalkGivesNothing) {
    TempImage image(64 * 1024);
    image.write(0, aiff({{"COMM", 18, 18}, {"SSND", 20000, 20000}}));
    auto ctx = contextFor(image.path());
    AifFileCheck check(*ctx);
    EXPECT_EQ(sizeWhenCancelled(check, *ctx, image.path(), 0), 0u);
}

}  // namespace
}  // namespace pelorin::test
