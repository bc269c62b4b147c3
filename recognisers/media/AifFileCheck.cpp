#include "recognisers/media/AifFileCheck.h"

#include <algorithm>
#include <array>

#include "engine/Probe.h"

namespace pelorin {
namespace {

constexpr std::array<uint32_t, 13> kChunks{
    fourCC("COMM"), fourCC("ANNO"), fourCC("SSND"), fourCC("MARK"), fourCC("INST"), fourCC("MIDI"), fourCC("AESD"),
    fourCC("APPL"), fourCC("NAME"), fourCC("COMT"), fourCC("AUTH"), fourCC("FVER"), fourCC("(c) "),
};

constexpr uint64_t kFormHeader = 12;
constexpr uint64_t kLargestTotal = 4294967280;    // 2^32 - 16
constexpr uint64_t kLargeTotal = 2147483640;      // 2^31 - 8
constexpr uint64_t kGiveUpSize = 62914560;        // 60 MiB
constexpr uint64_t kSmallestTotal = 1024;
constexpr uint64_t kSlack = 512;

}  // namespace

bool AifFileCheck::isAiffChunk(uint32_t identifier) { return std::ranges::find(kChunks, identifier) != kChunks.end(); }

bool AifFileCheck::headerMatches(const uint8_t* bytes, uint64_t sectorNumber) {
    const Probe probe(bytes);
    if (!probe.matches(0, "FORM", 4) || !probe.matches(8, "AIF", 3)) return false;
    // The first chunk must be followed by another AIFF chunk.
    const uint64_t secondChunk = uint64_t{probe.be32(16)} + 20;
    const uint32_t sectorSize = ctx.sectorSize;
    if (!window.read(sectorNumber + secondChunk / sectorSize)) return false;
    return isAiffChunk(window.be32(secondChunk % sectorSize));
}

uint64_t AifFileCheck::fileSize(const uint8_t*, uint64_t sectorNumber) {
    const uint32_t sectorSize = ctx.sectorSize;
    if (!window.read(sectorNumber)) return 0;

    uint64_t total = 0;  // of the chunks, without the FORM header
    uint64_t position = kFormHeader;
    while (!ctx.cancelled()) {
        const uint32_t identifier = window.be32(position);
        if (!isAiffChunk(identifier)) break;
        // Every chunk takes at least its 8-byte head, so the walk always moves on.
        uint64_t step = uint64_t{window.be32(position + 4)} + 8;
        if (identifier == fourCC("NAME") || identifier == fourCC("ANNO")) step += 1;
        total += step;
        position += step;
        if (position >= ReadWindow::kSpan) {
            const uint64_t next = kFormHeader + total;
            if (!window.read(sectorNumber + next / sectorSize)) return 0;
            position = next % sectorSize;
        }
        if (total > kLargestTotal) return kGiveUpSize;
    }
    if (total > kLargeTotal) total = kGiveUpSize;
    else if (total < kSmallestTotal) return 0;
    return total + kSlack;
}

std::optional<Match> AifFileCheck::recognise(Probe& probe, uint64_t sector) {
    if (!headerMatches(probe.data(), sector)) return std::nullopt;
    Match match;
    match.size = fileSize(probe.data(), sector);
    return match;
}

}  // namespace pelorin
