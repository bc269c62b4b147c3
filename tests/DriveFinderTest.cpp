#include "drives/DriveFinder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <thread>

#include "drives/DriveWatcher.h"
#include "drives/LibudevDeviceDatabase.h"
#include "support/RecordedDevices.h"
#include "support/TestSupport.h"

namespace pelorin {
namespace {

using namespace mediakey;
using Paths = std::vector<std::string>;

Paths paths(const std::vector<MediaDictionary>& media) {
    Paths result;
    for (const auto& m : media) result.push_back(m.textOrEmpty(kDevicePath));
    return result;
}

TEST(DriveFinder, DisksEachFollowedByItsVolumesAndTheirDictionaries) {
    // Left out: loop0 and its partition, the empty reader sdd, the swap
    // partition sda3, sdc's partitions without a file system or holding a container, and
    // without udev's data every volume.
    const Paths listed[] = {
        {"/dev/mmcblk0", "/dev/mmcblk1", "/dev/nvme0n1", "/dev/sda", "/dev/sdb", "/dev/sdc", "/dev/sdf"},
        {"/dev/mmcblk0", "/dev/mmcblk0p1", "/dev/mmcblk1", "/dev/mmcblk1p1", "/dev/nvme0n1", "/dev/nvme0n1p1", "/dev/sda",
         "/dev/sda1", "/dev/sda2", "/dev/sdb", "/dev/sdb1", "/dev/sdc", "/dev/sdc1", "/dev/sdc5", "/dev/sdf"}};
    using Fields = std::vector<std::pair<std::string_view, std::optional<std::string>>>;
    const auto none = std::nullopt;
    struct Case {
        std::string path;
        std::vector<bool> udev;
        Fields fields;
    } cases[] = {
        {"/dev/sdb", {true, false},
         {{kWhetherUSB, "1"}, {kWhetherSATA, none}, {kWhetherVolume, none}, {kVendorIdentification, "Generic-"},
          {kProductIdentification, "SD/MMC"}, {kProductRevisionLevel, "1.00"}, {kDeviceSerial, "000000001536"},
          {kDeviceModel, none}, {kPreferredBlockSize, "512"}, {kDeviceSize, "15931539456"}, {kIconName, "media-flash"}}},
        // The INQUIRY padding is no part of the names.
        {"/dev/sdc", {true},
         {{kVendorIdentification, "SanDisk"}, {kProductIdentification, "Cruzer Blade"}, {kIconName, "drive-removable-media"}}},
        // A volume carries its drive's bus, but no block size; 4 GiB of it.
        {"/dev/sdc1", {true}, {{kWhetherVolume, "1"}, {kFileSystem, "vfat"}, {kWhetherUSB, "1"}, {kPreferredBlockSize, none},
                               {kDeviceSize, "4294967296"}}},
        // A SATA disk is identified by model and serial; the model is trimmed later, by the list.
        {"/dev/sda", {true},
         {{kWhetherSATA, "1"}, {kWhetherUSB, none}, {kVendorIdentification, none}, {kDeviceSerial, "S3Z9NB0K123456A"},
          {kDeviceModel, "Samsung SSD 860 EVO 500GB    "}, {kDeviceRevision, "RVT02B6Q"}, {kIconName, "drive-harddisk"}}},
        // Without udev: the SCSI layer's short model, the serial from the unit serial number page.
        {"/dev/sda", {false}, {{kWhetherSATA, "1"}, {kDeviceModel, "Samsung SSD 860 "}, {kDeviceRevision, "2B6Q"},
                               {kDeviceSerial, "S3Z9NB0K123456A"}}},
        // Identity from the controller; sysfs counts 512-byte units whatever the block size.
        {"/dev/nvme0n1", {false},
         {{kWhetherSATA, none}, {kWhetherUSB, none}, {kDeviceModel, "Samsung SSD 970 EVO Plus 1TB            "},
          {kDeviceSerial, "S4EWNX0R123456      "}, {kDeviceRevision, "2B2QEXM7"}, {kPreferredBlockSize, "4096"},
          {kDeviceSize, "1000204886016"}}},
        {"/dev/mmcblk0", {false}, {{kDeviceModel, "DA4064"}, {kDeviceSerial, "0x1b2c3d4e"}, {kDeviceRevision, "0x0"},
                                   {kIconName, "drive-harddisk"}}},
        {"/dev/mmcblk1", {true}, {{kDeviceModel, "SD64G"}, {kIconName, "media-flash"}}},
        {"/dev/sdf", {false}, {{kWhetherUSB, "1"}, {kWhetherSATA, none}, {kVendorIdentification, "ATA"}}},
    };
    for (bool udev : {false, true}) {
        RecordedDeviceDatabase database(test::recorded({}, udev), udev);
        std::vector<MediaDictionary> media;
        EXPECT_EQ(FindMediaMain(media, database), 0);
        EXPECT_EQ(paths(media), listed[udev]);
        for (const Case& c : cases) {
            if (std::find(c.udev.begin(), c.udev.end(), udev) == c.udev.end()) continue;
            SCOPED_TRACE(c.path + (udev ? " with udev" : " sysfs only"));
            auto found = std::find_if(media.begin(), media.end(), [&](auto& m) { return m.text(kDevicePath) == c.path; });
            ASSERT_NE(found, media.end());
            for (const auto& [key, value] : c.fields) EXPECT_EQ(found->text(key), value) << key;
        }
    }
    // Nothing listable: no device path is built.
    std::vector<MediaDictionary> media;
    EXPECT_EQ(GetBSDPath(test::recorded({"loop", "empty"}), media), 5);  // no path built
    EXPECT_TRUE(media.empty());
}

TEST(DriveFinder, NameAndTextHelpers) {
    for (const char* name : {"loop12", "ram15", "zram0", "mmcblk0boot0", "mmcblk0rpmb"}) EXPECT_TRUE(isUnlistedDiskName(name)) << name;
    for (const char* name : {"mmcblk10", "nvme0n1", "loopy", "ramdisk"}) EXPECT_FALSE(isUnlistedDiskName(name)) << name;
    // Normal texts and pages show in the recorded disks above; here, broken ones.
    EXPECT_EQ(decodeUdevText("cut\\x2"), "cut\\x2");
    using S = std::string;
    EXPECT_EQ(serialFromVpdPage80(S("\0\x80\xff\xff", 4) + "XY9"), "XY9");  // the length claims more than the page holds
    EXPECT_FALSE(serialFromVpdPage80(S("\0\x83\0\x04", 4) + "ABCD"));    // another page
    EXPECT_FALSE(serialFromVpdPage80(S("\0\x80", 2)));
}

// The machine's own devices, whatever they are: the list is built without error and
// holds no image or memory. A loop device with 4096-byte sectors, where one can be made,
// is described from the system's data once it goes by a disk's name, and the machine's
// own monitor, where one opens, has the list rebuilt for it and stops promptly.
TEST(DriveSmoke, RealEnumerationAndMonitor) {
    std::string error;
    auto source = openSystemDeviceEventSource(error);
    auto watcher = source ? std::make_unique<DriveWatcher>(std::move(source), [] {}, std::chrono::milliseconds(50)) : nullptr;
    if (watcher) watcher->LaunchThread();
    test::TempImage image(8 * 1048576);
    const std::string loop = test::attachLoop(image.path(), "--sector-size 4096");
    const std::shared_ptr<void> detach(nullptr, [&](void*) {
        if (!loop.empty()) std::system(("losetup -d " + loop).c_str());
    });
    LibudevDeviceDatabase database;
    MediaIterator devices, renamed;
    ASSERT_TRUE(database.enumerate(devices, error)) << error;
    std::vector<MediaDictionary> media, described;
    GetBSDPath(devices, media);
    for (const MediaDictionary& m : media) {
        const std::string path = m.textOrEmpty(kDevicePath);
        EXPECT_EQ(path.rfind("/dev/", 0), 0u) << path;
        EXPECT_FALSE(isUnlistedDiskName(std::filesystem::path(path).filename())) << path;
        EXPECT_TRUE(m.number(kDeviceSize).value_or(0) > 0 && m.has(kIconName)) << path;
    }
    for (BlockDevice b : devices)
        if (!loop.empty() && b.device.sysname == std::filesystem::path(loop).filename())
            b.device.sysname = "sdz", renamed.push_back(b);
    GetBSDPath(renamed, described);
    EXPECT_EQ(described.size(), loop.empty() ? 0u : 1u);
    for (const MediaDictionary& d : described)
        EXPECT_EQ(std::tuple(d.number(kPreferredBlockSize), d.number(kDeviceSize)), std::tuple(4096, 8 * 1048576));
    if (!watcher) return;
    for (int i = 0; i < 2000 && !loop.empty() && !watcher->refreshCount(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(loop.empty() || watcher->refreshCount() > 0);
    const auto start = std::chrono::steady_clock::now();
    watcher->stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

}  // namespace
}  // namespace pelorin
