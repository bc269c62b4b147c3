#include "recognisers/raw/TiffRawSizing.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "recognisers/raw/ForwardScan.h"
#include "recognisers/raw/TiffWalker.h"

namespace pelorin {
namespace {

constexpr uint16_t kTagPanasonicJpeg = 46;       // the embedded JPEG of Panasonic and Leica files
constexpr uint16_t kTagNewSubfileType = 254;
constexpr uint16_t kTagJpegOffset = 513;         // JPEGInterchangeFormat
constexpr uint16_t kTagJpegLength = 514;         // JPEGInterchangeFormatLength
constexpr uint16_t kTagXmp = 700;
constexpr uint16_t kTagSonyPrivateData = 50740;  // DNGPrivateData, which Sony's A100 uses for its raw length
constexpr uint16_t kTagKodakExtra = 65001;
constexpr uint16_t kTagOlympusCameraSettings = 0x2020;
constexpr uint16_t kTagOlympusPreviewOffset = 0x101;
constexpr uint16_t kTagOlympusPreviewLength = 0x102;

constexpr uint32_t kNoCount = std::numeric_limits<uint32_t>::max();
constexpr uint32_t kSonyOffsetLimit = 0x6400000;
constexpr uint64_t kSonyPreviewCap = 0x700000;
constexpr uint64_t kKodakExtraCap = 307200;
constexpr uint32_t kDcrMaxSubIfds = 10;
constexpr uint32_t kDngMaxSubIfds = 10;
constexpr uint32_t kPefMaxIfds = 6;
constexpr uint32_t kNikonMaxSubIfds = 65534;
constexpr uint64_t kOrfRsStart = 5500;             // 'RS' files keep data before their first IFD
constexpr uint64_t kOlympusPreviewStart = 0x6000;  // where the newer maker note's preview begins
constexpr uint32_t kOlympusPreviewWindows = 32;
constexpr uint64_t kOlympusPreviewCap = 0x200000;
constexpr uint64_t kPreviewWalkLimit = 0x6400000;  // previews further into the file are not measured
constexpr uint64_t kThreefrReduceFrom = 0x1E00000;
constexpr uint64_t kThreefrReduction = 0xA00000;
constexpr uint64_t kSmallPreview = 1024;           // the scan files no preview this short

// Where a strip tag keeps its values, by its count.
struct ValueRule {
    uint32_t inlineBelow = 2;       // counts below this hold the value in the entry
    uint32_t inlineFrom = kNoCount; // and so do counts from this on
    uint32_t skipBelow = 0;         // counts below this are passed over
    uint32_t skipFrom = kNoCount;   // and so are counts from this on
    uint32_t rejectAbove = kNoCount;  // a count above this refuses the file
    uint32_t arrayOffsetLimit = tiff::kOffsetLimit;
};
constexpr ValueRule kInlineBelow2{};
constexpr ValueRule kInlineBelow2Or65535{.inlineFrom = 65535};
constexpr ValueRule kInlineBelow2Or65536{.inlineFrom = 65536};
constexpr ValueRule kSonyA700Strips{.skipBelow = 1, .skipFrom = 65535, .arrayOffsetLimit = kSonyOffsetLimit};
constexpr ValueRule kKdcStrips{.inlineFrom = 65535, .rejectAbove = 25};

enum class Got : uint8_t { Value, Skip, Reject };

bool isOffsetTag(uint16_t tag) { return tag == tiff::kTagStripOffsets || tag == tiff::kTagTileOffsets; }
bool isByteCountTag(uint16_t tag) { return tag == tiff::kTagStripByteCounts || tag == tiff::kTagTileByteCounts; }

class Sizer {
public:
    Sizer(FamilyVerdict& sectorVerdict, const ScanContext& context, ReadWindow& window, const uint8_t* header,
          uint64_t sectorNumber)
        : verdict(sectorVerdict), ctx(context), readWindow(window), probe(header), fileSector(sectorNumber),
          sectorSize(context.sectorSize),
          walker(window, context, sectorNumber, sectorVerdict.byteOrder == ByteOrder::LittleEndian) {}

    // The preview the measuring found; none unless it was reported found.
    Preview preview() const { return previewFound ? report : Preview{}; }

