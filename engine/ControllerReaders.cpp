#include "engine/ControllerReaders.h"

#include "engine/ReadDisk.h"

namespace pelorin {
namespace {

bool reportFailure(Alerts& alerts, std::string_view logPrefix, const std::string& path) {
    alerts.showAlert(kDriveCannotOpen, "", "OK");
    alerts.logLine(std::string(logPrefix) + path);
    return false;
}

}  // namespace

bool readSector(const std::string& path, uint32_t sectorSize, std::span<uint8_t> buffer, Alerts& alerts) {
    const std::size_t wanted = std::min<std::size_t>(buffer.size(), std::size_t{5} * sectorSize);
    if (readAt(path, 0, buffer.first(wanted)) < 0) return reportFailure(alerts, "read Sect in app ctrl ", path);
    return true;
}

bool readSaveSector(const std::string& path, uint32_t sectorSize, uint64_t firstSector, uint32_t count,
                    std::span<uint8_t> buffer, Alerts& alerts, std::size_t* bytesRead) {
    const std::size_t wanted = std::min<std::size_t>(buffer.size(), std::size_t{count} * sectorSize);
    long long n = readAt(path, firstSector * sectorSize, buffer.first(wanted));
    if (n < 0) return reportFailure(alerts, "seve sect Drive Name ", path);
    if (bytesRead) *bytesRead = static_cast<std::size_t>(n);
    return true;
}

}  // namespace pelorin
