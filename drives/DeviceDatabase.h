#pragma once
// What the drive finder needs of the system's device database: the block
// devices (whole disks and partitions), each with the chain of devices above
// it, their udev properties and the sysfs attributes that describe them.
// libudev serves the real machine; tests feed recorded devices.

#include <map>
#include <string>
#include <vector>

namespace pelorin {

// One device of the tree as the database knows it.
struct DeviceRecord {
    std::string sysname;    // "sdb", "sdb1", "nvme0", "mmc0:0001", "1-2"
    std::string subsystem;  // "block", "scsi", "usb", "nvme", "mmc", "virtio", "firewire", ...
    std::string devtype;    // "disk", "partition", "scsi_device", "usb_device", ...
    std::string driver;     // "sd", "usb-storage", "mmcblk", ...
    std::string devnode;    // "/dev/sdb" for block devices, empty for most others
    // udev properties (ID_BUS, ID_MODEL_ENC, ID_SERIAL_SHORT, ID_FS_TYPE, ...).
    // Without a udev daemon only the kernel's own ones (DEVTYPE, PARTN, ...) are here.
    std::map<std::string, std::string> properties;
    // sysfs attributes, trailing newlines removed ("size", "vendor", "model",
    // "queue/logical_block_size", "vpd_pg80" as raw bytes, ...).
    std::map<std::string, std::string> attributes;

    const std::string* property(const std::string& key) const {
        auto it = properties.find(key);
        return it == properties.end() ? nullptr : &it->second;
    }
    const std::string* attribute(const std::string& key) const {
        auto it = attributes.find(key);
        return it == attributes.end() ? nullptr : &it->second;
    }
};

// A block device with its ancestors, nearest first: a partition's first
// ancestor is its whole disk; a USB disk's chain passes a "scsi"
// "scsi_device" and later a "usb" "usb_device".
struct BlockDevice {
    DeviceRecord device;
    std::vector<DeviceRecord> ancestors;
};

class DeviceDatabase {
public:
    virtual ~DeviceDatabase() = default;
    // Every block device of type "disk" or "partition". False with a reason
    // when the database cannot be read at all.
    virtual bool enumerate(std::vector<BlockDevice>& devices, std::string& error) = 0;
    // Whether a udev daemon keeps the property database (model, serial, bus,
    // file system). Without one the descriptions rest on sysfs alone.
    virtual bool hasUdevData() const = 0;
};

// A database of devices recorded beforehand.
class RecordedDeviceDatabase final : public DeviceDatabase {
public:
    explicit RecordedDeviceDatabase(std::vector<BlockDevice> devices = {}, bool udevData = true)
        : devices(std::move(devices)), udevData(udevData) {}

    bool enumerate(std::vector<BlockDevice>& out, std::string& error) override {
        if (failure.empty()) {
            out = devices;
            return true;
        }
        error = failure;
        return false;
    }
    bool hasUdevData() const override { return udevData; }

    std::vector<BlockDevice> devices;
    bool udevData;
    std::string failure;  // when set, enumerate fails with it
};

}  // namespace pelorin