    uint64_t measure(TiffMember member) {
        if (verdict.byteOrder == ByteOrder::Unknown) return 0;
        firstIfdOffset = tiff::firstIfdOffset(probe, walker.littleEndian());
        switch (member) {
        case TiffMember::Arw: return arw();
        case TiffMember::Sr2: return sr2();
        case TiffMember::Kdc: return kodak(false);
        case TiffMember::K25: return kodak(true);
        case TiffMember::Dcr: return dcr();
        case TiffMember::Pef: return pef();
        case TiffMember::Dng: return dng();
        case TiffMember::Cr2: return cr2();
        case TiffMember::Nef: return nikon(false);
        case TiffMember::Nrw: return nikon(true);
        case TiffMember::Orf: return orf();
        case TiffMember::RawPanasonic:
        case TiffMember::Leica: return panasonic();
        case TiffMember::Threefr: return threefr();
        case TiffMember::Tiff: return 0;  // measured by its own recogniser
        }
        return 0;
    }

private:
    // ---- shared pieces ----------------------------------------------------

    // The first IFD, when its offset and entry count are believable.
    bool readFirstIfd(uint32_t minEntries, bool testOffset = true) {
        if (testOffset && (firstIfdOffset < 8 || firstIfdOffset > tiff::kLengthLimit)) return false;
        return readIfd(firstIfdOffset, first, minEntries);
    }
    bool readIfd(uint64_t offset, Ifd& ifd, uint32_t minEntries) {
        if (!walker.readIfd(offset, ifd)) return false;
        return ifd.entryCount >= minEntries && ifd.entryCount <= tiff::kMaxEntries;
    }

    // Every entry of each SubIFD the first IFD points to, in order; the strip
    // offset met last starts at 0 in each SubIFD. False when the file is
    // refused: a SubIFD out of reach or unreadable, an entry `onEntry`
    // refuses, or a stop request.
    template <class OnEntry>
    bool forEachSubIfdEntry(uint32_t minSubEntries, OnEntry onEntry) {
        for (uint32_t i = 0; i < first.entryCount; ++i) {
            if (ctx.cancelled()) return false;
            const IfdEntry& e = first.entries[i];
            if (e.tag != tiff::kTagSubIfds) continue;
            if (e.valueField > tiff::kOffsetLimit) return false;
            Ifd sub;
            if (!readIfd(e.valueField, sub, minSubEntries)) return false;
            uint64_t stripOffset = 0;
            for (uint32_t j = 0; j < sub.entryCount; ++j) {
                if (ctx.cancelled() || !onEntry(sub.entries[j], stripOffset)) return false;
            }
        }
        return true;
    }

    // A strip tag's value: inline, or the last element of its array, read
    // from whichever window holds that element.
    Got value(const IfdEntry& entry, const ValueRule& rule, uint64_t& out, bool* wasInline = nullptr) {
        const uint32_t count = entry.count;
        if (count > rule.rejectAbove) return Got::Reject;
        if (count < rule.skipBelow || count >= rule.skipFrom) return Got::Skip;
        const bool isInline = count < rule.inlineBelow || count >= rule.inlineFrom;
        if (wasInline) *wasInline = isInline;
        if (isInline) {
            out = entry.inlineValue;
            return Got::Value;
        }
        if (entry.valueField > rule.arrayOffsetLimit) return Got::Reject;
        const uint32_t width = entry.type == 3 ? 2 : 4;
        return walker.value(entry.valueField + uint64_t{width} * (count - 1), width, out) ? Got::Value : Got::Reject;
    }

    // The first IFD offset plus its directory and k bytes: the length of a
    // file whose strip end is not believable.
    uint64_t fallback(uint32_t k) const { return firstIfdOffset + uint64_t{tiff::kEntrySize} * first.entryCount + k; }
    uint64_t firstDirectoryLength() const { return uint64_t{tiff::kEntrySize} * first.entryCount + 6; }

    static uint64_t finalBounds(uint64_t length, bool slack) {
        if (length > tiff::kLengthLimit || length < tiff::kMinimumLength) return 0;
        return slack ? length + tiff::kSlack : length;
    }

    void reportPreviewAt(uint64_t offset) {
        report.sector = fileSector + offset / sectorSize;
        report.extraBytes = static_cast<uint32_t>(offset % sectorSize);
    }
    void withdrawPreview() {
        previewFound = false;
        report.sector = 0;
        report.extraBytes = 0;
    }
    uint64_t withdrawAll() {
        withdrawPreview();
        report.size = 0;
        return 0;
    }

    // ---- Sony ---------------------------------------------------------------

    uint64_t arw() {
        if (has(verdict, TiffFinding::A100)) return arwA100();
        if (has(verdict, TiffFinding::A700)) return arwA700();
        return 0;
    }

