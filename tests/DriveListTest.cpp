#include "drives/DriveList.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/RecordedDevices.h"

namespace pelorin {
namespace {

using namespace mediakey;

class RecordingView final : public DriveListView {
public:
    void showAlert(std::string_view title, std::string_view, std::string_view) override { alerts.emplace_back(title); }
    void logLine(std::string_view) override {}
    void reloadDriveTable() override { ++reloads; }
    void setNextEnabled(bool enabled) override { nextEnabled = enabled; }
    void showDescription(std::string_view text) override { description = text; }
    ShownPage shownPage() const override { return page; }
    void rematchOpenedScanInfoDrive() override { ++rematches; }

    ShownPage page = ShownPage::DriveList;
    bool nextEnabled = false;
    std::string description;
    int reloads = 0;
    int rematches = 0;
    std::vector<std::string> alerts;
};

struct Fixture {
    explicit Fixture(std::vector<BlockDevice> devices, bool udev = true) : database(std::move(devices), udev) {
        list.initialDriveList();
    }
    std::optional<std::size_t> rowOf(const std::string& path) const {
        for (std::size_t i = 0; i < list.numberOfRows(); ++i)
            if (list.row(i).text(kDevicePath) == path) return i;
        return std::nullopt;
    }
    RecordedDeviceDatabase database;
    RecordingView view;
    DriveList list{database, view};
};

MediaDictionary row(std::initializer_list<std::pair<std::string_view, MediaValue>> entries) {
    MediaDictionary d;
    for (const auto& [key, value] : entries) std::visit([&](const auto& v) { d.set(key, v); }, value);
    return d;
}

TEST(DriveList, SeparatesDrivesFromVolumesInOrder) {
    Fixture f(test::recordedMachine(true));
    EXPECT_EQ(f.list.responseFindMedia().size(), 13u);
    ASSERT_EQ(f.list.numberOfRows(), 6u);
    EXPECT_EQ(f.list.row(0).text(kDevicePath), "/dev/mmcblk0");
    EXPECT_EQ(f.list.row(5).text(kDevicePath), "/dev/sdc");
    ASSERT_EQ(f.list.volumeDictArray().size(), 7u);
    for (const auto& volume : f.list.volumeDictArray()) EXPECT_EQ(volume.number(kWhetherVolume), 1);
    EXPECT_EQ(f.list.volumeDictArray()[0].text(kDevicePath), "/dev/mmcblk0p1");
}

TEST(DriveList, TrimsModelAndSerialOfAllButPlainUsbDrivesAndVolumes) {
    std::vector<MediaDictionary> media{
        row({{kDeviceModel, std::string("  Samsung SSD 860 EVO  ")}, {kDeviceSerial, std::string("\tS3Z9 \n")}}),
        row({}),  // a drive that reports nothing
        row({{kWhetherUSB, int64_t{1}}, {kVendorIdentification, std::string(" Kingston ")},
             {kDeviceSerial, std::string(" 123 ")}}),
        row({{kWhetherUSB, int64_t{1}}, {kWhetherSATA, int64_t{1}}, {kDeviceModel, std::string(" WD ")}}),
        row({{kWhetherVolume, int64_t{1}}, {kDeviceModel, std::string(" vol ")}}),
    };
    truncateDriveModelNumber(media);
    EXPECT_EQ(media[0].text(kDeviceModel), "Samsung SSD 860 EVO");
    EXPECT_EQ(media[0].text(kDeviceSerial), "S3Z9");
    EXPECT_EQ(media[1].text(kDeviceModel), "-");
    EXPECT_EQ(media[1].text(kDeviceSerial), "-");
    EXPECT_EQ(media[2].text(kVendorIdentification), " Kingston ");  // as the device gives it
    EXPECT_EQ(media[2].text(kDeviceSerial), " 123 ");
    EXPECT_FALSE(media[2].has(kDeviceModel));
    EXPECT_EQ(media[3].text(kDeviceModel), "WD");
    EXPECT_EQ(media[3].text(kDeviceSerial), "-");
    EXPECT_EQ(media[4].text(kDeviceModel), " vol ");
}

TEST(DriveList, ChosenSataDriveAndItsDescription) {
    Fixture f(test::sataDisk(true));
    f.list.tableViewSelectionDidChange(0);
    const ChosenDrive& drive = f.list.chosenDrive();
    EXPECT_EQ(drive.selectedDrive, "Samsung SSD 860 EVO 500GB");
    EXPECT_EQ(drive.model, "Samsung SSD 860 EVO 500GB");
    EXPECT_EQ(drive.serial, "S3Z9NB0K123456A");
    EXPECT_EQ(drive.revision, "RVT02B6Q");
    EXPECT_EQ(drive.selectedDriveNameToDisplay, "Samsung SSD 860 EVO 500GB RVT02B6Q");
    EXPECT_EQ(drive.selectedDriveMountPoint, "/dev/sda");
    EXPECT_EQ(drive.u32BytesInSector, 512u);
    EXPECT_EQ(drive.selectedDriveSize, 976773168ULL * 512);
    EXPECT_EQ(drive.u64DriveSectorNumber, 976773168ULL);
    EXPECT_TRUE(f.view.nextEnabled);
    EXPECT_EQ(f.view.description, "Selected Drive: Samsung SSD 860 EVO 500GB\n\nSerial: S3Z9NB0K123456A\n\nSize: 465.76 GB");
    EXPECT_EQ(driveTitle(f.list.row(0)), "Samsung SSD 860 EVO 500GB RVT02B6Q");
}

TEST(DriveList, ChosenUsbStickShowsNoSerial) {
    Fixture f(test::usbStick(true));
    f.list.tableViewSelectionDidChange(0);
    const ChosenDrive& drive = f.list.chosenDrive();
    EXPECT_EQ(drive.selectedDrive, "Cruzer Blade");
    EXPECT_EQ(drive.model, "SanDisk");
    EXPECT_EQ(drive.serial, "-");
    EXPECT_EQ(drive.revision, "1.00");
    EXPECT_EQ(drive.selectedDriveNameToDisplay, "SanDisk Cruzer Blade");
    EXPECT_EQ(f.view.description, "Selected Drive: Cruzer Blade\n\nSerial: -\n\nSize: 7.45 GB");
    EXPECT_EQ(driveTitle(f.list.row(0)), "SanDisk Cruzer Blade 1.00");
}

TEST(DriveList, SectorSizeAndCountFromTheBlockSize) {
    auto withBlock = chosenDriveFromRow(row({{kPreferredBlockSize, int64_t{4096}}, {kDeviceSize, int64_t{1048576}}}));
    EXPECT_EQ(withBlock.u32BytesInSector, 4096u);
    EXPECT_EQ(withBlock.u64DriveSectorNumber, 256u);

    auto noBlock = chosenDriveFromRow(row({{kDeviceSize, int64_t{1048576}}}));
    EXPECT_EQ(noBlock.u32BytesInSector, 512u);
    EXPECT_EQ(noBlock.u64DriveSectorNumber, 2048u);
    EXPECT_EQ(selectedDriveDescription(noBlock), "Selected Drive: \n\nSerial: \n\nSize: 1.00 MB");

    auto zeroBlock = chosenDriveFromRow(row({{kPreferredBlockSize, int64_t{0}}, {kDeviceSize, int64_t{4096}}}));
    EXPECT_EQ(zeroBlock.u32BytesInSector, 512u);
    EXPECT_EQ(zeroBlock.u64DriveSectorNumber, 8u);

    auto nvme = Fixture(test::nvmeDisk(true));
    nvme.list.tableViewSelectionDidChange(0);
    EXPECT_EQ(nvme.list.chosenDrive().u32BytesInSector, 4096u);
    EXPECT_EQ(nvme.list.chosenDrive().u64DriveSectorNumber, 1953525168ULL * 512 / 4096);
    EXPECT_EQ(nvme.list.chosenDrive().model, "Samsung SSD 970 EVO Plus 1TB");
    EXPECT_EQ(nvme.list.chosenDrive().serial, "S4EWNX0R123456");

    EXPECT_EQ(driveSizeText(row({{kDeviceSize, int64_t{1048575}}})), "1024.00 KB");
    EXPECT_EQ(driveSizeText(row({{kDeviceSize, int64_t{1073741824}}})), "1.00 GB");
    EXPECT_EQ(driveSizeText(row({})), "0.00 KB");
}

TEST(DriveList, NoSelectionShowsThePrompt) {
    Fixture f(test::recordedMachine(true));
    f.list.tableViewSelectionDidChange(2);
    f.list.tableViewSelectionDidChange(std::nullopt);
    EXPECT_FALSE(f.view.nextEnabled);
    EXPECT_EQ(f.view.description, kSelectDrivePrompt);
    f.list.tableViewSelectionDidChange(99);  // beyond the rows: nothing is selected
    EXPECT_FALSE(f.list.selectedRow());
    EXPECT_EQ(f.view.description, kSelectDrivePrompt);
}

TEST(DriveList, RefreshTakesTheSelectedRowAgain) {
    auto devices = test::recordedMachine(true);
    Fixture f(devices);
    f.list.tableViewSelectionDidChange(f.rowOf("/dev/sda"));
    const std::size_t row = *f.list.selectedRow();
    // Drives before it go: the same row index now denotes another drive.
    std::erase_if(f.database.devices, [](const BlockDevice& b) {
        return b.device.sysname.rfind("mmcblk", 0) == 0 ||
               (!b.ancestors.empty() && b.ancestors.front().sysname.rfind("mmcblk", 0) == 0);
    });
    f.list.refreshDriveList();
    EXPECT_EQ(f.view.reloads, 1);
    EXPECT_EQ(f.list.selectedRow(), row);
    EXPECT_EQ(f.list.chosenDrive().selectedDriveMountPoint, f.list.row(row).text(kDevicePath));
    EXPECT_TRUE(f.view.nextEnabled);

    // Fewer rows than the selected index: nothing selected.
    f.database.devices = test::usbStick(true);
    f.list.refreshDriveList();
    EXPECT_FALSE(f.list.selectedRow());
    EXPECT_FALSE(f.view.nextEnabled);
    EXPECT_EQ(f.view.description, kSelectDrivePrompt);
}

TEST(DriveList, ScannedDriveRemovedAndAttachedAgainUnderANewPath) {
    auto others = test::sataDisk(true);
    auto reader = test::usbCardReaderWithSdCard(true, "sdb");
    std::vector<BlockDevice> devices = others;
    devices.insert(devices.end(), reader.begin(), reader.end());
    Fixture f(devices);
    f.list.tableViewSelectionDidChange(f.rowOf("/dev/sdb"));
    f.list.scanStarted();
    EXPECT_EQ(f.list.selectedDriveMountPointForPreview(), "/dev/sdb");

    f.view.page = ShownPage::Results;
    f.database.devices = others;
    f.list.refreshDriveList();
    EXPECT_TRUE(f.list.bDriveRemovedAfterScanning());
    EXPECT_EQ(f.list.selectedDriveMountPointForPreview(), "");
    EXPECT_EQ(f.view.rematches, 1);

    // Another card of another size in the same reader is not the scanned drive.
    auto otherCard = test::usbCardReaderWithSdCard(true, "sde");
    otherCard[0].device.attributes["size"] = "62333952";
    f.database.devices = otherCard;
    f.list.refreshDriveList();
    EXPECT_TRUE(f.list.bDriveRemovedAfterScanning());

    auto again = test::usbCardReaderWithSdCard(true, "sde");
    f.database.devices = others;
    f.database.devices.insert(f.database.devices.end(), again.begin(), again.end());
    f.list.refreshDriveList();
    EXPECT_FALSE(f.list.bDriveRemovedAfterScanning());
    EXPECT_EQ(f.list.selectedDriveMountPointForPreview(), "/dev/sde");
    // On the results page the chosen drive stays as it was.
    EXPECT_EQ(f.list.chosenDrive().selectedDriveMountPoint, "/dev/sdb");

    f.list.displayDriveListWindow();
    EXPECT_FALSE(f.list.bDriveRemovedAfterScanning());
}

TEST(DriveList, DriveWithoutBlockSizeIsStillPresentAfterARefresh) {
    auto devices = test::sataDisk(true);
    devices[0].device.attributes.erase("queue/logical_block_size");
    Fixture f(devices);
    f.list.tableViewSelectionDidChange(0);
    EXPECT_EQ(f.list.chosenDrive().u32BytesInSector, 512u);
    f.list.scanStarted();
    f.list.refreshDriveList();
    EXPECT_FALSE(f.list.bDriveRemovedAfterScanning());
    EXPECT_EQ(f.list.selectedDriveMountPointForPreview(), "/dev/sda");
}

TEST(DriveList, CopiesTheChosenDriveIntoAScan) {
    Fixture f(test::nvmeDisk(false), false);
    f.list.tableViewSelectionDidChange(0);
    f.list.scanStarted();
    ScanContext ctx;
    f.list.copyDeviceIdentity(ctx);
    EXPECT_EQ(ctx.selectedDriveMountPoint, "/dev/nvme0n1");
    EXPECT_EQ(ctx.u32BytesInSector, 4096u);
    EXPECT_EQ(ctx.u64DriveSectorNumber, 1953525168ULL / 8);
    EXPECT_EQ(ctx.selectedDriveMountPointForPreview, "/dev/nvme0n1");
}

TEST(DriveList, FailedEnumerationGivesAnEmptyListWithoutError) {
    Fixture f(test::recordedMachine(false), false);
    EXPECT_FALSE(f.list.udevDataAvailable());
    EXPECT_EQ(f.list.numberOfRows(), 6u);
    EXPECT_TRUE(f.list.volumeDictArray().empty());

    f.database.failure = "sysfs is not mounted";
    f.list.refreshDriveList();
    EXPECT_NE(f.list.lastEnumerationResult(), 0);
    EXPECT_EQ(f.list.numberOfRows(), 0u);
    EXPECT_EQ(f.view.description, kSelectDrivePrompt);
    EXPECT_TRUE(f.view.alerts.empty());
}

}  // namespace
}  // namespace pelorin
