#include "recognisers/media/RmFileCheck.h"

#include "engine/Probe.h"

namespace pelorin {
namespace {

constexpr double kLargestChunk = 2136746229.76;
constexpr uint32_t kFileHeaderSize = 18;

bool isTopLevelChunk(uint32_t tag) {
    return tag == fourCC(".RMF") || tag == fourCC("PROP") || tag == fourCC("CONT") || tag == fourCC("DATA") ||
           tag == fourCC("INDX") || tag == fourCC("MDPR");
}

}  // namespace

bool RmFileCheck::headerMatches(const uint8_t* bytes, uint64_t) {
    const Probe probe(bytes);
    return probe.matches(0, ".RMF", 4) && probe.be32(4) == kFileHeaderSize;
}

uint64_t RmFileCheck::fileSize(const uint8_t*, uint64_t sectorNumber) {
    const uint32_t sectorSize = ctx.sectorSize;
    if (!window.read(sectorNumber)) return 0;

    uint64_t total = 0;
    uint64_t position = 0;
    while (!ctx.cancelled() && isTopLevelChunk(window.be32(position))) {
        const uint32_t size = window.be32(position + 4);
        // A chunk of no size would be read again and again: the file ends before it.
        if (size == 0) break;
        if (static_cast<double>(size) > kLargestChunk) break;
        total += size;
        position += size;
        if (position > 0xFFFF) {
            if (!window.read(sectorNumber + total / sectorSize)) return 0;
            position = total % sectorSize;
        }
    }
    return total;
}

std::optional<Match> RmFileCheck::recognise(Probe& probe, uint64_t sector) {
    if (!headerMatches(probe.data(), sector)) return std::nullopt;
    Match match;
    match.size = fileSize(probe.data(), sector);
    return match;
}

}  // namespace pelorin
