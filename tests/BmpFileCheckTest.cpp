#include <gtest/gtest.h>

#include "recognisers/media/BmpFileCheck.h"
#include "support/SectorLayout.h"

namespace pelorin::test {
namespace {

// A 25-byte probe: "BM", the size field, zero reserved fields.
std::array<uint8_t, kProbeSize> bmpProbe(uint32_t sizeField) {
    std::array<uint8_t, kProbeSize> probe{'B', 'M'};
    for (int i = 0; i < 4; ++i) probe[2 + i] = uint8_t(sizeField >> (8 * i));
    probe[10] = 54;  // pixel data offset, not read
    return probe;
}

TEST(BmpFileCheck, HeaderNeedsBMAndZeroReservedFields) {
    ScanContext ctx;
    BmpFileCheck check(ctx);
    auto probe = bmpProbe(1000);
    EXPECT_TRUE(check.isFile(probe.data(), 0));
    for (int reserved = 6; reserved <= 9; ++reserved) {
        auto spoilt = probe;
        spoilt[reserved] = 1;
        EXPECT_FALSE(check.isFile(spoilt.data(), 0)) << "reserved byte " << reserved;
    }
    auto bA = probe;
    bA[1] = 'A';
    EXPECT_FALSE(check.isFile(bA.data(), 0));
    auto bNul = probe;
    bNul[1] = 0;
    EXPECT_FALSE(check.isFile(bNul.data(), 0));
}

TEST(BmpFileCheck, SizeFieldWithinBoundsIsTheSize) {
    ScanContext ctx;
    BmpFileCheck check(ctx);
    EXPECT_EQ(check.fileSizeCalculation(bmpProbe(49).data(), 0), 0u);
    EXPECT_EQ(check.fileSizeCalculation(bmpProbe(50).data(), 0), 50u);
    EXPECT_EQ(check.fileSizeCalculation(bmpProbe(104857600).data(), 0), 104857600u);
    EXPECT_EQ(check.fileSizeCalculation(bmpProbe(104857601).data(), 0), 0u);
    EXPECT_EQ(check.fileSizeCalculation(bmpProbe(0xFFFFFFFF).data(), 0), 0u);
    EXPECT_EQ(check.fileSizeCalculation(bmpProbe(0x00123456).data(), 0), 0x123456u);
}

TEST(BmpFileCheck, OnlyAFirstByteBIsAccepted) {
    ScanContext ctx;
    BmpFileCheck check(ctx);
    for (unsigned first = 0; first < 256; ++first) {
        auto probe = bmpProbe(1000);
        probe[0] = uint8_t(first);
        EXPECT_EQ(check.isFile(probe.data(), 0), check.acceptedFirstBytes()[first]) << first;
    }
    EXPECT_EQ(check.acceptedFirstBytes().count(), 1u);
}

TEST(BmpFileCheck, ScanFindsRealBitmapsAtTheirSectors) {
    const Bytes bmp = fixture("bmp/small.bmp");
    // The length is the header's size field, which a well-made file sets to its length.
    const uint64_t sizeField = bmp[2] | bmp[3] << 8 | bmp[4] << 16 | uint64_t(bmp[5]) << 24;
    ASSERT_EQ(sizeField, bmp.size());

    SectorLayout layout(512);
    layout.other(3);
    const uint64_t first = layout.place(bmp);
    layout.other(2);
    Bytes spoilt = bmp;
    spoilt[7] = 1;  // a reserved field set: not a bitmap
    layout.place(spoilt);
    layout.other(1);
    const uint64_t second = layout.place(bmp);
    TempImage image;
    layout.writeTo(image);

    ScanResult result = scanImage(image.path(), selectionOf({FileType::Bmp, FileType::Jpg}));
    using Leaves = std::vector<std::pair<uint64_t, uint64_t>>;
    EXPECT_EQ(leavesOf(folderNamed(*result.root, "BMP Files")), (Leaves{{first, sizeField}, {second, sizeField}}));
    EXPECT_TRUE(result.alerts.empty());
}

}  // namespace
}  // namespace pelorin::test
