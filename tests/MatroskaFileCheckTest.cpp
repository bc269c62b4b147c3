#include <gtest/gtest.h>

#include <random>

#include "recognisers/media/MatroskaFileCheck.h"
#include "support/MediaTestSupport.h"

namespace pelorin::test {
namespace {

constexpr uint32_t kSegment = 0x18538067, kCluster = 0x1F43B675, kTracks = 0x1654AE6B, kSimpleBlock = 0xA3;
constexpr uint64_t kUnknown = UINT64_MAX;
constexpr uint64_t kLargestSize = (uint64_t{1} << 56) - 2;  // all that eight bytes of size can say

Bytes randomBytes(std::size_t count, unsigned seed) {
    std::mt19937 random(seed);
    Bytes bytes(count);
    for (auto& b : bytes) b = uint8_t(random());
    return bytes;
}

// An element: its ID as written, then its size in `sizeLength` bytes (all
// value bits set for an unknown size), then its data.
Bytes element(uint32_t id, const Bytes& data, uint64_t size = 0, int sizeLength = 8) {
    ByteWriter out;
    for (int shift = 24; shift >= 0; shift -= 8)
        if (id >> shift || shift == 0) out.u8(uint8_t(id >> shift));
    if (size == 0) size = data.size();
    if (size == kUnknown) size = (uint64_t{1} << (7 * sizeLength)) - 1;
    const uint64_t field = size | uint64_t{1} << (7 * sizeLength);
    for (int i = sizeLength - 1; i >= 0; --i) out.u8(uint8_t(field >> 8 * i));
    return out.append(data).bytes;
}

Bytes ebmlHeader(std::string_view docType) {
    return element(0x1A45DFA3, concat({element(0x4286, {1}, 0, 1), element(0x4282, Bytes(docType.begin(), docType.end()), 0, 1),
                                       element(0x4287, {4}, 0, 1)}), 0, 1);
}

Bytes cluster(unsigned seed, uint64_t size = 0) {
    return element(kCluster, concat({element(0xE7, {0x10}, 0, 1), element(kSimpleBlock, randomBytes(900, seed), 0, 2),
                                     element(kSimpleBlock, randomBytes(300, seed + 1), 0, 2)}), size);
}

const Bytes kTracksElement = element(kTracks, randomBytes(60, 9), 0, 2);

// Which of the two claims the bytes, and the size it gives them.
struct Claim {
    std::optional<uint64_t> matroska, webm;
    bool operator==(const Claim&) const = default;
};
void PrintTo(const Claim& claim, std::ostream* out) {
    *out << "{matroska " << (claim.matroska ? std::to_string(*claim.matroska) : "-") << ", webm "
         << (claim.webm ? std::to_string(*claim.webm) : "-") << "}";
}
Claim claimOf(const Bytes& file, uint32_t sectorSize = 512) {
    TempImage image;
    image.write(2 * sectorSize, file);
    image.resize((image.size() + sectorSize - 1) / sectorSize * sectorSize);  // the source ends where the file does
    auto ctx = contextFor(image.path(), sectorSize);
    MatroskaFileCheck matroska(*ctx);
    WebmFileCheck webm(*ctx);
    auto size = [&](Recogniser& check) -> std::optional<uint64_t> {
        const auto match = recogniseAt(check, image.path(), 2, sectorSize);
        return match ? std::optional(match->size) : std::nullopt;
    };
    return {size(matroska), size(webm)};
}

TEST(MatroskaFileCheck, TheDocTypeDecidesTheType) {
    const Bytes segment = element(kSegment, concat({kTracksElement, cluster(1)}));
    const Bytes tail = randomBytes(2000, 4);
    auto file = [&](std::string_view docType) { return concat({ebmlHeader(docType), segment, tail}); };
    const uint64_t matroska = ebmlHeader("matroska").size() + segment.size();
    const uint64_t webm = ebmlHeader("webm").size() + segment.size();
    EXPECT_EQ(claimOf(file("matroska")), (Claim{matroska, std::nullopt}));
    EXPECT_EQ(claimOf(file("webm")), (Claim{std::nullopt, webm}));
    EXPECT_EQ(claimOf(file(std::string_view("webm\0\0", 6))), (Claim{std::nullopt, webm + 2}));
    for (std::string_view other : {"matroskb", "webmx", "web", "mkv"}) EXPECT_EQ(claimOf(file(other)), Claim{}) << other;
    // The Segment must follow the header, after Void elements at most.
    const Bytes header = ebmlHeader("webm");
    const Bytes voids = concat({header, element(0xEC, Bytes(10), 0, 1), segment});
    EXPECT_EQ(claimOf(voids), (Claim{std::nullopt, voids.size()}));
    EXPECT_EQ(claimOf(concat({header, kTracksElement, segment})), Claim{});
}

// The Segment's end is the file's; one of unknown size, or one whose size
// runs past the source, is measured by its children.
TEST(MatroskaFileCheck, SegmentLengths) {
    const Bytes header = ebmlHeader("matroska");
    const Bytes clusters = concat({cluster(1), cluster(2, kUnknown), cluster(3, kUnknown)});
    const Bytes children = concat({kTracksElement, clusters});
    const Bytes unknown = concat({header, element(kSegment, children, kUnknown)});
    const Bytes tail = randomBytes(3000, 7);
    const std::vector<std::tuple<const char*, Bytes, uint64_t>> cases{
        {"known size, children not looked at", concat({header, element(kSegment, Bytes(5000, 0x42))}), header.size() + 5012},
        {"unknown size, random bytes after", concat({unknown, tail}), unknown.size()},
        {"unknown size, zeros after", concat({unknown, Bytes(3000)}), unknown.size()},
        // Random bytes that start like a Void element are no more of the file.
        {"unknown size, a Void's ID after", concat({unknown, {0xEC, 0x54, 0x71}, tail}), unknown.size()},
        {"unknown size, one-byte size field", concat({header, element(kSegment, children, kUnknown, 1), tail}),
         header.size() + 5 + children.size()},
        {"unknown size, another file after", concat({unknown, header, tail}), unknown.size()},
        // Taken at its word, the Segment would run on for 2^56 bytes.
        {"a size past any source", concat({header, element(kSegment, children, kLargestSize), tail}),
         header.size() + 12 + children.size()},
        // A child that runs past the source's end: the file runs to that child's end (the scan cuts it at the source's).
        {"a cluster's size past any source", concat({unknown, element(kCluster, Bytes(100), kLargestSize)}),
         unknown.size() + 12 + kLargestSize},
    };
    for (const auto& [name, file, size] : cases) EXPECT_EQ(claimOf(file), (Claim{size, std::nullopt})) << name;
}

// What runs past the source's end is cut there by the scan.
TEST(MatroskaFileCheck, CutShortByTheSourceEnd) {
    const Bytes header = ebmlHeader("webm");
    const Bytes known = concat({header, element(kSegment, concat({kTracksElement, cluster(1), cluster(2)}))});
    const Bytes unknown = concat({header, element(kSegment, concat({kTracksElement, cluster(1), cluster(2)}), kUnknown)});
    for (const Bytes& file : {known, unknown}) {
        const Bytes cut(file.begin(), file.end() - 700);
        const ScanResult result = scanPlaced({{3, cut}}, selectionOf({FileType::Mkv, FileType::Webm}));
        EXPECT_EQ(leavesIn(*result.root, "WEBM Files"), (Leaves{{3, cut.size()}}));
    }
}

TEST(MatroskaFileCheck, RealFilesAreExact) {
    for (uint32_t sectorSize : {512u, 4096u}) {
        const Bytes tail = randomBytes(4000, sectorSize);
        const Bytes mkv = fixture("matroska/testsrc.mkv"), webm = fixture("matroska/testsrc.webm");
        const Bytes live = fixture("matroska/testsrc-live.webm");  // written to a pipe: a Segment of unknown size
        EXPECT_EQ(claimOf(concat({mkv, tail}), sectorSize), (Claim{mkv.size(), std::nullopt}));
        EXPECT_EQ(claimOf(concat({webm, tail}), sectorSize), (Claim{std::nullopt, webm.size()}));
        EXPECT_EQ(claimOf(concat({live, tail}), sectorSize), (Claim{std::nullopt, live.size()}));
    }
}

}  // namespace
}  // namespace pelorin::test
