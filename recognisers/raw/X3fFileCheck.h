#pragma once
// Sigma X3F files ("FOVb" with a section directory at the end), and Sigma's
// TIFF-shaped files, which are filed with the extension ".tif".

#include "engine/ReadWindow.h"
#include "engine/Recogniser.h"

namespace pelorin {

class X3fFileCheck final : public Recogniser {
public:
    explicit X3fFileCheck(ScanContext& context) : Recogniser(context), readDiskFromX3fFileCheck(context) {}

    bool isFile(const uint8_t* probe, uint64_t sectorNumber) override;
    uint64_t fileSizeCalculation(const uint8_t* probe, uint64_t sectorNumber) override;
    uint32_t firstByteOfHeader() const override { return 'F'; }
    std::string parentKey() override { return "x3f"; }
    std::bitset<256> acceptedFirstBytes() const override { return std::bitset<256>().set('F').set('I').set('M'); }
    std::string extensionOfFile() const override { return extension; }

private:
    bool isSigmaTiff(const uint8_t* probe, uint64_t sectorNumber);
    uint64_t fovbLength(uint64_t sectorNumber);

    ReadWindow readDiskFromX3fFileCheck;
    bool fovb = false;  // the header just accepted starts "FOVb"
    std::string extension = ".x3f";
};

}  // namespace pelorin
