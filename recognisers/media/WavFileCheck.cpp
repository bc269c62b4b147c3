#include "recognisers/media/WavFileCheck.h"

#include "engine/Probe.h"

namespace pelorin {
namespace {

constexpr uint32_t kSmallestRiffSize = 4096;
constexpr uint32_t kLargestRiffSize = 4294967280;  // 2^32 - 16

}  // namespace

bool WavFileCheck::headerMatches(const uint8_t* bytes, uint64_t) {
    const Probe probe(bytes);
    return probe.matches(0, "RIFF", 4) && probe.matches(8, "WAVE", 4);
}

uint64_t WavFileCheck::fileSize(const uint8_t* bytes, uint64_t) {
    const uint32_t riffSize = Probe(bytes).le32(4);
    if (riffSize < kSmallestRiffSize || riffSize > kLargestRiffSize) return 0;
    return uint64_t{riffSize} + 8;
}

std::optional<Match> WavFileCheck::recognise(Probe& probe, uint64_t sector) {
    if (!headerMatches(probe.data(), sector)) return std::nullopt;
    Match match;
    match.size = fileSize(probe.data(), sector);
    return match;
}

}  // namespace pelorin
