#include "recognisers/media/GifFileCheck.h"

namespace pelorin {
namespace {

constexpr uint64_t kGiveUpOffset = 5242880;  // 5 MiB: a walk this long is filed at exactly this size
constexpr uint32_t kLongestZeroRun = 2048;   // zeros where a block should start: the file has ended
constexpr uint64_t kSmallestGif = 25;
constexpr uint64_t kSlack = 512;
constexpr uint32_t kSpan = ReadWindow::kSpan;

// Bytes of the file by offset, through the window that holds the offset's
// 64 KiB block. A value a few bytes after the offset is read from the same
// window (it holds one sector more than the block), so the window is read
// again only when the walk enters another block.
class BlockCursor {
public:
    BlockCursor(ReadWindow& window, uint64_t headerSector, uint32_t sectorSize)
        : window(window), headerSector(headerSector), sectorSize(sectorSize) {}

    // Makes the block holding the offset current; false when that read fails.
    bool reach(uint64_t offset) {
        const uint64_t block = offset >> 16;
        if (loaded && block == currentBlock) return true;
        loaded = window.read(headerSector + block * kSpan / sectorSize);
        currentBlock = block;
        return loaded;
    }
    // The byte `distance` after the offset, from the offset's block.
    uint8_t at(uint64_t offset, uint32_t distance = 0) const { return window.byte((offset & 0xFFFF) + distance); }

private:
    ReadWindow& window;
    uint64_t headerSector;
    uint32_t sectorSize;
    uint64_t currentBlock = 0;
    bool loaded = false;
};

// Bytes taken by a colour table whose presence and size a packed byte gives.
uint64_t colourTableSize(uint8_t packed) { return (packed & 0x80) ? 3u << ((packed & 7) + 1) : 0; }

}  // namespace

bool GifFileCheck::isFile(const uint8_t* probe, uint64_t) {
    return probe[0] == 'G' && probe[1] == 'I' && probe[2] == 'F' && probe[3] == '8' &&
           (probe[4] == '7' || probe[4] == '9') && probe[5] == 'a';
}

uint64_t GifFileCheck::fileSizeCalculation(const uint8_t*, uint64_t sectorNumber) {
    BlockCursor file(readDiskFromGifFileCheck, sectorNumber, ctx.u32BytesInSector);
    if (!file.reach(0)) return 0;

    // Past the logical screen descriptor and its global colour table.
    uint64_t offset = 13 + colourTableSize(file.at(10));
    uint32_t zeroRun = 0;
    bool trailer = false;

    while (true) {
        if (!file.reach(offset)) return 0;
        const uint8_t introducer = file.at(offset);
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
            offset += 2 + file.at(offset, 2) + 1;
            if (!file.reach(offset)) return 0;
            const uint8_t next = file.at(offset);
            if (next != 0) offset += next + 1;
        } else if (introducer == 0x2C) {
            // Image descriptor, local colour table, then the LZW minimum code
            // size and the data sub-blocks, each led by its length byte.
            zeroRun = 0;
            const uint8_t packed = file.at(offset, 9);
            offset += 10 + colourTableSize(packed);
            if (!file.reach(offset)) return 0;
            uint8_t subBlock = file.at(offset, 1);
            while (subBlock != 0 && !ctx.cancelled()) {
                if (!file.reach(offset)) return 0;
                subBlock = file.at(offset, 1);
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

}  // namespace pelorin
