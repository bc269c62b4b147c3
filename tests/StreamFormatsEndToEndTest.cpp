// End to end: FLAC, Ogg, Opus, Matroska, WebM and MTS files in a disk image
// among JPEGs, random bytes and zeros, scanned with every type ticked and
// recovered with the command-line tool.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "support/MediaTestSupport.h"
#include "support/TreeBuilder.h"
#include "tools/ImageLayout.h"

namespace pelorin::test {
namespace {

const std::map<std::string, std::string> kFolderOf{
    {".flac", "FLAC Files"}, {".ogg", "OGG Files"}, {".opus", "OPUS Files"},
    {".mkv", "MKV Files"},   {".webm", "WEBM Files"}, {".mts", "MTS Files"}};

class StreamFormatsImage : public ::testing::Test {
protected:
    void SetUp() override { tools::buildImage(layout, layoutFile.parent_path(), image.path()); }

    // The placed files of one folder, in the order a scan finds them.
    std::vector<tools::Placement> placedIn(const std::string& folder) const {
        std::vector<tools::Placement> placed;
        for (const auto& p : layout.placements) {
            const auto type = kFolderOf.find(std::filesystem::path(p.file).extension());
            if (type != kFolderOf.end() && type->second == folder) placed.push_back(p);
        }
        std::sort(placed.begin(), placed.end(), [](auto& a, auto& b) { return a.sector < b.sector; });
        return placed;
    }

    const std::filesystem::path layoutFile = fixturePath("stream-layout.txt");
    const tools::ImageLayout layout = tools::readLayout(layoutFile);
    TempImage image;
};

TEST_F(StreamFormatsImage, EveryFileIsFoundWholeInItsFolderAndRecoveredExact) {
    const ScanResult all = scanImage(image.path(), availableTypes());
    for (const auto& [extension, folder] : kFolderOf) {
        Leaves expected;
        for (const auto& placed : placedIn(folder)) expected.push_back({placed.sector, fixture(placed.file).size()});
        EXPECT_EQ(leavesIn(*all.root, folder), expected) << folder;
    }

    TempDir out;
    const ShellRun run = shell(std::string(PELORIN_CLI) + " scan " + quoted(image.path()) +
                               " --types all --no-progress --recover " + quoted(out.path()));
    ASSERT_EQ(run.status, 0) << run.output;
    const auto recovery = std::filesystem::directory_iterator(out.path())->path() / "ROOT";
    for (const auto& [extension, folder] : kFolderOf) {
        const auto placed = placedIn(folder);
        for (std::size_t i = 0; i < placed.size(); ++i)
            EXPECT_EQ(readBytes(recovery / folder / ("file" + std::to_string(i + 1) + extension)), fixture(placed[i].file))
                << folder << " " << i + 1;
    }
}

// The forty types find among the new files what they found before the new types existed.
TEST_F(StreamFormatsImage, TheFortyFindWhatTheyFoundBefore) {
    TypeSelection forty;
    for (const auto& row : registry())
        if (!isAddedType(row.type)) forty.set(index(row.type));
    const ScanResult before = scanImage(image.path(), forty);
    const ScanResult after = scanImage(image.path(), availableTypes());
    std::size_t fortyFolders = 0;
    for (const auto& row : registry()) {
        if (isAddedType(row.type)) continue;
        const Leaves leaves = leavesIn(*before.root, row.folderName);
        fortyFolders += !leaves.empty();
        EXPECT_EQ(leavesIn(*after.root, row.folderName), leaves) << row.folderName;
    }
    EXPECT_EQ(leavesIn(*after.root, "JPG Files").size(), 5u);
    EXPECT_GE(fortyFolders, 1u);
}

}  // namespace
}  // namespace pelorin::test
