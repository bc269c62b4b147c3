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
    // and zeros after them; valid until the next call. A sector that cannot
    // be read is zeros too, and counted; the rest of the window is still read.
    // Returns 1 when the window starts inside the source, 0 when it starts at
    // or past its end (the window is then all zeros) and -1 when the source
    // has gone (the window is all zeros too).
    int readDriveSectors(uint64_t sector, uint32_t sectorSize, const uint8_t*& window);

    // The sectors the windows read so far could not read.
    uint64_t unreadableSectors() const { return unreadable_; }

private:
    Source& source;
    std::unique_ptr<uint8_t[]> buffer;
    uint64_t unreadable_ = 0;
};

}  // namespace pelorin
