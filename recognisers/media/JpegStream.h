#pragma once
// The length of a JPEG stream on the source, from its start-of-image marker:
// marker segments are skipped by their lengths, then the entropy-coded data is
// searched for the end-of-image marker. JPEG files and the previews inside
// camera raw files are measured by the same walk, with their own limits.

#include <cstdint>

#include "engine/ReadWindow.h"
#include "engine/ScanContext.h"

namespace pelorin {

struct JpegWalkRules {
    bool nonMarkerEndsWalk;   // a byte other than 0xFF where a marker belongs ends the stream there
    uint64_t slack;           // added after the end-of-image marker
    uint64_t runawayLength;   // a length beyond this ends the walk...
    bool runawayGivesUp;      // ...with 5 MiB, or else with the length reached
};

// JPEG files: a broken segment chain ends the file, 512 bytes of slack, and
// past 25 MiB the first 5 MiB are taken.
inline constexpr JpegWalkRules kJpegFileRules{true, 512, 26214400, true};

// Reads through the window from the absolute byte address, which must hold
// FF D8. 0 when it does not or a read fails; the length so far when the scan
// is stopped.
uint64_t jpegStreamLength(ReadWindow& window, const ScanContext& ctx, uint64_t address, const JpegWalkRules& rules);

}  // namespace pelorin
