#include "drives/DriveFinder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "drives/LibudevDeviceDatabase.h"
#include "support/RecordedDevices.h"
#include "support/TestSupport.h"

namespace pelorin {
namespace {

using namespace mediakey;
using test::recordedMachine;

std::vector<MediaDictionary> find(std::vector<BlockDevice> devices, bool udev = true) {
    RecordedDeviceDatabase database(std::move(devices), udev);
    std::vector<MediaDictionary> media;
    EXPECT_EQ(FindMediaMain(media, database), 0);
    return media;
}

std::vector<std::string> paths(const std::vector<MediaDictionary>& media) {
    std::vector<std::string> result;
    for (const auto& m : media) result.push_back(m.textOrEmpty(kDevicePath));
    return result;
}

TEST(DriveFinder, ListsDisksEachFollowedByItsVolumesAndLeavesOutTheRest) {
    // Left out: loop0 and its partition, zram0, ram0, the empty reader sdd,
    // the eMMC boot areas, the swap partition sda3 and sdc2 without a file system.
    EXPECT_EQ(paths(find(recordedMachine(true))),
              (std::vector<std::string>{"/dev/mmcblk0", "/dev/mmcblk0p1", "/dev/mmcblk1", "/dev/mmcblk1p1",
                                        "/dev/nvme0n1", "/dev/nvme0n1p1", "/dev/sda", "/dev/sda1", "/dev/sda2",
                                        "/dev/sdb", "/dev/sdb1", "/dev/sdc", "/dev/sdc1"}));
}

TEST(DriveFinder, WithoutUdevDataDrivesAreStillListedButNoVolume) {
    EXPECT_EQ(paths(find(recordedMachine(false), false)),
              (std::vector<std::string>{"/dev/mmcblk0", "/dev/mmcblk1", "/dev/nvme0n1", "/dev/sda", "/dev/sdb",
                                        "/dev/sdc"}));
}

TEST(DriveFinder, UsbCardReaderWithSdCard) {
    for (bool udev : {true, false}) {
        SCOPED_TRACE(udev ? "with udev" : "sysfs only");
        auto media = find(test::usbCardReaderWithSdCard(udev), udev);
        const MediaDictionary& reader = media.at(0);
        EXPECT_EQ(reader.number(kWhetherUSB), 1);
        EXPECT_FALSE(reader.has(kWhetherSATA));
        EXPECT_FALSE(reader.has(kWhetherVolume));
        EXPECT_EQ(reader.text(kVendorIdentification), "Generic-");
        EXPECT_EQ(reader.text(kProductIdentification), "SD/MMC");
        EXPECT_EQ(reader.text(kProductRevisionLevel), "1.00");
        EXPECT_EQ(reader.text(kDeviceSerial), "000000001536");
        EXPECT_FALSE(reader.has(kDeviceModel));
        EXPECT_EQ(reader.number(kPreferredBlockSize), 512);
        EXPECT_EQ(reader.number(kDeviceSize), 31116288LL * 512);
        EXPECT_EQ(reader.text(kIconName), "media-flash");
    }
}

TEST(DriveFinder, UsbStickVolumeCarriesItsDrivesBusButNoBlockSize) {
    auto media = find(test::usbStick(true));
    ASSERT_EQ(media.size(), 2u);
    const MediaDictionary& stick = media[0];
    EXPECT_EQ(stick.text(kVendorIdentification), "SanDisk");  // the INQUIRY padding is no part of it
    EXPECT_EQ(stick.text(kProductIdentification), "Cruzer Blade");
    EXPECT_EQ(stick.text(kIconName), "drive-removable-media");
    const MediaDictionary& volume = media[1];
    EXPECT_EQ(volume.text(kDevicePath), "/dev/sdc1");
    EXPECT_EQ(volume.number(kWhetherVolume), 1);
    EXPECT_EQ(volume.text(kFileSystem), "vfat");
    EXPECT_EQ(volume.number(kWhetherUSB), 1);
    EXPECT_FALSE(volume.has(kPreferredBlockSize));
    EXPECT_EQ(volume.number(kDeviceSize), 8388608LL * 512);
}

TEST(DriveFinder, SataDiskFromUdevAndFromSysfsAlone) {
    const MediaDictionary withUdev = find(test::sataDisk(true)).at(0);
    EXPECT_EQ(withUdev.number(kWhetherSATA), 1);
    EXPECT_FALSE(withUdev.has(kWhetherUSB));
    EXPECT_FALSE(withUdev.has(kVendorIdentification));  // a SATA disk is identified by model and serial
    EXPECT_EQ(withUdev.text(kDeviceModel), "Samsung SSD 860 EVO 500GB    ");  // trimmed later, by the list
    EXPECT_EQ(withUdev.text(kDeviceSerial), "S3Z9NB0K123456A");
    EXPECT_EQ(withUdev.text(kDeviceRevision), "RVT02B6Q");
    EXPECT_EQ(withUdev.text(kIconName), "drive-harddisk");

    // Without udev: the SCSI layer's short model, and the serial from the unit serial number page.
    const MediaDictionary sysfsOnly = find(test::sataDisk(false), false).at(0);
    EXPECT_EQ(sysfsOnly.number(kWhetherSATA), 1);
    EXPECT_EQ(sysfsOnly.text(kDeviceModel), "Samsung SSD 860 ");
    EXPECT_EQ(sysfsOnly.text(kDeviceSerial), "S3Z9NB0K123456A");
    EXPECT_EQ(sysfsOnly.text(kDeviceRevision), "2B6Q");
}

TEST(DriveFinder, NvmeIdentityComesFromItsController) {
    const MediaDictionary nvme = find(test::nvmeDisk(false), false).at(0);
    EXPECT_FALSE(nvme.has(kWhetherSATA));
    EXPECT_FALSE(nvme.has(kWhetherUSB));
    EXPECT_EQ(nvme.text(kDeviceModel), "Samsung SSD 970 EVO Plus 1TB            ");
    EXPECT_EQ(nvme.text(kDeviceSerial), "S4EWNX0R123456      ");
    EXPECT_EQ(nvme.text(kDeviceRevision), "2B2QEXM7");
    EXPECT_EQ(nvme.number(kPreferredBlockSize), 4096);
    // sysfs counts 512-byte units whatever the logical block size.
    EXPECT_EQ(nvme.number(kDeviceSize), 1953525168LL * 512);
}

TEST(DriveFinder, EmmcAndSdCardSlot) {
    auto media = find(test::emmc(false), false);
    ASSERT_EQ(paths(media), std::vector<std::string>{"/dev/mmcblk0"});  // no boot areas
    EXPECT_EQ(media[0].text(kDeviceModel), "DA4064");
    EXPECT_EQ(media[0].text(kDeviceSerial), "0x1b2c3d4e");
    EXPECT_EQ(media[0].text(kDeviceRevision), "0x0");
    EXPECT_EQ(media[0].text(kIconName), "drive-harddisk");

    const MediaDictionary card = find(test::sdCardInSlot(true)).at(0);
    EXPECT_EQ(card.text(kDeviceModel), "SD64G");
    EXPECT_EQ(card.text(kIconName), "media-flash");
}

TEST(DriveFinder, PartitionsWithoutAFileSystemOrWithContainersAreLeftOut) {
    auto stick = test::usbStick(true);
    BlockDevice disk = stick[0];
    std::vector<BlockDevice> devices{disk};
    devices.push_back(test::partitionOf(disk, 1, 1000, "crypto_LUKS", true, "crypto"));
    devices.push_back(test::partitionOf(disk, 2, 1000, "LVM2_member", true, "raid"));
    devices.push_back(test::partitionOf(disk, 3, 1000, "ntfs", true));
    // blkid-style record with a type and no usage
    BlockDevice noUsage = test::partitionOf(disk, 4, 1000, "", true);
    noUsage.device.properties["ID_FS_TYPE"] = "ext4";
    devices.push_back(noUsage);
    BlockDevice swapNoUsage = test::partitionOf(disk, 5, 1000, "", true);
    swapNoUsage.device.properties["ID_FS_TYPE"] = "swap";
    devices.push_back(swapNoUsage);
    EXPECT_EQ(paths(find(devices)), (std::vector<std::string>{"/dev/sdc", "/dev/sdc3", "/dev/sdc4"}));
}

TEST(DriveFinder, FireWireDriveIsMarkedUsbAndNotSata) {
    BlockDevice disk = test::wholeDisk(test::diskRecord("sdf", 2000000),
                                       {test::record("10:0:0:0", "scsi", "scsi_device",
                                                     {{"vendor", "ATA     "}, {"model", "WDC WD10EZEX"}, {"rev", "01.0"}}),
                                        test::record("fw1.0", "firewire"), test::record("fw1", "firewire")},
                                       false);
    const MediaDictionary drive = find({disk}, false).at(0);
    EXPECT_EQ(drive.number(kWhetherUSB), 1);
    EXPECT_FALSE(drive.has(kWhetherSATA));
    EXPECT_EQ(drive.text(kVendorIdentification), "ATA");
}

TEST(DriveFinder, EnumerationFailureGivesAnEmptyList) {
    RecordedDeviceDatabase database(recordedMachine(true));
    database.failure = "no sysfs";
    std::vector<MediaDictionary> media;
    EXPECT_NE(FindMediaMain(media, database), 0);
    EXPECT_TRUE(media.empty());

    MediaIterator nothingListed = test::unlistedDevices(true);
    EXPECT_EQ(GetBSDPath(nothingListed, media), 5);
    EXPECT_TRUE(media.empty());
}

TEST(DriveFinder, UnlistedDiskNames) {
    for (const char* name : {"loop0", "loop12", "ram0", "ram15", "zram0", "mmcblk0boot0", "mmcblk1boot1", "mmcblk0rpmb"})
        EXPECT_TRUE(isUnlistedDiskName(name)) << name;
    for (const char* name : {"sda", "mmcblk0", "mmcblk10", "nvme0n1", "loopy", "ramdisk", "vda", "dm-0"})
        EXPECT_FALSE(isUnlistedDiskName(name)) << name;
}

TEST(DriveFinder, UdevTextDecoding) {
    EXPECT_EQ(decodeUdevText("SD\\x2fMMC\\x20"), "SD/MMC ");
    EXPECT_EQ(decodeUdevText("plain"), "plain");
    EXPECT_EQ(decodeUdevText("cut\\x2"), "cut\\x2");     // too short to be an escape
    EXPECT_EQ(decodeUdevText("bad\\xzz"), "bad\\xzz");   // not hexadecimal
    EXPECT_EQ(decodeUdevText("\\"), "\\");
}

TEST(DriveFinder, UnitSerialNumberPage) {
    auto page = [](std::string header, std::string body) { return header + body; };
    EXPECT_EQ(serialFromVpdPage80(page(std::string("\0\x80\0\x08", 4), "  AB12  ")), "AB12");
    // The length claims more than the page holds: what is there counts.
    EXPECT_EQ(serialFromVpdPage80(page(std::string("\0\x80\xff\xff", 4), "XY9")), "XY9");
    EXPECT_EQ(serialFromVpdPage80(page(std::string("\0\x83\0\x04", 4), "ABCD")), std::nullopt);  // another page
    EXPECT_EQ(serialFromVpdPage80(std::string("\0\x80", 2)), std::nullopt);
    EXPECT_EQ(serialFromVpdPage80(page(std::string("\0\x80\0\x04", 4), std::string("\0\0\0\0", 4))), std::nullopt);
    EXPECT_EQ(serialFromVpdPage80(page(std::string("\0\x80\0\x02", 4), "\x01\x02")), std::nullopt);
}

// The machine's own devices, whatever they are: the list is built without
// error, and nothing that stands for an image or memory is in it.
TEST(DriveFinderSmoke, RealEnumeration) {
    LibudevDeviceDatabase database;
    std::vector<MediaDictionary> media;
    EXPECT_EQ(FindMediaMain(media, database), 0);
    for (const MediaDictionary& m : media) {
        const std::string path = m.textOrEmpty(kDevicePath);
        EXPECT_EQ(path.rfind("/dev/", 0), 0u) << path;
        EXPECT_FALSE(isUnlistedDiskName(std::filesystem::path(path).filename())) << path;
        EXPECT_GT(m.number(kDeviceSize).value_or(0), 0) << path;
        EXPECT_TRUE(m.has(kIconName)) << path;
    }
    (void)database.hasUdevData();
}

// A real loop device with 4096-byte sectors and an ext2 partition: what
// libudev (and the file-system probe) report for it, fed through the finder
// as if it were a disk that is listed.
TEST(DriveFinderLoop, RealLoopDeviceWithPartition) {
    if (::geteuid() != 0) GTEST_SKIP() << "loop devices need root";
    if (std::system("command -v losetup >/dev/null && command -v partx >/dev/null && command -v mke2fs >/dev/null") != 0)
        GTEST_SKIP() << "losetup, partx or mke2fs missing";
    test::TempImage image(8 * 1048576);
    std::vector<uint8_t> mbr(512, 0);
    // One Linux partition from the 1 MiB point, 3 MiB long, in 4096-byte sectors.
    const uint8_t entry[16] = {0, 0, 0, 0, 0x83, 0, 0, 0, 0x00, 0x01, 0, 0, 0x00, 0x03, 0, 0};
    std::copy(std::begin(entry), std::end(entry), mbr.begin() + 446);
    mbr[510] = 0x55;
    mbr[511] = 0xAA;
    image.write(0, mbr);
    if (std::system(("mke2fs -q -t ext2 -F -E offset=1048576 " + image.path() + " 3072 >/dev/null 2>&1").c_str()) != 0)
        GTEST_SKIP() << "mke2fs failed";
    const std::string out = image.path() + ".loop";
    if (std::system(("losetup -f --show --sector-size 4096 " + image.path() + " >" + out + " 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "cannot create a loop device here";
    std::string loop;
    {
        std::ifstream in(out);
        std::getline(in, loop);
    }
    std::filesystem::remove(out);
    ASSERT_FALSE(loop.empty());
    // The new loop device can be busy for a moment.
    bool partitioned = false;
    for (int attempt = 0; attempt < 5 && !partitioned; ++attempt) {
        if (attempt) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        partitioned = std::system(("partx -a " + loop + " >/dev/null 2>&1").c_str()) == 0;
    }

    LibudevDeviceDatabase database;
    std::vector<BlockDevice> devices;
    std::string error;
    const bool enumerated = database.enumerate(devices, error);
    std::vector<MediaDictionary> listed;
    FindMediaMain(listed, database);

    std::system(("partx -d " + loop + " >/dev/null 2>&1; losetup -d " + loop).c_str());

    ASSERT_TRUE(enumerated) << error;
    const std::string name = std::filesystem::path(loop).filename();
    auto disk = std::find_if(devices.begin(), devices.end(), [&](const BlockDevice& b) { return b.device.sysname == name; });
    ASSERT_NE(disk, devices.end());
    for (const MediaDictionary& m : listed) EXPECT_NE(m.text(kDevicePath), loop);  // loop devices are not listed

    // The same records under a disk's name are described in full.
    std::vector<BlockDevice> renamed;
    for (BlockDevice b : devices) {
        const bool ours = b.device.sysname == name ||
                          (!b.ancestors.empty() && b.ancestors.front().sysname == name && b.device.devtype == "partition");
        if (!ours) continue;
        if (b.device.devtype == "partition") b.ancestors.front().sysname = "sdz";
        else b.device.sysname = "sdz";
        renamed.push_back(b);
    }
    MediaIterator iterator = renamed;
    std::vector<MediaDictionary> described;
    GetBSDPath(iterator, described);
    ASSERT_FALSE(described.empty());
    EXPECT_EQ(described[0].number(kPreferredBlockSize), 4096);
    EXPECT_EQ(described[0].number(kDeviceSize), 8 * 1048576);
    EXPECT_EQ(described[0].text(kDevicePath), loop);
    if (!partitioned) GTEST_SKIP() << "partx could not add the partition";
    if (!LibudevDeviceDatabase::canProbeFileSystems()) GTEST_SKIP() << "built without libblkid";
    ASSERT_EQ(described.size(), 2u);
    EXPECT_EQ(described[1].text(kDevicePath), loop + "p1");
    EXPECT_EQ(described[1].text(kFileSystem), "ext2");
    EXPECT_EQ(described[1].number(kDeviceSize), 3 * 1048576);
}

}  // namespace
}  // namespace pelorin
