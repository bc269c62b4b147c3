#pragma once
// RealAudio files (".ra" with version 3 or 4 headers).

#include "engine/ReadWindow.h"
#include "engine/Recogniser.h"

namespace pelorin {

class RaFileCheck final : public Recogniser {
public:
    explicit RaFileCheck(ScanContext& context) : Recogniser(context), readDiskFromRaFileCheck(context) {}

    bool isFile(const uint8_t* probe, uint64_t sectorNumber) override;
    uint64_t fileSizeCalculation(const uint8_t* probe, uint64_t sectorNumber) override;
    uint32_t firstByteOfHeader() const override { return 0x2E; }
    std::string parentKey() override { return "ra"; }
    std::bitset<256> acceptedFirstBytes() const override { return std::bitset<256>().set('.'); }

private:
    ReadWindow readDiskFromRaFileCheck;
};

}  // namespace pelorin
