#pragma once
// WAV files: a RIFF chunk of form "WAVE", sized from its header alone.

#include "engine/Recogniser.h"

namespace pelorin {

class WavFileCheck final : public Recogniser {
public:
    explicit WavFileCheck(ScanContext& context) : Recogniser(context) {}

    std::optional<Match> recognise(Probe& probe, uint64_t sector) override;
    std::bitset<256> acceptedFirstBytes() const override { return std::bitset<256>().set('R'); }

private:
    bool headerMatches(const uint8_t* probe, uint64_t sectorNumber);
    uint64_t fileSize(const uint8_t* probe, uint64_t sectorNumber);
};

}  // namespace pelorin
