#include "recognisers/media/JpgFileCheck.h"

#include <cstring>

namespace pelorin {
namespace {

constexpr uint64_t kSizeBound = 26214400;   // 25 MiB: past this the walk gives up...
constexpr uint64_t kGiveUpSize = 5242880;   // ...and files the first 5 MiB
constexpr uint64_t kSlack = 512;
constexpr uint32_t kSpan = ReadWindow::kSpan;

}  // namespace

bool JpgFileCheck::isFile(const uint8_t* probe, uint64_t) {
    if (probe[0] != 0xFF || probe[1] != 0xD8 || probe[2] != 0xFF) return false;
    switch (probe[3]) {
    case 0xE1: case 0xE0: case 0xDB: case 0xEE: case 0xC4: case 0xFE: return true;
    default: return false;
    }
}

uint64_t JpgFileCheck::fileSizeCalculation(const uint8_t*, uint64_t sectorNumber) {
    ReadWindow& window = readDiskFromJpgFileCheck;
    const uint32_t sectorSize = ctx.u32BytesInSector;
    uint64_t windowSector = sectorNumber;
    if (!window.read(windowSector)) return 0;

    uint64_t size = 4;
    uint32_t position = 4;
    bool inScanData = false;
    bool stop = false;

    // Marker segments: each is skipped by its length, so markers inside them
    // (an EXIF thumbnail's end of image) are never seen.
    while (!inScanData) {
        if (ctx.cancelled() || stop) return size;
        uint32_t length = window.be16(position);
        if (length == 0) length = 2;
        size += length + 2;
        position += length;
        if (position + 2 > kSpan) {
            windowSector += position / sectorSize;
            position %= sectorSize;
            if (!window.read(windowSector)) return 0;
        }
        if (window.byte(position) == 0xFF && window.byte(position + 1) == 0xDA) inScanData = true;
        if (window.byte(position) != 0xFF) stop = true;
        position += 2;
        if (size > kSizeBound) {
            size = kGiveUpSize;
            stop = true;
        }
    }

    if (stop) return size;

    // Entropy-coded data, from the start-of-scan length field on: only FF D9
    // ends it. Runs of bytes other than 0xFF are passed over at once, with the
    // same result as stepping through them one by one.
    while (true) {
        if (ctx.cancelled()) return size;
        bool examine = true;
        if (position < kSpan) {
            const uint8_t* from = window.data() + position;
            const void* mark = std::memchr(from, 0xFF, kSpan - position);
            const uint32_t run = mark ? uint32_t(static_cast<const uint8_t*>(mark) - from) : kSpan - position;
            if (size + run > kSizeBound) return kGiveUpSize;
            size += run;
            position += run;
            examine = position < kSpan;  // stopped at a 0xFF, not at the window's end
        }
        // Otherwise the segment walk left us on the byte just past the 64 KiB: examined once.
        if (examine) {
            if (window.byte(position) == 0xFF && window.byte(position + 1) == 0xD9) return size + 2 + kSlack;
            size += 1;
            position += 1;
            if (size > kSizeBound) return kGiveUpSize;
        }
        if (position >= kSpan) {
            windowSector += kSpan / sectorSize;
            position -= kSpan;
            if (!window.read(windowSector)) return 0;
        }
    }
}

}  // namespace pelorin
