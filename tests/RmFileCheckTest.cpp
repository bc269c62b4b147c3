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
Sized rmSize(std::initializer_list<Chunk> chunks, bool cancel = false) {
    TempImage image(2 * 1024 * 1024);
    uint64_t offset = 1024;
    for (const Chunk& chunk : chunks) {
        ByteWriter head;
        head.text(chunk.tag).be32(chunk.size);
        if (chunk.tag == ".RMF") head.be16(0).be32(0).be32(5);
        image.write(offset, head.bytes);
        offset += chunk.size;
    }
    auto ctx = contextFor(image.path());
    RmFileCheck check(*ctx);
    return sizeOn(check, *ctx, image.path(), 2, cancel);
}

// The real file is scanned with the other chunked types (MpgFileCheckTest).
TEST(RmFileCheck, ChunkChain) {
    const std::initializer_list<Chunk> chain{{".RMF", 18}, {"PROP", 50}, {"MDPR", 200},
                                             {"CONT", 40}, {"DATA", 1000000}, {"INDX", 600}};
    EXPECT_EQ(rmSize(chain).size, 1000908u);
    EXPECT_EQ(rmSize(chain, true).size, 0u);
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
