#include "engine/ControllerReaders.h"

#include <algorithm>

#include "engine/OpenSource.h"

namespace pelorin {
namespace {

bool reportFailure(Notices& notices, NoticeKind kind, const std::string& path) {
    notices.notify({kind, path});
    return false;
}

}  // namespace

bool readSector(Source& source, uint32_t sectorSize, std::span<uint8_t> buffer, Notices& notices) {
    const std::size_t wanted = std::min<std::size_t>(buffer.size(), std::size_t{5} * sectorSize);
    const SourceRead got = source.read(0, buffer.first(wanted));
    if (got.bytes == 0 && got.failed()) return reportFailure(notices, NoticeKind::FirstSectorsUnreadable, source.name());
    return true;
}

bool readSector(const std::string& path, uint32_t sectorSize, std::span<uint8_t> buffer, Notices& notices) {
    auto source = openSource(path, sectorSize);
    if (!source) return reportFailure(notices, NoticeKind::FirstSectorsUnreadable, path);
    return readSector(*source, sectorSize, buffer, notices);
}

bool readSaveSector(Source& source, uint32_t sectorSize, uint64_t firstSector, uint32_t count,
                    std::span<uint8_t> buffer, Notices& notices, std::size_t* bytesRead) {
    const std::size_t wanted = std::min<std::size_t>(buffer.size(), std::size_t{count} * sectorSize);
    const SourceRead got = source.read(firstSector * sectorSize, buffer.first(wanted));
    if (got.failed()) return reportFailure(notices, NoticeKind::SaveSourceUnreadable, source.name());
    if (bytesRead) *bytesRead = got.bytes;
    return true;
}

}  // namespace pelorin
