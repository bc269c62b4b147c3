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

// The real file is scanned with the other chunked types (MpgFileCheckTest).
TEST(AifFileCheck, ChunkWalk) {
    ByteWriter marks;
    marks.text("FORM").be32(0).text("AIFF");
    for (int i = 0; i < 200; ++i) marks.text("MARK").be32(0);
    const std::vector<std::tuple<const char*, Bytes, uint64_t>> cases{
        {"COMM and SSND followed by zeros", aiff({{"COMM", 18, 18}, {"SSND", 100000, 100000}}), 26 + 100008 + 512},
        {"AIFF-C", aiff({{"FVER", 4, 4}, {"COMM", 24, 24}, {"SSND", 5000, 5000}}, "AIFC"), 12 + 32 + 5008 + 512},
        // NAME and ANNO are taken to carry a pad byte whatever their length.
        {"NAME and ANNO", aiff({{"COMM", 18, 18}, {"NAME", 5, 6}, {"ANNO", 4, 5}, {"SSND", 2000, 2000}}),
         26 + 14 + 13 + 2008 + 512},
        // The second chunk's identifier is read where the first one's length says, four sectors on.
        {"second chunk far on", aiff({{"COMM", 2030, 2030}, {"SSND", 3000, 3000}}), 2038 + 3008 + 512},
        {"second chunk not an AIFF chunk", aiff({{"COMM", 2030, 2030}, {"DATA", 3000, 3000}}), 0},
        {"wrong form", aiff({{"COMM", 18, 18}, {"SSND", 5000, 5000}}, "8SVX"), 0},
        {"total 1,022", aiff({{"COMM", 18, 18}, {"SSND", 988, 988}}), 0},
        {"total 1,024", aiff({{"COMM", 18, 18}, {"SSND", 990, 990}}), 1024 + 512},
        // A total past 2^31 - 8 is taken as 60 MiB, with slack.
        {"past 2 GiB", aiff({{"COMM", 18, 18}, {"SSND", 0x80000000u, 16}}), 62914560 + 512},
        // 0xFFFFFFF8 + 8 wraps to 0 in 32 bits, yet moves the walk past 2^32 - 16: 60 MiB, no slack.
        {"wrapping length", aiff({{"COMM", 18, 18}, {"SSND", 0xFFFFFFF8u, 16}}), 62914560},
        {"zero-length chunks take 8 bytes each", marks.bytes, 1600 + 512},
    };
    for (const auto& [name, file, size] : cases) EXPECT_EQ(sizeOf<AifFileCheck>(file, 1), size) << name;
    EXPECT_EQ(sizeOf<AifFileCheck>(aiff({{"COMM", 18, 18}, {"SSND", 100000, 100000}}), 1, 512, true), 0u);
}

}  // namespace
}  // namespace pelorin::test