    // The A100 keeps its raw data length in its private data block, counted
    // from the SubIFD.
    uint64_t arwA100() {
        if (!readFirstIfd(2, false)) return 0;
        uint64_t subIfd = 0, length = 0, previewOffset = 0;
        bool reported = false;
        for (uint32_t i = 0; i < first.entryCount; ++i) {
            if (ctx.cancelled()) return length;
            const IfdEntry& e = first.entries[i];
            switch (e.tag) {
            case tiff::kTagSubIfds:
                if (e.valueField > tiff::kOffsetLimit) return 0;
                subIfd = e.valueField;
                break;
            case kTagSonyPrivateData: {
                if (e.valueField > tiff::kOffsetLimit) return 0;
                uint32_t rawLength = 0;
                if (!walker.u32(uint64_t{e.valueField} + 148, rawLength)) return 0;
                length = subIfd + rawLength;
                if (length < firstIfdOffset) length = fallback(0);
                break;
            }
            case kTagJpegOffset:
                previewOffset = e.inlineValue;
                reportPreviewAt(previewOffset);
                previewFound = reported = true;
                break;
            case kTagJpegLength: report.size = std::min<uint64_t>(e.inlineValue, kSonyPreviewCap); break;
            default: break;
            }
        }
        if (reported && previewOffset > length) withdrawPreview();
        return length > tiff::kLengthLimit || length < tiff::kMinimumLength ? 0 : length;
    }

    uint64_t arwA700() {
        if (!readFirstIfd(0, false)) return 0;
        uint64_t length = 0;
        for (uint32_t i = 0; i < first.entryCount; ++i) {
            if (ctx.cancelled()) return 0;
            const IfdEntry& e = first.entries[i];
            if (e.tag == tiff::kTagSubIfds) {
                if (e.valueField > kSonyOffsetLimit) return 0;
                Ifd sub;
                if (!readIfd(e.valueField, sub, 0)) return 0;
                uint64_t stripOffset = 0;
                for (uint32_t j = 0; j < sub.entryCount; ++j) {
                    if (ctx.cancelled()) return 0;
                    const IfdEntry& s = sub.entries[j];
                    if (s.tag != tiff::kTagStripOffsets && s.tag != tiff::kTagStripByteCounts) continue;
                    uint64_t v = 0;
                    const Got got = value(s, kSonyA700Strips, v);
                    if (got == Got::Reject) return 0;
                    if (got == Got::Skip) continue;
                    if (s.tag == tiff::kTagStripOffsets) {
                        stripOffset = v;
                    } else {
                        length = stripOffset + v;
                        if (length < firstIfdOffset) length = fallback(0);
                    }
                }
            } else if (e.tag == kTagJpegOffset) {
                reportPreviewAt(e.inlineValue);
                previewFound = true;
                if (e.inlineValue > length) {
                    withdrawPreview();
                    break;
                }
            } else if (e.tag == kTagJpegLength) {
                report.size = std::min<uint64_t>(e.inlineValue, kSonyPreviewCap);
            }
        }
        return length > tiff::kLengthLimit ? 0 : length;
    }

    uint64_t sr2() {
        if (!readFirstIfd(0)) return 0;
        uint64_t length = 0;
        const bool walked = forEachSubIfdEntry(2, [&](const IfdEntry& s, uint64_t& stripOffset) {
            const bool offsetTag = s.tag == tiff::kTagStripOffsets || s.tag == kTagJpegOffset;
            const bool lengthTag = s.tag == tiff::kTagStripByteCounts || s.tag == kTagJpegLength;
            if (!offsetTag && !lengthTag) return true;
            uint64_t v = 0;
            if (value(s, offsetTag ? kInlineBelow2 : kInlineBelow2Or65535, v) == Got::Reject) return false;
            if (s.tag == tiff::kTagStripOffsets) {
                stripOffset = v;
            } else if (s.tag == kTagJpegOffset) {
                reportPreviewAt(v);
            } else if (s.tag == tiff::kTagStripByteCounts) {
                length = stripOffset + v;
                if (length <= firstIfdOffset) length = fallback(6);
            } else {
                report.size = v;
                if (v > kSmallPreview) previewFound = true;
            }
            return true;
        });
        return walked ? finalBounds(length, true) : 0;
    }

    // ---- Kodak --------------------------------------------------------------

