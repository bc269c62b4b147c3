// Split raw images: which pieces belong together, and reads across them.

#include <gtest/gtest.h>

#include <cerrno>

#include "engine/OpenSource.h"
#include "engine/SplitSource.h"
#include "support/TestSupport.h"
#include "support/TreeBuilder.h"

namespace pelorin::test {
namespace {

TEST(SplitSource, SegmentNamesFollowTheFirstAndMarkAGap) {
    const struct {
        std::vector<std::string> present;  // files in the folder
        std::string first;
        std::vector<std::string> expected;  // "" for a missing segment
    } cases[] = {
        {{"d.001", "d.002", "d.003"}, "d.001", {"d.001", "d.002", "d.003"}},
        {{"d.000", "d.001"}, "d.000", {"d.000", "d.001"}},
        {{"d.aa", "d.ab", "d.ac"}, "d.aa", {"d.aa", "d.ab", "d.ac"}},
        {{"d.001", "d.003", "d.0004", "e.002"}, "d.001", {"d.001", "", "d.003"}},  // other widths and stems not taken
        {{"d.aa", "d.ac"}, "d.aa", {"d.aa", "", "d.ac"}},
        {{"d.002", "d.003"}, "d.002", {"d.002"}},  // not the first piece: read on its own
        {{"d.001"}, "d.001", {"d.001"}},
        {{"d.img", "d.img.1"}, "d.img", {"d.img"}},
        {{"d.ab", "d.ac"}, "d.ab", {"d.ab"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        TempDir folder;
        for (const std::string& name : c.present) writeBytes(folder / name, Bytes(10, 1));
        std::vector<std::string> expected;
        for (const std::string& name : c.expected) expected.push_back(name.empty() ? "" : folder / name);
        EXPECT_EQ(SplitSource::segmentNames(folder / c.first), expected);
    }
}

// Three pieces of 1,000, 1,000 and 500 bytes; with the middle one gone its
// place still counts, and reading there fails rather than giving zeros.
TEST(SplitSource, ReadsAcrossPiecesAndFailsInAMissingOne) {
    Bytes whole(2500);
    for (std::size_t i = 0; i < whole.size(); ++i) whole[i] = static_cast<uint8_t>(i * 7 + i / 256);
    for (bool middleMissing : {false, true}) {
        SCOPED_TRACE(middleMissing);
        TempDir folder;
        writeBytes(folder / "x.001", Bytes(whole.begin(), whole.begin() + 1000));
        if (!middleMissing) writeBytes(folder / "x.002", Bytes(whole.begin() + 1000, whole.begin() + 2000));
        writeBytes(folder / "x.003", Bytes(whole.begin() + 2000, whole.end()));
        auto source = openSource(folder / "x.001", 512);
        ASSERT_TRUE(source);
        EXPECT_EQ(source->size(), 2500u);

        const struct {
            uint64_t offset, length, bytes;
            int error;  // with the middle piece missing
            uint64_t bytesWhenMissing;
        } reads[] = {
            {0, 100, 100, 0, 100},        {900, 200, 200, ENOENT, 100}, {1500, 100, 100, ENOENT, 0},
            {1990, 20, 20, ENOENT, 0},    {0, 4096, 2500, ENOENT, 1000}, {2400, 500, 100, 0, 100},
            {2500, 10, 0, 0, 0},
        };
        for (const auto& r : reads) {
            SCOPED_TRACE(r.offset);
            Bytes buffer(r.length, 0xEE);
            const SourceRead got = source->read(r.offset, buffer);
            EXPECT_EQ(got.bytes, middleMissing ? r.bytesWhenMissing : r.bytes);
            EXPECT_EQ(got.error, middleMissing ? r.error : 0);
            EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + got.bytes, whole.begin() + r.offset));
        }
        // The sector loop's reader counts the missing piece's sectors as unreadable and reads on.
        Bytes buffer(2500);
        uint64_t unreadable = 0;
        const SourceRead got = readPastBadSectors(*source, 0, buffer, 500, unreadable);
        EXPECT_EQ(got.bytes, 2500u);
        EXPECT_EQ(unreadable, middleMissing ? 2u : 0u);
        EXPECT_TRUE(std::equal(buffer.begin() + 2000, buffer.end(), whole.begin() + 2000));
    }
}

}  // namespace
}  // namespace pelorin::test
