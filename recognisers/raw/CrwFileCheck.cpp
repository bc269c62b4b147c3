#include "recognisers/raw/CrwFileCheck.h"

#include "recognisers/raw/ForwardScan.h"
#include "recognisers/raw/TiffRawClassification.h"
#include "recognisers/raw/TiffWalker.h"

namespace pelorin {
namespace {

constexpr uint64_t kLittleEndianSearchStart = 0x100000;
constexpr uint64_t kBigEndianSearchStart = 0x200000;
constexpr uint64_t kSearchLimit = 0x1400000;     // the root-directory pointer lies within 20 MiB
constexpr uint64_t kNotFoundLength = 0xF00000;
constexpr uint16_t kTagPreviewJpeg = 0x2007;
constexpr uint32_t kPreviewMinimum = 100;
constexpr uint32_t kPreviewMaximum = 0x400000;

// Root directories of 3, 4 or 2 ten-byte entries after their 16-bit count.
constexpr uint32_t kDirectoryLengths[] = {32, 42, 22};

bool anyTiffClassifierTicked(const TypeSelection& ticked) {
    for (FileType type : {FileType::Arw, FileType::Sr2, FileType::Pef, FileType::Dng, FileType::Cr2, FileType::Nef,
                          FileType::Tiff, FileType::Orf, FileType::RawPanasonic, FileType::Leica, FileType::Threefr})
        if (ticked[index(type)]) return true;
    return false;
}

}  // namespace

CrwFileCheck::CrwFileCheck(ScanContext& context, const TypeSelection& ticked)
    : Recogniser(context), window(context), tiffFamilyClassifies(anyTiffClassifierTicked(ticked)) {}

std::optional<Match> CrwFileCheck::recognise(Probe& probe, uint64_t sector) {
    ByteOrder order = ByteOrder::Unknown;
    if (tiffFamilyClassifies) {
        if (!has(probe.verdict, TiffFinding::Crw)) return std::nullopt;
        order = probe.verdict.byteOrder;
    } else {
        if (!tiff::isHeapCcdr(probe.data())) return std::nullopt;
        order = tiff::byteOrderOf(probe.data());
        if (order == ByteOrder::Unknown) return std::nullopt;
    }
    Match match;
    if (order != ByteOrder::Unknown)
        match.size = fileSize(order == ByteOrder::LittleEndian, sector, match.preview);
    return match;
}

uint64_t CrwFileCheck::fileSize(bool littleEndian, uint64_t sectorNumber, Preview& preview) {
    TiffWalker walker(window, ctx, sectorNumber, littleEndian);
    uint32_t heapStart = 0;
    if (!walker.u32(2, heapStart)) return 0;

    // The file ends with the root directory's offset from the heap start, and
    // the directory lies right before it: find the place where that holds.
    const uint32_t sectorSize = ctx.sectorSize;
    uint32_t directoryLength = 0;
    uint64_t pointerAt = 0;
    const auto pointsJustBefore = [&](const ReadWindow& w, uint64_t position) {
        const uint32_t value = littleEndian ? w.le32(position) : w.be32(position);
        if (value >> 24 > 1) return false;
        const uint64_t fileOffset = (w.sector() - sectorNumber) * sectorSize + position;
        for (uint32_t k : kDirectoryLengths) {
            if (uint64_t{value} + heapStart + k == fileOffset) {
                directoryLength = k;
                return true;
            }
        }
        return false;
    };
    const uint64_t start = littleEndian ? kLittleEndianSearchStart : kBigEndianSearchStart;
    const auto result = scanForward(window, ctx, sectorNumber, start, kSearchLimit, pointerAt, pointsJustBefore);
    if (result == ForwardScanResult::Failed || result == ForwardScanResult::Cancelled) return 0;
    if (result == ForwardScanResult::NotFound) return kNotFoundLength;

    const uint64_t length = pointerAt + 4;
    const uint64_t directory = pointerAt - directoryLength;
    uint32_t tag = 0, previewLength = 0, previewOffsetInHeap = 0;
    if (!walker.u16(directory + 12, tag) || !walker.u32(directory + 14, previewLength) ||
        !walker.u32(directory + 18, previewOffsetInHeap))
        return length;
    if (tag != kTagPreviewJpeg) return length;
    const uint64_t previewOffset = uint64_t{previewOffsetInHeap} + heapStart;
    uint64_t soi = 0;
    const bool startsAsJpeg = walker.value(previewOffset, 2, soi) &&
                              (littleEndian ? soi == 0xD8FF : soi == 0xFFD8);
    if (!startsAsJpeg || previewLength < kPreviewMinimum || previewLength > kPreviewMaximum ||
        previewOffset >= kSearchLimit)
        return length;
    preview = {.sector = sectorNumber + previewOffset / sectorSize,
               .extraBytes = static_cast<uint32_t>(previewOffset % sectorSize),
               .size = previewLength};
    return length;
}

}  // namespace pelorin
