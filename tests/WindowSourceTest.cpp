// The loop's windows: what they deliver and how a failed read is told apart
// from the end of the source and from a source that has gone.

#include <gtest/gtest.h>

#include <cerrno>
#include <random>

#include "engine/WindowSource.h"
#include "support/TestSupport.h"

namespace pelorin::test {
namespace {

Bytes patterned(uint64_t bytes) {
    Bytes all(bytes);
    std::mt19937_64 random(5);
    for (auto& b : all) b = uint8_t(random());
    return all;
}

bool zerosFrom(const uint8_t* window, std::size_t from) {
    return std::all_of(window + from, window + WindowSource::kWindowSize, [](uint8_t b) { return b == 0; });
}

TEST(WindowSource, ReadsFromTheSectorAndZerosWhatTheSourceCannotGive) {
    const Bytes all = patterned(300 * 512 + 100);
    TempImage image;
    image.write(0, all);
    auto file = FileSource::open(image.path());
    ASSERT_TRUE(file);
    struct Case {
        const char* name;
        uint64_t sector;
        uint64_t brokenAt;  // 0: no fault
        int error;
        int result;
        std::size_t bytes;  // delivered before the zeros
    } cases[] = {
        {"a whole window", 3, 0, 0, 1, 65536},
        {"the source ends inside it", 300, 0, 0, 1, 100},
        {"past the end", 301, 0, 0, 0, 0},
        {"an unreadable stretch", 3, 3 * 512, EIO, 0, 0},
        {"an unreadable stretch inside the window", 3, 3 * 512 + 1000, EIO, 1, 1000},
        {"the device was removed", 3, 3 * 512, ENODEV, -1, 0},
        {"the medium was taken out", 3, 3 * 512, ENOMEDIUM, -1, 0},
        {"the descriptor went bad", 3, 3 * 512, EBADF, -1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FaultySource source(*file);
        if (c.error) source.breakAt(c.brokenAt, c.error);
        WindowSource windows(source);
        const uint8_t* window = nullptr;
        EXPECT_EQ(windows.readDriveSectors(c.sector, 512, window), c.result);
        ASSERT_NE(window, nullptr);
        EXPECT_TRUE(std::equal(window, window + c.bytes, all.begin() + c.sector * 512));
        EXPECT_TRUE(zerosFrom(window, c.bytes));
    }
}

TEST(WindowSource, ADirectoryIsAnUnreadableStretchNotAVanishedSource) {
    auto dir = FileSource::open(std::filesystem::temp_directory_path().string());
    ASSERT_TRUE(dir);
    WindowSource windows(*dir);
    const uint8_t* window = nullptr;
    EXPECT_EQ(windows.readDriveSectors(0, 512, window), 0);
    EXPECT_TRUE(zerosFrom(window, 0));
}

}  // namespace
}  // namespace pelorin::test
