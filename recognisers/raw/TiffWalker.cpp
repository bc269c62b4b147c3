#include "recognisers/raw/TiffWalker.h"

#include <algorithm>
#include <cstring>

#include "engine/Source.h"

namespace pelorin {

namespace tiff {

uint32_t scalarDataTypeValue(uint32_t type) {
    switch (type) {
    case 1: case 2: case 6: case 7: return 1;
    case 3: case 8: return 2;
    case 4: case 9: case 11: return 4;
    case 5: case 10: case 12: return 8;
    default: return 1;
    }
}

uint32_t walkedDataTypeValue(uint32_t type) {
    if (type == 0) return 0;
    if (type > 12) return 8;
    return scalarDataTypeValue(type);
}

}  // namespace tiff

namespace {
constexpr uint32_t kSpan = ReadWindow::kSpan;
constexpr uint64_t kJpegGiveUpLength = 0x500000;  // previews stop growing past 5 MiB
}  // namespace

TiffWalker::TiffWalker(ReadWindow& window, const ScanContext& context, uint64_t fileSector, bool littleEndian)
    : window_(window), ctx_(context), fileSector_(fileSector), littleEndian_(littleEndian) {}

bool TiffWalker::hold(uint64_t fileOffset, uint32_t count, uint64_t& position) {
    const uint32_t sectorSize = ctx_.sectorSize;
    const uint64_t span = std::min<uint64_t>(uint64_t{kSpan} + sectorSize, ReadWindow::kCapacity);
    // Another walker over the same window may have moved it since.
    held_ = held_ && window_.sector() == fileSector_ + heldStart_ / sectorSize;
    if (held_ && fileOffset >= heldStart_ && fileOffset + count <= heldStart_ + span) {
        position = fileOffset - heldStart_;
        return true;
    }
    const uint64_t firstSector = fileOffset / sectorSize;
    held_ = window_.read(fileSector_ + firstSector);
    if (!held_) return false;
    heldStart_ = firstSector * sectorSize;
    position = fileOffset - heldStart_;
    return true;
}

bool TiffWalker::withinSource(uint64_t fileOffset) const {
    const uint64_t end = ctx_.source ? ctx_.source->size() : 0;
    if (end == 0) return true;  // a source that cannot tell its size
    const uint64_t fileStart = fileSector_ * ctx_.sectorSize;
    return fileStart < end && fileOffset < end - fileStart;
}

bool TiffWalker::value(uint64_t fileOffset, uint32_t width, uint64_t& out) {
    uint64_t position = 0;
    if (!hold(fileOffset, width, position)) return false;
    switch (width) {
    case 1: out = window_.byte(position); break;
    case 2: out = littleEndian_ ? window_.le16(position) : window_.be16(position); break;
    case 4: out = littleEndian_ ? window_.le32(position) : window_.be32(position); break;
    case 8: out = littleEndian_ ? window_.le64(position) : window_.be64(position); break;
    default: out = 0; break;
    }
    return true;
}

bool TiffWalker::u16(uint64_t fileOffset, uint32_t& out) {
    uint64_t v = 0;
    if (!value(fileOffset, 2, v)) return false;
    out = static_cast<uint32_t>(v);
    return true;
}

bool TiffWalker::u32(uint64_t fileOffset, uint32_t& out) {
    uint64_t v = 0;
    if (!value(fileOffset, 4, v)) return false;
    out = static_cast<uint32_t>(v);
    return true;
}

bool TiffWalker::bytes(uint64_t fileOffset, uint8_t* out, uint32_t count) {
    count = std::min<uint32_t>(count, 32);
    uint64_t position = 0;
    if (!hold(fileOffset, count, position)) return false;
    for (uint32_t i = 0; i < count; ++i) out[i] = window_.byte(position + i);
    return true;
}

bool TiffWalker::readEntry(uint64_t at, IfdEntry& entry) {
    uint32_t tag = 0, type = 0;
    if (!u16(at, tag) || !u16(at + 2, type) || !u32(at + 4, entry.count) || !u32(at + 8, entry.valueField))
        return false;
    entry.tag = static_cast<uint16_t>(tag);
    entry.type = static_cast<uint16_t>(type);
    entry.inlineValue = entry.valueField;
    if (type == 3 || type == 8) {  // a 16-bit value sits in the first two bytes of the field
        uint32_t first = 0;
        if (!u16(at + 8, first)) return false;
        entry.inlineValue = first;
    }
    return true;
}

bool TiffWalker::readIfd(uint64_t fileOffset, Ifd& out) {
    out.entryCount = 0;
    out.nextIfdOffset = 0;
    // The whole directory lies inside the window that holds its first byte.
    uint64_t position = 0;
    if (!hold(fileOffset, 2 + tiff::kMaxEntries * tiff::kEntrySize + 4, position)) return false;
    if (!u16(fileOffset, out.entryCount)) return false;
    if (!out.entriesRead()) return true;
    for (uint32_t i = 0; i < out.entryCount; ++i) {
        if (!readEntry(fileOffset + 2 + uint64_t{tiff::kEntrySize} * i, out.entries[i])) return false;
    }
    return u32(fileOffset + 2 + uint64_t{tiff::kEntrySize} * out.entryCount, out.nextIfdOffset);
}

bool TiffWalker::findTag(uint64_t ifdOffset, uint16_t tag, uint32_t maxEntries, IfdEntry& out, bool& found) {
    found = false;
    uint32_t count = 0;
    if (!u16(ifdOffset, count)) return false;
    count = std::min(count, maxEntries);
    for (uint32_t i = 0; i < count; ++i) {
        if (ctx_.cancelled()) return false;
        const uint64_t at = ifdOffset + 2 + uint64_t{tiff::kEntrySize} * i;
        uint32_t entryTag = 0;
        if (!u16(at, entryTag)) return false;
        if (entryTag != tag) continue;
        if (!readEntry(at, out)) return false;
        found = true;
        return true;
    }
    return true;
}

int TiffWalker::pentaxIfdCount(uint32_t firstIfdOffset) {
    uint64_t offset = firstIfdOffset;
    int ifds = 0;
    while (true) {
        if (ctx_.cancelled()) return 0;
        if (++ifds > 10) return 3;
        uint32_t entries = 0, next = 0;
        if (!u16(offset, entries) || !u32(offset + 2 + uint64_t{tiff::kEntrySize} * entries, next)) return 0;
        if (next == 0) break;
        offset = next;
    }
    if (ifds <= 2) return 1;
    return ifds == 3 ? 2 : 3;
}

uint64_t TiffWalker::jpgFileSizeCalculation(uint64_t address) {
    return jpegLength(address, kJpegFileRules);
}

uint64_t TiffWalker::previewJpegLength(uint64_t address) {
    return jpegLength(address, {.nonMarkerEndsWalk = false, .slack = 0,
                                .runawayLength = kJpegGiveUpLength, .runawayGivesUp = false});
}

uint64_t TiffWalker::jpegLength(uint64_t address, const JpegWalkRules& rules) {
    held_ = false;  // the walk moves the window on its own
    return jpegStreamLength(window_, ctx_, address, rules);
}

uint64_t plainTiffLength(TiffWalker& walker, const ScanContext& ctx, uint32_t firstIfdOffset,
                         const PlainTiffLimits& limits) {
    if (firstIfdOffset < 8 || firstIfdOffset > limits.firstIfdOffsetLimit) return 0;
    Ifd ifd;
    if (!walker.readIfd(firstIfdOffset, ifd)) return 0;
    if (ifd.entryCount < 5 || ifd.entryCount > tiff::kMaxEntries) return 0;

    uint64_t total = 8;
    uint64_t ifdOffset = firstIfdOffset;
    for (uint32_t ifds = 1;; ++ifds) {
        if (ifds > tiff::kMaxIfds || ifd.entryCount < 2 || ifd.entryCount > tiff::kMaxEntries) return 0;
        if (ifdOffset < 8 || ifdOffset > tiff::kOffsetLimit) return 0;
        total += uint64_t{tiff::kEntrySize} * ifd.entryCount + 6;

        uint64_t byteCountSum = 0;
        for (uint32_t i = 0; i < ifd.entryCount; ++i) {
            if (ctx.cancelled()) return total;
            const IfdEntry& entry = ifd.entries[i];
            const uint32_t width = tiff::walkedDataTypeValue(entry.type);
            const uint64_t size = uint64_t{width} * entry.count;
            if (size > 4) {
                total += size;
                if (total > tiff::kOffsetLimit) return 0;
            }
            if ((entry.tag != tiff::kTagStripByteCounts && entry.tag != tiff::kTagTileByteCounts) || width == 0)
                continue;
            // The values sit in the entry's own field when they fit, else at its offset.
            const uint64_t entryOffset = ifdOffset + 2 + uint64_t{tiff::kEntrySize} * i;
            uint64_t valuesAt = entryOffset + 8;
            if (size > 4) {
                if (entry.valueField > tiff::kOffsetLimit) return 0;
                valuesAt = entry.valueField;
            }
            for (uint32_t k = 0; k < entry.count; ++k) {
                if (ctx.cancelled()) return total;
                // Counts past the end of the source read as zero and add nothing:
                // a damaged count of millions is not walked one by one.
                if (!walker.withinSource(valuesAt + uint64_t{width} * k)) break;
                uint64_t element = 0;
                if (!walker.value(valuesAt + uint64_t{width} * k, std::min<uint32_t>(width, 8), element)) return 0;
                byteCountSum += element;
            }
        }
        total += byteCountSum;

        const uint32_t next = ifd.nextIfdOffset;
        if (next == 0) break;
        if (next > tiff::kOffsetLimit) return 0;
        ifdOffset = next;
        if (!walker.readIfd(ifdOffset, ifd)) return 0;
        if (ifd.entryCount > tiff::kMaxEntries) {
            if (limits.overlongIfdLength) return std::max(total, limits.overlongIfdLength);
            return 0;
        }
    }
    if (total > limits.lengthLimit || total < tiff::kMinimumLength) return 0;
    return total + tiff::kSlack;
}

}  // namespace pelorin
