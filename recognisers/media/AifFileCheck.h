#pragma once
// AIFF and AIFF-C files: an IFF "FORM" of big-endian chunks.

#include "engine/ReadWindow.h"
#include "engine/Recogniser.h"

namespace pelorin {

class AifFileCheck final : public Recogniser {
public:
    explicit AifFileCheck(ScanContext& context) : Recogniser(context), window(context) {}

    std::optional<Match> recognise(Probe& probe, uint64_t sector) override;
    std::bitset<256> acceptedFirstBytes() const override { return std::bitset<256>().set('F'); }

    // True for the identifiers of the chunks an AIFF file is made of.
    static bool isAiffChunk(uint32_t identifier);

private:
    bool headerMatches(const uint8_t* probe, uint64_t sectorNumber);
    uint64_t fileSize(const uint8_t* probe, uint64_t sectorNumber);
    ReadWindow window;
};

}  // namespace pelorin