    // KDC and K25: the image is in the first IFD when it is marked as the full
    // image, else in its one SubIFD.
    uint64_t kodak(bool k25) {
        if (!readFirstIfd(2)) return 0;
        const ValueRule subRule = k25 ? kInlineBelow2Or65535 : kKdcStrips;
        const ValueRule markedRule = k25 ? kInlineBelow2 : kKdcStrips;
        const bool slack = !k25;
        bool marked = false;
        uint64_t length = 0, imageOffset = 0;
        for (uint32_t i = 0; i < first.entryCount; ++i) {
            if (ctx.cancelled()) return 0;
            const IfdEntry& e = first.entries[i];
            if (e.tag == kTagNewSubfileType && e.inlineValue == 0) {
                marked = true;
            } else if (e.tag == tiff::kTagSubIfds && !marked) {
                if (k25 && e.valueField > tiff::kOffsetLimit) return 0;
                Ifd sub;
                if (!readIfd(e.valueField, sub, 0)) return 0;
                uint64_t stripOffset = 0;
                for (uint32_t j = 0; j < sub.entryCount; ++j) {
                    if (ctx.cancelled()) return 0;
                    const IfdEntry& s = sub.entries[j];
                    if (s.tag != tiff::kTagStripOffsets && s.tag != tiff::kTagStripByteCounts) continue;
                    uint64_t v = 0;
                    if (value(s, subRule, v) == Got::Reject) return 0;
                    if (s.tag == tiff::kTagStripOffsets) {
                        stripOffset = v;
                    } else {
                        length = stripOffset + v;
                        if (length <= firstIfdOffset) length = fallback(8);
                    }
                }
            } else if (marked && (isOffsetTag(e.tag) || e.tag == kTagJpegOffset)) {
                if (value(e, markedRule, imageOffset) == Got::Reject) return 0;
            } else if (marked && (isByteCountTag(e.tag) || e.tag == kTagJpegLength)) {
                uint64_t bytes = 0;
                if (value(e, markedRule, bytes) == Got::Reject) return 0;
                length = imageOffset + bytes;
                if (length <= firstIfdOffset) length = fallback(8);
                return finalBounds(length, slack);
            }
        }
        return finalBounds(length, slack);
    }

    // DCR: the largest strip end over its SubIFDs, and Kodak's extra block.
    uint64_t dcr() {
        if (!readFirstIfd(2)) return 0;
        uint64_t length = 0, extra = 0;
        for (uint32_t i = 0; i < first.entryCount; ++i) {
            if (ctx.cancelled()) return 0;
            const IfdEntry& e = first.entries[i];
            if (e.tag != tiff::kTagSubIfds) continue;
            if (e.count < 1 || e.count > kDcrMaxSubIfds) return 0;
            for (uint32_t k = 0; k < e.count; ++k) {
                if (ctx.cancelled()) return 0;
                uint32_t subOffset = e.valueField;
                if (e.count == 1) {
                    if (subOffset > tiff::kOffsetLimit) return 0;
                } else {
                    if (!walker.u32(uint64_t{e.valueField} + 4 * k, subOffset)) return 0;
                    if (subOffset > tiff::kLengthLimit) return 0;
                }
                Ifd sub;
                if (!readIfd(subOffset, sub, 0)) return 0;
                uint64_t stripOffset = 0;
                for (uint32_t j = 0; j < sub.entryCount; ++j) {
                    if (ctx.cancelled()) return 0;
                    const IfdEntry& s = sub.entries[j];
                    if (s.tag == kTagKodakExtra) {
                        extra = std::min(extra + 4 * uint64_t{s.count}, kKodakExtraCap);
                        continue;
                    }
                    if (s.tag != tiff::kTagStripOffsets && s.tag != tiff::kTagStripByteCounts) continue;
                    uint64_t v = 0;
                    if (value(s, kInlineBelow2Or65535, v) == Got::Reject) return 0;
                    if (s.tag == tiff::kTagStripOffsets) stripOffset = v;
                    else length = std::max(length, stripOffset + v);
                }
            }
        }
        return finalBounds(length + extra, true);
    }

    // ---- Pentax -------------------------------------------------------------

    // A PEF's chain holds its raw image and several previews; the longest
    // preview is reported and counted in the length.
    uint64_t pef() {
        if (!readFirstIfd(2)) return 0;
        uint64_t length = 0, previewOffset = 0;
        uint64_t ifdOffset = firstIfdOffset;
        Ifd ifd = first;
        for (uint32_t ifds = 1;; ++ifds) {
            if (ifds > kPefMaxIfds) return 0;
            if (ifdOffset < 8 || ifdOffset > tiff::kLengthLimit) return 0;
            if (ifds > 1) {
                if (!readIfd(ifdOffset, ifd, 2)) return 0;
                if (length < ifdOffset) length += uint64_t{tiff::kEntrySize} * ifd.entryCount + 6;
            }
            uint64_t stripOffset = 0;
            for (uint32_t i = 0; i < ifd.entryCount; ++i) {
                if (ctx.cancelled()) return 0;
                const IfdEntry& e = ifd.entries[i];
                if (e.tag == kTagJpegOffset) {
                    previewOffset = e.inlineValue;
                } else if (e.tag == kTagJpegLength) {
                    if (e.inlineValue > report.size) {
                        reportPreviewAt(previewOffset);
                        report.size = e.inlineValue;
                        // A preview beyond the offsets a file may hold is not believed.
                        previewFound = previewOffset <= tiff::kOffsetLimit;
                    }
                } else if (e.tag == tiff::kTagStripOffsets || e.tag == tiff::kTagStripByteCounts) {
                    uint64_t v = 0;
                    if (value(e, kInlineBelow2Or65535, v) == Got::Reject) return 0;
                    if (e.tag == tiff::kTagStripOffsets) {
                        stripOffset = v;
                    } else {
                        length = stripOffset + v;
                        if (length < firstIfdOffset) length = firstIfdOffset + uint64_t{tiff::kEntrySize} * ifd.entryCount;
                    }
                }
            }
            if (ifd.nextIfdOffset == 0) break;
            ifdOffset = ifd.nextIfdOffset;
        }
        return finalBounds(length + report.size, true);
    }

