#include "recognisers/media/JpgFileCheck.h"

#include "recognisers/media/JpegStream.h"

namespace pelorin {

bool JpgFileCheck::headerMatches(const uint8_t* probe, uint64_t) {
    if (probe[0] != 0xFF || probe[1] != 0xD8 || probe[2] != 0xFF) return false;
    // Any APPn segment may open a file (APP2 for an ICC profile, APP13 for
    // Photoshop/IPTC data); the segment walk then sizes it like the others.
    if ((probe[3] & 0xF0) == 0xE0) return true;
    switch (probe[3]) {
    case 0xDB: case 0xC4: case 0xFE: return true;
    default: return false;
    }
}

// Marker segments are skipped by their lengths, so markers inside them (an
// EXIF thumbnail's end of image) are never seen; then only FF D9 ends the
// entropy-coded data.
uint64_t JpgFileCheck::fileSize(const uint8_t*, uint64_t sectorNumber) {
    return jpegStreamLength(window, ctx, sectorNumber * ctx.sectorSize, kJpegFileRules);
}

std::optional<Match> JpgFileCheck::recognise(Probe& probe, uint64_t sector) {
    if (!headerMatches(probe.data(), sector)) return std::nullopt;
    Match match;
    match.size = fileSize(probe.data(), sector);
    return match;
}

}  // namespace pelorin
