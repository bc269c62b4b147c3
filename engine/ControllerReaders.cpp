#include "engine/ControllerReaders.h"

#include "engine/ReadDisk.h"

namespace pelorin {
namespace {

bool reportFailure(Notices& notices, NoticeKind kind, const std::string& path) {
    notices.notify({kind, path});
    return false;
}

}  // namespace

bool readSector(const std::string& path, uint32_t sectorSize, std::span<uint8_t> buffer, Notices& notices) {
    const std::size_t wanted = std::min<std::size_t>(buffer.size(), std::size_t{5} * sectorSize);
    if (readAt(path, 0, buffer.first(wanted)) < 0) return reportFailure(notices, NoticeKind::FirstSectorsUnreadable, path);
    return true;
}

bool readSaveSector(const std::string& path, uint32_t sectorSize, uint64_t firstSector, uint32_t count,
                    std::span<uint8_t> buffer, Notices& notices, std::size_t* bytesRead) {
    const std::size_t wanted = std::min<std::size_t>(buffer.size(), std::size_t{count} * sectorSize);
    long long n = readAt(path, firstSector * sectorSize, buffer.first(wanted));
    if (n < 0) return reportFailure(notices, NoticeKind::SaveSourceUnreadable, path);
    if (bytesRead) *bytesRead = static_cast<std::size_t>(n);
    return true;
}

}  // namespace pelorin
