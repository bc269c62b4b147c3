#pragma once
// Minolta MRW files: a chain of named blocks, one of which ("PRD") gives the
// sensor size and how the pixels are stored.

#include "engine/ReadWindow.h"
#include "engine/Recogniser.h"

namespace pelorin {

class MrwFileCheck final : public Recogniser {
public:
    explicit MrwFileCheck(ScanContext& context) : Recogniser(context), readDiskFromMrwFileCheck(context) {}

    bool isFile(const uint8_t* probe, uint64_t sectorNumber) override;
    uint64_t fileSizeCalculation(const uint8_t* probe, uint64_t sectorNumber) override;
    uint32_t firstByteOfHeader() const override { return 0x00; }
    std::string parentKey() override { return "mrw"; }
    std::bitset<256> acceptedFirstBytes() const override { return std::bitset<256>().set(0x00); }

private:
    ReadWindow readDiskFromMrwFileCheck;
};

}  // namespace pelorin
