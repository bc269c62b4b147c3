#include "recognisers/media/Mp3FileCheck.h"

#include "engine/FileCursor.h"
#include "engine/Probe.h"

namespace pelorin {
namespace {

constexpr uint64_t kSmallestFile = 10240;
constexpr uint64_t kFrameSyncWalkBound = 10485760;  // bytes of frames a tagless walk covers at most
constexpr uint64_t kLargestTag = 10485760;
constexpr uint64_t kId3WalkBound = 2147483640;
constexpr uint32_t kFirstFrameReach = 2047;          // how far past the tag the first frame may lie
constexpr uint32_t kFrameSyncMissesAllowed = 5;
constexpr uint32_t kId3NonSyncBytesAllowed = 50;
constexpr uint64_t kSlack = 512;

enum Version : uint32_t { kMpeg25 = 0, kVersionReserved = 1, kMpeg2 = 2, kMpeg1 = 3 };
enum Layer : uint32_t { kLayerReserved = 0, kLayer3 = 1, kLayer2 = 2, kLayer1 = 3 };

// Second bytes after 0xFF that start a frame: MPEG-1 Layer III with and
// without CRC, MPEG-1 Layer II, MPEG-2.5 and MPEG-2 Layer III. Inside an
// ID3-tagged file Layer II (0xFD) is not taken.
bool inHeaderSet(uint8_t b) { return b == 0xFB || b == 0xFA || b == 0xFD || b == 0xE3 || b == 0xF3; }
bool inId3Set(uint8_t b) { return b == 0xFB || b == 0xE3 || b == 0xFA || b == 0xF3; }

struct FrameHeader {
    explicit FrameHeader(uint32_t h)
        : version(Mp3FileCheck::bitCheck(h, 20, 2)),
          layer(Mp3FileCheck::bitCheck(h, 18, 2)),
          bitrateIndex(Mp3FileCheck::bitCheck(h, 15, 4)),
          sampleRateIndex(Mp3FileCheck::bitCheck(h, 11, 2)),
          padding(Mp3FileCheck::bitCheck(h, 9, 1)) {}

    bool reservedVersionOrLayer() const { return version == kVersionReserved || layer == kLayerReserved; }
    bool invalidBitrate() const { return bitrateIndex == 0 || bitrateIndex == 15; }
    bool invalidSampleRate() const { return sampleRateIndex == 3; }
    bool valid() const { return !reservedVersionOrLayer() && !invalidBitrate() && !invalidSampleRate(); }

