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

}  // namespace
}  // namespace pelorin::test
