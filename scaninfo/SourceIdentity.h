#pragma once
// What a scan-info file records about the scanned source, and how it is
// found for a source given by path.

#include <string>

namespace pelorin {

// The model a disk image's identity gives.
inline constexpr const char* kDiskImageModel = "Disk image";

struct DriveIdentity {
    std::string displayName;
    std::string model;
    std::string serial;
    std::string revision;
};

// For a disk image: its file name, "Disk image", "-", "-". For a block
// device: model, vendor, revision and serial from sysfs or udev's records,
// "-" where the system has none. The drive-discovery layer replaces this
// once it knows the attached drives.
DriveIdentity sourceIdentity(const std::string& path);

}  // namespace pelorin
