#pragma once
// Block devices as libudev reports them on real machines, recorded for tests:
// the device, its chain of parents, udev properties and sysfs attributes.
// `udev` false gives what a machine without a udev daemon sees: only the
// kernel's own properties.

#include <cctype>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "drives/DeviceDatabase.h"

namespace pelorin::test {

inline DeviceRecord record(std::string sysname, std::string subsystem, std::string devtype = {},
                           std::map<std::string, std::string> attributes = {},
                           std::map<std::string, std::string> properties = {}) {
    DeviceRecord r;
    r.sysname = std::move(sysname);
    r.subsystem = std::move(subsystem);
    r.devtype = std::move(devtype);
    r.attributes = std::move(attributes);
    r.properties = std::move(properties);
    if (r.subsystem == "block") r.devnode = "/dev/" + r.sysname;
    return r;
}

// A whole disk of `sectors` 512-byte units.
inline DeviceRecord diskRecord(const std::string& name, uint64_t sectors, unsigned logicalBlock = 512,
                               bool removable = false, std::map<std::string, std::string> properties = {}) {
    properties["DEVTYPE"] = "disk";
    return record(name, "block", "disk",
                  {{"size", std::to_string(sectors)},
                   {"queue/logical_block_size", std::to_string(logicalBlock)},
                   {"removable", removable ? "1" : "0"},
                   {"ro", "0"}},
                  std::move(properties));
}

inline std::map<std::string, std::string> onlyKernelProperties(const std::map<std::string, std::string>& all) {
    std::map<std::string, std::string> kept;
    for (const auto& [key, value] : all)
        if (key.rfind("ID_", 0) != 0) kept[key] = value;
    return kept;
}

inline BlockDevice wholeDisk(DeviceRecord disk, std::vector<DeviceRecord> above, bool udev) {
    if (!udev) disk.properties = onlyKernelProperties(disk.properties);
    return {std::move(disk), std::move(above)};
}

// A partition of `disk` (which must be the BlockDevice of the whole disk).
inline BlockDevice partitionOf(const BlockDevice& disk, unsigned number, uint64_t sectors, std::string fsType,
                               bool udev, std::string usage = "filesystem") {
    const std::string separator =
        std::isdigit(static_cast<unsigned char>(disk.device.sysname.back())) ? "p" : "";
    std::map<std::string, std::string> properties{{"DEVTYPE", "partition"}, {"PARTN", std::to_string(number)}};
    if (udev) {
        for (const auto& [key, value] : disk.device.properties)
            if (key.rfind("ID_", 0) == 0) properties[key] = value;  // udev copies the disk's identity
        if (!fsType.empty()) {
            properties["ID_FS_TYPE"] = fsType;
            properties["ID_FS_USAGE"] = usage;
        }
    }
    BlockDevice partition;
    partition.device = record(disk.device.sysname + separator + std::to_string(number), "block", "partition",
                              {{"size", std::to_string(sectors)}, {"partition", std::to_string(number)}},
                              std::move(properties));
    partition.ancestors.push_back(disk.device);
    partition.ancestors.insert(partition.ancestors.end(), disk.ancestors.begin(), disk.ancestors.end());
    return partition;
}

inline std::vector<DeviceRecord> usbChain(const std::string& scsiAddress, std::string vendor, std::string model,
                                          std::string rev, std::string product, std::string serial) {
    return {record(scsiAddress, "scsi", "scsi_device",
                   {{"vendor", std::move(vendor)}, {"model", std::move(model)}, {"rev", std::move(rev)}}),
            record("target6:0:0", "scsi", "scsi_target"), record("host6", "scsi", "scsi_host"),
            record("2-1:1.0", "usb", "usb_interface"),
            record("2-1", "usb", "usb_device",
                   {{"manufacturer", "Generic"}, {"product", std::move(product)}, {"serial", std::move(serial)}}),
            record("usb2", "usb", "usb_device"), record("0000:00:14.0", "pci")};
}

// A USB card reader with a 16 GB SD card in it, one FAT partition.
inline std::vector<BlockDevice> usbCardReaderWithSdCard(bool udev, const std::string& name = "sdb") {
    BlockDevice disk = wholeDisk(
        diskRecord(name, 31116288, 512, true,
                   {{"ID_BUS", "usb"}, {"ID_VENDOR", "Generic-"}, {"ID_VENDOR_ENC", "Generic-"},
                    {"ID_MODEL", "SD_MMC"}, {"ID_MODEL_ENC", "SD\\x2fMMC\\x20\\x20\\x20\\x20\\x20\\x20\\x20\\x20\\x20\\x20"},
                    {"ID_REVISION", "1.00"}, {"ID_SERIAL_SHORT", "000000001536"}, {"ID_DRIVE_FLASH_SD", "1"}}),
        usbChain("6:0:0:0", "Generic-", "SD/MMC          ", "1.00", "USB3.0 Card Reader", "000000001536"), udev);
    return {disk, partitionOf(disk, 1, 31114240, "vfat", udev)};
}

// A USB stick: one FAT partition, one partition without a file system.
inline std::vector<BlockDevice> usbStick(bool udev, const std::string& name = "sdc") {
    BlockDevice disk = wholeDisk(
        diskRecord(name, 15633408, 512, true,
                   {{"ID_BUS", "usb"}, {"ID_VENDOR", "SanDisk"}, {"ID_VENDOR_ENC", "SanDisk\\x20"},
                    {"ID_MODEL", "Cruzer_Blade"}, {"ID_MODEL_ENC", "Cruzer\\x20Blade\\x20\\x20\\x20\\x20"},
                    {"ID_REVISION", "1.00"}, {"ID_SERIAL_SHORT", "4C530001230918116283"}}),
        usbChain("7:0:0:0", "SanDisk ", "Cruzer Blade    ", "1.00", "Cruzer Blade", "4C530001230918116283"), udev);
    return {disk, partitionOf(disk, 1, 8388608, "vfat", udev), partitionOf(disk, 2, 7000000, "", udev)};
}

// A SATA SSD: EFI partition, ext4 root, swap.
inline std::vector<BlockDevice> sataDisk(bool udev, const std::string& name = "sda") {
    std::string vpd("\x00\x80\x00\x14", 4);
    vpd += "S3Z9NB0K123456A     ";
    std::vector<DeviceRecord> above{
        record("0:0:0:0", "scsi", "scsi_device",
               {{"vendor", "ATA     "}, {"model", "Samsung SSD 860 "}, {"rev", "2B6Q"}, {"vpd_pg80", vpd}}),
        record("target0:0:0", "scsi", "scsi_target"), record("host0", "scsi", "scsi_host"), record("ata1", ""),
        record("0000:00:17.0", "pci")};
    BlockDevice disk = wholeDisk(
        diskRecord(name, 976773168, 512, false,
                   {{"ID_BUS", "ata"}, {"ID_ATA", "1"}, {"ID_MODEL", "Samsung_SSD_860_EVO_500GB"},
                    {"ID_MODEL_ENC", "Samsung\\x20SSD\\x20860\\x20EVO\\x20500GB\\x20\\x20\\x20\\x20"},
                    {"ID_SERIAL_SHORT", "S3Z9NB0K123456A"}, {"ID_REVISION", "RVT02B6Q"}}),
        above, udev);
    return {disk, partitionOf(disk, 1, 1048576, "vfat", udev), partitionOf(disk, 2, 900000000, "ext4", udev),
            partitionOf(disk, 3, 16777216, "swap", udev, "other")};
}

// An NVMe disk with 4096-byte logical blocks; its identity lives on the controller.
inline std::vector<BlockDevice> nvmeDisk(bool udev, const std::string& name = "nvme0n1") {
    BlockDevice disk = wholeDisk(
        diskRecord(name, 1953525168, 4096, false, {{"ID_MODEL", "Samsung SSD 970 EVO Plus 1TB"},
                                                   {"ID_SERIAL_SHORT", "S4EWNX0R123456"}}),
        {record("nvme0", "nvme", "",
                {{"model", "Samsung SSD 970 EVO Plus 1TB            "},
                 {"serial", "S4EWNX0R123456      "},
                 {"firmware_rev", "2B2QEXM7"}}),
         record("0000:01:00.0", "pci")},
        udev);
    return {disk, partitionOf(disk, 1, 1953523120, "ext4", udev)};
}

// A soldered eMMC with its boot areas, and one ext4 partition.
inline std::vector<BlockDevice> emmc(bool udev) {
    std::vector<DeviceRecord> above{
        record("mmc0:0001", "mmc", "", {{"name", "DA4064"}, {"serial", "0x1b2c3d4e"}, {"fwrev", "0x0"}, {"type", "MMC"}}),
        record("mmc0", "mmc_host"), record("fe330000.mmc", "platform")};
    BlockDevice disk = wholeDisk(diskRecord("mmcblk0", 122142720, 512, false, {{"ID_NAME", "DA4064"}}), above, udev);
    return {disk, wholeDisk(diskRecord("mmcblk0boot0", 8192), above, udev),
            wholeDisk(diskRecord("mmcblk0boot1", 8192), above, udev), partitionOf(disk, 1, 122140672, "ext4", udev)};
}

// An SD card in the machine's own slot.
inline std::vector<BlockDevice> sdCardInSlot(bool udev) {
    BlockDevice disk =
        wholeDisk(diskRecord("mmcblk1", 62333952),
                  {record("mmc1:aaaa", "mmc", "", {{"name", "SD64G"}, {"serial", "0x9f8e7d6c"}, {"fwrev", "0x0"},
                                                   {"type", "SD"}}),
                   record("mmc1", "mmc_host")},
                  udev);
    return {disk, partitionOf(disk, 1, 62331904, "exfat", udev)};
}

// Devices that stand for images or memory, and an empty card reader slot.
inline std::vector<BlockDevice> unlistedDevices(bool udev) {
    BlockDevice loop = wholeDisk(diskRecord("loop0", 204800), {}, udev);
    BlockDevice emptyReader = wholeDisk(diskRecord("sdd", 0, 512, true, {{"ID_BUS", "usb"}}),
                                        usbChain("8:0:0:0", "Generic-", "MS/MS-Pro       ", "1.00", "Reader", "1"),
                                        udev);
    return {loop, partitionOf(loop, 1, 200000, "ext2", udev), wholeDisk(diskRecord("zram0", 8388608), {}, udev),
            wholeDisk(diskRecord("ram0", 8192), {}, udev), emptyReader};
}

// The whole recorded machine.
inline std::vector<BlockDevice> recordedMachine(bool udev) {
    std::vector<BlockDevice> all;
    for (auto part : {unlistedDevices(udev), usbStick(udev), sataDisk(udev), usbCardReaderWithSdCard(udev),
                      nvmeDisk(udev), emmc(udev), sdCardInSlot(udev)})
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

}  // namespace pelorin::test
