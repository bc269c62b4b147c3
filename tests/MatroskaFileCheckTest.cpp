#include <gtest/gtest.h>

#include "recognisers/media/MatroskaFileCheck.h"
#include "support/MediaTestSupport.h"

namespace pelorin::test {
namespace {

constexpr uint32_t kSegment = 0x18538067, kCluster = 0x1F43B675;
constexpr uint64_t kUnknown = UINT64_MAX;
constexpr uint64_t kLargestSize = (uint64_t{1} << 56) - 2;  // all that eight bytes of size can say

// An element: its ID, its size in `sizeLength` bytes (all value bits set for
// an unknown size), its data.
Bytes element(uint32_t id, const Bytes& data, uint64_t size = 0, int sizeLength = 8) {
    ByteWriter out;
    for (int shift = 24; shift >= 0; shift -= 8)
        if (id >> shift || shift == 0) out.u8(uint8_t(id >> shift));
    size = size == kUnknown ? (uint64_t{1} << (7 * sizeLength)) - 1 : size == 0 ? data.size() : size;
    for (int i = sizeLength - 1; i >= 0; --i) out.u8(uint8_t((size | uint64_t{1} << (7 * sizeLength)) >> 8 * i));
    return out.append(data).bytes;
}

Bytes ebmlHeader(std::string_view docType) {
    return element(0x1A45DFA3, concat({element(0x4286, {1}, 0, 1), element(0x4282, Bytes(docType.begin(), docType.end()), 0, 1)}), 0, 1);
}

Bytes cluster(unsigned seed, uint64_t size = 0) {
    return element(kCluster, concat({element(0xE7, {0x10}, 0, 1), element(0xA3, randomBytes(900, seed), 0, 2)}), size);
}

const Bytes kTracks = element(0x1654AE6B, randomBytes(60, 9), 0, 2);

// The sizes the Matroska and the WebM recognisers give the bytes (0: not theirs).
std::pair<uint64_t, uint64_t> sizes(const Bytes& file, uint32_t sectorSize = 512) {
    return {sizeOf<MatroskaFileCheck>(file, 2, sectorSize), sizeOf<WebmFileCheck>(file, 2, sectorSize)};
}

TEST(MatroskaFileCheck, TheDocTypeDecidesTheType) {
    const Bytes segment = element(kSegment, concat({kTracks, cluster(1)})), tail = randomBytes(2000, 4);
    auto file = [&](std::string_view docType) { return concat({ebmlHeader(docType), segment, tail}); };
    const uint64_t matroska = ebmlHeader("matroska").size() + segment.size(), webm = matroska - 4;
    EXPECT_EQ(sizes(file("matroska")), std::pair(matroska, uint64_t{0}));
    EXPECT_EQ(sizes(file(std::string_view("webm\0\0", 6))), std::pair(uint64_t{0}, webm + 2));
    // Void elements may come before the Segment, nothing else.
    EXPECT_EQ(sizes(concat({ebmlHeader("webm"), element(0xEC, Bytes(10), 0, 1), segment, tail})).second, webm + 12);
    EXPECT_EQ(sizes(concat({ebmlHeader("webm"), kTracks, segment})), std::pair(uint64_t{0}, uint64_t{0}));
    for (std::string_view other : {"matroskb", "webmx", "web"}) EXPECT_EQ(sizes(file(other)), std::pair(uint64_t{0}, uint64_t{0}));
}

// The Segment's end is the file's; one of unknown size, or whose size runs past the source, is measured by its children.
TEST(MatroskaFileCheck, SegmentLengths) {
    const Bytes header = ebmlHeader("matroska"), tail = randomBytes(3000, 7);
    const Bytes children = concat({kTracks, cluster(1), cluster(2, kUnknown), cluster(3, kUnknown)});
    const Bytes unknown = concat({header, element(kSegment, children, kUnknown)});
    const std::vector<std::tuple<const char*, Bytes, uint64_t>> cases{
        {"known size: its children are not looked at", concat({header, element(kSegment, Bytes(5000, 0x42)), tail}), header.size() + 5012},
        {"unknown size, random bytes after", concat({unknown, tail}), unknown.size()},
        {"unknown size, zeros after", concat({unknown, Bytes(3000)}), unknown.size()},
        {"unknown size, another file after", concat({unknown, header, tail}), unknown.size()},
        // Random bytes that start like a Void element are no more of the file.
        {"unknown size, a Void's ID after", concat({unknown, {0xEC, 0x54, 0x71}, tail}), unknown.size()},
        {"a size past any source", concat({header, element(kSegment, children, kLargestSize), tail}), unknown.size()},
        // A child running past the source's end runs the file to its own end, which the scan cuts.
        {"a cluster's size past any source", concat({unknown, element(kCluster, Bytes(1000), kLargestSize)}),
         unknown.size() + 12 + kLargestSize},
    };
    for (const auto& [name, file, size] : cases) EXPECT_EQ(sizes(file).first, size) << name;
}

TEST(MatroskaFileCheck, RealFilesAreExactAndCutAtTheSourceEnd) {
    const Bytes mkv = fixture("matroska/testsrc.mkv"), webm = fixture("matroska/testsrc.webm");
    const Bytes live = fixture("matroska/testsrc-live.webm");  // written to a pipe: a Segment of unknown size
    for (uint32_t sectorSize : {512u, 4096u}) {
        const Bytes tail = randomBytes(4000, sectorSize);
        EXPECT_EQ(sizes(concat({mkv, tail}), sectorSize), std::pair(mkv.size(), uint64_t{0}));
        EXPECT_EQ(sizes(concat({webm, tail}), sectorSize), std::pair(uint64_t{0}, webm.size()));
        EXPECT_EQ(sizes(concat({live, tail}), sectorSize), std::pair(uint64_t{0}, live.size()));
    }
    for (const Bytes& file : {webm, live}) {
        const Bytes cut(file.begin(), file.end() - 300);
        const ScanResult result = scanPlaced({{3, cut}}, selectionOf({FileType::Mkv, FileType::Webm}));
        EXPECT_EQ(leavesIn(*result.root, "WEBM Files"), (Leaves{{3, cut.size()}}));
    }
}

}  // namespace
}  // namespace pelorin::test
