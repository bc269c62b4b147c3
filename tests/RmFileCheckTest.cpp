#include <gtest/gtest.h>

#include "recognisers/media/RmFileCheck.h"
#include "support/MediaTestSupport.h"

namespace pelorin::test {
namespace {

struct Chunk {
    std::string_view tag;
    uint32_t size;  // as stated, header included
};

// Chunk heads (tag and size) at the offsets their sizes give; the bodies are
// left as the image's zeros, except the file header's.
uint64_t sizeOf(std::initializer_list<Chunk> chunks, uint32_t sectorSize = 512) {
    TempImage image(2 * 1024 * 1024);
    uint64_t offset = 2 * sectorSize;
    for (const Chunk& chunk : chunks) {
        ByteWriter head;
        head.text(chunk.tag).be32(chunk.size);
        if (chunk.tag == ".RMF") head.be16(0).be32(0).be32(5);
        image.write(offset, head.bytes);
        offset += chunk.size;
    }
    auto ctx = contextFor(image.path(), sectorSize);
    RmFileCheck check(*ctx);
    return recognise(check, image.path(), 2, sectorSize);
}

TEST(RmFileCheck, RealFileIsItsChunkChain) {
    const Bytes rm = fixture("rm/tiny.rm");
    ASSERT_EQ(rm.size(), 3050u);
    TempImage image(64 * 1024);
    image.write(11 * 512, rm);
    auto result = scanImage(image.path(), chunkedMediaTypes());
    // .RMF 18 + PROP 50 + CONT 18 + MDPR 116 + MDPR 155 + DATA 2,703. The
    // writer's DATA size runs 10 bytes past its file (which ends in 8 zero
    // bytes, no chunk); the chain is taken as stated.
    EXPECT_EQ(leavesIn(*result.root, "RM Files"), (std::vector<Leaf>{{11, 3060}}));
    EXPECT_EQ(result.root->children().size(), 1u);
}

TEST(RmFileCheck, ChunkChainAcrossWindows) {
    const std::initializer_list<Chunk> chain{{".RMF", 18},   {"PROP", 50},  {"MDPR", 200},
                                             {"CONT", 40},   {"DATA", 1000000}, {"INDX", 600}};
    EXPECT_EQ(sizeOf(chain), 1000908u);
    EXPECT_EQ(sizeOf(chain, 4096), 1000908u);
}

TEST(RmFileCheck, HeaderSizeMustBeEighteen) {
    ScanContext ctx;
    RmFileCheck check(ctx);
    ByteWriter head;
    head.text(".RMF").be32(18).be16(0).be32(0).be32(3);
    EXPECT_TRUE(check.isFile(head.bytes.data(), 0));
    head.bytes[7] = 0x13;
    EXPECT_FALSE(check.isFile(head.bytes.data(), 0));
}

TEST(RmFileCheck, EmptyOrOversizedChunkEndsTheWalkBeforeIt) {
    // A chunk of size 0 would be read again and again: the file ends before it.
    EXPECT_EQ(sizeOf({{".RMF", 18}, {"PROP", 50}, {"DATA", 0}}), 68u);
    // A chunk past the size limit is not counted.
    EXPECT_EQ(sizeOf({{".RMF", 18}, {"PROP", 50}, {"DATA", 2136746230u}}), 68u);
    // A chunk of one byte moves the walk onto bytes that are no chunk.
    EXPECT_EQ(sizeOf({{".RMF", 18}, {"PROP", 1}}), 19u);

    TempImage image(64 * 1024);
    ByteWriter head;
    head.text(".RMF").be32(18).be16(0).be32(0).be32(3).text("PROP").be32(50);
    image.write(0, head.bytes);
    auto ctx = contextFor(image.path());
    RmFileCheck check(*ctx);
    EXPECT_EQ(sizeWhenCancelled(check, *ctx, image.path(), 0), 0u);
}

}  // namespace
}  // namespace pelorin::test
