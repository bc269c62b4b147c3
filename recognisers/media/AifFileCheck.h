#pragma once
// AIFF and AIFF-C files: an IFF "FORM" of big-endian chunks.

#include "engine/ReadWindow.h"
#include "engine/Recogniser.h"

namespace pelorin {

class AifFileCheck final : public Recogniser {
public:
    explicit AifFileCheck(ScanContext& context) : Recogniser(context), readDiskFromAifFileCheck(context) {}

    bool isFile(const uint8_t* probe, uint64_t sectorNumber) override;
    uint64_t fileSizeCalculation(const uint8_t* probe, uint64_t sectorNumber) override;
    uint32_t firstByteOfHeader() const override { return 0x46; }
    std::string parentKey() override { return "aif"; }
    std::bitset<256> acceptedFirstBytes() const override { return std::bitset<256>().set('F'); }

    // True for the identifiers of the chunks an AIFF file is made of.
    static bool isAiffChunk(uint32_t identifier);

private:
    ReadWindow readDiskFromAifFileCheck;
};

}  // namespace pelorin
