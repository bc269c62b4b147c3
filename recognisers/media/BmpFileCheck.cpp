#include "recognisers/media/BmpFileCheck.h"

#include <cstring>

#include "engine/Probe.h"

namespace pelorin {
namespace {

// A size field outside these bounds is not a bitmap worth filing.
constexpr uint32_t kSmallestBmp = 50;
constexpr uint32_t kLargestBmp = 104857600;  // 100 MiB

}  // namespace

bool BmpFileCheck::headerMatches(const uint8_t* probe, uint64_t) {
    pCompareHeader[0] = static_cast<char>(probe[0]);
    pCompareHeader[1] = static_cast<char>(probe[1]);
    pCompareHeader[2] = '\0';
    if (std::strcmp(pCompareHeader, "BM") != 0) return false;
    // The two reserved 16-bit fields are zero in every real bitmap.
    return probe[6] == 0 && probe[7] == 0 && probe[8] == 0 && probe[9] == 0;
}

uint64_t BmpFileCheck::fileSize(const uint8_t* probe, uint64_t) {
    const uint32_t size = Probe(probe).le32(2);
    if (size < kSmallestBmp || size > kLargestBmp) return 0;
    return size;
}

std::optional<Match> BmpFileCheck::recognise(Probe& probe, uint64_t sector) {
    if (!headerMatches(probe.data(), sector)) return std::nullopt;
    Match match;
    match.size = fileSize(probe.data(), sector);
    return match;
}

}  // namespace pelorin
