#pragma once
// RealMedia files: ".RMF" and the top-level chunks that follow it.

#include "engine/ReadWindow.h"
#include "engine/Recogniser.h"

namespace pelorin {

class RmFileCheck final : public Recogniser {
public:
    explicit RmFileCheck(ScanContext& context) : Recogniser(context), window(context) {}

    std::optional<Match> recognise(Probe& probe, uint64_t sector) override;
    std::bitset<256> acceptedFirstBytes() const override { return std::bitset<256>().set('.'); }

private:
    bool headerMatches(const uint8_t* probe, uint64_t sectorNumber);
    uint64_t fileSize(const uint8_t* probe, uint64_t sectorNumber);
    ReadWindow window;
};

}  // namespace pelorin
