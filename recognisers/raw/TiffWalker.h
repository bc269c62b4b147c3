#pragma once
// Reading the TIFF structure that most camera raw formats share: byte order,
// image file directories (IFDs), their entries and out-of-line values, and
// the JPEG streams some of them embed. Every offset counts from the file's
// first byte, which is the first byte of the sector under test.

#include <array>
#include <cstdint>

#include "engine/Probe.h"
#include "engine/ReadWindow.h"
#include "engine/ScanContext.h"
#include "recognisers/media/JpegStream.h"

namespace pelorin {

namespace tiff {

inline constexpr uint32_t kOffsetLimit = 0x9600000;   // offsets read from a file beyond this reject it
inline constexpr uint32_t kMakeOffsetLimit = 0x6400000;
inline constexpr uint64_t kLengthLimit = 0xC800000;   // lengths beyond this are not believed
inline constexpr uint64_t kMinimumLength = 100;
inline constexpr uint64_t kSlack = 512;
inline constexpr uint32_t kMaxEntries = 100;
inline constexpr uint32_t kMaxIfds = 25;
inline constexpr uint32_t kEntrySize = 12;

inline constexpr uint16_t kTagMake = 271;
inline constexpr uint16_t kTagModel = 272;
inline constexpr uint16_t kTagStripOffsets = 273;
inline constexpr uint16_t kTagStripByteCounts = 279;
inline constexpr uint16_t kTagTileOffsets = 324;
inline constexpr uint16_t kTagTileByteCounts = 325;
inline constexpr uint16_t kTagSubIfds = 330;
inline constexpr uint16_t kTagExifIfd = 34665;
inline constexpr uint16_t kTagMakerNote = 37500;
inline constexpr uint16_t kTagDngVersion = 50706;
inline constexpr uint16_t kTagDngBackwardVersion = 50707;

// Element size of a TIFF data type; unknown types count one byte.
uint32_t scalarDataTypeValue(uint32_t type);
// The element size the length walks use: unknown types above 12 count 8
// bytes, type 0 counts nothing.
uint32_t walkedDataTypeValue(uint32_t type);

// True for magic 42 in either byte arrangement, whatever the byte order.
inline bool hasMagic42(const uint8_t* probe) {
    return (probe[2] == 0x2A && probe[3] == 0x00) || (probe[2] == 0x00 && probe[3] == 0x2A);
}
inline bool isHeapCcdr(const uint8_t* probe) {
    return probe[6] == 'H' && probe[7] == 'E' && probe[8] == 'A' && probe[9] == 'P' && probe[10] == 'C' &&
           probe[11] == 'C' && probe[12] == 'D' && probe[13] == 'R';
}

// The first IFD's offset, header bytes 4 to 7 in the file's byte order.
inline uint32_t firstIfdOffset(const uint8_t* probe, bool littleEndian) {
    const uint8_t* p = probe + 4;
    return littleEndian ? (p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24)
                        : (uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]);
}

// The byte order the header's first two bytes declare ("II" or "MM").
inline ByteOrder byteOrderOf(const uint8_t* probe) {
    if (probe[0] == 'I' && probe[1] == 'I') return ByteOrder::LittleEndian;
    if (probe[0] == 'M' && probe[1] == 'M') return ByteOrder::BigEndian;
    return ByteOrder::Unknown;
}

}  // namespace tiff

struct IfdEntry {
    uint16_t tag = 0;
    uint16_t type = 0;
    uint32_t count = 0;
    uint32_t valueField = 0;   // the four bytes read as one 32-bit value (an offset when out of line)
    uint32_t inlineValue = 0;  // the first value when it is held inline (16-bit types read as such)
};

struct Ifd {
    uint32_t entryCount = 0;
    std::array<IfdEntry, tiff::kMaxEntries> entries{};  // filled only when entryCount <= kMaxEntries
    uint32_t nextIfdOffset = 0;
    bool entriesRead() const { return entryCount <= tiff::kMaxEntries; }
};

// Random access to the file through the recogniser's read window, in one byte
// order. A window is read only when the bytes asked for are not in the one
// already held; 64 KiB plus a sector are held at a time.
class TiffWalker {
public:
    TiffWalker(ReadWindow& window, const ScanContext& context, uint64_t fileSector, bool littleEndian);

    bool littleEndian() const { return littleEndian_; }
    uint64_t fileSector() const { return fileSector_; }
    // False once a file offset lies past the end of the source: every byte
    // from there on reads as zero.
    bool withinSource(uint64_t fileOffset) const;

    // A width-byte unsigned value (1, 2, 4 or 8) at a file offset. False when the read failed.
    bool value(uint64_t fileOffset, uint32_t width, uint64_t& out);
    bool u16(uint64_t fileOffset, uint32_t& out);
    bool u32(uint64_t fileOffset, uint32_t& out);
    // Up to 32 bytes at a file offset; bytes past the source read as zero.
    bool bytes(uint64_t fileOffset, uint8_t* out, uint32_t count);

    // The IFD at a file offset: its entry count, and its entries and next-IFD
    // offset when it has at most kMaxEntries entries.
    bool readIfd(uint64_t fileOffset, Ifd& out);
    // Looks through the first maxEntries entries of the IFD at a file offset
    // for a tag, without an entry-count bound of its own.
    bool findTag(uint64_t ifdOffset, uint16_t tag, uint32_t maxEntries, IfdEntry& out, bool& found);

    // The Pentax IFD count test: 0 (read failed or cancelled), 1 (one or two
    // IFDs in the main chain), 2 (exactly three) or 3 (four or more).
    int pentaxIfdCount(uint32_t firstIfdOffset);

    // Length of the JPEG stream at an absolute byte address of the source,
    // with 512 bytes of slack when its end marker is found; 0 when no JPEG starts there.
    uint64_t jpgFileSizeCalculation(uint64_t address);
    // Length of the preview JPEG some raw files point to, by the same walk
    // made more forgiving: a stray byte where a marker belongs does not end
    // it, no slack is added, and a stream is followed no further than 5 MiB
    // (the length reached is returned).
    uint64_t previewJpegLength(uint64_t address);

private:
    // One 12-byte directory entry at the file offset.
    bool readEntry(uint64_t at, IfdEntry& entry);

    uint64_t jpegLength(uint64_t address, const JpegWalkRules& rules);
    bool hold(uint64_t fileOffset, uint32_t count, uint64_t& position);

    ReadWindow& window_;
    const ScanContext& ctx_;
    uint64_t fileSector_;
    bool littleEndian_;
    bool held_ = false;
    uint64_t heldStart_ = 0;  // file offset of the window's first byte
};

// The length of a TIFF laid out as plain image data: the header, every IFD of
// the main chain with its out-of-line values, and the sum of the strip and
// tile byte counts. The limits differ between the formats that use it.
struct PlainTiffLimits {
    uint32_t firstIfdOffsetLimit = tiff::kOffsetLimit;
    // When set, an IFD further down the chain with too many entries ends the
    // walk with the larger of the length so far and this value.
    uint64_t overlongIfdLength = 0;
    uint64_t lengthLimit = tiff::kLengthLimit;
};
uint64_t plainTiffLength(TiffWalker& walker, const ScanContext& ctx, uint32_t firstIfdOffset,
                         const PlainTiffLimits& limits);

}  // namespace pelorin
