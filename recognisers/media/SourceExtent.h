#pragma once
// How many bytes of the scan's source lie from a sector on: the walks of the
// stream formats stop where the source ends instead of reading its zeros.

#include <cstdint>

#include "engine/ScanContext.h"
#include "engine/Source.h"

namespace pelorin {

// A source that cannot tell its size is taken to hold the sectors the scan
// was given, as the scan itself takes it.
inline uint64_t bytesToSourceEnd(const ScanContext& ctx, uint64_t sector) {
    const uint64_t end =
        ctx.source && ctx.source->size() != 0 ? ctx.source->size() : ctx.sectorCount * ctx.sectorSize;
    const uint64_t start = sector * ctx.sectorSize;
    return end > start ? end - start : 0;
}

}  // namespace pelorin
