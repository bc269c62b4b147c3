#pragma once
// RealAudio files (".ra" with version 3 or 4 headers).

#include "engine/ReadWindow.h"
#include "engine/Recogniser.h"

namespace pelorin {

class RaFileCheck final : public Recogniser {
public:
    explicit RaFileCheck(ScanContext& context) : Recogniser(context), window(context) {}

    std::optional<Match> recognise(Probe& probe, uint64_t sector) override;
    std::bitset<256> acceptedFirstBytes() const override { return std::bitset<256>().set('.'); }

private:
    bool headerMatches(const uint8_t* probe, uint64_t sectorNumber);
    uint64_t fileSize(const uint8_t* probe, uint64_t sectorNumber);
    ReadWindow window;
};

}  // namespace pelorin
