#include "drives/LibudevDeviceDatabase.h"

#include <libudev.h>

#include <cstring>
#include <fstream>
#include <iterator>

#ifdef PELORIN_HAVE_BLKID
#include <blkid.h>
#endif

namespace pelorin {
namespace {

// The attributes that describe a medium or one of the devices above it. Only
// these are read: reading every attribute of a device can wake it or block.
constexpr const char* kBlockAttributes[] = {"size", "removable", "ro", "queue/logical_block_size", "partition",
                                            "serial"};
constexpr const char* kAncestorAttributes[] = {"vendor", "model",    "rev",     "serial",       "firmware_rev",
                                               "name",   "fwrev",    "type",    "manufacturer", "product",
                                               "removable", "idVendor", "idProduct"};

std::string orEmpty(const char* text) { return text ? std::string(text) : std::string(); }

std::string withoutTrailingNewlines(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

// Binary attributes (the SCSI unit serial number page starts with a zero
// byte) cannot go through libudev's text reader.
bool readRawAttribute(const std::string& syspath, const char* name, std::string& value) {
    std::ifstream file(syspath + "/" + name, std::ios::binary);
    if (!file) return false;
    value.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return !value.empty();
}

DeviceRecord recordOf(struct udev_device* device, bool isBlock) {
    DeviceRecord record;
    record.sysname = orEmpty(udev_device_get_sysname(device));
    record.subsystem = orEmpty(udev_device_get_subsystem(device));
    record.devtype = orEmpty(udev_device_get_devtype(device));
    record.driver = orEmpty(udev_device_get_driver(device));
    record.devnode = orEmpty(udev_device_get_devnode(device));
    struct udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_device_get_properties_list_entry(device)) {
        const char* name = udev_list_entry_get_name(entry);
        if (name) record.properties[name] = orEmpty(udev_list_entry_get_value(entry));
    }
    auto readAttribute = [&](const char* name) {
        if (const char* value = udev_device_get_sysattr_value(device, name))
            record.attributes[name] = withoutTrailingNewlines(value);
    };
    if (isBlock) {
        for (const char* name : kBlockAttributes) readAttribute(name);
    } else {
        for (const char* name : kAncestorAttributes) readAttribute(name);
        if (record.subsystem == "scsi") {
            std::string page;
            if (const char* syspath = udev_device_get_syspath(device);
                syspath && readRawAttribute(syspath, "vpd_pg80", page))
                record.attributes["vpd_pg80"] = page;
        }
    }
    return record;
}

// What udev's own blkid step would have recorded, for machines without a
// udev daemon. The probe opens the partition read-only.
void probeFileSystem(DeviceRecord& partition) {
#ifdef PELORIN_HAVE_BLKID
    if (partition.devnode.empty() || partition.property("ID_FS_TYPE")) return;
    blkid_probe probe = blkid_new_probe_from_filename(partition.devnode.c_str());
    if (!probe) return;
    blkid_probe_enable_superblocks(probe, 1);
    blkid_probe_set_superblocks_flags(probe, BLKID_SUBLKS_TYPE | BLKID_SUBLKS_USAGE);
    blkid_probe_enable_partitions(probe, 0);
    if (blkid_do_safeprobe(probe) == 0) {
        const char* value = nullptr;
        if (blkid_probe_lookup_value(probe, "TYPE", &value, nullptr) == 0 && value)
            partition.properties["ID_FS_TYPE"] = value;
        if (blkid_probe_lookup_value(probe, "USAGE", &value, nullptr) == 0 && value)
            partition.properties["ID_FS_USAGE"] = value;
    }
    blkid_free_probe(probe);
#else
    (void)partition;
#endif
}

}  // namespace

LibudevDeviceDatabase::LibudevDeviceDatabase() : udev_(udev_new()) {}

LibudevDeviceDatabase::~LibudevDeviceDatabase() {
    if (udev_) udev_unref(udev_);
}

bool LibudevDeviceDatabase::canProbeFileSystems() {
#ifdef PELORIN_HAVE_BLKID
    return true;
#else
    return false;
#endif
}

bool LibudevDeviceDatabase::hasUdevData() const {
    if (!udev_) return false;
    struct udev_queue* queue = udev_queue_new(udev_);
    if (!queue) return false;
    const bool active = udev_queue_get_udev_is_active(queue) != 0;
    udev_queue_unref(queue);
    return active;
}

bool LibudevDeviceDatabase::enumerate(std::vector<BlockDevice>& devices, std::string& error) {
    devices.clear();
    if (!udev_) {
        error = "libudev could not be initialised";
        return false;
    }
    struct udev_enumerate* enumeration = udev_enumerate_new(udev_);
    if (!enumeration) {
        error = "libudev could not start an enumeration";
        return false;
    }
    udev_enumerate_add_match_subsystem(enumeration, "block");
    if (int result = udev_enumerate_scan_devices(enumeration); result < 0) {
        error = std::string("scanning the block devices failed: ") + std::strerror(-result);
        udev_enumerate_unref(enumeration);
        return false;
    }
    struct udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumeration)) {
        const char* syspath = udev_list_entry_get_name(entry);
        struct udev_device* device = syspath ? udev_device_new_from_syspath(udev_, syspath) : nullptr;
        if (!device) continue;  // gone since the scan
        const std::string devtype = orEmpty(udev_device_get_devtype(device));
        if (devtype == "disk" || devtype == "partition") {
            BlockDevice block;
            block.device = recordOf(device, true);
            if (devtype == "partition") probeFileSystem(block.device);
            // Parents belong to their child; they are not released here.
            for (struct udev_device* parent = udev_device_get_parent(device); parent;
                 parent = udev_device_get_parent(parent))
                block.ancestors.push_back(recordOf(parent, orEmpty(udev_device_get_subsystem(parent)) == "block"));
            devices.push_back(std::move(block));
        }
        udev_device_unref(device);
    }
    udev_enumerate_unref(enumeration);
    return true;
}

}  // namespace pelorin
