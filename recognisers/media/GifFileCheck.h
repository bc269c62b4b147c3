#pragma once
// GIF87a and GIF89a images: the length comes from walking the block chain
// (extensions, image descriptors with their data sub-blocks) to the trailer.

#include "engine/ReadWindow.h"
#include "engine/Recogniser.h"

namespace pelorin {

class GifFileCheck final : public Recogniser {
public:
    explicit GifFileCheck(ScanContext& context) : Recogniser(context), readDiskFromGifFileCheck(context) {}

    bool isFile(const uint8_t* probe, uint64_t sectorNumber) override;
    uint64_t fileSizeCalculation(const uint8_t* probe, uint64_t sectorNumber) override;
    uint32_t firstByteOfHeader() const override { return 0x47; }
    std::string parentKey() override { return "gif"; }
    std::bitset<256> acceptedFirstBytes() const override { return std::bitset<256>().set('G'); }

private:
    ReadWindow readDiskFromGifFileCheck;
};

}  // namespace pelorin
