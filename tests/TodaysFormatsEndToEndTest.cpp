// End to end: a disk image holding one file of each of today's formats
// between JPEGs and random bytes, scanned and recovered with pelorin-cli.

#include <gtest/gtest.h>

#include <random>

#include "support/IsoStillFiles.h"
#include "support/TreeBuilder.h"

namespace pelorin::test {
namespace {

struct Placed {
    uint64_t sector;
    Bytes bytes;
    std::string recoveredAs;  // below the recovery folder; empty for the JPEGs around them
};

std::vector<Placed> layout() {
    return {
        {4, fixture("jpeg/baseline.jpg"), ""},
        {20, fixture("heif/small.heic"), "ROOT/HEIC Files/file1.heic"},
        {31, fixture("jpeg/exif.jpg"), ""},
        {60, fixture("heif/small.avif"), "ROOT/AVIF Files/file1.avif"},
        {75, itemFile("mif1", "mif1miaf", 5000), "ROOT/HEIF Files/file1.heif"},
        {101, fixture("webp/small.webp"), "ROOT/WEBP Files/file1.webp"},
        {110, fixture("jpeg/progressive.jpg"), ""},
        {140, cr3(3000).bytes, "ROOT/CR3 Files/file1.cr3"},
        {190, fixture("webp/lossless.webp"), "ROOT/WEBP Files/file2.webp"},
        {200, fixture("jpeg/icc.jpg"), ""},
    };
}

// The leaves of every folder of the scan, by folder name.
std::map<std::string, Leaves> leavesByFolder(const FoundNode& root) {
    std::map<std::string, Leaves> all;
    for (const auto& folder : root.children()) all[folder->fileName()] = leavesIn(root, folder->fileName());
    return all;
}

TEST(TodaysFormats, EveryFileComesBackWholeAndExactAndTheFortyAreUnchanged) {
    constexpr uint64_t kImageSize = 256 * 512;
    Bytes image(kImageSize);
    std::mt19937 random(18);
    for (uint8_t& byte : image) byte = uint8_t(random());
    for (const Placed& placed : layout()) {
        ASSERT_LE(placed.sector * 512 + placed.bytes.size(), kImageSize);
        std::copy(placed.bytes.begin(), placed.bytes.end(), image.begin() + long(placed.sector * 512));
    }
    TempImage source;
    source.write(0, image);
    TempDir work;
    const ShellRun run = shell(std::string(PELORIN_CLI) + " scan '" + source.path() + "' --no-progress --recover '" +
                               (work / "out") + "' --select all");
    ASSERT_EQ(run.status, 0) << run.output;
    const auto recovered = std::filesystem::directory_iterator(work / "out")->path();
    for (const Placed& placed : layout()) {
        if (placed.recoveredAs.empty()) continue;
        EXPECT_EQ(readBytes(recovered / placed.recoveredAs), placed.bytes) << placed.recoveredAs;
    }
    EXPECT_TRUE(std::filesystem::exists(recovered / "ROOT/RAW Jpg Files/file - Raw Jpg1.jpg"));

    // The JPEGs, and everything else the forty find, are found as a scan of the forty alone finds them.
    TypeSelection forty;
    for (const auto& row : registry()) forty.set(index(row.type), !isAddedType(row.type));
    auto withAll = leavesByFolder(*scanImage(source.path(), availableTypes()).root);
    const auto withForty = leavesByFolder(*scanImage(source.path(), forty).root);
    EXPECT_EQ(withAll["JPG Files"].size(), 4u);
    for (const auto& row : registry())
        if (isAddedType(row.type)) withAll.erase(std::string(row.folderName));
    withAll.erase("RAW Jpg Files");  // the CR3's preview
    EXPECT_EQ(withAll, withForty);
}

}  // namespace
}  // namespace pelorin::test
