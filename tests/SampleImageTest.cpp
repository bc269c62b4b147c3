// End to end: the sample disk image, assembled from its layout at test time
// and scanned.

#include <gtest/gtest.h>

#include <algorithm>

#include "support/TestSupport.h"
#include "tools/ImageLayout.h"

namespace pelorin::test {
namespace {

class SampleImage : public ::testing::Test {
protected:
    void SetUp() override { tools::buildImage(layout, layoutFile.parent_path(), image.path()); }
    const std::filesystem::path layoutFile = fixturePath("sample-layout.txt");
    const tools::ImageLayout layout = tools::readLayout(layoutFile);
    TempImage image;
};

std::vector<tools::Placement> placedJpegs(const tools::ImageLayout& layout) {
    std::vector<tools::Placement> jpegs;
    for (const auto& placed : layout.placements)
        if (placed.file.ends_with(".jpg")) jpegs.push_back(placed);
    std::sort(jpegs.begin(), jpegs.end(), [](auto& a, auto& b) { return a.sector < b.sector; });
    return jpegs;
}

TEST_F(SampleImage, EveryPlacedJpegIsFoundAtItsSectorWithItsLength) {
    auto result = scanImage(image.path(), selectionOf({FileType::Jpg}), layout.sectorSize);
    ASSERT_TRUE(result.alerts.empty());
    const FoundNode* jpg = folderNamed(*result.root, "JPG Files");
    ASSERT_NE(jpg, nullptr);
    const auto jpegs = placedJpegs(layout);
    ASSERT_EQ(jpg->children().size(), jpegs.size());
    uint64_t total = 0;
    for (std::size_t i = 0; i < jpegs.size(); ++i) {
        const auto& placed = jpegs[i];
        const FoundNode& found = *jpg->childAtIndex(int(i));
        // Each fixture ends with its end-of-image marker: its length is its size plus 512 bytes of slack.
        const uint64_t expected = fixture(placed.file).size() + 512;
        EXPECT_EQ(found.sectorNumber(), placed.sector) << placed.file;
        EXPECT_EQ(found.fileSize(), expected) << placed.file;
        EXPECT_EQ(found.fileName(), "file" + std::to_string(i + 1) + ".jpg");
        total += expected;
    }
    EXPECT_EQ(result.root->fileSize(), total);
    EXPECT_EQ(result.root->fileCount(), jpegs.size());
}

TEST_F(SampleImage, EveryTypeTickedFindsEveryPlacedFileAndNothingElse) {
    auto result = scanImage(image.path(), availableTypes(), layout.sectorSize);
    std::vector<uint64_t> expected, found;
    for (const auto& placed : layout.placements) expected.push_back(placed.sector);
    for (const auto& folder : result.root->children())
        for (const auto& file : folder->children()) found.push_back(file->sectorNumber());
    std::sort(expected.begin(), expected.end());
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, expected);
}

TEST_F(SampleImage, LargerSectorsFindTheFilesThatStartOnThem) {
    auto result = scanImage(image.path(), selectionOf({FileType::Jpg}), 4096);
    const FoundNode* jpg = folderNamed(*result.root, "JPG Files");
    std::vector<uint64_t> expected;
    for (const auto& placed : placedJpegs(layout))
        if (placed.sector % 8 == 0) expected.push_back(placed.sector / 8);
    std::vector<uint64_t> found;
    if (jpg)
        for (const auto& file : jpg->children()) found.push_back(file->sectorNumber());
    EXPECT_EQ(found, expected);
}

}  // namespace
}  // namespace pelorin::test
