#pragma once
// Scan-info files (.rvx): a scan's found-file tree with every node's fields
// and tick state, and the identity of the scanned drive, so that the results
// come back later without scanning again. Big-endian throughout:
//
//   0        8      "UnComple" while written, "Complete" once finished
//   8        48     drive block: sector size S, ticked files, the lengths of
//                   display name, model, revision, serial (32 bits each),
//                   drive size, sector count, ticked bytes (64 bits each)
//   56       5 × S  the first five sectors of the drive
//   ...             display name, serial, model, revision (UTF-8, no terminator)
//   ...             79-byte node records in pre-order, each followed by its
//                   name and path bytes; then a 79-byte all-zero end record
//
// A tree in which some file was put back together from pieces sets the top
// bit of the sector size (kPiecesFlag), so that a reader that does not know
// pieces refuses the file (it takes no sector size above 4096) rather than
// opening files with sizes their first run does not hold; the pieces follow
// the end record:
//   4               the number of files with pieces, then for each
//   4 + 4           its record's place in pre-order (the root's is 0), the
//                   number of pieces; then per piece its offset and length
//                   in bytes of the source (64 bits each), in file order
// A tree without pieces is written exactly as before.

#include <array>
#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/FoundNode.h"
#include "engine/Prompts.h"
#include "engine/Source.h"
#include "scaninfo/SourceIdentity.h"

namespace pelorin {

inline constexpr std::size_t kMarkerSize = 8;
inline constexpr std::size_t kDriveBlockSize = 48;
inline constexpr std::size_t kNodeRecordSize = 79;
inline constexpr uint64_t kFirstSectorsOffset = kMarkerSize + kDriveBlockSize;
inline constexpr uint32_t kLargestSectorSize = 4096;
inline constexpr uint32_t kPiecesFlag = 0x80000000;

// Everything in a scan-info file but the tree.
struct ScanInfoHeader {
    uint32_t sectorSize = 512;
    int32_t tickedFiles = 0;
    uint64_t sizeInBytes = 0;
    uint64_t sectorCount = 0;
    uint64_t tickedBytes = 0;
    // The drive's first five sectors: read at the start of the scan, or, for
    // a tree that was itself opened from a file, that file's (so a re-save
    // keeps them even with no drive attached).
    std::vector<uint8_t> firstSectors;
    DriveIdentity identity;
};

struct ScanInfo {
    ScanInfoHeader header;
    std::unique_ptr<FoundNode> root;
    bool endRecordSeen = false;  // false when the file ended before its end record
};

// The name a save panel offers: "Pelorin Scan Info <date>".
std::string defaultScanInfoName(std::time_t when);

// One node packed into its 79-byte record.
std::array<uint8_t, kNodeRecordSize> packNodeRecord(const FoundNode& node);

// The writer: `chosenPath` always gets ".rvx" appended. Tells the user how it
// went; true when the file was written completely.
bool saveScanInfo(const std::string& chosenPath, const ScanInfoHeader& header, const FoundNode& root,
                  Prompts& prompts);

// The body of a file whose extension has been checked. nullopt when it is
// not a finished scan-info file, or ends before its tree's root is whole, or
// gives a sector size that cannot be (0, above 4096, not a power of two).
// The bytes come from a file or, for the fuzzer, memory.
std::optional<ScanInfo> readScanInfo(Source& input);

// The reader as the user meets it: checks the extension and the marker,
// telling the user when the file is refused, then restores the tree.
std::optional<ScanInfo> openScanInfo(const std::string& path, Prompts& prompts);

// With the scanned source in hand: refuses, as incomplete, a file that gives
// the drive more sectors than the source has, and cuts every found file at
// the source's end (one that starts at or past it keeps no bytes; saving
// counts it as failed; a file in pieces keeps what its pieces hold before the
// end). Folder and root sizes become the sums of their files.
bool fitToSource(ScanInfo& info, const Source& source, const std::string& path, Notices& notices);

}  // namespace pelorin
