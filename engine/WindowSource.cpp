#include "engine/WindowSource.h"

#include <cstring>

namespace pelorin {

WindowSource::WindowSource(Source& source_) : source(source_), buffer(std::make_unique<uint8_t[]>(kWindowSize)) {}

int WindowSource::readDriveSectors(uint64_t sector, uint32_t sectorSize, const uint8_t*& window) {
    window = buffer.get();
    const SourceRead got = readPastBadSectors(source, sector * sectorSize, {buffer.get(), kWindowSize}, sectorSize,
                                              unreadable_);
    std::memset(buffer.get() + got.bytes, 0, kWindowSize - got.bytes);
    // A source that went in the middle of a window still gives the sectors
    // before; the next window finds it gone.
    if (got.bytes > 0) return 1;
    return got.failed() ? -1 : 0;
}

}  // namespace pelorin
