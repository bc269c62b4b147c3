#pragma once
// Finding the drive of a saved scan again among the drives attached now: by
// its identity strings, sector size and size when the file is opened, and by
// its first five sectors too when the attached drives change later.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "drives/MediaDictionary.h"
#include "engine/Prompts.h"

namespace pelorin {

// What a scan-info file says of its drive.
struct ScanInfoDriveIdentity {
    std::string name;
    std::string serial;
    std::string model;
    std::string revision;
    uint32_t sectorSize = 512;
    uint64_t sizeInBytes = 0;
    std::vector<uint8_t> firstSectors;
};

// One attached drive's identity, in the drive list's order.
struct AttachedDriveIdentity {
    std::string model;
    std::string serial;
    std::string revision;
    uint32_t bytesInSector = 512;
    uint64_t size = 0;
    std::string sourcePath;
    std::vector<uint8_t> first5Secotrs;  // empty when the drive could not be read
};

// Reads 5 × sectorSize bytes from byte 0 of a device into `sectors`; false
// when the device cannot be read.
using FirstFiveSectorsReader =
    std::function<bool(const std::string& path, uint32_t sectorSize, std::vector<uint8_t>& sectors)>;

// The controller's reader of the first five sectors: a drive that cannot be
// read is told through `notices`.
FirstFiveSectorsReader deviceFirstFiveSectorsReader(Notices& notices);

// The identity list of the drive rows, each drive's first five sectors read now.
std::vector<AttachedDriveIdentity> attachedDrives(const std::vector<MediaDictionary>& drives,
                                                          const FirstFiveSectorsReader& read);

// The first attached drive with the file's serial, model, revision, sector
// size and size (as when the file is opened).
std::optional<std::size_t> matchScanInfoDrive(const std::vector<AttachedDriveIdentity>& drives,
                                              const ScanInfoDriveIdentity& file);

// The same, and its first five sectors equal the file's byte for byte (after
// a change of the attached drives).
std::optional<std::size_t> rematchScanInfoDrive(const std::vector<AttachedDriveIdentity>& drives,
                                                const ScanInfoDriveIdentity& file);

}  // namespace pelorin