    // ---- DNG ----------------------------------------------------------------

    // The end of the image an IFD holds in strips or tiles; when it ends
    // within the directories, the first IFD's directory is counted instead
    // (inline values) or as well (arrays). False when a value is refused or
    // the scan is stopped.
    bool dngImageEnd(const Ifd& ifd, uint64_t& length) {
        uint64_t imageOffset = 0;
        for (uint32_t j = 0; j < ifd.entryCount; ++j) {
            if (ctx.cancelled()) return false;
            const IfdEntry& s = ifd.entries[j];
            if (!isOffsetTag(s.tag) && !isByteCountTag(s.tag)) continue;
            uint64_t v = 0;
            bool wasInline = false;
            if (value(s, kInlineBelow2Or65535, v, &wasInline) == Got::Reject) return false;
            if (isOffsetTag(s.tag)) {
                imageOffset = v;
                continue;
            }
            length = imageOffset + v;
            if (length <= firstIfdOffset) length = wasInline ? fallback(6) : length + firstDirectoryLength();
        }
        return true;
    }

    // The raw SubIFD's image end; with several SubIFDs, a raw image that ends
    // before its own directory counts that directory too.
    bool dngRawSubIfd(uint64_t subOffset, bool onlySubIfd, uint64_t& length) {
        Ifd sub;
        if (!readIfd(subOffset, sub, 2) || !dngImageEnd(sub, length)) return false;
        if (!onlySubIfd && length < subOffset) length += uint64_t{tiff::kEntrySize} * sub.entryCount + 6;
        return true;
    }

    bool dngPreviewSubIfd(uint64_t subOffset, uint64_t& previewOffset) {
        Ifd sub;
        if (!readIfd(subOffset, sub, 2)) return false;
        for (uint32_t j = 0; j < sub.entryCount; ++j) {
            if (ctx.cancelled()) return false;
            const IfdEntry& s = sub.entries[j];
            if (!isOffsetTag(s.tag) && !isByteCountTag(s.tag)) continue;
            uint64_t v = 0;
            bool wasInline = false;
            if (value(s, kInlineBelow2Or65535, v, &wasInline) == Got::Reject) return false;
            if (isOffsetTag(s.tag)) {
                previewOffset = v;
                reportPreviewAt(v);
            } else {
                report.size = v;
                if (wasInline || v > kSmallPreview) previewFound = true;
            }
        }
        return true;
    }

    uint64_t dng() {
        if (!readFirstIfd(2)) return 0;
        uint64_t length = 0, previewOffset = 0;
        bool pentaxIstD = false, subIfdsSeen = false;
        for (uint32_t i = 0; i < first.entryCount; ++i) {
            if (ctx.cancelled()) return 0;
            const IfdEntry& e = first.entries[i];
            if (e.tag == tiff::kTagModel && e.count > 4) {
                if (e.valueField > tiff::kOffsetLimit) return 0;
                uint8_t model[13] = {};
                if (!walker.bytes(e.valueField, model, sizeof model)) return 0;
                pentaxIstD = std::memcmp(model, "PENTAX *ist D", sizeof model) == 0;
            } else if (e.tag == kTagXmp) {
                length += 4 * uint64_t{e.count};
            } else if (e.tag == tiff::kTagSubIfds) {
                subIfdsSeen = true;
                if (e.count < 1 || e.count > kDngMaxSubIfds || e.valueField > tiff::kLengthLimit) return 0;
                if (e.count == 1) {
                    if (!dngRawSubIfd(e.valueField, true, length)) return 0;
                } else {
                    uint32_t rawAt = 0, previewAt = 0;
                    if (!walker.u32(e.valueField, rawAt) || !walker.u32(uint64_t{e.valueField} + 4, previewAt)) return 0;
                    if (rawAt > tiff::kOffsetLimit || previewAt > tiff::kOffsetLimit) return 0;
                    if (!dngRawSubIfd(rawAt, false, length)) return 0;
                    if (!dngPreviewSubIfd(previewAt, previewOffset)) return 0;
                }
                break;
            }
        }
        const uint64_t directoryEnd = fallback(6);
        // Cameras and phones that write DNG themselves keep the image in the
        // first IFD. Its end counts when it lies beyond that directory; an
        // image before it, or one whose values are refused, leaves the
        // estimate from the directory below, as for any DNG without an image.
        if (!subIfdsSeen) {
            uint64_t imageEnd = 0;
            if (dngImageEnd(first, imageEnd)) {
                if (imageEnd > directoryEnd) length = std::max(length, imageEnd);
            } else if (ctx.cancelled()) {
                return 0;
            }
        }
        // The *ist D's preview counts only when it starts after the raw data.
        const uint64_t previewSectorStart = previewOffset - previewOffset % sectorSize;
        if (!pentaxIstD || previewSectorStart >= length) length += report.size;

        if (length >= directoryEnd) return finalBounds(length, true);
        // No believable image end: the directory and its out-of-line values.
        length = directoryEnd;
        for (uint32_t i = 0; i < first.entryCount; ++i) {
            const IfdEntry& e = first.entries[i];
            if (e.valueField > firstIfdOffset) length += uint64_t{tiff::walkedDataTypeValue(e.type)} * e.count;
        }
        return finalBounds(length, true);
    }

