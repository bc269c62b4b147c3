#include "drives/ScanInfoDriveMatch.h"

#include "engine/ControllerReaders.h"

namespace pelorin {
namespace {

// A drive without a block size was scanned with 512-byte sectors, and its
// scan-info file says so; compare (and read) with that same size, or the drive
// would never be found again.
uint32_t effectiveBlockSize(const MediaDictionary& row) {
    const int64_t size = row.number(mediakey::kPreferredBlockSize).value_or(0);
    return size > 0 && size <= int64_t{UINT32_MAX} ? static_cast<uint32_t>(size) : 512u;
}

bool sameIdentity(const AttachedDriveIdentity& drive, const ScanInfoDriveIdentity& file) {
    return drive.serial == file.serial && drive.model == file.model && drive.revision == file.revision &&
           drive.bytesInSector == file.sectorSize && drive.size == file.sizeInBytes;
}

}  // namespace

FirstFiveSectorsReader deviceFirstFiveSectorsReader(Notices& notices) {
    return [&notices](const std::string& path, uint32_t sectorSize, std::vector<uint8_t>& sectors) {
        // Zero-filled like the buffer kept at the start of a scan, so a device
        // shorter than five sectors compares the same way.
        sectors.assign(std::size_t{5} * sectorSize, 0);
        if (readSector(path, sectorSize, sectors, notices)) return true;
        sectors.clear();
        return false;
    };
}

std::vector<AttachedDriveIdentity> attachedDrives(const std::vector<MediaDictionary>& drives,
                                                          const FirstFiveSectorsReader& read) {
    std::vector<AttachedDriveIdentity> identities;
    identities.reserve(drives.size());
    for (const MediaDictionary& row : drives) {
        AttachedDriveIdentity identity;
        if (row.has(mediakey::kVendorIdentification)) {
            identity.model = row.textOrEmpty(mediakey::kVendorIdentification);
            identity.serial = std::string(1, '-');  // not = "-": g++ 12 warns falsely (-Wrestrict)
            identity.revision = row.textOrEmpty(mediakey::kProductRevisionLevel);
        } else {
            identity.model = row.textOrEmpty(mediakey::kDeviceModel);
            identity.serial = row.textOrEmpty(mediakey::kDeviceSerial);
            identity.revision = row.textOrEmpty(mediakey::kDeviceRevision);
        }
        identity.bytesInSector = effectiveBlockSize(row);
        identity.size = static_cast<uint64_t>(std::max<int64_t>(0, row.number(mediakey::kDeviceSize).value_or(0)));
        identity.sourcePath = row.textOrEmpty(mediakey::kDevicePath);
        if (!read || !read(identity.sourcePath, identity.bytesInSector, identity.first5Secotrs))
            identity.first5Secotrs.clear();
        identities.push_back(std::move(identity));
    }
    return identities;
}

std::optional<std::size_t> matchScanInfoDrive(const std::vector<AttachedDriveIdentity>& drives,
                                              const ScanInfoDriveIdentity& file) {
    for (std::size_t i = 0; i < drives.size(); ++i)
        if (sameIdentity(drives[i], file)) return i;
    return std::nullopt;
}

std::optional<std::size_t> rematchScanInfoDrive(const std::vector<AttachedDriveIdentity>& drives,
                                                const ScanInfoDriveIdentity& file) {
    for (std::size_t i = 0; i < drives.size(); ++i)
        // An unreadable drive's sectors compare unequal, even to an empty record.
        if (sameIdentity(drives[i], file) && !drives[i].first5Secotrs.empty() &&
            drives[i].first5Secotrs == file.firstSectors)
            return i;
    return std::nullopt;
}

}  // namespace pelorin
