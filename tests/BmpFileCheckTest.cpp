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

TEST(BmpFileCheck, HeaderNeedsBMAndZeroReservedFields) {
    ScanContext ctx;
    BmpFileCheck check(ctx);
    EXPECT_TRUE(check.isFile(bmpProbe(1000).data(), 0));
    for (auto [at, value] : std::vector<std::pair<int, uint8_t>>{{1, 'A'}, {1, 0}, {6, 1}, {7, 1}, {8, 1}, {9, 1}}) {
        Bytes spoilt = bmpProbe(1000);
        spoilt[at] = value;
        EXPECT_FALSE(check.isFile(spoilt.data(), 0)) << "byte " << at;
    }
}

TEST(BmpFileCheck, SizeFieldWithinBoundsIsTheSize) {
    ScanContext ctx;
    BmpFileCheck check(ctx);
    const std::vector<std::pair<uint32_t, uint64_t>> cases{
        {49, 0}, {50, 50}, {104857600, 104857600}, {104857601, 0}, {0xFFFFFFFF, 0}, {0x00123456, 0x123456}};
    for (const auto& [field, size] : cases) EXPECT_EQ(check.fileSizeCalculation(bmpProbe(field).data(), 0), size) << field;
}

TEST(BmpFileCheck, ScanFindsRealBitmapsAtTheirSectors) {
    // The length is the header's size field, which a well-made file sets to its length.
    const Bytes bmp = fixture("bmp/small.bmp");
    Bytes spoilt = bmp;
    spoilt[7] = 1;  // a reserved field set: not a bitmap
    const ScanResult scan = scanPlaced({{3, bmp}, {20, spoilt}, {40, bmp}}, selectionOf({FileType::Bmp, FileType::Jpg}));
    EXPECT_EQ(leavesIn(*scan.root, "BMP Files"), (Leaves{{3, bmp.size()}, {40, bmp.size()}}));
    EXPECT_TRUE(scan.alerts.empty());
}

}  // namespace
}  // namespace pelorin::test
