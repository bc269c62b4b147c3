// End to end: FLAC, Ogg, Opus, Matroska, WebM and MTS files in a disk image
// among JPEGs, random bytes and zeros (tests/fixtures/stream-layout.txt),
// scanned with every type ticked and recovered with the command-line tool.

#include <gtest/gtest.h>

#include <map>

#include "support/MediaTestSupport.h"
#include "support/TreeBuilder.h"
#include "tools/ImageLayout.h"

namespace pelorin::test {
namespace {

const std::map<std::string, std::string> kFolderOf{{".flac", "FLAC Files"}, {".ogg", "OGG Files"},
                                                   {".opus", "OPUS Files"}, {".mkv", "MKV Files"},
                                                   {".webm", "WEBM Files"}, {".mts", "MTS Files"}};

TEST(StreamFormatsImage, EveryFileComesBackWholeInItsFolderAndTheFortyFindWhatTheyDid) {
    const std::filesystem::path layoutFile = fixturePath("stream-layout.txt");
    const tools::ImageLayout layout = tools::readLayout(layoutFile);
    TempImage image;
    tools::buildImage(layout, layoutFile.parent_path(), image.path());

    // Each folder's files as placed (the layout lists them by sector), and as found.
    const ScanResult all = scanImage(image.path(), availableTypes());
    std::map<std::string, std::vector<std::string>> placedIn;
    for (const auto& [extension, folder] : kFolderOf) {
        Leaves expected;
        for (const auto& placed : layout.placements)
            if (std::filesystem::path(placed.file).extension() == extension) {
                expected.push_back({placed.sector, fixture(placed.file).size()});
                placedIn[folder].push_back(placed.file);
            }
        EXPECT_EQ(leavesIn(*all.root, folder), expected) << folder;
    }

    TempDir out;
    const ShellRun run = shell(std::string(PELORIN_CLI) + " scan " + quoted(image.path()) +
                               " --types all --no-progress --recover " + quoted(out.path()));
    ASSERT_EQ(run.status, 0) << run.output;
    const auto recovered = std::filesystem::directory_iterator(out.path())->path() / "ROOT";
    for (const auto& [extension, folder] : kFolderOf)
        for (std::size_t i = 0; i < placedIn[folder].size(); ++i)
            EXPECT_EQ(readBytes(recovered / folder / ("file" + std::to_string(i + 1) + extension)),
                      fixture(placedIn[folder][i])) << folder << " " << i + 1;

    // The forty types find among the new files just what they find without the new types.
    TypeSelection forty;
    for (const auto& row : registry()) forty.set(index(row.type), !isAddedType(row.type));
    const ScanResult before = scanImage(image.path(), forty);
    for (const auto& row : registry()) {
        if (isAddedType(row.type)) continue;
        EXPECT_EQ(leavesIn(*all.root, row.folderName), leavesIn(*before.root, row.folderName)) << row.folderName;
    }
    EXPECT_EQ(leavesIn(*all.root, "JPG Files").size(), 5u);
}

}  // namespace
}  // namespace pelorin::test