    // ---- Canon --------------------------------------------------------------

    // A CR2's first IFD describes its full-size preview; its last IFD the raw data.
    uint64_t cr2() {
        if (!readFirstIfd(2)) return withdrawAll();
        uint64_t ifdOffset = firstIfdOffset;
        Ifd ifd = first;
        for (uint32_t ifds = 1;; ++ifds) {
            if (ifds > tiff::kMaxIfds || ctx.cancelled()) return withdrawAll();
            if (ifds > 1 && !readIfd(ifdOffset, ifd, 2)) return withdrawAll();
            if (ifds == 1) {
                for (uint32_t i = 0; i < ifd.entryCount; ++i) {
                    const IfdEntry& e = ifd.entries[i];
                    uint64_t v = 0;
                    if (e.tag == tiff::kTagStripOffsets && value(e, kInlineBelow2Or65535, v) == Got::Value) {
                        reportPreviewAt(v);
                    } else if (e.tag == tiff::kTagStripByteCounts && value(e, kInlineBelow2Or65535, v) == Got::Value) {
                        report.size = v;
                        previewFound = true;
                    }
                }
            }
            if (ifd.nextIfdOffset == 0) break;
            ifdOffset = ifd.nextIfdOffset;
        }
        uint64_t rawOffset = 0;
        for (uint32_t i = 0; i < ifd.entryCount; ++i) {
            const IfdEntry& e = ifd.entries[i];
            if (e.tag != tiff::kTagStripOffsets && e.tag != tiff::kTagStripByteCounts) continue;
            uint64_t v = 0;
            if (value(e, kInlineBelow2Or65535, v) == Got::Reject) return withdrawAll();
            if (e.tag == tiff::kTagStripOffsets) {
                rawOffset = v;
                continue;
            }
            const uint64_t end = rawOffset + v;
            return end > tiff::kOffsetLimit ? 0 : end;
        }
        return withdrawAll();
    }

    // ---- Nikon --------------------------------------------------------------

    struct NikonWalk {
        uint64_t length = 0;
        uint64_t lastPreviewOffset = 0;
        bool decided = false;  // a single SubIFD with inline strips gives the result at once
        uint64_t result = 0;
    };

    bool nikonSubIfd(uint64_t subOffset, bool onlySubIfd, NikonWalk& walk) {
        if (subOffset > tiff::kOffsetLimit) return false;
        Ifd sub;
        if (!readIfd(subOffset, sub, 2)) return false;
        uint64_t stripOffset = 0, previewOffset = 0;
        bool stripOffsetInline = false;
        for (uint32_t j = 0; j < sub.entryCount; ++j) {
            if (ctx.cancelled()) return false;
            const IfdEntry& s = sub.entries[j];
            if (s.tag == kTagJpegOffset) {
                previewOffset = walk.lastPreviewOffset = s.inlineValue;
                if (onlySubIfd) reportPreviewAt(previewOffset);
            } else if (s.tag == kTagJpegLength) {
                if (onlySubIfd) {
                    report.size = s.inlineValue;
                    previewFound = true;
                } else if (s.inlineValue > report.size) {
                    // The largest preview of the file wins.
                    reportPreviewAt(previewOffset);
                    report.size = s.inlineValue;
                    previewFound = true;
                }
            } else if (s.tag == tiff::kTagStripOffsets || s.tag == tiff::kTagStripByteCounts) {
                uint64_t v = 0;
                bool wasInline = false;
                if (value(s, kInlineBelow2, v, &wasInline) == Got::Reject) return false;
                if (s.tag == tiff::kTagStripOffsets) {
                    stripOffset = v;
                    stripOffsetInline = wasInline;
                } else if (onlySubIfd && wasInline && stripOffsetInline) {
                    walk.decided = true;
                    walk.result = stripOffset + v;
                    return true;
                } else {
                    walk.length = stripOffset + v;
                }
            }
        }
        return true;
    }

