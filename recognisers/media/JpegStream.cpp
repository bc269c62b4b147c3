#include "recognisers/media/JpegStream.h"

#include <cstring>

namespace pelorin {
namespace {

constexpr uint32_t kSpan = ReadWindow::kSpan;
constexpr uint64_t kJpegGiveUpLength = 5242880;  // what a runaway stream is cut to

}  // namespace

uint64_t jpegStreamLength(ReadWindow& window, const ScanContext& ctx, uint64_t address, const JpegWalkRules& rules) {
    // Past the runaway length a stream is not believed.
    const auto runaway = [&](uint64_t reached) { return rules.runawayGivesUp ? kJpegGiveUpLength : reached; };
    const uint32_t sectorSize = ctx.sectorSize;
    uint64_t windowSector = address / sectorSize;
    uint32_t position = static_cast<uint32_t>(address % sectorSize);
    if (!window.read(windowSector)) return 0;
    if (window.byte(position) != 0xFF || window.byte(position + 1) != 0xD8) return 0;

    // Marker segments, each skipped by its length.
    uint64_t length = 4;
    position += 4;
    while (true) {
        if (ctx.cancelled()) return length;
        uint32_t segment = window.be16(position);
        if (segment == 0) segment = 2;
        length += segment + 2;
        position += segment;
        if (position + 2 > kSpan) {
            windowSector += position / sectorSize;
            position %= sectorSize;
            if (!window.read(windowSector)) return 0;
        }
        const uint8_t first = window.byte(position);
        const uint8_t second = window.byte(position + 1);
        position += 2;
        if (length > rules.runawayLength) return runaway(length);
        if (first == 0xFF && second == 0xDA) break;
        if (first < 0xFF && rules.nonMarkerEndsWalk) return length;
    }

    // Entropy-coded data: only FF D9 ends it. Runs without 0xFF are passed at
    // once, with the result of stepping through them byte by byte.
    while (true) {
        if (ctx.cancelled()) return length;
        if (position >= kSpan) {
            windowSector += kSpan / sectorSize;
            position -= kSpan;
            if (!window.read(windowSector)) return 0;
        }
        const uint8_t* from = window.data() + position;
        const void* mark = std::memchr(from, 0xFF, kSpan - position);
        const uint32_t run = mark ? uint32_t(static_cast<const uint8_t*>(mark) - from) : kSpan - position;
        // Stepping byte by byte would stop one past the runaway length.
        if (length + run > rules.runawayLength) return runaway(rules.runawayLength + 1);
        length += run;
        position += run;
        if (position >= kSpan) continue;
        if (window.byte(position + 1) == 0xD9) return length + 2 + rules.slack;
        length += 1;
        position += 1;
        if (length > rules.runawayLength) return runaway(length);
    }
}

}  // namespace pelorin
