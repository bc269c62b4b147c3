#pragma once
// RealMedia files: ".RMF" and the top-level chunks that follow it.

#include "engine/ReadWindow.h"
#include "engine/Recogniser.h"

namespace pelorin {

class RmFileCheck final : public Recogniser {
public:
    explicit RmFileCheck(ScanContext& context) : Recogniser(context), readDiskFromRmFileCheck(context) {}

    bool isFile(const uint8_t* probe, uint64_t sectorNumber) override;
    uint64_t fileSizeCalculation(const uint8_t* probe, uint64_t sectorNumber) override;
    uint32_t firstByteOfHeader() const override { return 0x2E; }
    std::string parentKey() override { return "rm"; }
    std::bitset<256> acceptedFirstBytes() const override { return std::bitset<256>().set('.'); }

private:
    ReadWindow readDiskFromRmFileCheck;
};

}  // namespace pelorin
