#include "drives/ScanInfoDriveMatch.h"

#include <gtest/gtest.h>

#include "support/RecordedDevices.h"
#include "support/TestSupport.h"

namespace pelorin {
namespace {

using namespace mediakey;
using Bytes = std::vector<uint8_t>;
using Read = std::pair<std::string, uint32_t>;

// First sectors per device path; a path not in the map cannot be read.
struct FakeDisks {
    std::map<std::string, Bytes> sectors;
    std::vector<Read> reads;
    FirstFiveSectorsReader reader() {
        return [this](const std::string& path, uint32_t sectorSize, Bytes& out) {
            reads.emplace_back(path, sectorSize);
            return sectors.contains(path) && (out = sectors[path], true);
        };
    }
};

Bytes pattern(uint8_t seed, std::size_t size = 2560) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7);
    return bytes;
}

// The drive rows of recorded disks, each under the name given.
std::vector<MediaDictionary> rows(std::vector<std::pair<std::string, std::string>> disks) {
    return test::RecordedDriveList(test::recordedAs(std::move(disks))).list.drives();
}

ScanInfoDriveIdentity fileOf(const MediaDictionary& row, Bytes first5) {
    const ChosenDrive d = chosenDriveFromRow(row);
    return {d.name, d.serial, d.model, d.revision, d.sectorSize, d.sizeInBytes, std::move(first5)};
}

TEST(ScanInfoDriveMatch, IdentityListMatchAtOpenAndRematch) {
    FakeDisks disks;
    disks.sectors = {{"/dev/sdc", pattern(1)}, {"/dev/sdd", pattern(2)}};
    auto drives = rows({{"NVMe", "nvme0n1"}, {"USB card", "sdb"}, {"SATA", "sdc"}, {"SATA", "sdd"}, {"SATA", "sde"}});
    drives[2].erase(kPreferredBlockSize);  // scanned (and read) with 512-byte sectors
    auto identities = attachedDrives(drives, disks.reader());
    ASSERT_EQ(identities.size(), 5u);
    EXPECT_EQ(std::tuple(disks.reads[0], disks.reads[2]), std::tuple(Read("/dev/nvme0n1", 4096), Read("/dev/sdc", 512)));
    // A USB drive's serial is "-", not the one it reports; it cannot be read here.
    EXPECT_EQ(std::tie(identities[1].model, identities[1].serial, identities[1].revision, identities[1].first5Secotrs),
              std::tuple("Generic-", "-", "1.00", Bytes{}));
    EXPECT_EQ(std::tie(identities[2].model, identities[2].serial, identities[2].bytesInSector, identities[2].first5Secotrs),
              std::tuple("Samsung SSD 860 EVO 500GB", "S3Z9NB0K123456A", 512u, pattern(1)));

    // At open the first drive with the same identity; its sectors do not count.
    const MediaDictionary saved = rows({{"SATA", "sdz"}})[0];
    const ScanInfoDriveIdentity file = fileOf(saved, pattern(9));
    EXPECT_EQ(matchScanInfoDrive(identities, file), 2u);
    for (auto change : std::vector<std::function<void(ScanInfoDriveIdentity&)>>{
             [](auto& f) { f.serial = "S2"; }, [](auto& f) { f.model = "Samsung"; }, [](auto& f) { f.revision = "X"; },
             [](auto& f) { f.sectorSize = 4096; }, [](auto& f) { f.sizeInBytes -= 512; }}) {
        ScanInfoDriveIdentity other = file;
        change(other);
        EXPECT_EQ(matchScanInfoDrive(identities, other), std::nullopt);
    }
    // A USB drive matches only a file whose serial is "-".
    ScanInfoDriveIdentity usbFile = fileOf(rows({{"USB card", "sdz"}})[0], {});
    EXPECT_EQ(matchScanInfoDrive(identities, usbFile), 1u);
    usbFile.serial = "000000001536";
    EXPECT_EQ(matchScanInfoDrive(identities, usbFile), std::nullopt);

    // After a change the first five sectors count too, byte for byte; an
    // unreadable drive never matches, not even a file with no sectors.
    auto almost = pattern(2);
    almost.back() ^= 1;
    const std::pair<Bytes, std::optional<std::size_t>> rematches[] = {
        {pattern(2), 3}, {pattern(3), std::nullopt}, {{}, std::nullopt}, {almost, std::nullopt}};
    for (const auto& [sectors, match] : rematches) EXPECT_EQ(rematchScanInfoDrive(identities, fileOf(saved, sectors)), match);
}

TEST(ScanInfoDriveMatch, ReattachedDriveIsFoundUnderItsNewPath) {
    test::RecordedDriveList f(test::recorded({"USB card"}, true, "sdb"));
    const ScanInfoDriveIdentity file = fileOf(f.list.row(0), pattern(5));
    FakeDisks disks;
    disks.sectors["/dev/sdf"] = pattern(5);
    f.database.devices = test::recordedAs({{"SATA", "sda"}, {"USB card", "sdf"}});
    f.list.refreshDriveList();
    EXPECT_EQ(std::tuple(f.list.rematchScanInfoDrive(file, disks.reader()), f.list.previewSourcePath()),
              std::tuple(1u, "/dev/sdf"));

    // Without a match nothing changes.
    f.list.setPreviewSourcePath("/dev/kept");
    disks.sectors["/dev/sdf"] = pattern(6);
    EXPECT_FALSE(f.list.rematchScanInfoDrive(file, disks.reader()));
    EXPECT_EQ(f.list.previewSourcePath(), "/dev/kept");
}

TEST(ScanInfoDriveMatch, DeviceReaderReadsFiveSectorsFromTheStart) {
    test::RecordingController alerts{{}};
    auto read = deviceFirstFiveSectorsReader(alerts);
    test::TempImage image;
    image.write(0, pattern(3, 4000));
    Bytes sectors;
    ASSERT_TRUE(read(image.path(), 512, sectors));
    EXPECT_EQ(sectors, pattern(3, 2560));

    EXPECT_FALSE(read("/nonexistent/pelorin-disk", 512, sectors));
    EXPECT_TRUE(sectors.empty());
    EXPECT_EQ(alerts.alerts, std::vector<std::string>{"Drive cannot open or not found / "});
}

}  // namespace
}  // namespace pelorin
