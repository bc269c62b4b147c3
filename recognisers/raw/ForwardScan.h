#pragma once
// A byte-by-byte search forward through a file, window by window, for raw
// formats that keep their directory at an end they do not announce.

#include <cstdint>

#include "engine/ReadWindow.h"
#include "engine/ScanContext.h"

namespace pelorin {

enum class ForwardScanResult : uint8_t { Found, NotFound, Failed, Cancelled };

// Offers every file offset from `from` up to and including `last` to
// test(window, position) in turn, where position is the offset's place in the
// window, and stops at the first offset it accepts (stored in `found`).
// Successive windows start 65,536 bytes apart and each holds one sector more,
// so a value of up to a sector's length that starts at any offered offset is
// whole, also where it straddles two windows.
template <class Test>
ForwardScanResult scanForward(ReadWindow& window, const ScanContext& ctx, uint64_t fileSector, uint64_t from,
                              uint64_t last, uint64_t& found, Test test) {
    const uint32_t sectorSize = ctx.sectorSize;
    uint64_t offset = from;
    while (offset <= last) {
        if (ctx.cancelled()) return ForwardScanResult::Cancelled;
        uint64_t position = offset % sectorSize;
        if (!window.read(fileSector + offset / sectorSize)) return ForwardScanResult::Failed;
        const uint64_t windowEnd = offset - position + ReadWindow::kSpan;
        for (; offset < windowEnd && offset <= last; ++offset, ++position) {
            if (ctx.cancelled()) return ForwardScanResult::Cancelled;
            if (test(window, position)) {
                found = offset;
                return ForwardScanResult::Found;
            }
        }
    }
    return ForwardScanResult::NotFound;
}

}  // namespace pelorin
