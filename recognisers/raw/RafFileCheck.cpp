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

std::optional<Match> RafFileCheck::recognise(Probe& probe, uint64_t sector) {
    if (std::memcmp(probe.data(), "FUJIFILMCCD-RAW", 15) != 0) return std::nullopt;
    Match match;
    match.size = fileSize(sector, match.preview);
    return match;
}

uint64_t RafFileCheck::fileSize(uint64_t sectorNumber, Preview& preview) {
    TiffWalker walker(window, ctx, sectorNumber, false);
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

    const uint32_t sectorSize = ctx.sectorSize;
    if (previewLength > kSmallestPreview)
        preview = {.sector = sectorNumber + previewOffset / sectorSize,
                   .extraBytes = previewOffset % sectorSize,
                   .size = previewLength};
    return length + tiff::kSlack;
}

}  // namespace pelorin
