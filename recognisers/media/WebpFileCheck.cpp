#include "recognisers/media/WebpFileCheck.h"

#include "engine/Probe.h"

namespace pelorin {
namespace {

constexpr uint32_t kFormAndChunkHeader = 12;  // "WEBP", then the first chunk's type and size

}  // namespace

std::optional<Match> WebpFileCheck::recognise(Probe& probe, uint64_t) {
    if (!probe.matches(0, "RIFF", 4) || !probe.matches(8, "WEBP", 4)) return std::nullopt;
    const uint32_t firstChunk = probe.be32(12);
    if (firstChunk != fourCC("VP8 ") && firstChunk != fourCC("VP8L") && firstChunk != fourCC("VP8X"))
        return std::nullopt;
    // The first chunk lies inside the RIFF chunk.
    const uint64_t riffSize = probe.le32(4);
    if (riffSize < kFormAndChunkHeader || probe.le32(16) > riffSize - kFormAndChunkHeader) return std::nullopt;
    Match match;
    match.size = (riffSize + 8 + 1) & ~uint64_t{1};  // chunks are padded to an even length
    return match;
}

}  // namespace pelorin
