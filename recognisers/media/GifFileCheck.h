#pragma once
// GIF87a and GIF89a images: the length comes from walking the block chain
// (extensions, image descriptors with their data sub-blocks) to the trailer.

#include "engine/ReadWindow.h"
#include "engine/Recogniser.h"

namespace pelorin {

class GifFileCheck final : public Recogniser {
public:
    explicit GifFileCheck(ScanContext& context) : Recogniser(context), window(context) {}

    std::optional<Match> recognise(Probe& probe, uint64_t sector) override;
    std::bitset<256> acceptedFirstBytes() const override { return std::bitset<256>().set('G'); }

private:
    bool headerMatches(const uint8_t* probe, uint64_t sectorNumber);
    uint64_t fileSize(const uint8_t* probe, uint64_t sectorNumber);
    ReadWindow window;
};

}  // namespace pelorin
