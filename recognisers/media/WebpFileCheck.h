#pragma once
// WebP images: a RIFF chunk of form "WEBP" whose first chunk is an image
// ("VP8 " lossy, "VP8L" lossless) or the extended header ("VP8X"); sized
// from the RIFF header alone.

#include "engine/Recogniser.h"

namespace pelorin {

class WebpFileCheck final : public Recogniser {
public:
    explicit WebpFileCheck(ScanContext& context) : Recogniser(context) {}

    std::optional<Match> recognise(Probe& probe, uint64_t sector) override;
    std::bitset<256> acceptedFirstBytes() const override { return std::bitset<256>().set('R'); }
};

}  // namespace pelorin
