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

TEST(WindowSource, ReadsFromTheSectorAndZerosWhatTheSourceCannotGive) {
    const Bytes all = patterned(300 * 512 + 100);
    TempImage image;
    image.write(0, all);
    auto file = FileSource::open(image.path());
    ASSERT_TRUE(file);
    constexpr uint64_t kWindow = WindowSource::kWindowSize;
    struct Case {
        const char* name;
        uint64_t sector;
        uint64_t brokenAt, brokenBytes;  // brokenBytes 0: no fault
        int error;
        int result;
        uint64_t dataEnd;                // the source's bytes end here, zeros follow
        uint64_t zerosFrom, zerosTo;     // and an unreadable stretch before that
        uint64_t unreadable;
    } cases[] = {
        {"a whole window", 3, 0, 0, 0, 1, kWindow, 0, 0, 0},
        {"the source ends inside it", 300, 0, 0, 0, 1, 100, 0, 0, 0},
        {"past the end", 301, 0, 0, 0, 0, 0, 0, 0, 0},
        // One bad sector costs that sector only, wherever it lies in the window.
        {"a bad first sector", 3, 3 * 512, 512, EIO, 1, kWindow, 0, 512, 1},
        {"a bad sector in the middle", 3, 70 * 512, 512, EIO, 1, kWindow, 67 * 512, 68 * 512, 1},
        {"a bad last sector", 3, 130 * 512, 512, EIO, 1, kWindow, kWindow - 512, kWindow, 1},
        {"one bad byte", 3, 3 * 512 + 1000, 1, EIO, 1, kWindow, 512, 1024, 1},
        {"a bad stretch", 3, 10 * 512, 5 * 512 + 1, EIO, 1, kWindow, 7 * 512, 13 * 512, 6},
        {"bad up to the end", 290, 295 * 512, 6 * 512, EIO, 1, 11 * 512 + 100, 5 * 512, 11 * 512 + 100, 6},
        {"all bad", 3, 0, 300 * 512 + 100, EIO, 1, kWindow, 0, kWindow, 128},
        {"the device was removed", 3, 3 * 512, FaultySource::kToTheEnd, ENODEV, -1, 0, 0, 0, 0},
        {"removed in the middle", 3, 70 * 512, FaultySource::kToTheEnd, ENODEV, 1, 67 * 512, 0, 0, 0},
        {"the medium was taken out", 3, 3 * 512, FaultySource::kToTheEnd, ENOMEDIUM, -1, 0, 0, 0, 0},
        {"the descriptor went bad", 3, 3 * 512, FaultySource::kToTheEnd, EBADF, -1, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FaultySource source(*file);
        if (c.brokenBytes) source.breakAt(c.brokenAt, c.error, c.brokenBytes);
        WindowSource windows(source);
        const uint8_t* window = nullptr;
        EXPECT_EQ(windows.readDriveSectors(c.sector, 512, window), c.result);
        ASSERT_NE(window, nullptr);
        for (uint64_t at = 0; at < kWindow; ++at) {
            const bool zero = at >= c.dataEnd || (at >= c.zerosFrom && at < c.zerosTo);
            ASSERT_EQ(window[at], zero ? 0 : all[c.sector * 512 + at]) << at;
        }
        EXPECT_EQ(windows.unreadableSectors(), c.unreadable);
    }
}

TEST(WindowSource, ADirectoryIsUnreadableSectorsNotAVanishedSource) {
    auto dir = FileSource::open(std::filesystem::temp_directory_path().string());
    ASSERT_TRUE(dir);
    WindowSource windows(*dir);
    const uint8_t* window = nullptr;
    EXPECT_EQ(windows.readDriveSectors(0, 512, window), 1);
    EXPECT_TRUE(std::all_of(window, window + WindowSource::kWindowSize, [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(windows.unreadableSectors(), 128u);
}

}  // namespace
}  // namespace pelorin::test
