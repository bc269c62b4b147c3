#include <gtest/gtest.h>

#include "recognisers/media/PsdFileCheck.h"
#include "support/MediaTestSupport.h"

namespace pelorin::test {
namespace {

// Header of a version-1 document: 26 bytes.
ByteWriter psdHead(uint32_t width, uint32_t height, uint32_t depth = 8, uint32_t mode = 3) {
    ByteWriter out{{'8', 'B', 'P', 'S'}};
    out.be16(1).fill(6).be16(3).be32(height).be32(width).be16(depth).be16(mode);
    return out;
}

// Empty colour mode data and image resources, and a layer section that
// holds only its layer count: the sections end at 48. Then `pixels` bytes of `fill`.
Bytes psdWithLayers(uint32_t width, uint32_t height, uint32_t layers, std::size_t pixels = 0, uint8_t fill = 0x11,
                    uint32_t mode = 3) {
    return psdHead(width, height, 8, mode).be32(0).be32(0).be32(10).be32(6).be16(layers).be32(0).fill(pixels, fill).bytes;
}

uint64_t psdAt(const Bytes& file, uint64_t sector = 0, uint32_t sectorSize = 512, bool cancel = false) {
    return sizeOf<PsdFileCheck>(file, sector, sectorSize, cancel);
}

TEST(PsdFileCheck, EstimateAndZeroSearch) {
    // RGB 8-bit, 120 × 80 × layers × 15,564.8 / 5,184 bytes; the search steps
    // by 4 from 48 and ends at the first offset at or past the estimate.
    auto layered = [](uint32_t layers) { return psdWithLayers(120, 80, layers, 400000, 0x22); };
    const std::vector<std::tuple<const char*, Bytes, uint64_t>> cases{
        {"1,000 × 1,000", psdWithLayers(1000, 1000, 1, 3100000), 3002984},
        {"one layer", layered(1), 29336}, {"three layers", layered(3), 86984},
        {"100 layers", psdWithLayers(120, 80, 100, 3100000, 0x22), 2882884},
        {"101 layers are one", layered(101), 29336}, {"negative count is one", layered(0xFFFF), 29336},
        {"zero width", psdWithLayers(0, 100, 1), 0}, {"zero height", psdWithLayers(100, 0, 1), 0},
        // Version 1 only (2 is the large document format), reserved bytes zero.
        {"version 2", with(layered(1), 5, 2), 0}, {"reserved byte", with(layered(1), 9, 1), 0},
        // Without a known colour mode the search goes to three times the sections' end.
        {"unknown colour mode", psdWithLayers(1000, 1000, 1, 1000, 0x44, 5), 3 * 48 + 512},
        // Twelve zero words do not end it; the thirteenth in a row does.
        {"zero run", concat({psdWithLayers(1000, 1000, 1, 3952, 0x33), Bytes(48), Bytes(1000, 0x33), Bytes(52), Bytes(1000, 0x33)}),
         5048 + 12 * 4 + 512},
    };
    for (const auto& [name, psd, size] : cases) EXPECT_EQ(psdAt(psd, 1), size) << name;
}

TEST(PsdFileCheck, SectionsPastTheFirstWindow) {
    // Colour data, image resources reaching past 64 KiB, a two-layer
    // section; the small image's estimate is below three times the sections' end.
    const Bytes psd = psdHead(20, 20)
                          .be32(768).fill(768, 0x10)
                          .be32(70001).fill(70001, 0x20)
                          .be32(12).be32(8).be16(2).fill(6)
                          .fill(300000, 0x30).bytes;
    EXPECT_EQ(psdAt(psd, 6), 212971u);
}

TEST(PsdFileCheck, GarbageSectionLengthsNeverLeaveTheWindow) {
    // A length of 0xFFFFFFFF plus its 4 bytes wraps to 3 in the field's 32
    // bits, so the next length (0xFFFFFF7F) starts 3 bytes on and sends the
    // walk 4 GiB further, past the end of the device: the third length reads
    // 0 there, and the zero run is found at once.
    const Bytes wrap = psdHead(64, 64).fill(6, 0xFF).u8(0x7F).fill(4096 - 33, 0x55).bytes;
    EXPECT_EQ(psdAt(wrap), 26 + 3 + (0xFFFFFF7Full + 4) + 4 + 12 * 4 + 512);
    // The largest step, 0xFFFFFFFB + 4, would bring a 32-bit window position
    // back to 25; the walk reads the next lengths at their true place instead.
    const Bytes far = psdHead(64, 64).be32(0xFFFFFFFB).fill(4096 - 30, 0x55).bytes;
    EXPECT_EQ(psdAt(far), 26 + 0xFFFFFFFFull + 4 + 4 + 12 * 4 + 512);
    // 0xFFFFFFFC wraps to 0: every section is read at the same place. The
    // search starts at 26 and meets the device's end: the first zero word is at 1,002.
    const Bytes still = psdHead(64, 64).be32(0xFFFFFFFC).fill(1000 - 30, 0x55).bytes;
    EXPECT_EQ(psdAt(still), 1002u + 12 * 4 + 512);
}

// Real files are scanned with the other still images (PngFileCheckTest).
TEST(PsdFileCheck, StoppedAtOnceTheFileEndsWhereItsSectionsEnd) {
    EXPECT_EQ(psdAt(fixture("psd/image.psd"), 0, 512, true), 2799u + 512);  // 32 × 24 RGB
}

}  // namespace
}  // namespace pelorin::test
