#include "recognisers/raw/Cr3FileCheck.h"

#include <algorithm>
#include <array>

namespace pelorin {
namespace {

constexpr std::array<uint8_t, 16> kPreviewUuid{0xEA, 0xF4, 0x2B, 0x5E, 0x1C, 0x98, 0x4B, 0x88,
                                               0xB9, 0xFB, 0xB7, 0xDC, 0x40, 0x6E, 0x4D, 0x16};
// The PRVW box follows the UUID after a few bytes of Canon's own.
constexpr uint64_t kFirstPrvwAt = 24;
constexpr uint64_t kLastPrvwAt = 64;
// PRVW: size, "PRVW", 12 bytes of dimensions and flags, the JPEG's length, the JPEG.
constexpr uint64_t kJpegLengthAt = 20;
constexpr uint64_t kJpegAt = 24;

}  // namespace

void Cr3FileCheck::sawTopLevelBox(FileCursor& file, uint64_t start, uint32_t type, uint64_t size, Match& match) {
    if (type != fourCC("uuid") || size < kLastPrvwAt + kJpegAt || !file.reach(start)) return;
    for (std::size_t i = 0; i < kPreviewUuid.size(); ++i)
        if (file.byte(start + 8 + i) != kPreviewUuid[i]) return;
    for (uint64_t prvw = start + kFirstPrvwAt; prvw <= start + kLastPrvwAt; prvw += 4) {
        if (file.be32(prvw + 4) != fourCC("PRVW")) continue;
        const uint64_t jpeg = prvw + kJpegAt;
        const uint64_t length = file.be32(prvw + kJpegLengthAt);
        if (file.be16(jpeg) != 0xFFD8 || length > start + size - jpeg) return;
        const uint32_t sectorSize = ctx.sectorSize;
        match.preview = {.sector = file.fileSector() + jpeg / sectorSize,
                         .extraBytes = uint32_t(jpeg % sectorSize),
                         .size = length};
        return;
    }
}

}  // namespace pelorin
