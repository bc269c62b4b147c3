#pragma once
// Windows bitmaps: the length is the size field of the file header, so
// nothing beyond the probe is read.

#include "engine/Recogniser.h"

namespace pelorin {

class BmpFileCheck final : public Recogniser {
public:
    explicit BmpFileCheck(ScanContext& context) : Recogniser(context) {}

    bool isFile(const uint8_t* probe, uint64_t sectorNumber) override;
    uint64_t fileSizeCalculation(const uint8_t* probe, uint64_t sectorNumber) override;
    uint32_t firstByteOfHeader() const override { return 0x42; }
    std::string parentKey() override { return "bmp"; }
    std::bitset<256> acceptedFirstBytes() const override { return std::bitset<256>().set('B'); }

private:
    char pCompareHeader[3] = {};
};

}  // namespace pelorin
