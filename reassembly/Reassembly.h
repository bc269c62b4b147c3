#pragma once
// After a scan: photos whose bytes, as found, do not make a whole picture are
// searched for their continuation elsewhere on the source and, when one is
// found that decodes to the end of the image, are given their pieces.

#include <atomic>
#include <chrono>
#include <cstdint>

#include "engine/FoundNode.h"

namespace pelorin {

class Source;

struct ReassemblyOutcome {
    uint32_t filesReassembled = 0;
    uint32_t filesBroken = 0;      // photos that did not decode whole as found
    uint32_t clusterSize = 0;      // the allocation unit the search used, in bytes
    std::chrono::duration<double> elapsed{};
};

// Works on the tree a scan of `source` built. Files found whole are never
// changed; a reassembled file gets its pieces and its exact size, and the
// sizes of the folders above follow. Stops early, leaving what is not done
// as found, when `cancelled` becomes true. The source is read from two
// threads at once.
ReassemblyOutcome reassembleSplitFiles(FoundNode& root, Source& source, uint32_t sectorSize,
                                       const std::atomic<bool>* cancelled = nullptr);

}  // namespace pelorin
