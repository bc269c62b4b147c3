#include "recognisers/media/AviFileCheck.h"

#include "engine/Probe.h"

namespace pelorin {
namespace {

constexpr uint64_t kLargestTotal = 2147483640;  // 2^31 - 8
constexpr uint64_t kSmallestFile = 10240;
constexpr uint64_t kSlack = 512;

}  // namespace

bool AviFileCheck::headerMatches(const uint8_t* bytes, uint64_t) {
    const Probe probe(bytes);
    return probe.matches(0, "RIFF", 4) && probe.matches(8, "AVI ", 4) && probe.matches(12, "LIST", 4);
}

uint64_t AviFileCheck::fileSize(const uint8_t*, uint64_t sectorNumber) {
    const uint32_t sectorSize = ctx.sectorSize;
    if (!window.read(sectorNumber)) return 0;

    uint64_t total = 0;
    uint64_t position = 0;  // of the next chunk, in the window
    while (!ctx.cancelled() && total < kLargestTotal) {
        if (window.be32(position) != fourCC("RIFF")) break;
        // Sized before any 32-bit wrap: a size field near 2^32 is a huge chunk,
        // not a tiny one, and it ends the walk instead of holding it in place.
        const uint64_t chunk = uint64_t{window.le32(position + 4)} + 8;
        if (chunk >= kLargestTotal) break;
        total += chunk;
        if (total > kLargestTotal) return total;
        position += chunk;
        if (position >= ReadWindow::kSpan) {
            if (!window.read(sectorNumber + total / sectorSize)) return 0;
            position = total % sectorSize;
        }
    }
    if (total < kSmallestFile) return 0;
    return total + kSlack;
}

std::optional<Match> AviFileCheck::recognise(Probe& probe, uint64_t sector) {
    if (!headerMatches(probe.data(), sector)) return std::nullopt;
    Match match;
    match.size = fileSize(probe.data(), sector);
    return match;
}

}  // namespace pelorin
