#pragma once
// PNG images: the length comes from walking the chunk list while the chunk
// types are ones a still PNG carries.

#include "engine/ReadWindow.h"
#include "engine/Recogniser.h"

namespace pelorin {

class PngFileCheck final : public Recogniser {
public:
    explicit PngFileCheck(ScanContext& context) : Recogniser(context), window(context) {}

    std::optional<Match> recognise(Probe& probe, uint64_t sector) override;
    std::bitset<256> acceptedFirstBytes() const override { return std::bitset<256>().set(0x89); }

    // Big-endian 32-bit value at a window position.
    static uint32_t fourByteRead(const ReadWindow& buffer, uint64_t position) { return buffer.be32(position); }

private:
    bool headerMatches(const uint8_t* probe, uint64_t sectorNumber);
    uint64_t fileSize(const uint8_t* probe, uint64_t sectorNumber);
    ReadWindow window;
};

}  // namespace pelorin
