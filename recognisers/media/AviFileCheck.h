#pragma once
// AVI files: a RIFF chunk of form "AVI " and the RIFF extension chunks
// (AVIX) that follow it.

#include "engine/ReadWindow.h"
#include "engine/Recogniser.h"

namespace pelorin {

class AviFileCheck final : public Recogniser {
public:
    explicit AviFileCheck(ScanContext& context) : Recogniser(context), window(context) {}

    std::optional<Match> recognise(Probe& probe, uint64_t sector) override;
    std::bitset<256> acceptedFirstBytes() const override { return std::bitset<256>().set('R'); }

private:
    bool headerMatches(const uint8_t* probe, uint64_t sectorNumber);
    uint64_t fileSize(const uint8_t* probe, uint64_t sectorNumber);
    ReadWindow window;
};

}  // namespace pelorin
