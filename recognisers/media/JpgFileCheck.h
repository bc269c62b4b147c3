#pragma once
// JPEG files (JFIF, EXIF and bare streams) that start at a sector boundary.

#include "engine/ReadWindow.h"
#include "engine/Recogniser.h"

namespace pelorin {

class JpgFileCheck final : public Recogniser {
public:
    explicit JpgFileCheck(ScanContext& context) : Recogniser(context), readDiskFromJpgFileCheck(context) {}

    bool isFile(const uint8_t* probe, uint64_t sectorNumber) override;
    uint64_t fileSizeCalculation(const uint8_t* probe, uint64_t sectorNumber) override;
    uint32_t firstByteOfHeader() const override { return 0xFF; }
    std::string parentKey() override { return "jpg"; }
    std::bitset<256> acceptedFirstBytes() const override { return std::bitset<256>().set(0xFF); }

private:
    ReadWindow readDiskFromJpgFileCheck;
};

}  // namespace pelorin
