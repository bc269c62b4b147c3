#pragma once
// The sector loop's 64 KiB windows of the scan's source.

#include <cstdint>
#include <memory>

#include "engine/Source.h"

namespace pelorin {

class WindowSource {
public:
    static constexpr std::size_t kWindowSize = 65536;

    explicit WindowSource(Source& source);

    // Points `window` at 65,536 bytes: the source's bytes from the sector on
    // and zeros after them; valid until the next call. Returns 1 when at least
    // one byte was read, 0 when nothing could be read (an unreadable stretch or
    // the end of the source; the window is then all zeros) and -1 when the
    // source has gone (the window is all zeros too).
    int readDriveSectors(uint64_t sector, uint32_t sectorSize, const uint8_t*& window);

private:
    Source& source;
    std::unique_ptr<uint8_t[]> buffer;
};

}  // namespace pelorin
