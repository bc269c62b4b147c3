#pragma once
// Checks a scan source (a block device, a disk image, a split image or an
// Expert Witness image) and reads its geometry.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "engine/Source.h"

namespace pelorin::cli {

struct SourceInfo {
    std::string path;
    bool blockDevice = false;
    uint64_t sizeInBytes = 0;
    uint32_t sectorSize = 512;
    uint64_t sectorCount = 0;
};

// The source's geometry and the source opened for reading, or a one-line
// reason why it cannot be scanned. A block device the user may not open is
// asked of UDisks2 on the system bus (polkit may ask for a password); without
// one, the refusal stands. `requestedSectorSize` is 0 when the user
// gave none.
struct SourceCheck {
    std::optional<SourceInfo> info;
    std::string error;
    std::unique_ptr<Source> source;
};
SourceCheck inspectSource(const std::string& path, uint32_t requestedSectorSize);

bool isValidSectorSize(uint32_t size);
// The one line that refuses a sector size the user gave.
std::string badSectorSizeMessage(uint32_t size);

}  // namespace pelorin::cli
