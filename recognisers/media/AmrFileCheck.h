#pragma once
// AMR narrow-band and wide-band speech files (the storage format of RFC 4867).

#include "engine/ReadWindow.h"
#include "engine/Recogniser.h"

namespace pelorin {

class AmrFileCheck final : public Recogniser {
public:
    explicit AmrFileCheck(ScanContext& context) : Recogniser(context), window(context) {}

    std::optional<Match> recognise(Probe& probe, uint64_t sector) override;
    std::bitset<256> acceptedFirstBytes() const override { return std::bitset<256>().set('#'); }

    // Length of the speech frame a frame header byte announces, header byte
    // included; 0 for any other byte.
    static uint32_t frameLength(uint8_t header, bool wideBand);

private:
    bool headerMatches(const uint8_t* probe, uint64_t sectorNumber);
    uint64_t fileSize(const uint8_t* probe, uint64_t sectorNumber);
    ReadWindow window;
    bool wideBand_ = false;  // the header is "#!AMR-WB\n"
};

}  // namespace pelorin
