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
Sized rmSize(std::initializer_list<Chunk> chunks, uint32_t sectorSize = 512, bool cancel = false) {
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
    return sizeOn(check, *ctx, image.path(), 2, cancel);
}

TEST(RmFileCheck, RealFileIsItsChunkChain) {
    const Bytes rm = fixture("rm/tiny.rm");
    ASSERT_EQ(rm.size(), 3050u);
    const ScanResult scan = scanPlaced({{11, rm}}, chunkedMediaTypes(), 512, 64 * 1024);
    // .RMF 18 + PROP 50 + CONT 18 + MDPR 116 + MDPR 155 + DATA 2,703. The
    // writer's DATA size runs 10 bytes past its file (which ends in 8 zero
    // bytes, no chunk); the chain is taken as stated.
    EXPECT_EQ(leavesIn(*scan.root, "RM Files"), (Leaves{{11, 3060}}));
    EXPECT_EQ(scan.root->children().size(), 1u);
}

TEST(RmFileCheck, ChunkChain) {
    const std::initializer_list<Chunk> chain{{".RMF", 18}, {"PROP", 50}, {"MDPR", 200},
                                             {"CONT", 40}, {"DATA", 1000000}, {"INDX", 600}};
    EXPECT_EQ(rmSize(chain).size, 1000908u);
    EXPECT_EQ(rmSize(chain, 4096).size, 1000908u);
    EXPECT_EQ(rmSize(chain, 512, true).size, 0u);
    // A chunk of size 0 would be read again and again: the file ends before it.
    EXPECT_EQ(rmSize({{".RMF", 18}, {"PROP", 50}, {"DATA", 0}}).size, 68u);
    // A chunk past the size limit is not counted.
    EXPECT_EQ(rmSize({{".RMF", 18}, {"PROP", 50}, {"DATA", 2136746230u}}).size, 68u);
    // A chunk of one byte moves the walk onto bytes that are no chunk.
    EXPECT_EQ(rmSize({{".RMF", 18}, {"PROP", 1}}).size, 19u);
    // The file header's size must be 18.
    EXPECT_EQ(rmSize({{".RMF", 19}, {"PROP", 50}, {"DATA", 1000}}).size, 0u);
}

}  // namespace
}  // namespace pelorin::test
