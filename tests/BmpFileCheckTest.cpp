#include <gtest/gtest.h>

#include "recognisers/media/BmpFileCheck.h"
#include "support/MediaTestSupport.h"

namespace pelorin::test {
namespace {

// A 25-byte probe: "BM", the size field, zero reserved fields, the pixel data offset (not read).
Bytes bmpProbe(uint32_t sizeField) {
    Bytes probe{'B', 'M', uint8_t(sizeField), uint8_t(sizeField >> 8), uint8_t(sizeField >> 16), uint8_t(sizeField >> 24)};
    probe.resize(kProbeSize);
    probe[10] = 54;
    return probe;
}

// The real file is scanned with the other still images (PngFileCheckTest).
TEST(BmpFileCheck, HeaderAndSizeBounds) {
    // "BM" and zero reserved fields; the size field within bounds is the size.
    const std::vector<std::pair<Bytes, uint64_t>> cases{
        {bmpProbe(49), 0}, {bmpProbe(50), 50}, {bmpProbe(104857600), 104857600}, {bmpProbe(104857601), 0},
        {with(bmpProbe(1000), 1, 'A'), 0}, {with(bmpProbe(1000), 6, 1), 0}, {with(bmpProbe(1000), 9, 1), 0}};
    for (const auto& [file, size] : cases) EXPECT_EQ(sizeOf<BmpFileCheck>(file), size);
}

}  // namespace
}  // namespace pelorin::test