    // Bits per second (ISO/IEC 11172-3 and 13818-3; MPEG-2 and 2.5 share the
    // lower-sampling-frequency table).
    uint32_t bitrate() const {
        static constexpr uint16_t kMpeg1Rates[3][15] = {
            {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},      // Layer III
            {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},     // Layer II
            {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},  // Layer I
        };
        static constexpr uint16_t kLowerRates[3][15] = {
            {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
            {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
            {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
        };
        const auto& table = version == kMpeg1 ? kMpeg1Rates : kLowerRates;
        return table[layer - 1][bitrateIndex] * 1000u;
    }
    uint32_t sampleRate() const {
        static constexpr uint32_t kRates[4][3] = {
            {11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}};
        return kRates[version][sampleRateIndex];
    }
    uint32_t length() const {
        if (!valid()) return 0;
        const uint32_t rate = bitrate();
        const uint32_t samples = sampleRate();
        if (layer == kLayer1) return (12 * rate / samples + padding) * 4;
        if (version == kMpeg1 || layer == kLayer2) return 144 * rate / samples + padding;
        return 72 * rate / samples + padding;
    }

    uint32_t version, layer, bitrateIndex, sampleRateIndex, padding;
};

// The read window as the walks see it: addressed by offset from the file's
// first byte, and read again only when the walk enters a new 64 KiB block.
bool syncAt(const FileCursor& cursor, uint64_t offset, bool (*secondByteSet)(uint8_t)) {
    return cursor.byte(offset) == 0xFF && secondByteSet(cursor.byte(offset + 1));
}

// What a walk files when it ends on a bad frame.
uint64_t commonEnd(uint64_t total) { return total > kSmallestFile ? total : 0; }

}  // namespace

uint32_t Mp3FileCheck::frameLength(uint32_t header) { return FrameHeader(header).length(); }

bool Mp3FileCheck::headerMatches(const uint8_t* probe) {
    id3Tagged_ = false;
    if (probe[0] == 0xFF && inHeaderSet(probe[1])) {
        return FrameHeader(Probe(probe).be32(0)).valid();
    }
    if (probe[0] == 'I' && probe[1] == 'D' && probe[2] == '3') {
        id3Tagged_ = true;
        return true;
    }
    return false;
}

std::optional<Match> Mp3FileCheck::recognise(Probe& probe, uint64_t sector) {
    if (!headerMatches(probe.data())) return std::nullopt;
    slackAdded = 0;
    Match match;
    match.size = ctx.sectorSize == 0 ? 0 : id3Tagged_ ? sizeOfId3File(sector) : sizeOfFrameSyncFile(sector);
    // The loop jumps over every file this files, and over nothing else: over
    // the audio itself, not the slack, which may hold the next file's start.
    const uint64_t audio = match.size - slackAdded;
    if (match.size != 0) match.skipPast = audio != 0 ? audio : match.size;
    return match;
}

// Frames are stepped over by their length minus one, so the walk stands on a
// frame's last byte and takes it as one miss before the next header. A few
// misses in a row end the file.
uint64_t Mp3FileCheck::sizeOfFrameSyncFile(uint64_t sectorNumber) {
    const uint32_t sectorSize = ctx.sectorSize;
    FileCursor cursor(window, sectorNumber, sectorSize);
    if (!cursor.reach(0)) return 0;
    uint64_t total = 0;
    uint32_t misses = 0;
    while (!ctx.cancelled() && total < kFrameSyncWalkBound) {
        if (!cursor.reach(total)) return 0;
        if (!syncAt(cursor, total, inHeaderSet)) {
            if (misses > kFrameSyncMissesAllowed) return total <= kSmallestFile ? 0 : withSlack(total, sectorSize);
            ++misses;
            ++total;
            continue;
        }
        misses = 0;
        const uint32_t length = FrameHeader(cursor.be32(total)).length();
        if (length == 0) return commonEnd(total);
        total += length - 1;
    }
    return total <= kSmallestFile ? 0 : withSlack(total, kSlack);
}

// The tag's size leads to the first frame; from there frames must follow one
// another with the first frame's sync bytes, with at most a short run of
// other bytes between them.
uint64_t Mp3FileCheck::sizeOfId3File(uint64_t sectorNumber) {
    FileCursor cursor(window, sectorNumber, ctx.sectorSize);
    if (!cursor.reach(0)) return 0;
    const uint64_t tagSize = uint64_t(cursor.byte(6) & 0x7F) << 21 | uint64_t(cursor.byte(7) & 0x7F) << 14 |
                             uint64_t(cursor.byte(8) & 0x7F) << 7 | (cursor.byte(9) & 0x7F);
    if (tagSize > kLargestTag) return 0;

    // The search starts ten bytes early: the tag size leaves out the tag's header.
    uint64_t total = tagSize;
    if (!cursor.reach(total)) return 0;
    if (!syncAt(cursor, total, inId3Set)) {
        uint32_t moved = 1;
        for (; moved <= kFirstFrameReach; ++moved) {
            if (ctx.cancelled()) return 0;
            if (!cursor.reach(total + moved)) return 0;
            if (syncAt(cursor, total + moved, inHeaderSet)) break;
        }
        if (moved > kFirstFrameReach) return 0;
        total += moved;
    }
    const uint8_t referenceSecondByte = cursor.byte(total + 1);

    uint32_t nonSyncBytes = 0;
    while (!ctx.cancelled() && total < kId3WalkBound) {
        if (!cursor.reach(total)) return 0;
        if (!syncAt(cursor, total, inId3Set)) {
            if (nonSyncBytes >= kId3NonSyncBytesAllowed) return total <= kSmallestFile ? 0 : total;
            ++nonSyncBytes;
            ++total;
            continue;
        }
        if (cursor.byte(total + 1) != referenceSecondByte) return commonEnd(total);
        const FrameHeader header(cursor.be32(total));
        if (header.reservedVersionOrLayer()) return commonEnd(total);
        if (header.invalidBitrate()) {
            if (total > 15728640) total = 8388608;
            return total > 4096 ? total : 0;
        }
        if (header.invalidSampleRate()) {
            if (total > 8388608) total = 8388608;
            return commonEnd(total);
        }
        nonSyncBytes = 0;
        total += header.length();
    }
    if (total > kId3WalkBound) total = 0;
    return commonEnd(total);
}

}  // namespace pelorin
