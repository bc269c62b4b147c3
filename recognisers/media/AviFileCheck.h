#pragma once
// AVI files: a RIFF chunk of form "AVI " and the RIFF extension chunks
// (AVIX) that follow it.

#include "engine/ReadWindow.h"
#include "engine/Recogniser.h"

namespace pelorin {

class AviFileCheck final : public Recogniser {
public:
    explicit AviFileCheck(ScanContext& context) : Recogniser(context), readDiskFromAviFileCheck(context) {}

    bool isFile(const uint8_t* probe, uint64_t sectorNumber) override;
    uint64_t fileSizeCalculation(const uint8_t* probe, uint64_t sectorNumber) override;
    uint32_t firstByteOfHeader() const override { return 0x52; }
    std::string parentKey() override { return "avi"; }
    std::bitset<256> acceptedFirstBytes() const override { return std::bitset<256>().set('R'); }

private:
    ReadWindow readDiskFromAviFileCheck;
};

}  // namespace pelorin
