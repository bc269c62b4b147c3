// The loop's window readers: what they deliver and how they fail.

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "engine/WindowSource.h"
#include "support/TestSupport.h"

namespace pelorin::test {
namespace {

TempImage patternedImage(uint64_t bytes) {
    TempImage image(bytes);
    Bytes all(bytes);
    std::mt19937_64 random(5);
    for (auto& b : all) b = uint8_t(random());
    image.write(0, all);
    return image;
}

TEST(DeviceWindowSource, NothingReadIsZeroAndNoSourceIsMinusOne) {
    auto image = patternedImage(100 * 512 + 100);
    DeviceWindowSource source(image.path());
    const uint8_t* window = nullptr;
    EXPECT_EQ(source.readDriveSectors(100, 512, window), 1);  // 100 bytes, then zeros
    EXPECT_EQ(window[99] == 0 && window[100] == 0 && window[65535] == 0, false);
    EXPECT_TRUE(std::all_of(window + 100, window + 65536, [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(source.readDriveSectors(101, 512, window), 0);
    EXPECT_TRUE(std::all_of(window, window + 65536, [](uint8_t b) { return b == 0; }));

    DeviceWindowSource missing(image.path() + ".gone");
    EXPECT_EQ(missing.readDriveSectors(0, 512, window), -1);
}

TEST(ReadAheadWindowSource, DeliversWhatDirectReadsDeliverWhateverTheOrder) {
    for (uint32_t sectorSize : {512u, 4096u}) {
        const uint64_t sectors = (3u << 20) / sectorSize + 3;
        auto image = patternedImage(sectors * sectorSize);
        DeviceWindowSource direct(image.path());
        ReadAheadWindowSource ahead(image.path(), sectorSize);
        const uint64_t step = 65536 / sectorSize;
        std::mt19937_64 random(9);
        uint64_t sector = 0;
        for (int i = 0; i < 600; ++i) {
            const uint8_t* expected = nullptr;
            const uint8_t* got = nullptr;
            const int expectedResult = direct.readDriveSectors(sector, sectorSize, expected);
            ASSERT_EQ(ahead.readDriveSectors(sector, sectorSize, got), expectedResult) << sector;
            ASSERT_EQ(std::memcmp(got, expected, 65536), 0) << "sector " << sector;
            // Mostly the next window, sometimes a jump (a skipped file, an unreadable stretch, past the end).
            switch (random() % 8) {
            case 0: sector = random() % (sectors + 300); break;
            case 1: sector += 100; break;
            default: sector += step;
            }
            if (sector > sectors + 400) sector = 0;
        }
    }
}

TEST(ReadAheadWindowSource, SourceThatCannotBeOpenedGivesMinusOne) {
    ReadAheadWindowSource ahead("/nonexistent/pelorin.img", 512);
    const uint8_t* window = nullptr;
    EXPECT_EQ(ahead.readDriveSectors(0, 512, window), -1);
    EXPECT_EQ(ahead.readDriveSectors(128, 512, window), -1);
}

}  // namespace
}  // namespace pelorin::test
