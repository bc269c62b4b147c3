#include "recognisers/media/PngFileCheck.h"

#include <array>
#include <cstring>

namespace pelorin {
namespace {

constexpr uint64_t kWalkBound = 52428800;        // 50 MiB: the walk goes no further
constexpr uint32_t kLongestChunk = 51404800;     // a longer chunk length is not believed
constexpr uint64_t kLargestPng = 102809600;      // a larger result is filed at...
constexpr uint64_t kGiveUpSize = 5242880;        // ...5 MiB
constexpr uint64_t kSmallestPng = 50;
constexpr uint64_t kCrcSize = 4;
constexpr uint64_t kSlack = 512;
constexpr uint32_t kSpan = ReadWindow::kSpan;

// Chunk types a still PNG carries. IEND is among them: the walk goes on past
// it and ends at the first chunk type not listed, usually the zeros after the
// file.
constexpr std::array<const char*, 19> kAcceptedChunkTypes{
    "IDAT", "IHDR", "IEND", "PLTE", "cHRM", "gAMA", "iCCP", "sBIT", "sRGB", "bKGD",
    "hIST", "tRNS", "pHYs", "IDAT", "sPLT", "tIME", "iTXt", "tEXt", "zTXt",
};

bool isAcceptedChunkType(const ReadWindow& window, uint64_t position) {
    for (const char* type : kAcceptedChunkTypes)
        if (window.matches(position, type, 4)) return true;
    return false;
}

}  // namespace

bool PngFileCheck::headerMatches(const uint8_t* probe, uint64_t) {
    return probe[0] == 0x89 && std::memcmp(probe + 1, "PNG", 3) == 0 && std::memcmp(probe + 12, "IHDR", 4) == 0;
}

uint64_t PngFileCheck::fileSize(const uint8_t*, uint64_t sectorNumber) {
    const uint32_t sectorSize = ctx.sectorSize;
    if (!window.read(sectorNumber)) return 0;

    // size is the file offset of the CRC of the last chunk passed, position
    // that CRC's place in the window; the signature and IHDR come first.
    uint64_t size = 29;
    uint64_t position = 29;

    while (size < kWalkBound && !ctx.cancelled()) {
        position += 4;  // the next chunk's length field
        if (!isAcceptedChunkType(window, position + 4)) break;
        const uint32_t length = fourByteRead(window, position);
        if (length > kLongestChunk) break;
        size += uint64_t(length) + 12;
        position += uint64_t(length) + 8;
        if (position >= kSpan) {
            if (!window.read(sectorNumber + size / sectorSize)) return 0;
            position = size % sectorSize;
        }
    }

    if (size > kLargestPng) size = kGiveUpSize;
    else if (size < kSmallestPng) return 0;
    return size + kCrcSize + kSlack;
}

std::optional<Match> PngFileCheck::recognise(Probe& probe, uint64_t sector) {
    if (!headerMatches(probe.data(), sector)) return std::nullopt;
    Match match;
    match.size = fileSize(probe.data(), sector);
    return match;
}

}  // namespace pelorin
