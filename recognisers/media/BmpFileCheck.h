#pragma once
// Windows bitmaps: the length is the size field of the file header, so
// nothing beyond the probe is read.

#include "engine/Recogniser.h"

namespace pelorin {

class BmpFileCheck final : public Recogniser {
public:
    explicit BmpFileCheck(ScanContext& context) : Recogniser(context) {}

    std::optional<Match> recognise(Probe& probe, uint64_t sector) override;
    std::bitset<256> acceptedFirstBytes() const override { return std::bitset<256>().set('B'); }

private:
    bool headerMatches(const uint8_t* probe, uint64_t sectorNumber);
    uint64_t fileSize(const uint8_t* probe, uint64_t sectorNumber);
    char pCompareHeader[3] = {};
};

}  // namespace pelorin
