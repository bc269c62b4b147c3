#include "recognisers/raw/TiffFileCheck.h"

#include "recognisers/raw/TiffRawClassification.h"
#include "recognisers/raw/TiffWalker.h"

namespace pelorin {
namespace {

constexpr uint16_t kTagCanonPreview = 129;  // inside the Canon maker note
constexpr uint16_t kTypeUndefined = 7;

bool isStripOrTileTag(uint16_t tag) {
    return tag == tiff::kTagStripOffsets || tag == tiff::kTagTileOffsets || tag == tiff::kTagStripByteCounts ||
           tag == tiff::kTagTileByteCounts;
}

}  // namespace

TiffFileCheck::TiffFileCheck(ScanContext& context, const TypeSelection& ticked)
    : Recogniser(context), window(context), gated(tiffMemberIsGated(TiffMember::Tiff, ticked)) {}

std::optional<Match> TiffFileCheck::recognise(Probe& probe, uint64_t sector) {
    if (!classifyTiffHeader(TiffMember::Tiff, gated, probe.verdict, ctx, window, probe.data(), sector))
        return std::nullopt;
    Match match;
    match.size = fileSize(probe.verdict, probe.data(), sector);
    match.handOn = nikonHandsOn(probe.verdict);
    return match;
}

uint64_t TiffFileCheck::fileSize(const FamilyVerdict& verdict, const uint8_t* probe, uint64_t sectorNumber) {
    if (verdict.byteOrder == ByteOrder::Unknown) return 0;
    const bool littleEndian = verdict.byteOrder == ByteOrder::LittleEndian;
    TiffWalker walker(window, ctx, sectorNumber, littleEndian);
    const uint32_t firstIfdOffset = tiff::firstIfdOffset(probe, littleEndian);
    if (!has(verdict, TiffFinding::RawTiff)) return plainTiffLength(walker, ctx, firstIfdOffset, PlainTiffLimits{});
    return rawStyleLength(walker, has(verdict, TiffFinding::CanonRawTiff), firstIfdOffset, probe, sectorNumber);
}

// A camera TIFF ends with its last image's last strip, which follows the
// earlier images and tables; to that come the directories, their out-of-line
// values and, for a Canon TIFF, the preview that follows the image data.
uint64_t TiffFileCheck::rawStyleLength(TiffWalker& walker, bool canon, uint32_t firstIfdOffset, const uint8_t* probe,
                                       uint64_t sectorNumber) {
    if (firstIfdOffset < 8 || firstIfdOffset > tiff::kOffsetLimit) return 0;
    Ifd ifd;
    if (!walker.readIfd(firstIfdOffset, ifd)) return 0;
    if (ifd.entryCount < 5 || ifd.entryCount > tiff::kMaxEntries) return 0;
    const uint64_t extra = canon ? canonTiffJpgFileSize(walker, probe, sectorNumber) : 0;

    uint64_t total = 8;
    uint64_t ifdOffset = firstIfdOffset;
    for (uint32_t ifds = 1;; ++ifds) {
        if (ifds > tiff::kMaxIfds) return 0;
        if (ctx.cancelled()) break;
        if (ifdOffset < 8 || ifdOffset > tiff::kOffsetLimit) return 0;
        if (!walker.readIfd(ifdOffset, ifd)) return 0;
        if (ifd.entryCount < 5 || ifd.entryCount > tiff::kMaxEntries) return 0;
        if (firstIfdOffset > 512) total += uint64_t{tiff::kEntrySize} * ifd.entryCount;

        if (ifd.nextIfdOffset != 0) {
            for (uint32_t i = 0; i < ifd.entryCount; ++i) {
                const IfdEntry& entry = ifd.entries[i];
                if (entry.valueField <= ifdOffset) continue;
                const uint32_t width = entry.type > 12 ? 0 : tiff::walkedDataTypeValue(entry.type);
                total += uint64_t{width} * entry.count;
            }
            ifdOffset = ifd.nextIfdOffset;
            continue;
        }

        uint64_t stripOffset = 0;
        uint64_t stripBytes = 0;
        for (uint32_t i = 0; i < ifd.entryCount; ++i) {
            const IfdEntry& entry = ifd.entries[i];
            if (!isStripOrTileTag(entry.tag)) {
                if (entry.valueField > ifdOffset) total += uint64_t{tiff::walkedDataTypeValue(entry.type)} * entry.count;
                continue;
            }
            const bool isOffsets = entry.tag == tiff::kTagStripOffsets || entry.tag == tiff::kTagTileOffsets;
            uint64_t value = entry.inlineValue;
            if (entry.count >= 2) {
                const uint32_t width = tiff::scalarDataTypeValue(entry.type);
                total += uint64_t{width} * entry.count;
                if (entry.valueField > tiff::kOffsetLimit) return 0;
                // The last element, read from whichever window holds it.
                const uint64_t last = entry.valueField + uint64_t{width} * (entry.count - 1);
                if (!walker.value(last, width, value)) return 0;
            }
            if (isOffsets) {
                stripOffset = value;
            } else {
                stripBytes = value;
                total += stripOffset + stripBytes;
            }
        }
        break;
    }
    if (total > tiff::kLengthLimit) return 0;
    return total + extra + tiff::kSlack;
}

uint64_t TiffFileCheck::canonTiffJpgFileSize(TiffWalker& walker, const uint8_t* probe, uint64_t sectorNumber) {
    const uint32_t firstIfdOffset = tiff::firstIfdOffset(probe, walker.littleEndian());
    if (firstIfdOffset < 8 || firstIfdOffset > tiff::kOffsetLimit) return 0;
    IfdEntry exif;
    bool found = false;
    if (!walker.findTag(firstIfdOffset, tiff::kTagExifIfd, tiff::kMaxEntries, exif, found) || !found) return 0;
    return canonTiffJpgFileSize(walker, exif.valueField, uint64_t{sectorNumber} * ctx.sectorSize);
}

uint64_t TiffFileCheck::canonTiffJpgFileSize(TiffWalker& walker, uint32_t exifIfdOffset, uint64_t fileStart) {
    if (exifIfdOffset > tiff::kOffsetLimit) return 0;
    uint32_t exifEntries = 0;
    if (!walker.u16(exifIfdOffset, exifEntries) || exifEntries > tiff::kMaxEntries) return 0;
    IfdEntry makerNote;
    bool found = false;
    if (!walker.findTag(exifIfdOffset, tiff::kTagMakerNote, exifEntries, makerNote, found) || !found) return 0;
    if (makerNote.type != kTypeUndefined || makerNote.valueField > tiff::kOffsetLimit) return 0;
    // The Canon maker note begins directly with an IFD.
    uint32_t makerNoteEntries = 0;
    if (!walker.u16(makerNote.valueField, makerNoteEntries)) return 0;
    IfdEntry preview;
    if (!walker.findTag(makerNote.valueField, kTagCanonPreview, makerNoteEntries, preview, found) || !found) return 0;
    if (preview.valueField > tiff::kOffsetLimit) return 0;
    return walker.jpgFileSizeCalculation(fileStart + preview.valueField);
}

}  // namespace pelorin