    // NEF and NRW walk the same way and divide the files between them: a NEF
    // keeps its raw data after its previews, an NRW before its preview.
    uint64_t nikon(bool nrw) {
        if (!readFirstIfd(2)) return 0;
        NikonWalk walk;
        bool subIfdsSeen = false;
        for (uint32_t i = 0; i < first.entryCount && !subIfdsSeen; ++i) {
            if (ctx.cancelled()) return 0;
            const IfdEntry& e = first.entries[i];
            if (e.tag != tiff::kTagSubIfds) continue;
            subIfdsSeen = true;
            if (e.count >= 2 && e.count <= kNikonMaxSubIfds) {
                if (e.valueField > tiff::kLengthLimit) return 0;
                for (uint32_t k = 0; k < e.count; ++k) {
                    if (ctx.cancelled()) return 0;
                    uint32_t subOffset = 0;
                    if (!walker.u32(uint64_t{e.valueField} + 4 * k, subOffset)) return 0;
                    if (!nikonSubIfd(subOffset, false, walk)) return 0;
                }
            } else if (e.count == 1) {
                if (!nikonSubIfd(e.valueField, true, walk)) return 0;
                if (walk.decided) return walk.result;
            }
        }
        if (!subIfdsSeen) return finalBounds(firstDirectoryLength(), false);

        uint64_t length = walk.length;
        if (length < firstIfdOffset) length = firstDirectoryLength();
        const bool rawDataAfterPreview = length > walk.lastPreviewOffset;
        if (!nrw) {
            if (rawDataAfterPreview) return finalBounds(length, true);
            verdict.findings |= bit(TiffFinding::Nrw);
            return 0;
        }
        if (rawDataAfterPreview) return 0;
        verdict.findings &= ~bit(TiffFinding::Nrw);
        return finalBounds(length + report.size, true);
    }

    // ---- Olympus ------------------------------------------------------------

    // The newer maker note's preview starts at a fixed place; its end is the
    // first end-of-image marker after it.
    bool olympusFixedPreview() {
        const uint64_t last = kOlympusPreviewStart + uint64_t{kOlympusPreviewWindows} * ReadWindow::kSpan - 1;
        uint64_t at = 0;
        const auto endMarker = [](const ReadWindow& w, uint64_t position) {
            return w.byte(position) == 0xFF && w.byte(position + 1) == 0xD9;
        };
        const auto result = scanForward(readWindow, ctx, fileSector, kOlympusPreviewStart, last, at, endMarker);
        if (result == ForwardScanResult::Failed || result == ForwardScanResult::Cancelled) return false;
        if (result == ForwardScanResult::NotFound) return true;
        const uint64_t fromStart = at - kOlympusPreviewStart;
        const uint64_t windowIndex = fromStart / ReadWindow::kSpan;
        const uint64_t index = fromStart % ReadWindow::kSpan;
        reportPreviewAt(kOlympusPreviewStart);
        report.size = (windowIndex + 1) * ReadWindow::kSpan + index + 50;
        previewFound = true;
        return true;
    }

    // The older maker note names its preview in the camera-settings IFD.
    bool olympusCameraSettingsPreview(uint64_t makerNote) {
        IfdEntry settings;
        bool found = false;
        if (!walker.findTag(makerNote + 8, kTagOlympusCameraSettings, tiff::kMaxEntries, settings, found)) return false;
        if (!found) return true;
        Ifd ifd;
        if (!walker.readIfd(uint64_t{settings.valueField} + 12, ifd)) return false;
        if (!ifd.entriesRead()) return true;
        for (uint32_t i = 0; i < ifd.entryCount; ++i) {
            if (ctx.cancelled()) return false;
            const IfdEntry& e = ifd.entries[i];
            if (e.tag == kTagOlympusPreviewOffset) {
                reportPreviewAt(e.inlineValue);
            } else if (e.tag == kTagOlympusPreviewLength) {
                if (e.inlineValue <= kOlympusPreviewCap) {
                    report.size = e.inlineValue;
                    previewFound = true;
                }
                break;
            }
        }
        return true;
    }

