#pragma once
// Block devices as libudev reports them on real machines, recorded for tests:
// one table of disks with their parents, udev properties, sysfs attributes
// and partitions. `udev` false gives what a machine without a udev daemon
// sees: only the kernel's own properties, none of udev's ID_* ones.

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "app/Texts.h"
#include "drives/DriveList.h"

namespace pelorin::test {

using Props = std::map<std::string, std::string>;

inline DeviceRecord record(std::string sysname, std::string subsystem, std::string devtype = {}, Props attributes = {},
                           Props properties = {}) {
    const std::string devnode = subsystem == "block" ? "/dev/" + sysname : "";
    return {std::move(sysname), std::move(subsystem), std::move(devtype), "", devnode, properties, attributes};
}

// The SCSI device and the USB device above a USB disk.
inline std::vector<DeviceRecord> usbChain(std::string vendor, std::string model, std::string product, std::string serial) {
    return {record("6:0:0:0", "scsi", "scsi_device", {{"vendor", vendor}, {"model", model}, {"rev", "1.00"}}),
            record("2-1", "usb", "usb_device", {{"manufacturer", "Generic"}, {"product", product}, {"serial", serial}})};
}

struct RecordedPartition {
    unsigned number;
    uint64_t sectors;
    std::string fsType;                   // empty: no file system found
    std::string usage = "filesystem";     // ID_FS_USAGE; empty: none recorded
};

struct RecordedDisk {
    std::string kind, name;
    uint64_t sectors;  // 512-byte units, as sysfs counts
    unsigned logicalBlock;
    bool removable;
    Props udev;  // the disk's ID_* properties
    std::vector<DeviceRecord> above;
    std::vector<RecordedPartition> partitions;
};

inline const std::vector<RecordedDisk>& recordedDisks() {
    std::string vpd = std::string("\x00\x80\x00\x14", 4) + "S3Z9NB0K123456A     ";
    static const std::vector<RecordedDisk> disks{
        {"USB card reader with an SD card", "sdb", 31116288, 512, true,
         {{"ID_BUS", "usb"}, {"ID_VENDOR", "Generic-"}, {"ID_MODEL_ENC", "SD\\x2fMMC\\x20\\x20\\x20"},
          {"ID_REVISION", "1.00"}, {"ID_SERIAL_SHORT", "000000001536"}, {"ID_DRIVE_FLASH_SD", "1"}},
         usbChain("Generic-", "SD/MMC          ", "USB3.0 Card Reader", "000000001536"), {{1, 31114240, "vfat"}}},
        {"USB stick with partitions with and without file systems", "sdc", 15633408, 512, true,
         {{"ID_BUS", "usb"}, {"ID_VENDOR_ENC", "SanDisk\\x20"}, {"ID_MODEL_ENC", "Cruzer\\x20Blade\\x20\\x20"},
          {"ID_REVISION", "1.00"}, {"ID_SERIAL_SHORT", "4C530001230918116283"}},
         usbChain("SanDisk ", "Cruzer Blade    ", "Cruzer Blade", "4C530001230918116283"),
         {{1, 8388608, "vfat"}, {2, 7000000, ""}, {3, 1000, "crypto_LUKS", "crypto"}, {4, 1000, "LVM2_member", "raid"},
          {5, 1000, "ext4", ""}, {6, 1000, "swap", ""}}},
        {"SATA disk", "sda", 976773168, 512, false,
         {{"ID_BUS", "ata"}, {"ID_MODEL_ENC", "Samsung\\x20SSD\\x20860\\x20EVO\\x20500GB\\x20\\x20\\x20\\x20"},
          {"ID_SERIAL_SHORT", "S3Z9NB0K123456A"}, {"ID_REVISION", "RVT02B6Q"}},
         {record("0:0:0:0", "scsi", "scsi_device",
                 {{"vendor", "ATA     "}, {"model", "Samsung SSD 860 "}, {"rev", "2B6Q"}, {"vpd_pg80", vpd}})},
         {{1, 1048576, "vfat"}, {2, 900000000, "ext4"}, {3, 16777216, "swap", "other"}}},
        {"NVMe disk", "nvme0n1", 1953525168, 4096, false,
         {{"ID_MODEL", "Samsung SSD 970 EVO Plus 1TB"}, {"ID_SERIAL_SHORT", "S4EWNX0R123456"}},
         {record("nvme0", "nvme", "",
                 {{"model", "Samsung SSD 970 EVO Plus 1TB            "}, {"serial", "S4EWNX0R123456      "},
                  {"firmware_rev", "2B2QEXM7"}})},
         {{1, 1953523120, "ext4"}}},
        {"eMMC", "mmcblk0", 122142720, 512, false, {{"ID_NAME", "DA4064"}},
         {record("mmc0:0001", "mmc", "", {{"name", "DA4064"}, {"serial", "0x1b2c3d4e"}, {"fwrev", "0x0"}, {"type", "MMC"}}),
          record("mmc0", "mmc_host")}, {{1, 122140672, "ext4"}}},
        {"SD card in a slot", "mmcblk1", 62333952, 512, false, {},
         {record("mmc1:aaaa", "mmc", "", {{"name", "SD64G"}, {"serial", "0x9f8e7d6c"}, {"type", "SD"}})},
         {{1, 62331904, "exfat"}}},
        {"FireWire disk", "sdf", 2000000, 512, false, {},
         {record("10:0:0:0", "scsi", "scsi_device", {{"vendor", "ATA     "}, {"model", "WDC WD10EZEX"}}),
          record("fw1", "firewire")}, {}},
        {"loop device", "loop0", 204800, 512, false, {}, {}, {{1, 200000, "ext2"}}},
        {"empty card reader", "sdd", 0, 512, true, {{"ID_BUS", "usb"}},
         usbChain("Generic-", "MS/MS-Pro       ", "Reader", "1"), {}},
    };
    return disks;
}

// The devices of the recorded disks whose kinds start with one of `kinds` (all
// when none is given); a single disk goes by `name` when one is given.
inline std::vector<BlockDevice> recorded(std::vector<std::string> kinds = {}, bool udev = true, std::string name = {}) {
    std::vector<BlockDevice> devices;
    for (const RecordedDisk& d : recordedDisks()) {
        if (!kinds.empty() && std::none_of(kinds.begin(), kinds.end(), [&](auto& k) { return d.kind.rfind(k, 0) == 0; }))
            continue;
        const std::string disk = name.empty() ? d.name : name;
        Props properties = udev ? d.udev : Props{};
        properties["DEVTYPE"] = "disk";
        const DeviceRecord whole = record(disk, "block", "disk",
                                          {{"size", std::to_string(d.sectors)}, {"removable", d.removable ? "1" : "0"},
                                           {"queue/logical_block_size", std::to_string(d.logicalBlock)}},
                                          properties);
        devices.push_back({whole, d.above});
        for (const RecordedPartition& p : d.partitions) {
            const std::string n = std::to_string(p.number);
            properties["DEVTYPE"] = "partition";  // udev copies the disk's identity
            properties["PARTN"] = n;
            if (udev && !p.fsType.empty()) properties["ID_FS_TYPE"] = p.fsType;
            if (udev && !p.fsType.empty() && !p.usage.empty()) properties["ID_FS_USAGE"] = p.usage;
            devices.push_back({record(disk + (std::isdigit(disk.back()) ? "p" : "") + n, "block", "partition",
                                      {{"size", std::to_string(p.sectors)}, {"partition", n}}, properties), {whole}});
            devices.back().ancestors.insert(devices.back().ancestors.end(), d.above.begin(), d.above.end());
            properties.erase("ID_FS_TYPE");
            properties.erase("ID_FS_USAGE");
        }
    }
    return devices;
}

// Recorded disks, each under the name given.
inline std::vector<BlockDevice> recordedAs(std::vector<std::pair<std::string, std::string>> disks) {
    std::vector<BlockDevice> devices;
    for (const auto& [kind, name] : disks)
        for (BlockDevice& device : recorded({kind}, true, name)) devices.push_back(std::move(device));
    return devices;
}

// A drive list over recorded devices, and what it shows.
struct RecordingView final : DriveListView {
    void reloadDriveTable() override { ++reloads; }
    void setNextEnabled(bool enabled) override { nextEnabled = enabled; }
    void showChosenDrive(const ChosenDrive& drive) override { description = texts::chosenDriveDescription(drive.name, drive.serial, drive.sizeInBytes); }
    void showNoDriveChosen() override { description = texts::kSelectDrivePrompt; }
    ShownPage shownPage() const override { return page; }
    void rematchOpenedScanInfoDrive() override { ++rematches; }

    ShownPage page = ShownPage::DriveList;
    bool nextEnabled = false;
    std::string description;
    int reloads = 0, rematches = 0;
};

struct RecordedDriveList {
    explicit RecordedDriveList(std::vector<BlockDevice> devices, bool udev = true) : database(std::move(devices), udev) {
        list.initialDriveList();
    }
    RecordedDeviceDatabase database;
    RecordingView view;
    DriveList list{database, view};
};

// Attaches an image to a free loop device ("" when that cannot be done here).
inline std::string attachLoop(const std::string& image, const std::string& options = {}) {
    const std::string out = image + ".loop";
    std::string loop;
    if (std::system(("losetup -f --show " + options + " " + image + " >" + out + " 2>/dev/null").c_str()) == 0)
        std::getline(std::ifstream(out), loop);
    std::remove(out.c_str());
    return loop;
}

}  // namespace pelorin::test
