#include <gtest/gtest.h>

#include "recognisers/media/AmrFileCheck.h"
#include "support/MediaTestSupport.h"

namespace pelorin::test {
namespace {

// A storage-format file: the magic line, then frames of the given header
// byte, each filled out to the length the band's table gives.
Bytes amr(bool wideBand, std::initializer_list<std::pair<uint8_t, int>> runs) {
    ByteWriter file;
    file.text(wideBand ? "#!AMR-WB\n" : "#!AMR\n");
    for (const auto& [header, count] : runs) {
        const uint32_t length = AmrFileCheck::frameLength(header, wideBand);
        for (int i = 0; i < count; ++i) file.u8(header).fill(length ? length - 1 : 0, 0x77);
    }
    return file.bytes;
}

TEST(AmrFileCheck, FrameTablesOfBothBands) {
    const std::vector<uint32_t> narrow{13, 14, 16, 18, 20, 21, 27, 32, 0};
    const std::vector<uint32_t> wide{18, 24, 33, 37, 41, 47, 51, 59, 61};
    for (uint8_t type = 0; type < 9; ++type) {
        const uint8_t header = uint8_t(type * 8 + 4);
        EXPECT_EQ(AmrFileCheck::frameLength(header, false), narrow[type]);
        EXPECT_EQ(AmrFileCheck::frameLength(header, true), wide[type]);
        // Quality bit clear, or a padding bit set: not a speech frame.
        EXPECT_EQ(AmrFileCheck::frameLength(uint8_t(header & ~4), true), 0u);
        EXPECT_EQ(AmrFileCheck::frameLength(uint8_t(header | 1), true), 0u);
    }
    // Comfort noise and no-data frames are not in the tables.
    EXPECT_EQ(AmrFileCheck::frameLength(0x44, false), 0u);
    EXPECT_EQ(AmrFileCheck::frameLength(0x4C, true), 0u);
    EXPECT_EQ(AmrFileCheck::frameLength(0x7C, true), 0u);
}

// Files of both bands are scanned with the other chunked types (MpgFileCheckTest).
TEST(AmrFileCheck, WalkAcrossWindowsAndItsEnds) {
    // 3,000 frames of mixed modes reach well past the first window.
    const Bytes mixed = amr(false, {{0x04, 1000}, {0x24, 1000}, {0x3C, 1000}});
    EXPECT_EQ(sizeOf<AmrFileCheck>(mixed), 6u + 13000 + 20000 + 32000);
    // A frame with its quality bit clear ends the walk before it.
    EXPECT_EQ(sizeOf<AmrFileCheck>(amr(false, {{0x3C, 10}, {0x38, 1}, {0x3C, 10}})), 6u + 320);
    // A header with nothing after it: the magic line alone.
    EXPECT_EQ(sizeOf<AmrFileCheck>(amr(true, {})), 9u);
    EXPECT_EQ(sizeOf<AmrFileCheck>(amr(false, {{0x3C, 100}}), 0, 512, true), 6u);
    // The magic line must be whole.
    Bytes spoilt = amr(false, {{0x3C, 1}});
    spoilt[4] = 'X';
    EXPECT_EQ(sizeOf<AmrFileCheck>(spoilt), 0u);
}

}  // namespace
}  // namespace pelorin::test
