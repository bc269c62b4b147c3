#include "recognisers/media/FlacFileCheck.h"

#include <algorithm>
#include <optional>

#include "engine/FileCursor.h"
#include "recognisers/media/MsbFirstCrc.h"
#include "recognisers/media/SourceExtent.h"

namespace pelorin {
namespace {

constexpr uint32_t kStreamInfoLength = 34;
constexpr uint32_t kSmallestBlock = 16;
constexpr uint8_t kLastBlockFlag = 0x80;
constexpr uint8_t kInvalidBlockType = 127;
// How far the end of a frame is looked for when STREAMINFO does not give
// the largest frame: more than a frame of 65,535 samples of eight 32-bit
// channels stored verbatim.
constexpr uint64_t kLargestFrame = uint64_t{4} << 20;

struct StreamInfo {
    uint32_t smallestFrame = 0;  // 0: not recorded
    uint32_t largestFrame = 0;
    uint64_t totalSamples = 0;   // 0: not recorded
};

// Where the walk stands: what the next frame's header must say.
struct FramePosition {
    uint64_t frames = 0;
    uint64_t samples = 0;
    bool variableBlocks = false;
};

struct FrameHeader {
    uint32_t length = 0;     // up to and including its CRC-8
    uint32_t blockSize = 0;  // samples per channel
};

// The frame or sample number a header codes in the UTF-8 manner: the count
// of leading one bits of the first byte gives the bytes that follow it.
std::optional<uint64_t> codedNumber(FileCursor& cursor, uint64_t at, uint32_t& length) {
    const uint8_t first = cursor.byte(at);
    int ones = 0;
    while (ones < 8 && (first & (0x80 >> ones))) ++ones;
    if (ones == 1 || ones > 7) return std::nullopt;
    length = ones == 0 ? 1 : ones;
    uint64_t value = ones == 0 ? first : first & (0x7F >> ones);
    for (uint32_t i = 1; i < length; ++i) {
        const uint8_t next = cursor.byte(at + i);
        if ((next & 0xC0) != 0x80) return std::nullopt;
        value = value << 6 | (next & 0x3F);
    }
    return value;
}

// The header of a frame at the offset, when its fields are all allowed, its
// CRC-8 checks and it carries the number the walk expects.
std::optional<FrameHeader> frameHeaderAt(FileCursor& cursor, uint64_t at, const FramePosition& expected) {
    if (!cursor.reach(at)) return std::nullopt;
    if (cursor.byte(at) != 0xFF || (cursor.byte(at + 1) & 0xFE) != 0xF8) return std::nullopt;
    const bool variableBlocks = cursor.byte(at + 1) & 1;
    const uint32_t blockCode = cursor.byte(at + 2) >> 4;
    const uint32_t rateCode = cursor.byte(at + 2) & 0x0F;
    const uint32_t channelCode = cursor.byte(at + 3) >> 4;
    const uint32_t sampleSizeCode = cursor.byte(at + 3) >> 1 & 7;
    if (variableBlocks != expected.variableBlocks || blockCode == 0 || rateCode == 15 || channelCode > 10 ||
        sampleSizeCode == 3 || (cursor.byte(at + 3) & 1))
        return std::nullopt;

    uint32_t numberLength = 0;
    const std::optional<uint64_t> number = codedNumber(cursor, at + 4, numberLength);
    if (!number || *number != (variableBlocks ? expected.samples : expected.frames)) return std::nullopt;
    uint64_t end = at + 4 + numberLength;

    FrameHeader header;
    if (blockCode == 6) {
        header.blockSize = cursor.byte(end) + 1;
        end += 1;
    } else if (blockCode == 7) {
        header.blockSize = cursor.be16(end) + 1;
        end += 2;
    } else {
        header.blockSize = blockCode == 1 ? 192 : blockCode <= 5 ? 576u << (blockCode - 2) : 256u << (blockCode - 8);
    }
    if (rateCode == 12) end += 1;
    if (rateCode == 13 || rateCode == 14) end += 2;

    uint8_t crc = 0;
    for (uint64_t i = at; i < end; ++i) crc = Crc8::update(crc, cursor.byte(i));
    if (crc != cursor.byte(end)) return std::nullopt;
    header.length = static_cast<uint32_t>(end + 1 - at);
    return header;
}

class FrameWalk {
public:
    FrameWalk(ScanContext& ctx, FileCursor& cursor, const StreamInfo& info, uint64_t sourceEnd)
        : ctx_(ctx), cursor_(cursor), info_(info), sourceEnd_(sourceEnd) {}

