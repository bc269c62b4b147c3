#include "recognisers/media/WavFileCheck.h"

#include "engine/Probe.h"

namespace pelorin {
namespace {

constexpr uint32_t kSmallestRiffSize = 4096;
constexpr uint32_t kLargestRiffSize = 4294967280;  // 2^32 - 16

}  // namespace

bool WavFileCheck::isFile(const uint8_t* bytes, uint64_t) {
    const Probe probe(bytes);
    return probe.matches(0, "RIFF", 4) && probe.matches(8, "WAVE", 4);
}

uint64_t WavFileCheck::fileSizeCalculation(const uint8_t* bytes, uint64_t) {
    const uint32_t riffSize = Probe(bytes).le32(4);
    if (riffSize < kSmallestRiffSize || riffSize > kLargestRiffSize) return 0;
    return uint64_t{riffSize} + 8;
}

}  // namespace pelorin
