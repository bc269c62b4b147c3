#include "recognisers/media/RaFileCheck.h"

#include "engine/Probe.h"

namespace pelorin {
namespace {

constexpr double kLargestTotal = 2136746229.76;

bool tooLarge(uint64_t total) { return static_cast<double>(total) > kLargestTotal; }

}  // namespace

bool RaFileCheck::headerMatches(const uint8_t* bytes, uint64_t) {
    const Probe probe(bytes);
    if (!probe.matches(0, ".ra\xFD", 4)) return false;
    switch (probe.be16(4)) {
    case 4: return probe.matches(6, "\0\0.ra4", 6);
    case 3: return true;
    default: return false;
    }
}

uint64_t RaFileCheck::fileSize(const uint8_t* bytes, uint64_t sectorNumber) {
    uint64_t total = 16 + uint64_t{Probe(bytes).be32(12)};
    if (tooLarge(total)) return 0;

    // An optional tag chunk may follow the audio data. When its window cannot
    // be read the file is taken without it: nothing is tested in a buffer that
    // no read filled.
    const uint32_t sectorSize = ctx.sectorSize;
    if (!window.read(sectorNumber + total / sectorSize)) return total;
    const uint64_t position = total % sectorSize;
    if (window.be32(position) == fourCC("RaTC")) {
        const uint64_t tagLength = window.be32(position + 4);
        total += tagLength + 8;
        if (tooLarge(total)) total -= tagLength;
    }
    return total;
}

std::optional<Match> RaFileCheck::recognise(Probe& probe, uint64_t sector) {
    if (!headerMatches(probe.data(), sector)) return std::nullopt;
    Match match;
    match.size = fileSize(probe.data(), sector);
    return match;
}

}  // namespace pelorin
