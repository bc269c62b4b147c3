#pragma once
// The bytes of a file laid out as runs of the source, read in file order.
// The last run may be open: it then reaches to the source's end. Reads go
// through a few cached blocks, since a search jumps between the end of one
// piece and the start of many candidates for the next.

#include <array>
#include <cstdint>
#include <vector>

#include "engine/FoundNode.h"

namespace pelorin {

class Source;

class PieceFeed {
public:
    static constexpr uint64_t kToSourceEnd = UINT64_MAX;

    explicit PieceFeed(Source& source);

    // Runs in file order; a length of kToSourceEnd reaches the source's end.
    void setRuns(const std::vector<ByteRun>& runs);
    const std::vector<ByteRun>& runs() const { return runs_; }

    // The byte at a file offset, or -1 past the last run or the source's end.
    int byteAt(uint64_t offset) {
        if (offset - spanStart_ < spanLength_) return span_[offset - spanStart_];
        return slowByteAt(offset);
    }
    // Where a file offset lies on the source (kToSourceEnd past the runs).
    uint64_t sourceOffsetOf(uint64_t offset) const;
    // The file offset of a source offset inside the runs (kToSourceEnd if none).
    uint64_t fileOffsetOf(uint64_t sourceOffset) const;

private:
    static constexpr uint64_t kBlockSize = 4096;
    static constexpr std::size_t kCachedBlocks = 32;
    struct Block {
        uint64_t start = UINT64_MAX;
        uint32_t length = 0;
        std::array<uint8_t, kBlockSize> bytes;
    };

    int slowByteAt(uint64_t offset);
    const Block* block(uint64_t start);

    Source& source_;
    uint64_t sourceSize_;
    std::vector<ByteRun> runs_;
    std::vector<Block> cache_;
    std::size_t nextVictim_ = 0;
    const uint8_t* span_ = nullptr;
    uint64_t spanStart_ = 0;
    uint64_t spanLength_ = 0;
};

}  // namespace pelorin
