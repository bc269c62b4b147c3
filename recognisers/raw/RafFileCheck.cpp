#include "recognisers/raw/RafFileCheck.h"

#include <cstring>

#include "recognisers/raw/TiffWalker.h"

namespace pelorin {
namespace {

constexpr uint64_t kPreviewOffsetAt = 84;
constexpr uint64_t kPreviewLengthAt = 88;
constexpr uint64_t kRawOffsetAt = 100;
constexpr uint64_t kRawLengthAt = 104;
constexpr uint64_t kSecondRawLengthAt = 132;
constexpr uint32_t kSmallestPreview = 1024;

}  // namespace

bool RafFileCheck::isFile(const uint8_t* probe, uint64_t) {
    return std::memcmp(probe, "FUJIFILMCCD-RAW", 15) == 0;
}

uint64_t RafFileCheck::fileSizeCalculation(const uint8_t*, uint64_t sectorNumber) {
    TiffWalker walker(readDiskFromRafFileCheck, ctx, sectorNumber, false);
    uint32_t previewOffset = 0, previewLength = 0, rawOffset = 0, rawLength = 0, secondRawLength = 0;
    if (!walker.u32(kPreviewOffsetAt, previewOffset) || !walker.u32(kPreviewLengthAt, previewLength) ||
        !walker.u32(kRawOffsetAt, rawOffset) || !walker.u32(kRawLengthAt, rawLength) ||
        !walker.u32(kSecondRawLengthAt, secondRawLength))
        return 0;
    if (rawOffset > tiff::kLengthLimit) return 0;
    uint64_t length = uint64_t{rawOffset} + rawLength;
    // A second raw block of the same size follows the first.
    if (secondRawLength == rawLength) length += rawLength;
    if (length > tiff::kLengthLimit || length < tiff::kMinimumLength) return 0;

    const uint32_t sectorSize = ctx.u32BytesInSector;
    ctx.u64RawJpgFileSectorNumber = sectorNumber + previewOffset / sectorSize;
    ctx.uExtraBytesOfJpgFileOffset = previewOffset % sectorSize;
    ctx.u64RawJpgFileSize = previewLength;
    ctx.found.bRawJpgFileFound = previewLength > kSmallestPreview;
    return length + tiff::kSlack;
}

}  // namespace pelorin
