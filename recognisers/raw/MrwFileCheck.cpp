#include "recognisers/raw/MrwFileCheck.h"

#include "recognisers/raw/TiffWalker.h"

namespace pelorin {
namespace {

constexpr uint32_t kImageDataOffsetLimit = 0x3200000;
constexpr uint32_t kMaxBlocks = 5;
constexpr uint64_t kLengthLimit = 0x9600000;
constexpr uint8_t kUnpacked16Bit = 'R';
constexpr uint8_t kPacked12Bit = 'Y';

}  // namespace

bool MrwFileCheck::headerMatches(const uint8_t* probe, uint64_t) {
    return probe[0] == 0x00 && probe[1] == 'M' && probe[2] == 'R' && probe[3] == 'M';
}

uint64_t MrwFileCheck::fileSize(const uint8_t*, uint64_t sectorNumber) {
    TiffWalker walker(window, ctx, sectorNumber, false);
    uint32_t imageDataOffset = 0;
    if (!walker.u32(4, imageDataOffset) || imageDataOffset > kImageDataOffsetLimit) return 0;

    // Blocks: a four-byte name (a zero, then three letters), a 32-bit length, the data.
    uint64_t block = 8;
    for (uint32_t blocks = 1;; ++blocks) {
        if (blocks > kMaxBlocks || ctx.cancelled()) return 0;
        uint8_t name[4];
        uint32_t length = 0;
        if (!walker.bytes(block, name, 4) || !walker.u32(block + 4, length)) return 0;
        if (name[1] == 'P' && name[2] == 'R' && name[3] == 'D') break;
        block += 8 + uint64_t{length};
    }
    const uint64_t data = block + 8;  // after the 8-byte version: sensor height and width, ...
    uint32_t height = 0, width = 0;
    uint8_t method = 0;
    if (!walker.u16(data + 8, height) || !walker.u16(data + 10, width) || !walker.bytes(data + 18, &method, 1))
        return 0;
    const uint64_t pixels = uint64_t{height} * width;
    uint64_t length = 0;
    if (method == kUnpacked16Bit) length = pixels * 2 + imageDataOffset + 8;
    else if (method == kPacked12Bit) length = pixels * 3 / 2 + imageDataOffset + 8;
    if (length > kLengthLimit || length < tiff::kMinimumLength) return 0;
    return length + tiff::kSlack;
}

std::optional<Match> MrwFileCheck::recognise(Probe& probe, uint64_t sector) {
    if (!headerMatches(probe.data(), sector)) return std::nullopt;
    Match match;
    match.size = fileSize(probe.data(), sector);
    return match;
}

}  // namespace pelorin
