#include "engine/WindowSource.h"

#include <cstring>

namespace pelorin {

WindowSource::WindowSource(Source& source_) : source(source_), buffer(std::make_unique<uint8_t[]>(kWindowSize)) {}

int WindowSource::readDriveSectors(uint64_t sector, uint32_t sectorSize, const uint8_t*& window) {
    window = buffer.get();
    const SourceRead got = source.read(sector * sectorSize, {buffer.get(), kWindowSize});
    std::memset(buffer.get() + got.bytes, 0, kWindowSize - got.bytes);
    if (got.bytes > 0) return 1;
    return got.failed() && isSourceGone(got.error) ? -1 : 0;
}

}  // namespace pelorin
