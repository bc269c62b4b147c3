#include "recognisers/media/MidFileCheck.h"

#include "engine/FileCursor.h"
#include "engine/Probe.h"

namespace pelorin {
namespace {

constexpr uint64_t kLargeTotal = 2147483640;    // 2^31 - 8
constexpr uint64_t kLargestTotal = 4294967280;  // 2^32 - 16
constexpr uint64_t kGiveUpSize = 15728640;      // 15 MiB
constexpr uint64_t kSmallestFile = 4096;
constexpr uint64_t kSlack = 512;
constexpr uint64_t kHeaderChunk = 14;

}  // namespace

bool MidFileCheck::headerMatches(const uint8_t* bytes, uint64_t) {
    const Probe probe(bytes);
    riffWrapped_ = false;
    if (probe.matches(0, "MThd", 4)) return probe.matches(14, "MTrk", 4);
    if (probe.matches(0, "RIFF", 4) && probe.matches(8, "RMID", 4)) {
        riffWrapped_ = true;
        return true;
    }
    return false;
}

uint64_t MidFileCheck::fileSize(const uint8_t*, uint64_t sectorNumber) {
    if (!window.read(sectorNumber)) return 0;
    if (!riffWrapped_) return standardFileSize(sectorNumber);

    const uint64_t total = uint64_t{window.le32(4)} + 8;
    if (total > kLargeTotal) return kGiveUpSize;
    if (total < kSmallestFile) return 0;
    return total;
}

// Walks the track chunks the header announces; the window is moved on
// whenever the next chunk starts beyond its 64 KiB.
uint64_t MidFileCheck::standardFileSize(uint64_t sectorNumber) {
    const uint32_t sectorSize = ctx.sectorSize;
    uint32_t tracks = window.be16(10);
    uint64_t total = kHeaderChunk;
    FileCursor file(window, sectorNumber, sectorSize);
    file.holdsFileStart();
    while (tracks > 0 && !ctx.cancelled()) {
        if (file.be32(total) != fourCC("MTrk")) {
            // A track is missing: what was walked so far, with slack.
            if (total > kLargeTotal) return kGiveUpSize + kSlack;
            if (total < kSmallestFile) return 0;
            return total + kSlack;
        }
        total += uint64_t{file.be32(total + 4)} + 8;
        if (total > kLargeTotal) return kGiveUpSize;
        --tracks;
        if (!file.reach(total)) return 0;
    }
    if (total > kLargestTotal) return kGiveUpSize;
    if (total < kSmallestFile) return 0;
    return total;
}

std::optional<Match> MidFileCheck::recognise(Probe& probe, uint64_t sector) {
    if (!headerMatches(probe.data(), sector)) return std::nullopt;
    Match match;
    match.size = fileSize(probe.data(), sector);
    return match;
}

}  // namespace pelorin
