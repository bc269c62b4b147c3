#pragma once
// Minolta MRW files: a chain of named blocks, one of which ("PRD") gives the
// sensor size and how the pixels are stored.

#include "engine/ReadWindow.h"
#include "engine/Recogniser.h"

namespace pelorin {

class MrwFileCheck final : public Recogniser {
public:
    explicit MrwFileCheck(ScanContext& context) : Recogniser(context), window(context) {}

    std::optional<Match> recognise(Probe& probe, uint64_t sector) override;
    std::bitset<256> acceptedFirstBytes() const override { return std::bitset<256>().set(0x00); }

private:
    bool headerMatches(const uint8_t* probe, uint64_t sectorNumber);
    uint64_t fileSize(const uint8_t* probe, uint64_t sectorNumber);
    ReadWindow window;
};

}  // namespace pelorin
