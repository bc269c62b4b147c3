#pragma once
// Fujifilm RAF files: a fixed big-endian header that gives the preview JPEG
// and the raw data by offset and length.

#include "engine/ReadWindow.h"
#include "engine/Recogniser.h"

namespace pelorin {

class RafFileCheck final : public Recogniser {
public:
    explicit RafFileCheck(ScanContext& context) : Recogniser(context), readDiskFromRafFileCheck(context) {}

    bool isFile(const uint8_t* probe, uint64_t sectorNumber) override;
    uint64_t fileSizeCalculation(const uint8_t* probe, uint64_t sectorNumber) override;
    uint32_t firstByteOfHeader() const override { return 'F'; }
    std::string parentKey() override { return "raf"; }
    std::bitset<256> acceptedFirstBytes() const override { return std::bitset<256>().set('F'); }

private:
    ReadWindow readDiskFromRafFileCheck;
};

}  // namespace pelorin
