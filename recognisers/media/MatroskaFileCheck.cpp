#include "recognisers/media/MatroskaFileCheck.h"

#include <bit>

#include "recognisers/media/SourceExtent.h"

namespace pelorin {
namespace {

constexpr uint32_t kEbmlHeader = 0x1A45DFA3;
constexpr uint32_t kDocType = 0x4282;
constexpr uint32_t kSegment = 0x18538067;
constexpr uint32_t kCluster = 0x1F43B675;
constexpr uint32_t kVoid = 0xEC;
constexpr uint64_t kLargestHeader = 256;  // an EBML header holds a few short values

constexpr uint32_t kCrc32 = 0xBF;

bool isSegmentChild(uint32_t id) {
    switch (id) {
    case 0x114D9B74:  // SeekHead
    case 0x1549A966:  // Info
    case 0x1654AE6B:  // Tracks
    case kCluster:
    case 0x1C53BB6B:  // Cues
    case 0x1941A469:  // Attachments
    case 0x1043A770:  // Chapters
    case 0x1254C367:  // Tags
    case kVoid:
    case kCrc32:
        return true;
    default:
        return false;
    }
}

// What may follow a block in a Cluster of unknown size, whose end is only
// found where its children stop: the sizes of the fixed-size ones are checked
// too, so that random bytes after the file are seldom taken for more of it.
bool isClusterChild(uint32_t id, uint64_t size) {
    switch (id) {
    case 0xE7:    // Timestamp
    case 0xA7:    // Position
    case 0xAB:    // PrevSize
        return size <= 8;
    case 0x5854:  // SilentTracks
    case 0xA3:    // SimpleBlock
    case 0xA0:    // BlockGroup
    case kVoid:
        return true;
    case kCrc32:
        return size == 4;
    default:
        return false;
    }
}

// Void and CRC-32 elements carry nothing of the file, and the bytes after a
// file start with either one time in 128: where the walk goes by IDs alone,
// they are taken only when another element follows them inside the source.
bool holdsNothing(uint32_t id) { return id == kVoid || id == kCrc32; }

}  // namespace

// An ID of one to four bytes, its length marked by the first byte's leading
// zeros, then a size of one to eight bytes marked the same way; a size with
// every value bit set is unknown.
MatroskaFileCheck::Element MatroskaFileCheck::elementAt(FileCursor& cursor, uint64_t at) {
    Element element;
    if (!cursor.reach(at)) return element;
    const int idLength = std::countl_zero(cursor.byte(at)) + 1;
    if (idLength > 4) return element;
    uint32_t id = 0;
    for (int i = 0; i < idLength; ++i) id = id << 8 | cursor.byte(at + i);
    const uint8_t first = cursor.byte(at + idLength);
    const int sizeLength = std::countl_zero(first) + 1;
    if (sizeLength > 8) return element;
    uint64_t size = first & (0xFF >> sizeLength);
    for (int i = 1; i < sizeLength; ++i) size = size << 8 | cursor.byte(at + idLength + i);
    element.id = id;
    element.dataStart = at + idLength + sizeLength;
    element.size = size;
    element.unknownSize = size == (uint64_t{1} << (7 * sizeLength)) - 1;
    return element;
}

// The header's DocType child holds the format's name, padded with zeros at most.
bool MatroskaFileCheck::docTypeMatches(FileCursor& cursor, const Element& header) {
    const uint64_t end = header.dataStart + header.size;
    for (uint64_t at = header.dataStart; at < end;) {
        const Element child = elementAt(cursor, at);
        if (child.id == 0 || child.unknownSize || child.dataStart + child.size > end) return false;
        if (child.id == kDocType) {
            if (child.size < docType_.size()) return false;
            for (uint64_t i = 0; i < child.size; ++i) {
                const uint8_t expected = i < docType_.size() ? uint8_t(docType_[i]) : 0;
                if (cursor.byte(child.dataStart + i) != expected) return false;
            }
            return true;
        }
        at = child.dataStart + child.size;
    }
    return false;
}

// Steps over the Segment's children from the offset while their IDs are the
// Segment's own, up to its declared end when it has one. A child that runs
// past the source's end ends the walk with that child: the file is cut there.
uint64_t MatroskaFileCheck::walkSegment(FileCursor& cursor, uint64_t at, uint64_t declaredEnd, uint64_t sourceEnd) {
    while (at < declaredEnd && at < sourceEnd && !ctx.cancelled()) {
        const Element child = elementAt(cursor, at);
        if (!isSegmentChild(child.id) || (child.id == kCrc32 && child.size != 4)) break;
        uint64_t end = 0;
        if (child.unknownSize) {
            if (child.id != kCluster) break;
            end = walkCluster(cursor, child.dataStart, sourceEnd);
        } else {
            end = child.dataStart + child.size;
        }
        if (holdsNothing(child.id) && (end >= sourceEnd || !isSegmentChild(elementAt(cursor, end).id))) break;
        at = end;
    }
    return at;
}

// A Cluster of unknown size ends where an element that is not one of its
// children starts (the next Cluster, most often).
uint64_t MatroskaFileCheck::walkCluster(FileCursor& cursor, uint64_t at, uint64_t sourceEnd) {
    while (at < sourceEnd && !ctx.cancelled()) {
        const Element child = elementAt(cursor, at);
        if (child.unknownSize || !isClusterChild(child.id, child.size)) break;
        const uint64_t end = child.dataStart + child.size;
        if (holdsNothing(child.id)) {
            const Element next = end < sourceEnd ? elementAt(cursor, end) : Element{};
            if (!isSegmentChild(next.id) && !isClusterChild(next.id, next.size)) break;
        }
        at = end;
    }
    return at;
}

std::optional<Match> MatroskaFileCheck::recognise(Probe& probe, uint64_t sector) {
    if (probe.be32(0) != kEbmlHeader || ctx.sectorSize == 0) return std::nullopt;
    FileCursor cursor(window_, sector, ctx.sectorSize);
    const Element header = elementAt(cursor, 0);
    if (header.id != kEbmlHeader || header.unknownSize || header.size > kLargestHeader ||
        !docTypeMatches(cursor, header))
        return std::nullopt;

    // The Segment follows the header, after Void elements at most.
    uint64_t at = header.dataStart + header.size;
    Element segment = elementAt(cursor, at);
    while (segment.id == kVoid && !segment.unknownSize && segment.size <= kLargestHeader) {
        at = segment.dataStart + segment.size;
        segment = elementAt(cursor, at);
    }
    if (segment.id != kSegment) return std::nullopt;

    const uint64_t sourceEnd = bytesToSourceEnd(ctx, sector);
    Match match;
    if (!segment.unknownSize && segment.dataStart + segment.size <= sourceEnd)
        match.size = segment.dataStart + segment.size;
    else
        match.size = walkSegment(cursor, segment.dataStart,
                                 segment.unknownSize ? UINT64_MAX : segment.dataStart + segment.size, sourceEnd);
    return match;
}

}  // namespace pelorin
