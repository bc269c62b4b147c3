#pragma once
// Photoshop documents: the header sections are added up by their lengths,
// the pixel data is estimated from the image's dimensions and bounded by a
// search for a run of zero words.

#include "engine/ReadWindow.h"
#include "engine/Recogniser.h"

namespace pelorin {

class PsdFileCheck final : public Recogniser {
public:
    explicit PsdFileCheck(ScanContext& context) : Recogniser(context), window(context) {}

    std::optional<Match> recognise(Probe& probe, uint64_t sector) override;
    std::bitset<256> acceptedFirstBytes() const override { return std::bitset<256>().set('8'); }

    // Values at a window position: big-endian with offset 0, read backwards
    // from position + offset otherwise.
    static uint32_t fourByteRead(const ReadWindow& buffer, uint64_t position, uint32_t offset) {
        return buffer.fourByteRead(position, offset);
    }
    static uint32_t twoByteRead(const ReadWindow& buffer, uint64_t position, uint32_t offset) {
        return buffer.twoByteRead(position, offset);
    }

    // Bytes-per-pixel factor, scaled by 72 × 72, by colour mode and depth; 0
    // for a pair a document does not use.
    static float bytesPerPixelFactor(uint32_t colourMode, uint32_t depth);

private:
    bool headerMatches(const uint8_t* probe, uint64_t sectorNumber);
    uint64_t fileSize(const uint8_t* probe, uint64_t sectorNumber);
    ReadWindow window;
};

}  // namespace pelorin
