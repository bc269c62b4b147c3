#include "drives/DriveList.h"

#include <gtest/gtest.h>

#include "support/RecordedDevices.h"

namespace pelorin {
namespace {

using namespace mediakey;
using Fixture = test::RecordedDriveList;

MediaDictionary row(std::initializer_list<std::pair<std::string_view, MediaValue>> entries) {
    MediaDictionary d;
    for (const auto& [key, value] : entries) std::visit([&](const auto& v) { d.set(key, v); }, value);
    return d;
}

TEST(DriveList, SeparatesDrivesFromVolumesInOrderOrIsEmptyWhenEnumerationFails) {
    for (bool udev : {true, false}) {  // without udev's data: no volumes
        Fixture f(test::recorded({}, udev), udev);
        EXPECT_EQ(std::tuple(f.list.udevDataAvailable(), f.list.numberOfRows(), f.list.volumes().size()),
                  std::tuple(udev, 7u, udev ? 8u : 0u));
        EXPECT_EQ(f.list.row(6).text(kDevicePath), "/dev/sdf");
        for (const auto& volume : f.list.volumes()) EXPECT_EQ(volume.number(kWhetherVolume), 1);
    }
    // A failed enumeration gives an empty list without an alert.
    Fixture f(test::recorded());
    f.database.failure = "sysfs is not mounted";
    f.list.refreshDriveList();
    EXPECT_NE(f.list.lastEnumerationResult(), 0);
    EXPECT_EQ(std::tuple(f.list.numberOfRows(), f.view.description), std::tuple(0u, texts::kSelectDrivePrompt));
}

// Trimming itself shows in the scan-info identities (the padded SATA model).
TEST(DriveList, MissingFieldsShowAsDashOrMean512AndUsbDrivesKeepWhatTheyReport) {
    std::vector<MediaDictionary> media{row({}), row({{kWhetherUSB, int64_t{1}}, {kDeviceSerial, std::string(" 123 ")}})};
    tidyDriveIdentities(media);
    EXPECT_EQ(std::tuple(media[0].textOrEmpty(kDeviceModel), media[0].textOrEmpty(kDeviceSerial),
                         media[1].textOrEmpty(kDeviceSerial), media[1].has(kDeviceModel)),
              std::tuple("-", "-", " 123 ", false));
    // A missing or zero block size means 512.
    auto noBlock = chosenDriveFromRow(row({{kDeviceSize, int64_t{1048576}}}));
    EXPECT_EQ(std::tie(noBlock.sectorSize, noBlock.sectorCount), std::tuple(512u, 2048u));
    EXPECT_EQ(texts::chosenDriveDescription(noBlock.name, noBlock.serial, noBlock.sizeInBytes), "Selected Drive: \n\nSerial: \n\nSize: 1.00 MB");
    auto zeroBlock = chosenDriveFromRow(row({{kPreferredBlockSize, int64_t{0}}, {kDeviceSize, int64_t{4096}}}));
    EXPECT_EQ(std::tie(zeroBlock.sectorSize, zeroBlock.sectorCount), std::tuple(512u, 8u));

    EXPECT_EQ(std::tuple(driveSizeText(row({{kDeviceSize, int64_t{1048575}}})), driveSizeText(row({}))),
              std::tuple("1024.00 KB", "0.00 KB"));
}

TEST(DriveList, ChosenDriveOfEachKindGoesIntoTheScan) {
    struct Case {
        std::string kind, title, size;
        ChosenDrive drive;
    } cases[] = {
        // A USB drive shows no serial.
        {"USB stick", "SanDisk Cruzer Blade 1.00", "7.45 GB",
         {"Cruzer Blade", "SanDisk", "-", "1.00", "SanDisk Cruzer Blade", "/dev/sdc", 512, 15633408ULL * 512, 15633408ULL}},
        {"NVMe", "Samsung SSD 970 EVO Plus 1TB 2B2QEXM7", "931.51 GB",
         {"Samsung SSD 970 EVO Plus 1TB", "Samsung SSD 970 EVO Plus 1TB", "S4EWNX0R123456", "2B2QEXM7",
          "Samsung SSD 970 EVO Plus 1TB 2B2QEXM7", "/dev/nvme0n1", 4096, 1953525168ULL * 512, 1953525168ULL / 8}},
    };
    auto fields = [](const ChosenDrive& d) {
        return std::tie(d.name, d.model, d.serial, d.revision, d.displayName,
                        d.sourcePath, d.sectorSize, d.sizeInBytes, d.sectorCount);
    };
    for (const auto& [kind, title, size, drive] : cases) {
        SCOPED_TRACE(kind);
        Fixture f(test::recorded({kind}));
        f.list.selectRow(0);
        EXPECT_EQ(fields(f.list.chosenDrive()), fields(drive));
        EXPECT_EQ(std::tuple(f.view.nextEnabled, f.view.description, driveTitle(f.list.row(0))),
                  std::tuple(true, "Selected Drive: " + drive.name + "\n\nSerial: " + drive.serial + "\n\nSize: " + size, title));
        f.list.scanStarted();
        ScanContext ctx;
        f.list.copyDeviceIdentity(ctx);
        EXPECT_EQ(std::tie(ctx.sourcePath, ctx.previewSourcePath, ctx.sectorSize,
                           ctx.sectorCount),
                  std::tie(drive.sourcePath, drive.sourcePath, drive.sectorSize,
                           drive.sectorCount));
    }
}

TEST(DriveList, RefreshTakesTheSelectedRowAgainOrShowsThePrompt) {
    Fixture f(test::recorded());
    f.list.selectRow(3);  // /dev/sda
    // Drives before it go: the same row index now denotes another drive.
    f.database.devices = test::recorded({"USB", "SATA", "NVMe", "FireWire"});
    f.list.refreshDriveList();
    EXPECT_EQ(std::tuple(f.view.reloads, f.list.selectedRow(), f.list.chosenDrive().sourcePath, f.view.nextEnabled),
              std::tuple(1, 3u, "/dev/sdc", true));

    // Fewer rows than the selected index, no row, a row beyond the list: nothing selected.
    auto nothingSelected = [&] {
        return !f.list.selectedRow() && !f.view.nextEnabled && f.view.description == texts::kSelectDrivePrompt;
    };
    f.database.devices = test::recorded({"USB stick"});
    f.list.refreshDriveList();
    EXPECT_TRUE(nothingSelected());
    f.list.selectRow(0);
    f.list.selectRow(99);
    EXPECT_TRUE(nothingSelected());
}

TEST(DriveList, ScannedDriveRemovedAndAttachedAgainUnderANewPath) {
    // The reader reports no block size: it was scanned, and is found again, with 512-byte sectors.
    auto withReader = [](const std::string& name, const char* size = "31116288") {
        auto devices = test::recordedAs({{"SATA", "sda"}, {"USB card reader", name}});
        devices[4].device.attributes.erase("queue/logical_block_size");  // after sda and its 3 partitions
        devices[4].device.attributes["size"] = size;
        return devices;
    };
    Fixture f(withReader("sdb"));
    f.list.selectRow(1);
    f.list.scanStarted();
    EXPECT_EQ(f.list.previewSourcePath(), "/dev/sdb");

    f.view.page = ShownPage::Results;
    f.database.devices = test::recorded({"SATA"});
    f.list.refreshDriveList();
    EXPECT_EQ(std::tuple(f.list.scannedDriveRemoved(), f.list.previewSourcePath(), f.view.rematches),
              std::tuple(true, "", 1));

    // Another card of another size in the same reader is not the scanned drive.
    f.database.devices = withReader("sde", "62333952");
    f.list.refreshDriveList();
    EXPECT_TRUE(f.list.scannedDriveRemoved());

    f.database.devices = withReader("sde");
    f.list.refreshDriveList();
    // On the results page the chosen drive stays as it was.
    EXPECT_EQ(std::tuple(f.list.scannedDriveRemoved(), f.list.previewSourcePath(),
                         f.list.chosenDrive().sourcePath), std::tuple(false, "/dev/sde", "/dev/sdb"));

    f.database.devices = test::recorded({"SATA"});
    f.list.refreshDriveList();
    f.list.backToDriveList();
    EXPECT_FALSE(f.list.scannedDriveRemoved());
}

}  // namespace
}  // namespace pelorin
