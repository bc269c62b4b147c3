#include "recognisers/raw/X3fFileCheck.h"

#include <cstring>

#include "recognisers/raw/ForwardScan.h"
#include "recognisers/raw/TiffWalker.h"

namespace pelorin {
namespace {

constexpr uint64_t kSectionMarkAt = 232;       // "SEC" of the first section header
constexpr uint64_t kPreviewStartAt = 260;      // where an image section's JPEG begins
constexpr uint64_t kGiveUpLength = 0x1300000;  // the directory is not looked for beyond this
constexpr uint32_t kPreviewOffsetLimit = 0x1900000;
constexpr uint32_t kImageSectionHeader = 28;
constexpr uint32_t kSigmaFirstIfdLimit = 0x1900000;

bool isFovb(const uint8_t* probe) { return std::memcmp(probe, "FOVb", 4) == 0; }

}  // namespace

std::optional<Match> X3fFileCheck::recognise(Probe& probe, uint64_t sector) {
    if (!headerMatches(probe.data(), sector)) return std::nullopt;
    Match match;
    // The folder takes the extension of the file filed last.
    match.extension = fovb ? ".x3f" : ".tif";
    match.size = fileSize(probe.data(), sector, match.preview);
    return match;
}

bool X3fFileCheck::headerMatches(const uint8_t* probe, uint64_t sectorNumber) {
    fovb = isFovb(probe);
    if (!fovb) return isSigmaTiff(probe, sectorNumber);
    if (!window.read(sectorNumber)) return false;
    return window.matches(kSectionMarkAt, "SEC", 3);
}

bool X3fFileCheck::isSigmaTiff(const uint8_t* probe, uint64_t sectorNumber) {
    byteOrder = tiff::byteOrderOf(probe);
    if (byteOrder == ByteOrder::Unknown) return false;
    if (tiff::isHeapCcdr(probe)) return false;
    const bool littleEndian = byteOrder == ByteOrder::LittleEndian;
    TiffWalker walker(window, ctx, sectorNumber, littleEndian);
    const uint32_t firstIfdOffset = tiff::firstIfdOffset(probe, littleEndian);
    if (firstIfdOffset < 8 || firstIfdOffset > tiff::kOffsetLimit) return false;
    Ifd ifd;
    if (!walker.readIfd(firstIfdOffset, ifd)) return false;
    if (ifd.entryCount < 2 || ifd.entryCount > tiff::kMaxEntries) return false;
    bool sigma = false;
    for (uint32_t i = 0; i < ifd.entryCount; ++i) {
        if (ctx.cancelled()) return false;
        const IfdEntry& entry = ifd.entries[i];
        if (entry.tag == tiff::kTagMake && entry.valueField <= tiff::kMakeOffsetLimit) {
            uint8_t make[5];
            if (!walker.bytes(entry.valueField, make, 5)) return false;
            if (std::memcmp(make, "SIGMA", 5) == 0) sigma = true;
        } else if (entry.tag == tiff::kTagDngVersion || entry.tag == tiff::kTagDngBackwardVersion) {
            sigma = false;
        }
    }
    return sigma;
}

uint64_t X3fFileCheck::fileSize(const uint8_t* probe, uint64_t sectorNumber, Preview& preview) {
    if (fovb) return fovbLength(sectorNumber, preview);
    const bool littleEndian = byteOrder == ByteOrder::LittleEndian;
    TiffWalker walker(window, ctx, sectorNumber, littleEndian);
    const uint32_t firstIfdOffset = tiff::firstIfdOffset(probe, littleEndian);
    PlainTiffLimits limits;
    limits.firstIfdOffsetLimit = kSigmaFirstIfdLimit;
    limits.overlongIfdLength = kSigmaFirstIfdLimit;
    limits.lengthLimit = tiff::kOffsetLimit;
    return plainTiffLength(walker, ctx, firstIfdOffset, limits);
}

// The section directory ("SECd") closes the file: found by searching forward.
uint64_t X3fFileCheck::fovbLength(uint64_t sectorNumber, Preview& preview) {
    if (!window.read(sectorNumber)) return 0;
    const uint8_t marker = window.byte(kPreviewStartAt + 3);
    const bool previewExpected = window.matches(kSectionMarkAt, "SECi", 4) && window.byte(kPreviewStartAt) == 0xFF &&
                                 window.byte(kPreviewStartAt + 1) == 0xD8 && window.byte(kPreviewStartAt + 2) == 0xFF &&
                                 (marker == 0xDB || marker == 0xE0 || marker == 0xE1);

    // The length counter starts at 4 with the first offset and stops at the give-up length.
    uint64_t directory = 0;
    const auto result = scanForward(window, ctx, sectorNumber, 0, kGiveUpLength - 5, directory,
                                    [](const ReadWindow& w, uint64_t position) { return w.matches(position, "SECd", 4); });
    if (result == ForwardScanResult::Failed || result == ForwardScanResult::Cancelled) return 0;
    if (result == ForwardScanResult::NotFound) return kGiveUpLength;

    TiffWalker walker(window, ctx, sectorNumber, true);
    uint32_t entries = 0;
    if (!walker.u32(directory + 8, entries)) return 0;
    const uint64_t length = directory + 16 + uint64_t{12} * entries;
    if (previewExpected) {
        uint32_t previewOffset = 0, previewLength = 0;
        if (!walker.u32(directory + 12, previewOffset) || !walker.u32(directory + 16, previewLength)) return 0;
        const uint64_t offset = uint64_t{previewOffset} + kImageSectionHeader;
        if (offset <= kPreviewOffsetLimit) {
            const uint32_t sectorSize = ctx.sectorSize;
            preview = {.sector = sectorNumber + offset / sectorSize,
                       .extraBytes = static_cast<uint32_t>(offset % sectorSize),
                       .size = previewLength};
        }
    }
    return length;
}

}  // namespace pelorin
