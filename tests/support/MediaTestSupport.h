#pragma once
// Building media files byte by byte, laying them out in a disk image and
// reading back where a scan found them and how long it made them.

#include <gtest/gtest.h>

#include <ostream>
#include <string_view>
#include <vector>

#include "engine/HDIR.h"
#include "engine/ReadDisk.h"
#include "support/TestSupport.h"

namespace pelorin::test {

// Appends values and text to a byte string, in the byte order named.
class ByteWriter {
public:
    ByteWriter& text(std::string_view characters) {
        bytes.insert(bytes.end(), characters.begin(), characters.end());
        return *this;
    }
    ByteWriter& u8(uint8_t value) {
        bytes.push_back(value);
        return *this;
    }
    ByteWriter& be16(uint32_t value) { return u8(uint8_t(value >> 8)).u8(uint8_t(value)); }
    ByteWriter& be32(uint32_t value) { return be16(value >> 16).be16(value & 0xFFFF); }
    ByteWriter& le32(uint32_t value) {
        return u8(uint8_t(value)).u8(uint8_t(value >> 8)).u8(uint8_t(value >> 16)).u8(uint8_t(value >> 24));
    }
    ByteWriter& fill(std::size_t count, uint8_t value = 0) {
        bytes.insert(bytes.end(), count, value);
        return *this;
    }
    ByteWriter& append(const Bytes& more) {
        bytes.insert(bytes.end(), more.begin(), more.end());
        return *this;
    }
    std::size_t size() const { return bytes.size(); }

    Bytes bytes;
};

// A found file as the tree holds it.
struct Leaf {
    uint64_t sector;
    uint64_t size;
    bool operator==(const Leaf&) const = default;
};
inline void PrintTo(const Leaf& leaf, std::ostream* out) {
    *out << "{sector " << leaf.sector << ", size " << leaf.size << "}";
}

// The files of one type folder, in the order they were found; empty when the
// folder is absent (no file of the type was found).
inline std::vector<Leaf> leavesIn(const HDIR& root, std::string_view folderName) {
    std::vector<Leaf> leaves;
    if (const HDIR* folder = folderNamed(root, folderName))
        for (const auto& child : folder->children()) leaves.push_back({child->sectorNumber(), child->fileSize()});
    return leaves;
}

// The eight chunked audio and video types, ticked together so that each test
// also shows the others leave its files alone.
inline TypeSelection chunkedMediaTypes() {
    return selectionOf({FileType::Mpg, FileType::Amr, FileType::Ra, FileType::Rm, FileType::Aif, FileType::Mid,
                        FileType::Avi, FileType::Wav});
}

// Runs one size calculation after the header test, with a stop request
// already made: the walk must come back at once.
inline uint64_t sizeWhenCancelled(Recogniser& recogniser, ScanContext& ctx, const std::string& path,
                                  uint64_t sector) {
    uint8_t probe[kProbeSize] = {};
    readAt(path, sector * ctx.u32BytesInSector, {probe, kProbeSize});
    if (!recogniser.isFile(probe, sector)) return ~uint64_t{0};
    ctx.bCancelScanning = true;
    return recogniser.fileSizeCalculation(probe, sector);
}

}  // namespace pelorin::test
