#include "reassembly/PieceFeed.h"

#include <algorithm>

#include "engine/Source.h"

namespace pelorin {

PieceFeed::PieceFeed(Source& source) : source_(source), sourceSize_(source.size()), cache_(kCachedBlocks) {}

void PieceFeed::setRuns(const std::vector<ByteRun>& runs) {
    runs_.assign(runs.begin(), runs.end());
    for (ByteRun& run : runs_) {
        const uint64_t available = run.offset < sourceSize_ ? sourceSize_ - run.offset : 0;
        run.length = std::min(run.length, available);
    }
    spanLength_ = 0;
}

uint64_t PieceFeed::sourceOffsetOf(uint64_t offset) const {
    for (const ByteRun& run : runs_) {
        if (offset < run.length) return run.offset + offset;
        offset -= run.length;
    }
    return kToSourceEnd;
}

uint64_t PieceFeed::fileOffsetOf(uint64_t sourceOffset) const {
    uint64_t before = 0;
    for (const ByteRun& run : runs_) {
        if (sourceOffset >= run.offset && sourceOffset - run.offset < run.length) return before + sourceOffset - run.offset;
        before += run.length;
    }
    return kToSourceEnd;
}

const PieceFeed::Block* PieceFeed::block(uint64_t start) {
    for (const Block& cached : cache_)
        if (cached.start == start) return &cached;
    Block& victim = cache_[nextVictim_];
    nextVictim_ = (nextVictim_ + 1) % cache_.size();
    const uint64_t wanted = std::min<uint64_t>(kBlockSize, sourceSize_ - start);
    const SourceRead read = source_.read(start, std::span<uint8_t>(victim.bytes.data(), wanted));
    victim.start = start;
    victim.length = static_cast<uint32_t>(read.bytes);
    return &victim;
}

int PieceFeed::slowByteAt(uint64_t offset) {
    uint64_t runFileStart = 0;
    for (const ByteRun& run : runs_) {
        if (offset - runFileStart < run.length) {
            const uint64_t at = run.offset + (offset - runFileStart);
            const uint64_t blockStart = at / kBlockSize * kBlockSize;
            const Block* cached = block(blockStart);
            if (at - blockStart >= cached->length) return -1;
            // The span is what this block and this run share.
            const uint64_t spanSourceEnd = std::min(blockStart + cached->length, run.offset + run.length);
            span_ = cached->bytes.data() + (at - blockStart);
            spanStart_ = offset;
            spanLength_ = spanSourceEnd - at;
            return *span_;
        }
        runFileStart += run.length;
    }
    return -1;
}

}  // namespace pelorin
