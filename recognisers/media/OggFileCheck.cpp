#include "recognisers/media/OggFileCheck.h"

#include <algorithm>

#include "recognisers/media/MsbFirstCrc.h"
#include "recognisers/media/SourceExtent.h"

namespace pelorin {
namespace {

constexpr uint32_t kPageHeaderLength = 27;
constexpr uint8_t kContinuedPacket = 0x01;
constexpr uint8_t kBeginsStream = 0x02;
constexpr uint8_t kEndsStream = 0x04;
constexpr uint32_t kCrcOffset = 22;
// More logical streams open at once than any real file multiplexes.
constexpr std::size_t kMostOpenStreams = 64;

}  // namespace

// A page: "OggS", version 0, no flag beyond the three defined, and a CRC-32
// over the whole page (its own field taken as zeros) that checks.
OggFileCheck::Page OggFileCheck::pageAt(FileCursor& cursor, uint64_t at, uint64_t sourceEnd) {
    Page page;
    if (at + kPageHeaderLength > sourceEnd || !cursor.reach(at)) return page;
    const uint8_t flags = cursor.byte(at + 5);
    if (cursor.be32(at) != fourCC("OggS") || cursor.byte(at + 4) != 0 || flags > 7) return page;
    const uint32_t segments = cursor.byte(at + 26);
    uint64_t length = kPageHeaderLength + segments;
    for (uint32_t i = 0; i < segments; ++i) {
        if (!cursor.reach(at + kPageHeaderLength + i)) return page;
        length += cursor.byte(at + kPageHeaderLength + i);
    }
    if (at + length > sourceEnd) return page;

    if (!cursor.reach(at)) return page;
    const uint32_t stored = cursor.le32(at + kCrcOffset);
    uint32_t crc = 0;
    for (uint64_t i = 0; i < length; ++i) {
        if (!cursor.reach(at + i)) return page;
        const bool inCrcField = i >= kCrcOffset && i < kCrcOffset + 4;
        crc = Crc32::update(crc, inCrcField ? 0 : cursor.byte(at + i));
    }
    if (crc != stored || !cursor.reach(at)) return page;
    page.length = length;
    page.serial = cursor.le32(at + 14);
    page.beginsStream = flags & kBeginsStream;
    page.endsStream = flags & kEndsStream;
    return page;
}

// The first packet of the first page names the codec; the page is read at the file's start.
bool OggFileCheck::firstPacketIsClaimed(FileCursor& cursor, const Page& page) {
    const uint64_t packet = kPageHeaderLength + cursor.byte(26);
    auto startsWith = [&](const char* text, std::size_t length) {
        if (packet + length > page.length) return false;
        for (std::size_t i = 0; i < length; ++i)
            if (cursor.byte(packet + i) != uint8_t(text[i])) return false;
        return true;
    };
    if (startsWith("OpusHead", 8)) return claimsOpus_;
    if (claimsOpus_) return false;
    return startsWith("\x01vorbis", 7) || startsWith("\x7f" "FLAC", 5) || startsWith("Speex   ", 8) ||
           startsWith("\x80theora", 7) || startsWith("fishead", 8);
}

uint64_t OggFileCheck::walk(FileCursor& cursor, uint64_t sourceEnd) {
    uint64_t at = 0;
    while (!ctx.cancelled()) {
        const Page page = pageAt(cursor, at, sourceEnd);
        if (page.length == 0) break;
        const auto open = std::find(openStreams_.begin(), openStreams_.end(), page.serial);
        if (page.beginsStream) {
            // A stream begins once; after all have ended, a new one chains on.
            if (open != openStreams_.end() || openStreams_.size() >= kMostOpenStreams) break;
            openStreams_.push_back(page.serial);
        } else if (open == openStreams_.end()) {
            break;  // a page of no stream of this file
        }
        at += page.length;
        if (page.endsStream) {
            openStreams_.erase(std::find(openStreams_.begin(), openStreams_.end(), page.serial));
            if (openStreams_.empty()) {
                // The file ends here unless a chained stream begins.
                const Page next = pageAt(cursor, at, sourceEnd);
                if (next.length == 0 || !next.beginsStream) break;
            }
        }
    }
    return at;
}

std::optional<Match> OggFileCheck::recognise(Probe& probe, uint64_t sector) {
    // "OggS", version 0, a page that begins a stream and does not continue a packet.
    if (!probe.matches(0, "OggS", 4) || probe.byte(4) != 0 ||
        (probe.byte(5) & (kBeginsStream | kContinuedPacket)) != kBeginsStream || ctx.sectorSize == 0)
        return std::nullopt;
    const uint64_t sourceEnd = bytesToSourceEnd(ctx, sector);
    FileCursor cursor(window_, sector, ctx.sectorSize);
    const Page first = pageAt(cursor, 0, sourceEnd);
    if (first.length == 0) return std::nullopt;
    cursor.reach(0);
    if (!firstPacketIsClaimed(cursor, first)) return std::nullopt;
    openStreams_.clear();
    Match match;
    match.size = walk(cursor, sourceEnd);
    match.skipPast = match.size;
    return match;
}

}  // namespace pelorin