    bool orfExif(uint64_t exifOffset) {
        Ifd exif;
        if (!walker.readIfd(exifOffset, exif)) return false;
        if (!exif.entriesRead()) return true;
        for (uint32_t i = 0; i < exif.entryCount; ++i) {
            if (ctx.cancelled()) return false;
            if (previewFound) break;
            const IfdEntry& e = exif.entries[i];
            if (e.tag != tiff::kTagMakerNote) continue;
            if (e.valueField > tiff::kOffsetLimit) return false;
            uint8_t note[7] = {};
            if (!walker.bytes(e.valueField, note, sizeof note)) return false;
            if (std::memcmp(note, "OLYMPUS", 7) == 0) {
                if (!olympusFixedPreview()) return false;
            } else if (std::memcmp(note, "OLYMP", 5) == 0 && note[5] == 0) {
                if (!olympusCameraSettingsPreview(e.valueField)) return false;
            }
        }
        return true;
    }

    uint64_t orf() {
        if (!readFirstIfd(2)) return 0;
        uint64_t length = probe[2] == 'R' && probe[3] == 'S' ? kOrfRsStart : 0;
        uint64_t stripOffset = 0;
        for (uint32_t i = 0; i < first.entryCount; ++i) {
            if (ctx.cancelled()) return 0;
            const IfdEntry& e = first.entries[i];
            if (e.tag == tiff::kTagStripOffsets || e.tag == tiff::kTagStripByteCounts) {
                uint64_t v = 0;
                if (value(e, kInlineBelow2Or65536, v) == Got::Reject) return 0;
                if (e.tag == tiff::kTagStripOffsets) stripOffset = v;
                else length += stripOffset + v;
            } else if (e.tag == tiff::kTagExifIfd) {
                if (!orfExif(e.valueField)) return 0;
            }
        }
        if (length < firstIfdOffset) length += firstDirectoryLength();
        return finalBounds(length, true);
    }

    // ---- Panasonic, Leica, Hasselblad ----------------------------------------

    uint64_t panasonic() {
        if (!readFirstIfd(2)) return 0;
        uint64_t length = 0, stripOffset = 0;
        for (uint32_t i = 0; i < first.entryCount; ++i) {
            if (ctx.cancelled()) return 0;
            const IfdEntry& e = first.entries[i];
            if (e.tag == tiff::kTagStripOffsets || e.tag == tiff::kTagStripByteCounts) {
                uint64_t v = 0;
                if (value(e, kInlineBelow2Or65536, v) == Got::Reject) return 0;
                if (e.tag == tiff::kTagStripOffsets) stripOffset = v;
                else length = stripOffset + v;
            } else if (e.tag == kTagPanasonicJpeg) {
                const uint64_t previewOffset = e.valueField;
                reportPreviewAt(previewOffset);
                if (previewOffset >= kPreviewWalkLimit) continue;
                const uint64_t previewLength = walker.previewJpegLength(fileSector * sectorSize + previewOffset);
                if (previewLength != 0) {
                    report.size = previewLength;
                    previewFound = true;
                }
            }
        }
        if (length <= firstIfdOffset) length = fallback(6);
        return finalBounds(length, true);
    }

    uint64_t threefr() {
        if (!readFirstIfd(2)) return 0;
        uint64_t length = 0;
        const bool walked = forEachSubIfdEntry(0, [&](const IfdEntry& s, uint64_t& stripOffset) {
            if (s.tag != tiff::kTagStripOffsets && s.tag != tiff::kTagStripByteCounts) return true;
            uint64_t v = 0;
            if (value(s, kInlineBelow2Or65536, v) == Got::Reject) return false;
            if (s.tag == tiff::kTagStripOffsets) {
                stripOffset = v;
            } else {
                length = stripOffset + v;
                if (length <= firstIfdOffset) length = fallback(8);
            }
            return true;
        });
        if (!walked || length > tiff::kLengthLimit || length < tiff::kMinimumLength) return 0;
        // From 30 MiB on, the length is taken 10 MiB short of the strip end.
        return length >= kThreefrReduceFrom ? length - kThreefrReduction : length;
    }

    FamilyVerdict& verdict;
    const ScanContext& ctx;
    ReadWindow& readWindow;
    const uint8_t* probe;
    uint64_t fileSector;
    uint32_t sectorSize;
    TiffWalker walker;
    uint32_t firstIfdOffset = 0;
    Ifd first;
    Preview report;
    bool previewFound = false;
};

}  // namespace

uint64_t measureTiffRawFile(TiffMember member, FamilyVerdict& verdict, Preview& preview, const ScanContext& ctx,
                            ReadWindow& window, const uint8_t* probe, uint64_t sectorNumber) {
    Sizer sizer(verdict, ctx, window, probe, sectorNumber);
    const uint64_t length = sizer.measure(member);
    preview = sizer.preview();
    return length;
}

}  // namespace pelorin
