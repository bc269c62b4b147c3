#include "recognisers/media/AmrFileCheck.h"

#include <array>

#include "engine/Probe.h"

namespace pelorin {
namespace {

// Speech frame lengths by frame type, for header bytes type * 8 + 4 (quality
// bit set, padding clear).
constexpr std::array<uint32_t, 8> kNarrowBandFrames{13, 14, 16, 18, 20, 21, 27, 32};
constexpr std::array<uint32_t, 9> kWideBandFrames{18, 24, 33, 37, 41, 47, 51, 59, 61};

constexpr uint64_t kNarrowBandHeader = 6;  // "#!AMR\n"
constexpr uint64_t kWideBandHeader = 9;    // "#!AMR-WB\n"
constexpr double kLargestTotal = 2040109465.6;

}  // namespace

uint32_t AmrFileCheck::frameLength(uint8_t header, bool wideBand) {
    if ((header & 0x07) != 4) return 0;
    const std::size_t type = header >> 3;
    if (wideBand) return type < kWideBandFrames.size() ? kWideBandFrames[type] : 0;
    return type < kNarrowBandFrames.size() ? kNarrowBandFrames[type] : 0;
}

bool AmrFileCheck::headerMatches(const uint8_t* bytes, uint64_t) {
    const Probe probe(bytes);
    if (!probe.matches(0, "#!AMR", 5)) return false;
    wideBand_ = probe.matches(5, "-WB\n", 4);
    return true;
}

uint64_t AmrFileCheck::fileSize(const uint8_t*, uint64_t sectorNumber) {
    const uint32_t sectorSize = ctx.sectorSize;
    if (!window.read(sectorNumber)) return 0;

    uint64_t total = wideBand_ ? kWideBandHeader : kNarrowBandHeader;
    uint64_t position = total;
    while (!ctx.cancelled()) {
        const uint32_t length = frameLength(window.byte(position), wideBand_);
        if (length == 0) break;
        total += length;
        position += length;
        if (static_cast<double>(total) > kLargestTotal) break;
        if (position >= ReadWindow::kSpan) {
            if (!window.read(sectorNumber + total / sectorSize)) return 0;
            position = total % sectorSize;
        }
    }
    return total;
}

std::optional<Match> AmrFileCheck::recognise(Probe& probe, uint64_t sector) {
    if (!headerMatches(probe.data(), sector)) return std::nullopt;
    Match match;
    match.size = fileSize(probe.data(), sector);
    return match;
}

}  // namespace pelorin
