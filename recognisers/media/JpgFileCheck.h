#pragma once
// JPEG files (JFIF, EXIF and bare streams) that start at a sector boundary.

#include "engine/ReadWindow.h"
#include "engine/Recogniser.h"

namespace pelorin {

class JpgFileCheck final : public Recogniser {
public:
    explicit JpgFileCheck(ScanContext& context) : Recogniser(context), window(context) {}

    std::optional<Match> recognise(Probe& probe, uint64_t sector) override;
    std::bitset<256> acceptedFirstBytes() const override { return std::bitset<256>().set(0xFF); }

private:
    bool headerMatches(const uint8_t* probe, uint64_t sectorNumber);
    uint64_t fileSize(const uint8_t* probe, uint64_t sectorNumber);
    ReadWindow window;
};

}  // namespace pelorin
