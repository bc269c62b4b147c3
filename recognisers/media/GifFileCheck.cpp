#include "recognisers/media/GifFileCheck.h"

#include "engine/FileCursor.h"

namespace pelorin {
namespace {

constexpr uint64_t kGiveUpOffset = 5242880;  // 5 MiB: a walk this long is filed at exactly this size
constexpr uint32_t kLongestZeroRun = 2048;   // zeros where a block should start: the file has ended
constexpr uint64_t kSmallestGif = 25;
constexpr uint64_t kSlack = 512;

// Bytes taken by a colour table whose presence and size a packed byte gives.
uint64_t colourTableSize(uint8_t packed) { return (packed & 0x80) ? 3u << ((packed & 7) + 1) : 0; }

}  // namespace

bool GifFileCheck::headerMatches(const uint8_t* probe, uint64_t) {
    return probe[0] == 'G' && probe[1] == 'I' && probe[2] == 'F' && probe[3] == '8' &&
           (probe[4] == '7' || probe[4] == '9') && probe[5] == 'a';
}

uint64_t GifFileCheck::fileSize(const uint8_t*, uint64_t sectorNumber) {
    FileCursor file(window, sectorNumber, ctx.sectorSize);
    if (!file.reach(0)) return 0;

    // Past the logical screen descriptor and its global colour table.
    uint64_t offset = 13 + colourTableSize(file.byte(10));
    uint32_t zeroRun = 0;
    bool trailer = false;

    while (true) {
        if (!file.reach(offset)) return 0;
        const uint8_t introducer = file.byte(offset);
        if (introducer == 0x3B) {
            trailer = true;
            break;
        }
        if (ctx.cancelled()) break;
        if (offset >= kGiveUpOffset) return kGiveUpOffset;

        if (introducer == 0x00) {
            // Block terminators, and the zeros behind a file that has ended.
            ++zeroRun;
            ++offset;
            if (zeroRun > kLongestZeroRun) return offset;
        } else if (introducer == 0x21) {
            // Extension: label, then at most two sub-blocks are skipped here;
            // a terminator that follows is taken by the zero rule above.
            zeroRun = 0;
            offset += 2 + file.byte(offset + 2) + 1;
            if (!file.reach(offset)) return 0;
            const uint8_t next = file.byte(offset);
            if (next != 0) offset += next + 1;
        } else if (introducer == 0x2C) {
            // Image descriptor, local colour table, then the LZW minimum code
            // size and the data sub-blocks, each led by its length byte.
            zeroRun = 0;
            const uint8_t packed = file.byte(offset + 9);
            offset += 10 + colourTableSize(packed);
            if (!file.reach(offset)) return 0;
            uint8_t subBlock = file.byte(offset + 1);
            while (subBlock != 0 && !ctx.cancelled()) {
                if (!file.reach(offset)) return 0;
                subBlock = file.byte(offset + 1);
                offset += subBlock + 1;
                if (offset >= kGiveUpOffset) return kGiveUpOffset;
            }
            if (subBlock == 0) ++offset;  // past the block terminator
        } else {
            break;  // not a block introducer: the file ends here
        }
    }

    if (trailer) ++offset;  // the trailer belongs to the file
    if (offset < kSmallestGif) return 0;
    return offset + kSlack;
}

std::optional<Match> GifFileCheck::recognise(Probe& probe, uint64_t sector) {
    if (!headerMatches(probe.data(), sector)) return std::nullopt;
    Match match;
    match.size = fileSize(probe.data(), sector);
    return match;
}

}  // namespace pelorin
