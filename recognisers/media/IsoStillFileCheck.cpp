#include "recognisers/media/IsoStillFileCheck.h"

#include <algorithm>
#include <optional>

#include "engine/Probe.h"
#include "engine/Source.h"

namespace pelorin {
namespace {

constexpr uint32_t kSmallestFtyp = 16;
constexpr uint32_t kLargestFtyp = 4096;
// Bounds on what a damaged file can make a walk do.
constexpr int kMostTopLevelBoxes = 100000;
constexpr int kMostChildBoxes = 4096;
constexpr uint64_t kMostItemExtents = 100000;
constexpr uint32_t kMostSamplesInAChunk = 65536;

struct Box {
    uint64_t start;
    uint64_t size;
    uint32_t type;
};

// The child box at `at` inside a parent ending at `end`: nothing when its
// header does not fit or its size points outside the parent.
std::optional<Box> childAt(FileCursor& file, uint64_t at, uint64_t end) {
    if (at >= end || end - at < 8 || !file.reach(at)) return std::nullopt;
    uint64_t size = file.be32(at);
    const uint32_t type = file.be32(at + 4);
    if (size == 1) {
        if (end - at < 16) return std::nullopt;
        size = file.be64(at + 8);
        if (size < 16) return std::nullopt;
    } else if (size == 0) {
        size = end - at;  // to the end of its parent
    } else if (size < 8) {
        return std::nullopt;
    }
    if (size > end - at) return std::nullopt;
    return Box{at, size, type};
}

uint32_t be32At(FileCursor& file, uint64_t at) { return file.reach(at) ? file.be32(at) : 0; }

// A 0-, 4- or 8-byte field of an item location record.
uint64_t fieldAt(FileCursor& file, uint64_t at, uint32_t width) {
    if (width == 0 || !file.reach(at)) return 0;
    return width == 4 ? file.be32(at) : file.be64(at);
}

uint64_t addOrMax(uint64_t a, uint64_t b) { return b > UINT64_MAX - a ? UINT64_MAX : a + b; }

bool isTopLevelType(uint32_t type) {
    switch (type) {
    case fourCC("ftyp"): case fourCC("meta"): case fourCC("moov"): case fourCC("mdat"): case fourCC("moof"):
    case fourCC("mfra"): case fourCC("free"): case fourCC("skip"): case fourCC("wide"): case fourCC("uuid"):
    case fourCC("pdin"): case fourCC("sidx"): case fourCC("ssix"): case fourCC("styp"): case fourCC("prft"):
    case fourCC("emsg"): case fourCC("meco"):
        return true;
    default:
        return false;
    }
}

// The kind a brand names by itself; None for the generic ones.
IsoStillKind kindOfBrand(uint32_t brand) {
    switch (brand) {
    case fourCC("crx "): return IsoStillKind::Cr3;
    case fourCC("heic"): case fourCC("heix"): case fourCC("heim"): case fourCC("heis"):
    case fourCC("hevc"): case fourCC("hevx"):
        return IsoStillKind::Heic;
    case fourCC("avif"): case fourCC("avis"): return IsoStillKind::Avif;
    default: return IsoStillKind::None;
    }
}

bool isGenericStillBrand(uint32_t brand) {
    return brand == fourCC("mif1") || brand == fourCC("msf1") || brand == fourCC("miaf");
}

}  // namespace

bool IsoStillFileCheck::isStillBrand(uint32_t majorBrand) {
    return kindOfBrand(majorBrand) != IsoStillKind::None || isGenericStillBrand(majorBrand);
}

// The major brand decides, unless it is a generic one: then the first
// compatible brand that names a kind does, and HEIF is what is left.
IsoStillKind IsoStillFileCheck::kindOf(const Probe& probe, FileCursor& file) const {
    const uint32_t major = probe.be32(8);
    if (const IsoStillKind kind = kindOfBrand(major); kind != IsoStillKind::None) return kind;
    if (!isGenericStillBrand(major)) return IsoStillKind::None;
    const uint32_t ftypSize = probe.be32(0);
    for (uint64_t at = 16; at + 4 <= ftypSize; at += 4)
        if (const IsoStillKind kind = kindOfBrand(file.be32(at)); kind != IsoStillKind::None) return kind;
    return IsoStillKind::Heif;
}

std::optional<Match> IsoStillFileCheck::recognise(Probe& probe, uint64_t sector) {
    const uint32_t ftypSize = probe.be32(0);
    if (probe.be32(4) != fourCC("ftyp") || ftypSize < kSmallestFtyp || ftypSize > kLargestFtyp ||
        !isStillBrand(probe.be32(8)))
        return std::nullopt;
    const uint32_t sectorSize = ctx.sectorSize;
    if (sectorSize == 0 || !window_.read(sector)) return std::nullopt;
    FileCursor file(window_, sector, sectorSize);
    file.holdsFileStart();
    if (kindOf(probe, file) != kind_) return std::nullopt;

    // The bytes from the file's start to the source's end.
    const uint64_t sourceSize = ctx.source ? ctx.source->size() : 0;
    const uint64_t start = sector * sectorSize;
    const uint64_t room = sourceSize == 0 ? UINT64_MAX : sourceSize > start ? sourceSize - start : 0;
    Match match;
    match.size = walkTopLevelBoxes(file, room, match);
    return match;
}

// Sums the top-level boxes while their types are ones these files use. A box
// that runs past the source's end ends the walk, and the file with it, there.
// A file of nothing but its "ftyp" box is no file.
uint64_t IsoStillFileCheck::walkTopLevelBoxes(FileCursor& file, uint64_t room, Match& match) {
    uint64_t at = 0;
    uint64_t pointedEnd = 0;  // where the data that "meta" and "moov" point at ends
    bool sawContent = false;
    for (int count = 0; count < kMostTopLevelBoxes && !ctx.cancelled(); ++count) {
        if (at >= room || room - at < 8 || !file.reach(at)) break;
        const uint32_t type = file.be32(at + 4);
        if (!isTopLevelType(type)) break;
        uint64_t size = file.be32(at);
        const bool toTheEnd = size == 0;
        if (size == 1) {
            size = file.be64(at + 8);
            if (size < 16) break;
        } else if (toTheEnd) {
            size = std::max<uint64_t>(pointedEnd, at + 8) - at;
        } else if (size < 8) {
            break;
        }
        if (size >= room - at) {
            sawContent = sawContent || type != fourCC("ftyp");
            at = room;
            break;
        }
        if (type == fourCC("meta")) pointedEnd = std::max(pointedEnd, itemExtentsEnd(file, at, at + size));
        if (type == fourCC("moov")) pointedEnd = std::max(pointedEnd, trackChunksEnd(file, at, at + size, 0));
        sawTopLevelBox(file, at, type, size, match);
        sawContent = sawContent || type != fourCC("ftyp");
        at += size;
        if (toTheEnd) break;
    }
    return sawContent ? at : 0;
}

// The end of the furthest extent in the file itself (construction method 0,
// this file as the data reference) that the "iloc" box of a "meta" box lists.
uint64_t IsoStillFileCheck::itemExtentsEnd(FileCursor& file, uint64_t metaStart, uint64_t metaEnd) const {
    uint64_t at = metaStart + 12;  // "meta" is a full box: version and flags first
    std::optional<Box> iloc;
    for (int count = 0; count < kMostChildBoxes; ++count) {
        const std::optional<Box> child = childAt(file, at, metaEnd);
        if (!child) return 0;
        if (child->type == fourCC("iloc")) {
            iloc = child;
            break;
        }
        at += child->size;
    }
    if (!iloc || iloc->size < 16 || !file.reach(iloc->start)) return 0;
    const uint64_t ilocEnd = iloc->start + iloc->size;
    const uint32_t version = file.byte(iloc->start + 8);
    const uint32_t offsetSize = file.byte(iloc->start + 12) >> 4;
    const uint32_t lengthSize = file.byte(iloc->start + 12) & 15;
    const uint32_t baseOffsetSize = file.byte(iloc->start + 13) >> 4;
    const uint32_t indexSize = version == 0 ? 0 : file.byte(iloc->start + 13) & 15;
    auto isWidth = [](uint32_t width) { return width == 0 || width == 4 || width == 8; };
    if (version > 2 || !isWidth(offsetSize) || !isWidth(lengthSize) || !isWidth(baseOffsetSize) || !isWidth(indexSize))
        return 0;
    const uint32_t idWidth = version == 2 ? 4 : 2;
    uint64_t p = iloc->start + 14;
    const uint64_t itemCount = version == 2 ? be32At(file, p) : be32At(file, p) >> 16;
    p += idWidth;

    uint64_t end = 0;
    uint64_t extentsSeen = 0;
    for (uint64_t item = 0; item < itemCount && p < ilocEnd && extentsSeen < kMostItemExtents; ++item) {
        p += idWidth;
        uint32_t constructionMethod = 0;
        if (version != 0) {
            constructionMethod = (be32At(file, p) >> 16) & 15;
            p += 2;
        }
        const uint32_t dataReference = be32At(file, p) >> 16;
        p += 2;
        const uint64_t baseOffset = fieldAt(file, p, baseOffsetSize);
        p += baseOffsetSize;
        const uint32_t extentCount = be32At(file, p) >> 16;
        p += 2;
        const bool inThisFile = constructionMethod == 0 && dataReference == 0;
        for (uint32_t e = 0; e < extentCount && p < ilocEnd; ++e, ++extentsSeen) {
            p += indexSize;
            const uint64_t offset = fieldAt(file, p, offsetSize);
            p += offsetSize;
            const uint64_t length = fieldAt(file, p, lengthSize);
            p += lengthSize;
            if (inThisFile) end = std::max(end, addOrMax(addOrMax(baseOffset, offset), length));
        }
    }
    return p <= ilocEnd ? end : 0;
}

// The end of the furthest track chunk below a "moov" box.
uint64_t IsoStillFileCheck::trackChunksEnd(FileCursor& file, uint64_t start, uint64_t end, int depth) const {
    uint64_t furthest = 0;
    uint64_t at = start + 8;
    for (int count = 0; count < kMostChildBoxes && depth < 4; ++count) {
        const std::optional<Box> child = childAt(file, at, end);
        if (!child) break;
        switch (child->type) {
        case fourCC("trak"): case fourCC("mdia"): case fourCC("minf"):
            furthest = std::max(furthest, trackChunksEnd(file, child->start, child->start + child->size, depth + 1));
            break;
        case fourCC("stbl"):
            furthest = std::max(furthest, lastChunkEnd(file, child->start, child->start + child->size));
            break;
        default:
            break;
        }
        at += child->size;
    }
    return furthest;
}

// A track's chunks lie in file order, so its last chunk ends its data: the
// chunk's offset ("stco" or "co64") plus the sizes ("stsz") of the samples it
// holds (the last run of "stsc").
uint64_t IsoStillFileCheck::lastChunkEnd(FileCursor& file, uint64_t stblStart, uint64_t stblEnd) const {
    std::optional<Box> sizes, offsets, chunking;
    uint64_t at = stblStart + 8;
    for (int count = 0; count < kMostChildBoxes; ++count) {
        const std::optional<Box> child = childAt(file, at, stblEnd);
        if (!child) break;
        switch (child->type) {
        case fourCC("stsz"): sizes = child; break;
        case fourCC("stco"): case fourCC("co64"): offsets = child; break;
        case fourCC("stsc"): chunking = child; break;
        default: break;
        }
        at += child->size;
    }
    if (!sizes || !offsets || sizes->size < 20 || offsets->size < 16 || (chunking && chunking->size < 16)) return 0;
    const uint64_t chunkCount = be32At(file, offsets->start + 12);
    const uint32_t offsetWidth = offsets->type == fourCC("co64") ? 8 : 4;
    if (chunkCount == 0 || (offsets->size - 16) / offsetWidth < chunkCount) return 0;
    const uint64_t lastOffset = fieldAt(file, offsets->start + 16 + (chunkCount - 1) * offsetWidth, offsetWidth);

    uint64_t samplesInLastChunk = 1;
    if (chunking) {
        const uint64_t runs = be32At(file, chunking->start + 12);
        if (runs != 0 && (chunking->size - 16) / 12 >= runs)
            samplesInLastChunk = be32At(file, chunking->start + 16 + (runs - 1) * 12 + 4);
    }
    const uint32_t uniformSize = be32At(file, sizes->start + 12);
    const uint64_t sampleCount = be32At(file, sizes->start + 16);
    samplesInLastChunk = std::min<uint64_t>({samplesInLastChunk, sampleCount, kMostSamplesInAChunk});
    uint64_t chunkBytes = 0;
    if (uniformSize != 0) {
        chunkBytes = uint64_t{uniformSize} * samplesInLastChunk;
    } else {
        if ((sizes->size - 20) / 4 < sampleCount) return 0;
        for (uint64_t s = sampleCount - samplesInLastChunk; s < sampleCount; ++s)
            chunkBytes += be32At(file, sizes->start + 20 + s * 4);
    }
    return addOrMax(lastOffset, chunkBytes);
}

}  // namespace pelorin
