#pragma once
// Finds the storage media that can be scanned and describes each one by a
// media dictionary: whole disks, and partitions that carry a file system
// (volumes). Loop, RAM and zram devices play the part of disk images and are
// left out, as are disks without a medium (an empty card reader).

#include <optional>
#include <string>
#include <vector>

#include "drives/DeviceDatabase.h"
#include "drives/MediaDictionary.h"

namespace pelorin {

// The enumerated block devices, handed from FindMedia to GetBSDPath.
using MediaIterator = std::vector<BlockDevice>;

// Enumerates (FindMedia) and describes every medium (GetBSDPath), appending
// the dictionaries to `media`. Returns 0, or the enumeration's error code.
int FindMediaMain(std::vector<MediaDictionary>& media, DeviceDatabase& database);
// The same on the machine's own device database.
int FindMediaMain(std::vector<MediaDictionary>& media);

// Every block device of the database into `iterator`. On a failure it prints
// the reason on standard error and returns a non-zero code.
int FindMedia(DeviceDatabase& database, MediaIterator& iterator);

// Describes the media of `iterator` into `media`: each whole disk followed by
// its volumes. Returns 0 once a device path has been given, else 5.
int GetBSDPath(const MediaIterator& iterator, std::vector<MediaDictionary>& media);

// One block device's dictionary, or nothing when it is not listed. `disk` is
// the whole disk a partition belongs to (the partition's first ancestor).
std::optional<MediaDictionary> describeMedium(const BlockDevice& device);

// Whether a whole disk of this name stands for a disk image or memory
// (loop, ram, zram) or a hardware area of an eMMC (boot, rpmb): never listed.
bool isUnlistedDiskName(const std::string& sysname);

// "Samsung\x20SSD" -> "Samsung SSD": the escaping udev uses in its *_ENC properties.
std::string decodeUdevText(const std::string& encoded);

// The serial number in a SCSI unit serial number page (VPD page 0x80), or
// nothing when the page is malformed.
std::optional<std::string> serialFromVpdPage80(const std::string& page);

}  // namespace pelorin