    // The end of the last frame that checks, from the first frame's offset.
    uint64_t walk(uint64_t at) {
        if (!cursor_.reach(at)) return at;
        FramePosition position;
        position.variableBlocks = cursor_.byte(at + 1) & 1;
        while (!ctx_.cancelled()) {
            const std::optional<FrameHeader> header = frameHeaderAt(cursor_, at, position);
            if (!header) break;
            FramePosition next = position;
            ++next.frames;
            next.samples += header->blockSize;
            const bool last = info_.totalSamples != 0 && next.samples >= info_.totalSamples;
            const uint64_t end = frameEnd(at, *header, last, next);
            if (end == 0) break;
            at = end;
            position = next;
            if (last) break;
        }
        return at;
    }

private:
    // Runs the CRC-16 on from the frame's first byte. A middle frame ends at
    // the first place where it checks and the next header follows; the last
    // frame, or one after which no header follows, where it first checks.
    // 0 when it never checks.
    uint64_t frameEnd(uint64_t at, const FrameHeader& header, bool last, const FramePosition& next) {
        const uint64_t reach = info_.largestFrame != 0 ? info_.largestFrame : kLargestFrame;
        const uint64_t bound = std::min(at + reach, sourceEnd_);
        const uint64_t shortest = std::max<uint64_t>(header.length + 3, info_.smallestFrame);
        uint16_t crc = 0;
        uint64_t firstCheck = 0;
        for (uint64_t offset = at; offset < bound; ++offset) {
            if ((offset & 0xFFFF) == 0 && ctx_.cancelled()) return 0;
            if (!cursor_.reach(offset)) return 0;
            crc = Crc16::update(crc, cursor_.byte(offset));
            const uint64_t end = offset + 1;
            if (crc != 0 || end - at < shortest) continue;
            if (last) return end;
            if (firstCheck == 0) firstCheck = end;
            if (end < sourceEnd_ && frameHeaderAt(cursor_, end, next)) return end;
        }
        return firstCheck;
    }

    ScanContext& ctx_;
    FileCursor& cursor_;
    const StreamInfo& info_;
    uint64_t sourceEnd_;
};

}  // namespace

std::optional<Match> FlacFileCheck::recognise(Probe& probe, uint64_t sector) {
    // "fLaC", then STREAMINFO first, with a block size of at least 16
    // samples, a largest one no smaller, and a sample rate.
    if (!probe.matches(0, "fLaC", 4) || (probe.byte(4) & 0x7F) != 0 || probe.be24(5) != kStreamInfoLength)
        return std::nullopt;
    const uint32_t smallestBlock = probe.be16(8);
    if (smallestBlock < kSmallestBlock || probe.be16(10) < smallestBlock || (probe.be24(18) >> 4) == 0)
        return std::nullopt;
    Match match;
    match.size = ctx.sectorSize == 0 ? 0 : fileSize(sector);
    match.skipPast = match.size;
    return match;
}

uint64_t FlacFileCheck::fileSize(uint64_t sector) {
    const uint64_t sourceEnd = bytesToSourceEnd(ctx, sector);
    FileCursor cursor(window_, sector, ctx.sectorSize);
    if (!cursor.reach(0)) return 0;
    StreamInfo info;
    info.smallestFrame = cursor.be32(11) & 0xFFFFFF;
    info.largestFrame = cursor.be32(14) & 0xFFFFFF;
    info.totalSamples = uint64_t(cursor.byte(21) & 0x0F) << 32 | cursor.be32(22);

    // The metadata blocks; one that is not allowed ends the file before it.
    uint64_t at = 4;
    for (bool first = true;; first = false) {
        if (ctx.cancelled() || !cursor.reach(at)) return at;
        const uint8_t type = cursor.byte(at) & 0x7F;
        if (!first && (type == 0 || type == kInvalidBlockType)) return at;
        const bool lastBlock = cursor.byte(at) & kLastBlockFlag;
        at += 4 + (cursor.be32(at) & 0xFFFFFF);
        // A block that runs past the source's end: the file is cut there.
        if (at >= sourceEnd || lastBlock) break;
    }
    if (at >= sourceEnd) return at;
    return FrameWalk(ctx, cursor, info, sourceEnd).walk(at);
}

}  // namespace pelorin
