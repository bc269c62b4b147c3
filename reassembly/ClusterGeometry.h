#pragma once
// Where the allocation units of the file system that last held the files
// begin, so that a search for a file's next piece tries only their starts.

#include <cstdint>
#include <optional>
#include <span>

namespace pelorin {

class Source;

struct ClusterGeometry {
    uint64_t size = 0;    // bytes
    uint64_t origin = 0;  // the boundaries lie at origin + k × size (origin < size)

    bool isBoundary(uint64_t offset) const { return offset % size == origin; }
    // The first boundary at or after the offset.
    uint64_t boundaryAtOrAfter(uint64_t offset) const {
        if (offset <= origin) return origin;
        const uint64_t past = (offset - origin) % size;
        return past == 0 ? offset : offset + (size - past);
    }
    // The last boundary at or before the offset (the offset itself when it
    // is one); 0 before the first.
    uint64_t boundaryAtOrBefore(uint64_t offset) const {
        return offset < origin ? 0 : offset - (offset - origin) % size;
    }
};

// From a FAT, exFAT or NTFS boot sector at the start of the source or of a
// partition its MBR or GPT lists.
std::optional<ClusterGeometry> geometryFromBootSectors(Source& source, uint32_t sectorSize);

// From the starts of the files a scan found: the largest power of two (up to
// 1 MiB) at which most of them are aligned alike. The sector size when none.
ClusterGeometry geometryFromFileStarts(std::span<const uint64_t> starts, uint32_t sectorSize);

}  // namespace pelorin
