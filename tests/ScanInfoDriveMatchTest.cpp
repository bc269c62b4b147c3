#include "drives/ScanInfoDriveMatch.h"

#include <gtest/gtest.h>

#include <map>

#include "drives/DriveList.h"
#include "support/RecordedDevices.h"
#include "support/TestSupport.h"

namespace pelorin {
namespace {

using namespace mediakey;

// First sectors per device path; a path not in the map cannot be read.
struct FakeDisks {
    std::map<std::string, std::vector<uint8_t>> sectors;
    std::vector<std::pair<std::string, uint32_t>> reads;

    FirstFiveSectorsReader reader() {
        return [this](const std::string& path, uint32_t sectorSize, std::vector<uint8_t>& out) {
            reads.emplace_back(path, sectorSize);
            auto it = sectors.find(path);
            if (it == sectors.end()) return false;
            out = it->second;
            return true;
        };
    }
};

std::vector<uint8_t> pattern(uint8_t seed, std::size_t size = 2560) {
    std::vector<uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7);
    return bytes;
}

MediaDictionary sata(const std::string& path, const std::string& serial, int64_t size = 500107862016) {
    MediaDictionary d;
    d.set(kDevicePath, path);
    d.set(kDeviceSize, size);
    d.set(kPreferredBlockSize, int64_t{512});
    d.set(kWhetherSATA, int64_t{1});
    d.set(kDeviceModel, "Samsung SSD 860 EVO 500GB");
    d.set(kDeviceSerial, serial);
    d.set(kDeviceRevision, "RVT02B6Q");
    return d;
}

MediaDictionary usb(const std::string& path) {
    MediaDictionary d;
    d.set(kDevicePath, path);
    d.set(kDeviceSize, int64_t{15931539456});
    d.set(kPreferredBlockSize, int64_t{512});
    d.set(kWhetherUSB, int64_t{1});
    d.set(kVendorIdentification, "Generic-");
    d.set(kProductIdentification, "SD/MMC");
    d.set(kProductRevisionLevel, "1.00");
    d.set(kDeviceSerial, "000000001536");
    return d;
}

ScanInfoDriveIdentity fileOf(const MediaDictionary& row, std::vector<uint8_t> first5) {
    const ChosenDrive drive = chosenDriveFromRow(row);
    return {drive.selectedDrive, drive.serial,           drive.model,
            drive.revision,      drive.u32BytesInSector, drive.selectedDriveSize,
            std::move(first5)};
}

TEST(ScanInfoDriveMatch, IdentityListFollowsTheTwoKindsOfDrive) {
    FakeDisks disks;
    disks.sectors["/dev/sda"] = pattern(1);
    MediaDictionary noBlockSize = sata("/dev/sdx", "X1");
    noBlockSize.erase(kPreferredBlockSize);
    MediaDictionary bigSectors = sata("/dev/nvme0n1", "N1");
    bigSectors.set(kPreferredBlockSize, int64_t{4096});
    auto identities = retriveAllDriveDetails({sata("/dev/sda", "S1"), usb("/dev/sdb"), noBlockSize, bigSectors},
                                             disks.reader());
    ASSERT_EQ(identities.size(), 4u);
    EXPECT_EQ(identities[0].model, "Samsung SSD 860 EVO 500GB");
    EXPECT_EQ(identities[0].serial, "S1");
    EXPECT_EQ(identities[0].first5Secotrs, pattern(1));
    EXPECT_EQ(identities[1].model, "Generic-");
    EXPECT_EQ(identities[1].serial, "-");  // not the USB serial the dictionary holds
    EXPECT_EQ(identities[1].revision, "1.00");
    EXPECT_TRUE(identities[1].first5Secotrs.empty());  // unreadable
    // A drive without a block size was scanned (and is read) with 512-byte sectors.
    EXPECT_EQ(identities[2].bytesInSector, 512u);
    EXPECT_EQ(disks.reads[2], (std::pair<std::string, uint32_t>{"/dev/sdx", 512}));
    EXPECT_EQ(disks.reads[3], (std::pair<std::string, uint32_t>{"/dev/nvme0n1", 4096}));
}

TEST(ScanInfoDriveMatch, MatchAtOpenTakesTheFirstDriveWithTheSameIdentity) {
    FakeDisks disks;
    auto identities = retriveAllDriveDetails({usb("/dev/sdb"), sata("/dev/sdc", "S1"), sata("/dev/sdd", "S1")},
                                             disks.reader());
    const ScanInfoDriveIdentity file = fileOf(sata("/dev/old", "S1"), pattern(9));
    EXPECT_EQ(matchScanInfoDrive(identities, file), 1u);  // sectors do not count at open

    for (auto change : std::vector<std::function<void(ScanInfoDriveIdentity&)>>{
             [](auto& f) { f.serial = "S2"; }, [](auto& f) { f.model = "Samsung"; },
             [](auto& f) { f.revision = "X"; }, [](auto& f) { f.u32BytesInSector = 4096; },
             [](auto& f) { f.selectedDriveSize -= 512; }}) {
        ScanInfoDriveIdentity other = file;
        change(other);
        EXPECT_EQ(matchScanInfoDrive(identities, other), std::nullopt);
    }

    // A USB drive matches only a file whose serial is "-".
    ScanInfoDriveIdentity usbFile = fileOf(usb("/dev/old"), {});
    EXPECT_EQ(usbFile.serial, "-");
    EXPECT_EQ(matchScanInfoDrive(identities, usbFile), 0u);
    usbFile.serial = "000000001536";
    EXPECT_EQ(matchScanInfoDrive(identities, usbFile), std::nullopt);
}

TEST(ScanInfoDriveMatch, RematchAlsoComparesTheFirstFiveSectors) {
    FakeDisks disks;
    disks.sectors["/dev/sdc"] = pattern(1);
    disks.sectors["/dev/sdd"] = pattern(2);
    auto identities = retriveAllDriveDetails({sata("/dev/sdc", "S1"), sata("/dev/sdd", "S1"), sata("/dev/sde", "S1")},
                                             disks.reader());
    EXPECT_EQ(rematchScanInfoDrive(identities, fileOf(sata("/dev/x", "S1"), pattern(2))), 1u);
    EXPECT_EQ(rematchScanInfoDrive(identities, fileOf(sata("/dev/x", "S1"), pattern(3))), std::nullopt);
    // The unreadable /dev/sde never matches, not even a file with no sectors.
    EXPECT_EQ(rematchScanInfoDrive(identities, fileOf(sata("/dev/x", "S1"), {})), std::nullopt);
    // One byte off.
    auto almost = pattern(2);
    almost.back() ^= 1;
    EXPECT_EQ(rematchScanInfoDrive(identities, fileOf(sata("/dev/x", "S1"), almost)), std::nullopt);
}

TEST(ScanInfoDriveMatch, ReattachedDriveIsFoundUnderItsNewPath) {
    struct View final : DriveListView {
        void showAlert(std::string_view, std::string_view, std::string_view) override {}
        void logLine(std::string_view) override {}
        void reloadDriveTable() override {}
        void setNextEnabled(bool) override {}
        void showDescription(std::string_view) override {}
        ShownPage shownPage() const override { return ShownPage::Results; }
    } view;
    RecordedDeviceDatabase database(test::usbCardReaderWithSdCard(true, "sdb"));
    DriveList list(database, view);
    list.initialDriveList();
    const ScanInfoDriveIdentity file = fileOf(list.row(0), pattern(5));

    FakeDisks disks;
    disks.sectors["/dev/sdf"] = pattern(5);
    database.devices = test::sataDisk(true);
    auto reader = test::usbCardReaderWithSdCard(true, "sdf");
    database.devices.insert(database.devices.end(), reader.begin(), reader.end());
    list.refreshDriveList();
    EXPECT_EQ(list.rematchScanInfoDrive(file, disks.reader()), 1u);
    EXPECT_EQ(list.selectedDriveMountPointForPreview(), "/dev/sdf");

    // Without a match nothing changes.
    list.setSelectedDriveMountPointForPreview("/dev/kept");
    disks.sectors["/dev/sdf"] = pattern(6);
    EXPECT_EQ(list.rematchScanInfoDrive(file, disks.reader()), std::nullopt);
    EXPECT_EQ(list.selectedDriveMountPointForPreview(), "/dev/kept");
}

TEST(ScanInfoDriveMatch, DeviceReaderReadsFiveSectorsFromTheStart) {
    struct Recorded final : Alerts {
        void showAlert(std::string_view title, std::string_view, std::string_view) override { titles.emplace_back(title); }
        void logLine(std::string_view line) override { lines.emplace_back(line); }
        std::vector<std::string> titles, lines;
    } alerts;
    auto read = deviceFirstFiveSectorsReader(alerts);

    test::TempImage image;
    image.write(0, pattern(3, 4000));
    std::vector<uint8_t> sectors;
    ASSERT_TRUE(read(image.path(), 512, sectors));
    EXPECT_EQ(sectors, pattern(3, 2560));

    // A source shorter than five sectors: the rest stays zero, as in the buffer a scan keeps.
    test::TempImage small;
    small.write(0, pattern(4, 1000));
    ASSERT_TRUE(read(small.path(), 512, sectors));
    ASSERT_EQ(sectors.size(), 2560u);
    EXPECT_TRUE(std::equal(sectors.begin(), sectors.begin() + 1000, pattern(4, 1000).begin()));
    EXPECT_TRUE(std::all_of(sectors.begin() + 1000, sectors.end(), [](uint8_t b) { return b == 0; }));

    EXPECT_FALSE(read("/nonexistent/pelorin-disk", 512, sectors));
    EXPECT_TRUE(sectors.empty());
    EXPECT_EQ(alerts.titles, std::vector<std::string>{"Drive cannot open or not found"});
    EXPECT_EQ(alerts.lines, std::vector<std::string>{"read Sect in app ctrl /nonexistent/pelorin-disk"});
}

}  // namespace
}  // namespace pelorin
