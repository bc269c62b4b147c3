#pragma once
// Sigma X3F files ("FOVb" with a section directory at the end), and Sigma's
// TIFF-shaped files, which are filed with the extension ".tif".

#include "engine/ReadWindow.h"
#include "engine/Recogniser.h"

namespace pelorin {

class X3fFileCheck final : public Recogniser {
public:
    explicit X3fFileCheck(ScanContext& context) : Recogniser(context), window(context) {}

    std::optional<Match> recognise(Probe& probe, uint64_t sector) override;
    std::bitset<256> acceptedFirstBytes() const override { return std::bitset<256>().set('F').set('I').set('M'); }

private:
    bool headerMatches(const uint8_t* probe, uint64_t sectorNumber);
    uint64_t fileSize(const uint8_t* probe, uint64_t sectorNumber, Preview& preview);
    bool isSigmaTiff(const uint8_t* probe, uint64_t sectorNumber);
    uint64_t fovbLength(uint64_t sectorNumber, Preview& preview);

    ReadWindow window;
    bool fovb = false;  // the header just accepted starts "FOVb"
    ByteOrder byteOrder = ByteOrder::Unknown;  // of the Sigma TIFF just accepted
};

}  // namespace pelorin
