#pragma once
#include <cstdint>

namespace pelorin {

// A found file's first sector and the number of 8-sector blocks covering it.
class Extent {
public:
    uint64_t startBlock() const { return startBlock_; }
    uint64_t blockCount() const { return blockCount_; }
    void setStartBlock(uint64_t block) { startBlock_ = block; }
    void setBlockCount(uint64_t count) { blockCount_ = count; }

private:
    uint64_t startBlock_ = 0;
    uint64_t blockCount_ = 0;
};

}  // namespace pelorin
